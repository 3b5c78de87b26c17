// Injected faults: the FWSIM_FAIL syntax, the table it fills and the per-name call counts.
//
//   FAULTS := FAULT (';' FAULT)*          empty items are skipped
//   FAULT  := CALL ['#' N] '=' RESULT ('|' INFO)*
//   RESULT := 0xHEX | [-]DECIMAL | null    any 32-bit value, read signed or unsigned
//   INFO   := desc=TEXT | restricted=TEXT   TEXT escapes: \u{X} \; \| \\ \n \r \t
//
// CALL must be a call fwsim can make fail, so that a misspelt name is an error rather than a
// fault that silently never fires.
#include <algorithm>
#include <charconv>
#include <mutex>
#include <optional>
#include <vector>

#include "faults.h"
#include "text.h"

namespace fwsim::detail {
namespace {

// How a call reports failure: an HRESULT with an out-object (`null` allowed), an HRESULT alone,
// or 0/NULL/FALSE with the last error.
enum class Kind { HresultOut, Hresult, LastError };

struct KnownCall {
  std::string_view name;
  Kind kind;
};

constexpr KnownCall kKnownCalls[] = {
    {"GetModuleFileNameW", Kind::LastError},
    {"FormatMessageW", Kind::LastError},
    {"LoadLibraryExA", Kind::LastError},
    {"SetDefaultDllDirectories", Kind::LastError},
    {"GetModuleHandleA", Kind::LastError},
    {"GetConsoleMode", Kind::LastError},
    {"MultiByteToWideChar", Kind::LastError},
    {"WriteConsoleW", Kind::LastError},
    {"WriteFile", Kind::LastError},
    {"GetConsoleProcessList", Kind::LastError},
    {"ReadFile", Kind::LastError},
    {"ReadConsoleW", Kind::LastError},
    {"ExpandEnvironmentStringsW", Kind::LastError},
    {"SysAllocStringLen", Kind::LastError},
    {"SafeArrayCreateVector", Kind::LastError},
    {"SafeArrayPutElement", Kind::Hresult},
    {"SafeArrayDestroy", Kind::Hresult},
    {"VariantClear", Kind::Hresult},
    {"GetErrorInfo", Kind::HresultOut},
    {"SetErrorInfo", Kind::Hresult},
    {"IUnknown::QueryInterface", Kind::HresultOut},
    {"IErrorInfo::GetDescription", Kind::HresultOut},
    {"IRestrictedErrorInfo::GetErrorDetails", Kind::HresultOut},
    {"IRestrictedErrorInfo::GetReference", Kind::HresultOut},
    {"CoInitializeEx", Kind::Hresult},
    {"CoCreateInstance", Kind::HresultOut},
    {"INetFwPolicy2::get_Rules", Kind::HresultOut},
    {"INetFwPolicy2::get_CurrentProfileTypes", Kind::HresultOut},
    {"INetFwPolicy2::get_FirewallEnabled", Kind::HresultOut},
    {"INetFwPolicy2::get_BlockAllInboundTraffic", Kind::HresultOut},
    {"INetFwPolicy2::get_DefaultInboundAction", Kind::HresultOut},
    {"INetFwPolicy2::get_DefaultOutboundAction", Kind::HresultOut},
    {"INetFwPolicy2::get_LocalPolicyModifyState", Kind::HresultOut},
    {"INetFwProducts::get_Count", Kind::HresultOut},
    {"INetFwProducts::Item", Kind::HresultOut},
    {"INetFwProducts::get__NewEnum", Kind::HresultOut},
    {"INetFwProduct::get_RuleCategories", Kind::HresultOut},
    {"INetFwProduct::get_DisplayName", Kind::HresultOut},
    {"INetFwProduct::get_PathToSignedProductExe", Kind::HresultOut},
    {"INetFwRules::get_Count", Kind::HresultOut},
    {"INetFwRules::Add", Kind::Hresult},
    {"INetFwRules::Remove", Kind::Hresult},
    {"INetFwRules::Item", Kind::HresultOut},
    {"INetFwRules::get__NewEnum", Kind::HresultOut},
    {"IEnumVARIANT::Next", Kind::HresultOut},
    {"IEnumVARIANT::Skip", Kind::Hresult},
    {"IEnumVARIANT::Reset", Kind::Hresult},
    {"IEnumVARIANT::Clone", Kind::HresultOut},
};

constexpr std::string_view kRuleProperties[] = {
    "Name",       "Description",   "ApplicationName", "serviceName",     "Protocol",
    "LocalPorts", "RemotePorts",   "LocalAddresses",  "RemoteAddresses", "IcmpTypesAndCodes",
    "Direction",  "Interfaces",    "InterfaceTypes",  "Enabled",         "Grouping",
    "Profiles",   "EdgeTraversal", "Action"};

std::optional<Kind> kind_of(std::string_view name) {
  for (const auto& call : kKnownCalls) {
    if (call.name == name) return call.kind;
  }
  constexpr std::string_view kRule = "INetFwRule::";
  if (name.starts_with(kRule) && name.size() > kRule.size() + 4) {
    const std::string_view accessor = name.substr(kRule.size(), 4);
    const std::string_view property = name.substr(kRule.size() + 4);
    if (std::ranges::find(kRuleProperties, property) != std::end(kRuleProperties)) {
      if (accessor == "put_") return Kind::Hresult;
      if (accessor == "get_") return Kind::HresultOut;
    }
  }
  return std::nullopt;
}

struct Entry {
  std::string name;
  long nth = 0;  // 0: every call
  Fault fault;
};

struct Table {
  std::mutex mutex;
  std::vector<Entry> entries;
  TextMap<long> counts;
};

Table& table() {
  static Table instance;
  return instance;
}

bool parse_result(std::string_view text, Fault& fault) {
  if (text == "null") {
    fault.null_out = true;
    return true;
  }
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty() || (base == 16 && text.front() == '-')) return false;
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc{} || end != text.data() + text.size()) return false;
  if (value < INT32_MIN || value > static_cast<std::int64_t>(UINT32_MAX)) return false;
  // Keep every result as the signed 32-bit value it stands for (0x80070005 and -2147024891 alike).
  fault.result = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  return true;
}

bool parse_fault(std::string_view item, Entry& entry, std::string& error) {
  const auto parts = split_unescaped(item, '|');
  const std::string_view head = parts.front();
  const std::size_t equals = head.find('=');
  if (equals == std::string_view::npos) {
    error = "no `=` in";
    return false;
  }
  std::string_view call = head.substr(0, equals);
  if (const std::size_t hash = call.find('#'); hash != std::string_view::npos) {
    const std::string_view count = call.substr(hash + 1);
    const auto [end, ec] = std::from_chars(count.data(), count.data() + count.size(), entry.nth);
    if (count.empty() || ec != std::errc{} || end != count.data() + count.size() || entry.nth < 1) {
      error = "bad call number (counted from 1) in";
      return false;
    }
    call = call.substr(0, hash);
  }
  const auto kind = kind_of(call);
  if (!kind) {
    error = "no call named `" + one_line(call) + "` can be made to fail in";
    return false;
  }
  entry.name = call;
  if (!parse_result(head.substr(equals + 1), entry.fault)) {
    error = "bad result (0x..., a decimal number or null) in";
    return false;
  }
  if (entry.fault.null_out && kind != Kind::HresultOut) {
    error = "`null` needs a call that gives back an object, in";
    return false;
  }
  for (std::size_t i = 1; i < parts.size(); ++i) {
    std::optional<std::u16string>* slot = nullptr;
    std::string_view info = parts[i];
    if (info.starts_with("desc=")) {
      slot = &entry.fault.desc;
      info.remove_prefix(5);
    } else if (info.starts_with("restricted=")) {
      slot = &entry.fault.restricted;
      info.remove_prefix(11);
    }
    if (slot == nullptr || slot->has_value() || *kind == Kind::LastError) {
      error = "bad error information (desc= or restricted=, once each, HRESULT calls only) in";
      return false;
    }
    if (!decode_escaped(info, ";|", false, slot->emplace())) {
      error = "bad escape or UTF-8 in the error information text of";
      return false;
    }
  }
  return true;
}

}  // namespace

bool add_fault_list(std::string_view faults, std::string& error) {
  std::vector<Entry> parsed;
  for (const std::string_view item : split_unescaped(faults, ';')) {
    if (item.empty()) continue;
    Entry entry;
    if (!parse_fault(item, entry, error)) {
      error += " `" + one_line(item) + "`";
      return false;
    }
    parsed.push_back(std::move(entry));
  }
  Table& t = table();
  const std::lock_guard lock(t.mutex);
  std::ranges::move(parsed, std::back_inserter(t.entries));
  return true;
}

void clear_faults() {
  Table& t = table();
  const std::lock_guard lock(t.mutex);
  t.entries.clear();
  t.counts.clear();
}

std::optional<Fault> take_fault(std::string_view name) {
  Table& t = table();
  const std::lock_guard lock(t.mutex);
  auto count = t.counts.find(name);
  if (count == t.counts.end()) count = t.counts.emplace(std::string(name), 0).first;
  const long n = ++count->second;
  // A fault for this very call wins over one for every call of the name.
  const Entry* every = nullptr;
  for (const Entry& entry : t.entries) {
    if (entry.name != name) continue;
    if (entry.nth == n) return entry.fault;
    if (entry.nth == 0 && every == nullptr) every = &entry;
  }
  if (every != nullptr) return every->fault;
  return std::nullopt;
}

}  // namespace fwsim::detail
