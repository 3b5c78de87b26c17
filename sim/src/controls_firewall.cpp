// The controls of the firewall's state and of the console: FWSIM_POLICY, FWSIM_PRODUCTS and
// FWSIM_CONSOLE_PROCESSES.
//
//   POLICY   := [SETTING] (';' [SETTING])*        each NAME at most once
//   SETTING  := NAME '=' VALUE
//   NAME     := CurrentProfileTypes | LocalPolicyModifyState | PER '.' PROFILE
//   PER      := FirewallEnabled | BlockAllInboundTraffic | DefaultInboundAction
//             | DefaultOutboundAction
//   PROFILE  := Domain | Private | Public
//   PRODUCTS := [PRODUCT] (';' [PRODUCT])*       `;` split where no backslash escapes it
//   PRODUCT  := TEXT '=' [N (',' N)*]            the categories after the last `=`
//   CONSOLE  := N
//
// Values are decimal, without signs or spaces except -1 for true. TEXT is a non-empty name with
// FWSIM_FAIL's escapes.
#include <algorithm>
#include <charconv>
#include <iterator>
#include <optional>
#include <utility>

#include "controls.h"
#include "text.h"

namespace fwsim::detail {
namespace {

// A whole decimal number from `low` to `high`, or nothing.
std::optional<LONG> number_in(std::string_view text, LONG low, LONG high) {
  LONG value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || text.front() == '-' || ec != std::errc{} ||
      end != text.data() + text.size() || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

constexpr std::string_view kProfiles[] = {"Domain", "Private", "Public"};

// `PER.PROFILE` as PER and the profile's index; nothing for another name.
std::optional<std::pair<std::string_view, std::size_t>> per_profile(std::string_view name) {
  const std::size_t dot = name.find('.');
  if (dot == std::string_view::npos) return std::nullopt;
  const auto profile = std::ranges::find(kProfiles, name.substr(dot + 1));
  if (profile == std::end(kProfiles)) return std::nullopt;
  return std::pair{name.substr(0, dot), static_cast<std::size_t>(profile - std::begin(kProfiles))};
}

// Where a numeric setting of FWSIM_POLICY goes, and which values it takes.
struct Setting {
  LONG* slot;
  std::string_view values;  // as the refusal names them
  LONG low, high;
};

std::optional<Setting> setting_of(std::string_view name, PolicyState& state) {
  if (name == "CurrentProfileTypes") return Setting{&state.current_profiles, "0 to 7", 0, 7};
  if (name == "LocalPolicyModifyState") return Setting{&state.modify_state, "0, 1 or 2", 0, 2};
  const auto per = per_profile(name);
  if (per && per->first == "DefaultInboundAction") {
    return Setting{&state.default_inbound[per->second], "0 or 1", 0, 1};
  }
  if (per && per->first == "DefaultOutboundAction") {
    return Setting{&state.default_outbound[per->second], "0 or 1", 0, 1};
  }
  return std::nullopt;
}

// The VARIANT_BOOL settings, which take -1 (true) and 0.
VARIANT_BOOL* flag_of(std::string_view name, PolicyState& state) {
  const auto per = per_profile(name);
  if (per && per->first == "FirewallEnabled") return &state.firewall_enabled[per->second];
  if (per && per->first == "BlockAllInboundTraffic") return &state.block_all_inbound[per->second];
  return nullptr;
}

bool refuse(std::string& error, std::string_view why, std::string_view item) {
  error = std::string(why) + " `" + one_line(item) + "`";
  return false;
}

}  // namespace

bool parse_policy_control(std::string_view text, PolicyState& out, std::string& error) {
  PolicyState state;
  std::vector<std::string_view> seen;
  for (const std::string_view item : split_unescaped(text, ';')) {
    if (item.empty()) continue;
    const std::size_t equals = item.find('=');
    if (equals == std::string_view::npos) return refuse(error, "no `=` in", item);
    const std::string_view name = item.substr(0, equals);
    const std::string_view value = item.substr(equals + 1);
    if (std::ranges::find(seen, name) != seen.end()) return refuse(error, "set twice:", item);
    seen.push_back(name);
    if (VARIANT_BOOL* flag = flag_of(name, state)) {
      if (value != "-1" && value != "0") return refuse(error, "expected -1 or 0 in", item);
      *flag = value == "-1" ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (const auto setting = setting_of(name, state)) {
      const auto number = number_in(value, setting->low, setting->high);
      if (!number) return refuse(error, "expected " + std::string(setting->values) + " in", item);
      *setting->slot = *number;
    } else {
      return refuse(error, "no setting named `" + one_line(name) + "` in", item);
    }
  }
  out = state;
  return true;
}

bool parse_products_control(std::string_view text, std::vector<Product>& out, std::string& error) {
  std::vector<Product> list;
  for (const std::string_view item : split_unescaped(text, ';')) {
    if (item.empty()) continue;
    const std::size_t equals = item.rfind('=');
    if (equals == std::string_view::npos) return refuse(error, "no `=` in", item);
    Product product;
    if (equals == 0 || !decode_escaped(item.substr(0, equals), ";|", false, product.name)) {
      return refuse(error, "bad name (not empty; escapes as in FWSIM_FAIL) in", item);
    }
    // NET_FW_RULE_CATEGORY has no other values, so no product can own another.
    const std::string_view categories = item.substr(equals + 1);
    for (const std::string_view category :
         categories.empty() ? std::vector<std::string_view>{} : split_unescaped(categories, ',')) {
      const auto number = number_in(category, 0, 3);
      if (!number) return refuse(error, "expected categories 0 to 3, `,`-separated, in", item);
      product.categories.push_back(*number);
    }
    list.push_back(std::move(product));
  }
  out = std::move(list);
  return true;
}

bool parse_console_control(std::string_view text, DWORD& out, std::string& error) {
  const auto number = number_in(text, 0, 64);
  if (!number) return refuse(error, "expected a number from 0 to 64, got", text);
  out = static_cast<DWORD>(*number);
  return true;
}

}  // namespace fwsim::detail
