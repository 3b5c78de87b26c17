#pragma once

#include <expected>

#include "firewall/firewall_error.h"
#include "platform/win32.h"

namespace orvane::firewall {

// What a rule is called and which program it is for, as the firewall gives them (UTF-16, exactly;
// empty for a null BSTR, which a rule for every program has).
struct RuleIdentity {
  WideString name;
  WideString application;
};
// Reads into `identity`, whose strings keep their room: a walk over every rule reuses one.
std::expected<void, FirewallError> read_identity(INetFwRule* rule, RuleIdentity& identity);

// What a rule does, as the firewall's numbers: Action (NET_FW_ACTION), Direction
// (NET_FW_RULE_DIRECTION), Protocol (an IP protocol number, 256 for any) and Profiles (a
// NET_FW_PROFILE_TYPE2 mask), kept as they come even when they name no documented value.
struct RuleSettings {
  bool enabled;
  LONG action;
  LONG direction;
  LONG protocol;
  LONG profiles;
};
std::expected<RuleSettings, FirewallError> read_settings(INetFwRule* rule);

// What narrows the traffic a rule applies to, as the firewall gives it (texts empty for a null
// BSTR). Ports and addresses are "*" or empty for any, InterfaceTypes "All" or empty for every
// type; a rule with a service applies only to that service (the firewall's own "*": to services
// only).
struct RuleConditions {
  WideString service;
  WideString local_ports;
  WideString remote_ports;
  WideString local_addresses;
  WideString remote_addresses;
  WideString interface_types;
  bool some_interfaces;  // Interfaces holds a list of interfaces rather than nothing
};
std::expected<RuleConditions, FirewallError> read_conditions(INetFwRule* rule);

}  // namespace orvane::firewall
