#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>

#include "platform/win32.h"

namespace orvane::firewall {

enum class RuleDirection { In, Out };
enum class RuleAction { Block, Allow };
enum class RuleProtocol { Tcp, Udp, Icmpv4, Icmpv6, Igmp, Ipv4, Ipv6, Gre, Esp, Ah, Sctp, Any };
enum class RuleProfile {
  Domain,
  Private,
  Public,
  All,
  // The platform's older profile numbers, passed as they are, without translation.
  LegacyDomain,
  LegacyStandard,
  LegacyCurrent,
  LegacyTypeMax,
};
enum class InterfaceType { Wireless, Lan, RemoteAccess, All };

using Ipv4Address = std::array<std::uint8_t, 4>;
using Ipv6Address = std::array<std::uint8_t, 16>;  // eight 16-bit groups in network order
using IpAddress = std::variant<Ipv4Address, Ipv6Address>;

// One firewall rule as a caller describes it. Every field is given explicitly; an absent optional
// field is never set on the firewall's rule object, so the firewall's default applies. A present
// but empty set is still set. Nothing here is checked: the firewall is the judge of values.
struct FirewallRule {
  std::string name;
  RuleDirection direction;
  bool enabled;
  RuleAction action;
  std::optional<std::string> description;
  std::optional<std::string> application_name;
  std::optional<std::string> service_name;
  std::optional<RuleProtocol> protocol;
  std::optional<std::set<std::uint16_t>> local_ports;
  std::optional<std::set<std::uint16_t>> remote_ports;
  std::optional<std::set<IpAddress>> local_addresses;
  std::optional<std::set<IpAddress>> remote_addresses;
  std::optional<std::string> icmp_types_and_codes;
  std::optional<bool> edge_traversal;
  std::optional<std::string> grouping;
  std::optional<std::set<std::string>> interfaces;
  std::optional<std::set<InterfaceType>> interface_types;
  std::optional<RuleProfile> profile;
};

// The values the firewall takes for each member.
NET_FW_RULE_DIRECTION to_net_fw(RuleDirection direction);
NET_FW_ACTION to_net_fw(RuleAction action);
LONG protocol_number(RuleProtocol protocol);
LONG profile_mask(RuleProfile profile);
VARIANT_BOOL to_variant_bool(bool flag);
std::string_view interface_type_name(InterfaceType type);

}  // namespace orvane::firewall
