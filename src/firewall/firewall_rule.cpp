#include "firewall/firewall_rule.h"

#include <utility>

// Every switch here names each member and has no default, so that a member added later fails the
// build (-Werror=switch) instead of passing some number the firewall would misread.

namespace orvane::firewall {

NET_FW_RULE_DIRECTION to_net_fw(RuleDirection direction) {
  switch (direction) {
    case RuleDirection::In:
      return NET_FW_RULE_DIR_IN;
    case RuleDirection::Out:
      return NET_FW_RULE_DIR_OUT;
  }
  std::unreachable();
}

NET_FW_ACTION to_net_fw(RuleAction action) {
  switch (action) {
    case RuleAction::Block:
      return NET_FW_ACTION_BLOCK;
    case RuleAction::Allow:
      return NET_FW_ACTION_ALLOW;
  }
  std::unreachable();
}

LONG protocol_number(RuleProtocol protocol) {
  // IANA protocol numbers, which is what the firewall's Protocol property takes; 256 is the
  // firewall's own "any protocol".
  switch (protocol) {
    case RuleProtocol::Tcp:
      return NET_FW_IP_PROTOCOL_TCP;
    case RuleProtocol::Udp:
      return NET_FW_IP_PROTOCOL_UDP;
    case RuleProtocol::Icmpv4:
      return 1;
    case RuleProtocol::Icmpv6:
      return 58;
    case RuleProtocol::Igmp:
      return 2;
    case RuleProtocol::Ipv4:
      return 4;
    case RuleProtocol::Ipv6:
      return 41;
    case RuleProtocol::Gre:
      return 47;
    case RuleProtocol::Esp:
      return 50;
    case RuleProtocol::Ah:
      return 51;
    case RuleProtocol::Sctp:
      return 132;
    case RuleProtocol::Any:
      return NET_FW_IP_PROTOCOL_ANY;
  }
  std::unreachable();
}

LONG profile_mask(RuleProfile profile) {
  switch (profile) {
    case RuleProfile::Domain:
      return NET_FW_PROFILE2_DOMAIN;
    case RuleProfile::Private:
      return NET_FW_PROFILE2_PRIVATE;
    case RuleProfile::Public:
      return NET_FW_PROFILE2_PUBLIC;
    case RuleProfile::All:
      return NET_FW_PROFILE2_ALL;
    // NET_FW_PROFILE_DOMAIN, _STANDARD, _CURRENT and _TYPE_MAX of the older profile enumeration,
    // passed as their bare numbers: the firewall reads them as a bit mask all the same.
    case RuleProfile::LegacyDomain:
      return 0;
    case RuleProfile::LegacyStandard:
      return 1;
    case RuleProfile::LegacyCurrent:
      return 2;
    case RuleProfile::LegacyTypeMax:
      return 3;
  }
  std::unreachable();
}

VARIANT_BOOL to_variant_bool(bool flag) { return flag ? VARIANT_TRUE : VARIANT_FALSE; }

std::string_view interface_type_name(InterfaceType type) {
  switch (type) {
    case InterfaceType::Wireless:
      return "Wireless";
    case InterfaceType::Lan:
      return "Lan";
    case InterfaceType::RemoteAccess:
      return "RemoteAccess";
    case InterfaceType::All:
      return "All";
  }
  std::unreachable();
}

}  // namespace orvane::firewall
