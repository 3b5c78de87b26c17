#include "firewall.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>

#include "runtime.h"
#include "store.h"

namespace fwsim::detail {
namespace {

HRESULT fault_result(const Fault& fault) {
  return fault.null_out ? S_OK : static_cast<HRESULT>(fault.result);
}

// What every firewall object shares: its id in the trace and its place in the live count. The
// reference count starts at one, the reference its creator hands out.
class ObjectBase {
 public:
  ObjectBase(const ObjectBase&) = delete;
  ObjectBase& operator=(const ObjectBase&) = delete;
  virtual ~ObjectBase() { --counters().objects; }
  const std::string& id() const { return id_; }

 protected:
  explicit ObjectBase(std::string_view class_name) : id_(next_object_id(class_name)) {
    ++counters().objects;
  }
  std::atomic<ULONG> refs_{1};

 private:
  std::string id_;
};

// IUnknown for an object that offers exactly one interface besides IUnknown.
template <class Interface, const IID& kIid>
class Object : public ObjectBase, public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    constexpr std::string_view kName = "IUnknown::QueryInterface";
    const std::string args = id() + " " + guid_label(iid);
    HRESULT hr = S_OK;
    Interface* given = nullptr;
    if (auto fault = take_fault(kName)) {
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else if (object == nullptr) {
      hr = E_POINTER;
    } else if (iid == IID_IUnknown || iid == kIid) {
      ++refs_;  // the reference handed out; not a call of the caller's, so not traced
      given = this;
    } else {
      hr = E_NOINTERFACE;
    }
    if (object != nullptr) *object = static_cast<IUnknown*>(given);
    trace(kName, args, hresult_text(hr) + " " + (given ? id() : "null"));
    return hr;
  }

  ULONG STDMETHODCALLTYPE AddRef() override {
    const ULONG count = ++refs_;
    trace("IUnknown::AddRef", id(), std::to_string(count));
    return count;
  }

  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG count = --refs_;
    trace("IUnknown::Release", id(), std::to_string(count));
    if (count == 0) delete this;
    return count;
  }

 protected:
  using ObjectBase::ObjectBase;
};

// A get's out-parameter is cleared on failure, as COM asks of a method.
template <class T>
void clear_out(T* out) {
  if (out != nullptr) *out = T{};
}

// Reads a number the caller's type may not be able to hold (an enumeration with a store value
// outside its members) without a conversion the language leaves undefined.
template <class T>
void store_number(T* out, std::int32_t value) {
  if constexpr (sizeof(T) == sizeof(value)) {
    std::memcpy(out, &value, sizeof value);
  } else {
    *out = static_cast<T>(value);
  }
}

class NetFwRule final : public Object<INetFwRule, kIidINetFwRule> {
 public:
  explicit NetFwRule(Rule properties = {}) : Object("NetFwRule"), props_(std::move(properties)) {}

  Rule properties() const {
    std::lock_guard guard(mutex_);
    return props_;
  }

  HRESULT STDMETHODCALLTYPE get_Name(BSTR* v) override { return get_text(Prop::Name, v); }
  HRESULT STDMETHODCALLTYPE put_Name(BSTR v) override { return put_text(Prop::Name, v); }
  HRESULT STDMETHODCALLTYPE get_Description(BSTR* v) override {
    return get_text(Prop::Description, v);
  }
  HRESULT STDMETHODCALLTYPE put_Description(BSTR v) override {
    return put_text(Prop::Description, v);
  }
  HRESULT STDMETHODCALLTYPE get_ApplicationName(BSTR* v) override {
    return get_text(Prop::ApplicationName, v);
  }
  HRESULT STDMETHODCALLTYPE put_ApplicationName(BSTR v) override {
    return put_text(Prop::ApplicationName, v);
  }
  HRESULT STDMETHODCALLTYPE get_serviceName(BSTR* v) override {
    return get_text(Prop::serviceName, v);
  }
  HRESULT STDMETHODCALLTYPE put_serviceName(BSTR v) override {
    return put_text(Prop::serviceName, v);
  }
  HRESULT STDMETHODCALLTYPE get_Protocol(LONG* v) override { return get_number(Prop::Protocol, v); }
  HRESULT STDMETHODCALLTYPE put_Protocol(LONG v) override { return put_number(Prop::Protocol, v); }
  HRESULT STDMETHODCALLTYPE get_LocalPorts(BSTR* v) override {
    return get_text(Prop::LocalPorts, v);
  }
  HRESULT STDMETHODCALLTYPE put_LocalPorts(BSTR v) override {
    return put_text(Prop::LocalPorts, v);
  }
  HRESULT STDMETHODCALLTYPE get_RemotePorts(BSTR* v) override {
    return get_text(Prop::RemotePorts, v);
  }
  HRESULT STDMETHODCALLTYPE put_RemotePorts(BSTR v) override {
    return put_text(Prop::RemotePorts, v);
  }
  HRESULT STDMETHODCALLTYPE get_LocalAddresses(BSTR* v) override {
    return get_text(Prop::LocalAddresses, v);
  }
  HRESULT STDMETHODCALLTYPE put_LocalAddresses(BSTR v) override {
    return put_text(Prop::LocalAddresses, v);
  }
  HRESULT STDMETHODCALLTYPE get_RemoteAddresses(BSTR* v) override {
    return get_text(Prop::RemoteAddresses, v);
  }
  HRESULT STDMETHODCALLTYPE put_RemoteAddresses(BSTR v) override {
    return put_text(Prop::RemoteAddresses, v);
  }
  HRESULT STDMETHODCALLTYPE get_IcmpTypesAndCodes(BSTR* v) override {
    return get_text(Prop::IcmpTypesAndCodes, v);
  }
  HRESULT STDMETHODCALLTYPE put_IcmpTypesAndCodes(BSTR v) override {
    return put_text(Prop::IcmpTypesAndCodes, v);
  }
  HRESULT STDMETHODCALLTYPE get_Direction(NET_FW_RULE_DIRECTION* v) override {
    return get_number(Prop::Direction, v);
  }
  HRESULT STDMETHODCALLTYPE put_Direction(NET_FW_RULE_DIRECTION v) override {
    return put_number(Prop::Direction, v);
  }
  HRESULT STDMETHODCALLTYPE get_Interfaces(VARIANT* v) override;
  HRESULT STDMETHODCALLTYPE put_Interfaces(VARIANT v) override;
  HRESULT STDMETHODCALLTYPE get_InterfaceTypes(BSTR* v) override {
    return get_text(Prop::InterfaceTypes, v);
  }
  HRESULT STDMETHODCALLTYPE put_InterfaceTypes(BSTR v) override {
    return put_text(Prop::InterfaceTypes, v);
  }
  HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* v) override {
    return get_number(Prop::Enabled, v);
  }
  HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL v) override {
    return put_number(Prop::Enabled, v);
  }
  HRESULT STDMETHODCALLTYPE get_Grouping(BSTR* v) override { return get_text(Prop::Grouping, v); }
  HRESULT STDMETHODCALLTYPE put_Grouping(BSTR v) override { return put_text(Prop::Grouping, v); }
  HRESULT STDMETHODCALLTYPE get_Profiles(LONG* v) override { return get_number(Prop::Profiles, v); }
  HRESULT STDMETHODCALLTYPE put_Profiles(LONG v) override { return put_number(Prop::Profiles, v); }
  HRESULT STDMETHODCALLTYPE get_EdgeTraversal(VARIANT_BOOL* v) override {
    return get_number(Prop::EdgeTraversal, v);
  }
  HRESULT STDMETHODCALLTYPE put_EdgeTraversal(VARIANT_BOOL v) override {
    return put_number(Prop::EdgeTraversal, v);
  }
  HRESULT STDMETHODCALLTYPE get_Action(NET_FW_ACTION* v) override {
    return get_number(Prop::Action, v);
  }
  HRESULT STDMETHODCALLTYPE put_Action(NET_FW_ACTION v) override {
    return put_number(Prop::Action, v);
  }

 private:
  static std::string method(std::string_view verb, Prop prop) {
    return "INetFwRule::" + std::string(verb) + std::string(prop_name(prop));
  }

  std::optional<PropValue> put_value(Prop prop) const;
  // What Windows gives a new rule.
  static PropValue default_value(Prop prop);
  PropValue value_of(Prop prop) const { return put_value(prop).value_or(default_value(prop)); }

  HRESULT put(Prop prop, std::optional<PropValue> value, std::string_view label);
  HRESULT put_text(Prop prop, BSTR text) {
    return put(prop, std::u16string(bstr_view(text)), bstr_label(text));
  }
  HRESULT put_number(Prop prop, std::int32_t number) {
    return put(prop, number, std::to_string(number));
  }
  HRESULT get_text(Prop prop, BSTR* out);
  template <class T>
  HRESULT get_number(Prop prop, T* out);

  mutable std::mutex mutex_;
  Rule props_;
};

std::optional<PropValue> NetFwRule::put_value(Prop prop) const {
  std::lock_guard guard(mutex_);
  const PropValue* value = find_property(props_, prop);
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

// `value` is nullopt when the caller's value is not one the property takes.
HRESULT NetFwRule::put(Prop prop, std::optional<PropValue> value, std::string_view label) {
  const std::string name = method("put_", prop);
  HRESULT hr = S_OK;
  if (auto fault = take_fault(name)) {
    leave_error_info(*fault);
    hr = fault_result(*fault);
  } else {
    std::unique_lock guard(mutex_);
    if (value && ports_allowed(props_, prop, *value)) {
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

HRESULT NetFwRule::get_text(Prop prop, BSTR* out) {
  const std::string name = method("get_", prop);
  HRESULT hr = S_OK;
  if (auto fault = take_fault(name)) {
    clear_out(out);
    leave_error_info(*fault);
    hr = fault_result(*fault);
  } else if (out == nullptr) {
    hr = E_POINTER;
  } else {
    // A text that was put, even an empty one, reads back as a string; a text without a value on
    // a new rule as null.
    std::optional<PropValue> value = put_value(prop);
    if (!value && !std::get<std::u16string>(default_value(prop)).empty()) {
      value = default_value(prop);
    }
    *out = value ? make_bstr(std::get<std::u16string>(*value)) : nullptr;
  }
  trace(name, id(), hresult_text(hr) + " " + bstr_label(out ? *out : nullptr));
  return hr;
}

template <class T>
HRESULT NetFwRule::get_number(Prop prop, T* out) {
  const std::string name = method("get_", prop);
  HRESULT hr = S_OK;
  std::string shown;
  if (auto fault = take_fault(name)) {
    clear_out(out);
    leave_error_info(*fault);
    hr = fault_result(*fault);
  } else if (out == nullptr) {
    hr = E_POINTER;
  } else {
    const std::int32_t number = std::get<std::int32_t>(value_of(prop));
    store_number(out, number);
    shown = " " + std::to_string(number);
  }
  trace(name, id(), hresult_text(hr) + shown);
  return hr;
}

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

HRESULT NetFwRule::put_Interfaces(VARIANT value) {
  std::optional<InterfaceList> list = interfaces_of(value);
  std::string label = list ? format_interfaces(*list) : "vt=" + std::to_string(V_VT(&value));
  if (!list) return put(Prop::Interfaces, std::nullopt, label);
  return put(Prop::Interfaces, std::move(*list), label);
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

// ----- The collection and the policy ------------------------------------------------------------

// A firewall call that finds the store unreadable fails with E_FAIL and says why.
HRESULT store_failure(const std::string& description) {
  leave_error_info(utf8_to_utf16("fwsim: " + description));
  return E_FAIL;
}

class NetFwRules final : public Object<INetFwRules, kIidINetFwRules> {
 public:
  NetFwRules() : Object("NetFwRules") {}

  HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
    constexpr std::string_view kName = "INetFwRules::get_Count";
    HRESULT hr = S_OK;
    std::string shown;
    if (auto fault = take_fault(kName)) {
      clear_out(count);
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else if (count == nullptr) {
      hr = E_POINTER;
    } else if (auto n = rule_store().count(); !n) {
      *count = 0;
      hr = store_failure(n.error());
    } else {
      *count = static_cast<LONG>(*n);
      shown = " " + std::to_string(*count);
    }
    trace(kName, id(), hresult_text(hr) + shown);
    return hr;
  }

  HRESULT STDMETHODCALLTYPE Add(INetFwRule* rule) override {
    constexpr std::string_view kName = "INetFwRules::Add";
    const std::string args = id() + " " + object_label(rule);
    HRESULT hr = S_OK;
    auto* ours = dynamic_cast<NetFwRule*>(rule);
    if (auto fault = take_fault(kName)) {
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else if (rule == nullptr) {
      hr = E_POINTER;
    } else if (ours == nullptr) {
      // Windows' collection takes only its own rule objects.
      clear_error_info();
      hr = E_INVALIDARG;
    } else if (auto readable = rule_store().check(); !readable) {
      hr = store_failure(readable.error());
    } else if (Rule properties = ours->properties(); add_refusal(properties)) {
      clear_error_info();
      hr = E_INVALIDARG;
    } else if (auto added = rule_store().append(properties); !added) {
      hr = store_failure(added.error());
    }
    trace(kName, args, hresult_text(hr));
    return hr;
  }

  HRESULT STDMETHODCALLTYPE Item(BSTR name, INetFwRule** rule) override {
    constexpr std::string_view kName = "INetFwRules::Item";
    const std::string args = id() + " " + bstr_label(name);
    HRESULT hr = S_OK;
    NetFwRule* found = nullptr;
    if (auto fault = take_fault(kName)) {
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else if (rule == nullptr) {
      hr = E_POINTER;
    } else if (auto stored = rule_store().find(bstr_view(name)); !stored) {
      hr = store_failure(stored.error());
    } else if (!*stored) {
      clear_error_info();
      hr = static_cast<HRESULT>(0x80070002);  // HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)
    } else {
      found = new NetFwRule(std::move(**stored));
    }
    if (rule != nullptr) *rule = found;
    trace(kName, args, hresult_text(hr) + " " + (found ? found->id() : "null"));
    return hr;
  }
};

class NetFwPolicy2 final : public Object<INetFwPolicy2, kIidINetFwPolicy2> {
 public:
  NetFwPolicy2() : Object("NetFwPolicy2") {}

  HRESULT STDMETHODCALLTYPE get_Rules(INetFwRules** rules) override {
    constexpr std::string_view kName = "INetFwPolicy2::get_Rules";
    HRESULT hr = S_OK;
    NetFwRules* made = nullptr;
    if (auto fault = take_fault(kName)) {
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else if (rules == nullptr) {
      hr = E_POINTER;
    } else if (auto readable = rule_store().check(); !readable) {
      hr = store_failure(readable.error());
    } else {
      made = new NetFwRules();
    }
    if (rules != nullptr) *rules = made;
    trace(kName, id(), hresult_text(hr) + " " + (made ? made->id() : "null"));
    return hr;
  }
};

}  // namespace

std::string object_label(IUnknown* object) {
  if (object == nullptr) return "null";
  if (auto* ours = dynamic_cast<ObjectBase*>(object)) return ours->id();
  return "foreign";
}

bool is_firewall_class(REFCLSID clsid) {
  return clsid == kClsidNetFwPolicy2 || clsid == kClsidNetFwRule;
}

HRESULT create_firewall_object(REFCLSID clsid, REFIID iid, void** object) {
  *object = nullptr;
  // Each new object holds the one reference it is handed out with; Release deletes it.
  if (clsid == kClsidNetFwPolicy2 && (iid == IID_IUnknown || iid == kIidINetFwPolicy2)) {
    *object = static_cast<INetFwPolicy2*>(new NetFwPolicy2());
  } else if (clsid == kClsidNetFwRule && (iid == IID_IUnknown || iid == kIidINetFwRule)) {
    *object = static_cast<INetFwRule*>(new NetFwRule());
  } else {
    return E_NOINTERFACE;
  }
  return S_OK;
}

}  // namespace fwsim::detail
