// The simulated NetFwRule object: the properties put on a rule, in the order first put, with
// Windows' defaults for the rest. Either the object's own rule (CoCreateInstance's) or one that
// stands for a stored rule (Item's and the enumerator's). Internal to fwsim.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "com_object.h"
#include "faults.h"
#include "firewall.h"
#include "firewall_rule_line.h"
#include "firewall_store.h"
#include "oleaut32.h"
#include "trace.h"

namespace fwsim::detail {

class NetFwRule final : public Object<INetFwRule, kIidINetFwRule> {
 public:
  // A rule of its own: puts change only the object, until Add stores a copy of it.
  explicit NetFwRule(Rule properties = {}) : Object("NetFwRule"), props_(std::move(properties)) {}
  // A rule that stands for a stored rule: gets read it as it stands in the store, and a put
  // changes it there at once, or is refused as the firewall refuses it. It shares the store's
  // rule, so that walking many rules copies none of them.
  explicit NetFwRule(StoredRule stored) : Object("NetFwRule"), stored_(std::move(stored)) {}

  Rule properties() const {
    std::lock_guard guard(mutex_);
    return current();
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
  // The SDK's spelling; the trace and the store keep the type library's `serviceName`.
  HRESULT STDMETHODCALLTYPE get_ServiceName(BSTR* v) override {
    return get_text(Prop::serviceName, v);
  }
  HRESULT STDMETHODCALLTYPE put_ServiceName(BSTR v) override {
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
  // `INetFwRule::get_Name` and `INetFwRule::put_Name` and the like, made once for each property.
  enum class Verb : std::uint8_t { Get, Put };
  static const std::string& method(Verb verb, Prop prop);

  std::optional<PropValue> put_value(Prop prop) const;
  // What Windows gives a new rule.
  static PropValue default_value(Prop prop);
  PropValue value_of(Prop prop) const { return put_value(prop).value_or(default_value(prop)); }

  HRESULT put(Prop prop, std::optional<PropValue> value, std::string_view label);
  HRESULT put_stored(Prop prop, PropValue value);
  HRESULT put_text(Prop prop, BSTR text) {
    return put(prop, std::u16string(bstr_view(text)), bstr_label(text));
  }
  HRESULT put_number(Prop prop, std::int32_t number) {
    return put(prop, number, std::to_string(number));
  }
  HRESULT get_text(Prop prop, BSTR* out);
  template <class T>
  HRESULT get_number(Prop prop, T* out);

  bool stands_for_stored_rule() const { return stored_.rules != nullptr; }
  // The properties, under mutex_: props_, or the stored rule as it stands (as it stood when it
  // was removed, once it has been).
  const Rule& current() const {
    if (!stands_for_stored_rule()) return props_;
    if (stored_.superseded() && !removed_) follow();
    return stored_.rule();
  }
  void follow() const;

  mutable std::mutex mutex_;
  mutable StoredRule stored_;  // empty for a rule of its own
  mutable bool removed_ = false;
  Rule props_;
};

template <class T>
HRESULT NetFwRule::get_number(Prop prop, T* out) {
  const std::string& name = method(Verb::Get, prop);
  HRESULT hr = S_OK;
  std::int32_t shown = 0;
  bool got = false;
  if (auto fault = take_fault(name)) {
    clear_out(out);
    leave_error_info(*fault);
    hr = fault_result(*fault);
  } else if (out == nullptr) {
    hr = E_POINTER;
  } else {
    shown = std::get<std::int32_t>(value_of(prop));
    store_number(out, shown);
    got = true;
  }
  if (tracing()) {
    trace(name, id(), hresult_text(hr) + (got ? " " + std::to_string(shown) : std::string()));
  }
  return hr;
}

}  // namespace fwsim::detail
