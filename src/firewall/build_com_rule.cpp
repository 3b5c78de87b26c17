#include "firewall/build_com_rule.h"

#include <optional>
#include <string>
#include <string_view>

#include "firewall/bstr_conversion.h"
#include "firewall/com_result.h"
#include "firewall/encoders.h"
#include "platform/com_apartment.h"

namespace orvane::firewall {
namespace {

using platform::OwnedBstr;
using PutText = HRESULT (STDMETHODCALLTYPE INetFwRule::*)(BSTR);
using Failure = std::optional<FirewallError>;

// Each value lives just for its own call: the error is made from the result first, then the
// string is freed as the helper returns.
Failure put_bstr(INetFwRule* object, PutText put, const OwnedBstr& value) {
  return call_failure((object->*put)(value.get()));
}

Failure put_text(INetFwRule* object, PutText put, std::string_view text) {
  return put_bstr(object, put, from_text(text));
}

Failure put_text(INetFwRule* object, PutText put, const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return put_text(object, put, std::string_view(*text));
}

Failure put_interfaces(INetFwRule* object, const std::set<std::string>& names) {
  auto value = interface_names_to_variant(names);
  if (!value) return WindowsError{std::move(value.error())};
  // put_Interfaces copies what it keeps; our VARIANT is cleared whatever it answered.
  Failure failure = call_failure(object->put_Interfaces(value->get()));
  value->reset();
  return failure;
}

// Sets the record's properties in the order the firewall expects them (the protocol, for
// one, before any ports); an absent optional field is not set at all. Stops at the first refusal.
Failure configure(INetFwRule* object, const FirewallRule& rule) {
  if (auto failure = put_text(object, &INetFwRule::put_Name, std::string_view(rule.name))) {
    return failure;
  }
  if (auto failure = call_failure(object->put_Direction(to_net_fw(rule.direction)))) {
    return failure;
  }
  if (auto failure = call_failure(object->put_Enabled(to_variant_bool(rule.enabled)))) {
    return failure;
  }
  if (auto failure = call_failure(object->put_Action(to_net_fw(rule.action)))) return failure;
  if (auto failure = put_text(object, &INetFwRule::put_Description, rule.description)) {
    return failure;
  }
  if (auto failure = put_text(object, &INetFwRule::put_ApplicationName, rule.application_name)) {
    return failure;
  }
  if (auto failure = put_text(object, &INetFwRule::put_ServiceName, rule.service_name)) {
    return failure;
  }
  if (rule.protocol) {
    if (auto failure = call_failure(object->put_Protocol(protocol_number(*rule.protocol)))) {
      return failure;
    }
  }
  if (rule.local_ports) {
    if (auto failure =
            put_bstr(object, &INetFwRule::put_LocalPorts, ports_to_bstr(rule.local_ports))) {
      return failure;
    }
  }
  if (rule.remote_ports) {
    if (auto failure =
            put_bstr(object, &INetFwRule::put_RemotePorts, ports_to_bstr(rule.remote_ports))) {
      return failure;
    }
  }
  if (rule.local_addresses) {
    if (auto failure = put_bstr(object, &INetFwRule::put_LocalAddresses,
                                addresses_to_bstr(rule.local_addresses))) {
      return failure;
    }
  }
  if (rule.remote_addresses) {
    if (auto failure = put_bstr(object, &INetFwRule::put_RemoteAddresses,
                                addresses_to_bstr(rule.remote_addresses))) {
      return failure;
    }
  }
  if (auto failure =
          put_text(object, &INetFwRule::put_IcmpTypesAndCodes, rule.icmp_types_and_codes)) {
    return failure;
  }
  if (rule.edge_traversal) {
    if (auto failure =
            call_failure(object->put_EdgeTraversal(to_variant_bool(*rule.edge_traversal)))) {
      return failure;
    }
  }
  if (auto failure = put_text(object, &INetFwRule::put_Grouping, rule.grouping)) return failure;
  if (rule.interfaces) {
    if (auto failure = put_interfaces(object, *rule.interfaces)) return failure;
  }
  if (rule.interface_types) {
    if (auto failure = put_bstr(object, &INetFwRule::put_InterfaceTypes,
                                interface_types_to_bstr(rule.interface_types))) {
      return failure;
    }
  }
  if (rule.profile) {
    if (auto failure = call_failure(object->put_Profiles(profile_mask(*rule.profile)))) {
      return failure;
    }
  }
  return std::nullopt;
}

}  // namespace

std::expected<platform::ComPtr<INetFwRule>, FirewallError> build_com_rule(
    const FirewallRule& rule) {
  // Inside the caller's apartment this answers S_FALSE; it is balanced all the same, last of all,
  // after the object has been released on a failure.
  auto apartment = platform::ComApartment::enter();
  if (!apartment) return std::unexpected(apartment_failure(apartment.error()));

  platform::ComPtr<INetFwRule> object;
  const HRESULT hr = CoCreateInstance(kClsidNetFwRule, nullptr, CLSCTX_INPROC_SERVER,
                                      kIidINetFwRule, object.put_void());
  if (auto failure = object_failure(hr, object)) return std::unexpected(std::move(*failure));
  if (auto failure = configure(object.get(), rule)) return std::unexpected(std::move(*failure));
  return object;
}

}  // namespace orvane::firewall
