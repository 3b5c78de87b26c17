#include "firewall_rule.h"

#include <array>
#include <utility>
#include <vector>

#include "faults.h"
#include "firewall_rule_checks.h"
#include "firewall_rule_line.h"
#include "oleaut32.h"
#include "trace.h"

namespace fwsim::detail {
namespace {

// The names in a VT_ARRAY|VT_VARIANT vector of VT_BSTR, or nullopt for anything else. VT_EMPTY
// stands for no interfaces at all.
std::optional<InterfaceList> interfaces_of(const VARIANT& value) {
  if (V_VT(&value) == VT_EMPTY) return InterfaceList{};
  if (V_VT(&value) != (VT_ARRAY | VT_VARIANT)) return std::nullopt;
  const SAFEARRAY* array = V_ARRAY(&value);
  if (array == nullptr || array->cDims != 1 || array->cbElements != sizeof(VARIANT)) {
    return std::nullopt;
  }
  std::vector<std::u16string> names;
  const auto* elements = static_cast<const VARIANT*>(array->pvData);
  for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i) {
    if (V_VT(&elements[i]) != VT_BSTR) return std::nullopt;
    names.emplace_back(bstr_view(V_BSTR(&elements[i])));
  }
  return InterfaceList{std::move(names)};
}

// The caller's copy of the names, made with oleaut32's own calls as Windows' firewall makes it
// (their trace lines come before the get's own). The caller clears it with VariantClear.
HRESULT interfaces_variant(const std::vector<std::u16string>& names, VARIANT& out) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(names.size()));
  if (array == nullptr) return E_OUTOFMEMORY;
  for (LONG i = 0; i < static_cast<LONG>(names.size()); ++i) {
    VARIANT element{};
    V_VT(&element) = VT_BSTR;
    V_BSTR(&element) = make_bstr(names[static_cast<std::size_t>(i)]);
    const HRESULT hr = SafeArrayPutElement(array, &i, &element);
    free_bstr(V_BSTR(&element));
    if (FAILED(hr)) {
      SafeArrayDestroy(array);
      return hr;
    }
  }
  V_VT(&out) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&out) = array;
  return S_OK;
}

}  // namespace

const std::string& NetFwRule::method(Verb verb, Prop prop) {
  constexpr std::size_t kProps = static_cast<std::size_t>(Prop::Action) + 1;
  static const auto names = [] {
    std::array<std::array<std::string, kProps>, 2> made;
    for (std::size_t i = 0; i < kProps; ++i) {
      const std::string property(prop_name(static_cast<Prop>(i)));
      made[0][i] = "INetFwRule::get_" + property;
      made[1][i] = "INetFwRule::put_" + property;
    }
    return made;
  }();
  return names[static_cast<std::size_t>(verb)][static_cast<std::size_t>(prop)];
}

std::optional<PropValue> NetFwRule::put_value(Prop prop) const {
  std::lock_guard guard(mutex_);
  const PropValue* value = find_property(current(), prop);
  return value ? std::optional<PropValue>(*value) : std::nullopt;
}

// Texts without a default come back as null; see get_text.
PropValue NetFwRule::default_value(Prop prop) {
  switch (prop) {
    case Prop::Action:
    case Prop::Direction:
      return std::int32_t{1};
    case Prop::Enabled:
    case Prop::EdgeTraversal:
      return std::int32_t{0};
    case Prop::Protocol:
      return std::int32_t{256};  // NET_FW_IP_PROTOCOL_ANY
    case Prop::Profiles:
      return std::int32_t{0x7FFFFFFF};  // NET_FW_PROFILE2_ALL
    case Prop::Interfaces:
      return InterfaceList{};
    case Prop::InterfaceTypes:
      return std::u16string(u"All");
    case Prop::LocalAddresses:
    case Prop::RemoteAddresses:
      return std::u16string(u"*");
    default:
      return std::u16string();
  }
}

void NetFwRule::follow() const {
  if (auto now = rule_store().follow(stored_)) {
    stored_ = std::move(*now);
  } else {
    removed_ = true;
  }
}

// `value` is nullopt when the caller's value is not one the property takes.
HRESULT NetFwRule::put(Prop prop, std::optional<PropValue> value, std::string_view label) {
  const std::string& name = method(Verb::Put, prop);
  HRESULT hr = S_OK;
  if (auto fault = take_fault(name)) {
    leave_error_info(*fault);
    hr = fault_result(*fault);
  } else if (stands_for_stored_rule() && value) {
    hr = put_stored(prop, std::move(*value));
  } else {
    std::unique_lock guard(mutex_);
    if (value && ports_allowed(current(), prop, *value)) {
      put_property(props_, prop, std::move(*value));
    } else {
      guard.unlock();
      clear_error_info();
      hr = E_INVALIDARG;
    }
  }
  trace(name, id() + " " + std::string(label), hresult_text(hr));
  return hr;
}

// A put on a stored rule changes the firewall, which needs administrator rights, as Add does. A
// value the property cannot take at all is refused before that, as on a rule of its own; the rule
// checks come after, on the newest stored rule, under the store's lock (Windows does not document
// the order). A put that leaves the rule's line as it is writes nothing.
HRESULT NetFwRule::put_stored(Prop prop, PropValue value) {
  if (!may_change_rules()) {
    clear_error_info();
    return E_ACCESSDENIED;
  }
  std::lock_guard guard(mutex_);
  auto outcome = rule_store().update(stored_, [&](Rule& rule) {
    if (!ports_allowed(rule, prop, value)) return false;
    put_property(rule, prop, std::move(value));
    return !add_refusal(rule).has_value();  // the checks Add makes (firewall_rule_checks.cpp)
  });
  if (!outcome) return store_failure(outcome.error());
  if (*outcome == RuleStore::Update::Done) return S_OK;
  clear_error_info();
  // A removed rule answers what Item answers for a name with no rule (a conformance fact).
  return *outcome == RuleStore::Update::Refused
             ? E_INVALIDARG
             : static_cast<HRESULT>(0x80070002);  // HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)
}

HRESULT NetFwRule::get_text(Prop prop, BSTR* out) {
  const std::string& name = method(Verb::Get, prop);
  HRESULT hr = S_OK;
  if (auto fault = take_fault(name)) {
    clear_out(out);
    leave_error_info(*fault);
    hr = fault_result(*fault);
  } else if (out == nullptr) {
    hr = E_POINTER;
  } else {
    // A text that was put, even an empty one, reads back as a string; a text without a value on
    // a new rule as null. The string is made from the rule's own text, copied once.
    std::unique_lock guard(mutex_);
    if (const PropValue* value = find_property(current(), prop)) {
      *out = make_bstr(std::get<std::u16string>(*value));
    } else {
      guard.unlock();
      const PropValue fallback = default_value(prop);
      const auto& text = std::get<std::u16string>(fallback);
      *out = text.empty() ? nullptr : make_bstr(text);
    }
  }
  if (tracing()) trace(name, id(), hresult_text(hr) + " " + bstr_label(out ? *out : nullptr));
  return hr;
}

HRESULT NetFwRule::put_Interfaces(VARIANT value) {
  std::optional<InterfaceList> list = interfaces_of(value);
  std::string label = list ? format_interfaces(*list) : "vt=" + std::to_string(V_VT(&value));
  if (!list) return put(Prop::Interfaces, std::nullopt, label);
  return put(Prop::Interfaces, std::move(*list), label);
}

HRESULT NetFwRule::get_Interfaces(VARIANT* out) {
  constexpr std::string_view kName = "INetFwRule::get_Interfaces";
  HRESULT hr = S_OK;
  std::string shown = "empty";
  if (auto fault = take_fault(kName)) {
    if (out != nullptr) *out = VARIANT{};
    leave_error_info(*fault);
    hr = fault_result(*fault);
  } else if (out == nullptr) {
    hr = E_POINTER;
  } else {
    const auto list = std::get<InterfaceList>(value_of(Prop::Interfaces));
    *out = VARIANT{};
    if (list) hr = interfaces_variant(*list, *out);
    shown = SUCCEEDED(hr) ? format_interfaces(list) : "empty";
  }
  trace(kName, id(), hresult_text(hr) + " " + shown);
  return hr;
}

}  // namespace fwsim::detail
