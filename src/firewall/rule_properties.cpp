#include "firewall/rule_properties.h"

#include <cstring>
#include <optional>
#include <utility>

#include "firewall/com_result.h"
#include "platform/owned_bstr.h"
#include "platform/owned_variant.h"

namespace orvane::firewall {
namespace {

template <class Getter>
std::optional<FirewallError> read_text(INetFwRule* rule, Getter getter, WideString& out) {
  platform::OwnedBstr text;
  if (auto failure = call_failure((rule->*getter)(text.put()))) return failure;
  out.assign(text.view());
  return std::nullopt;
}

// An enumeration's value as a number, whatever it holds: copying its bytes reads no value the
// enumeration may not hold.
template <class Enum, class Getter>
std::optional<FirewallError> read_enum(INetFwRule* rule, Getter getter, LONG& out) {
  Enum value{};
  if (auto failure = call_failure((rule->*getter)(&value))) return failure;
  static_assert(sizeof value == sizeof out);
  std::memcpy(&out, &value, sizeof out);
  return std::nullopt;
}

}  // namespace

std::expected<void, FirewallError> read_identity(INetFwRule* rule, RuleIdentity& identity) {
  if (auto failure = read_text(rule, &INetFwRule::get_Name, identity.name)) {
    return std::unexpected(std::move(*failure));
  }
  if (auto failure = read_text(rule, &INetFwRule::get_ApplicationName, identity.application)) {
    return std::unexpected(std::move(*failure));
  }
  return {};
}

std::expected<RuleSettings, FirewallError> read_settings(INetFwRule* rule) {
  RuleSettings settings{};
  VARIANT_BOOL enabled = VARIANT_FALSE;
  std::optional<FirewallError> failure = call_failure(rule->get_Enabled(&enabled));
  if (!failure) failure = read_enum<NET_FW_ACTION>(rule, &INetFwRule::get_Action, settings.action);
  if (!failure) {
    failure =
        read_enum<NET_FW_RULE_DIRECTION>(rule, &INetFwRule::get_Direction, settings.direction);
  }
  if (!failure) failure = call_failure(rule->get_Protocol(&settings.protocol));
  if (!failure) failure = call_failure(rule->get_Profiles(&settings.profiles));
  if (failure) return std::unexpected(std::move(*failure));
  settings.enabled = enabled != VARIANT_FALSE;
  return settings;
}

std::expected<RuleConditions, FirewallError> read_conditions(INetFwRule* rule) {
  RuleConditions conditions{};
  std::optional<FirewallError> failure =
      read_text(rule, &INetFwRule::get_ServiceName, conditions.service);
  if (!failure) failure = read_text(rule, &INetFwRule::get_LocalPorts, conditions.local_ports);
  if (!failure) failure = read_text(rule, &INetFwRule::get_RemotePorts, conditions.remote_ports);
  if (!failure) {
    failure = read_text(rule, &INetFwRule::get_LocalAddresses, conditions.local_addresses);
  }
  if (!failure) {
    failure = read_text(rule, &INetFwRule::get_RemoteAddresses, conditions.remote_addresses);
  }
  if (!failure) {
    failure = read_text(rule, &INetFwRule::get_InterfaceTypes, conditions.interface_types);
  }
  platform::OwnedVariant interfaces;
  if (!failure) failure = call_failure(rule->get_Interfaces(interfaces.put()));
  if (failure) return std::unexpected(std::move(*failure));
  // A rule for every interface holds no list. Microsoft's reference does not say how that reads
  // back; fwsim gives VT_EMPTY, and VT_NULL is taken the same way. Anything else is a list.
  const VARTYPE type = V_VT(&interfaces.get());
  conditions.some_interfaces = type != VT_EMPTY && type != VT_NULL;
  return conditions;
}

}  // namespace orvane::firewall
