#include "firewall/firewall_rule.h"

#include <gtest/gtest.h>

#include <string_view>
#include <utility>

namespace orvane::firewall {
namespace {

// The numbers are written out rather than taken from the platform's constants, so that a wrong
// constant in a header would show here too.

TEST(FirewallRuleConversion, DirectionsAndActions) {
  EXPECT_EQ(static_cast<int>(to_net_fw(RuleDirection::In)), 1);
  EXPECT_EQ(static_cast<int>(to_net_fw(RuleDirection::Out)), 2);
  EXPECT_EQ(static_cast<int>(to_net_fw(RuleAction::Block)), 0);
  EXPECT_EQ(static_cast<int>(to_net_fw(RuleAction::Allow)), 1);
}

TEST(FirewallRuleConversion, ProtocolNumbers) {
  const std::pair<RuleProtocol, LONG> cases[] = {
      {RuleProtocol::Tcp, 6},     {RuleProtocol::Udp, 17},   {RuleProtocol::Icmpv4, 1},
      {RuleProtocol::Icmpv6, 58}, {RuleProtocol::Igmp, 2},   {RuleProtocol::Ipv4, 4},
      {RuleProtocol::Ipv6, 41},   {RuleProtocol::Gre, 47},   {RuleProtocol::Esp, 50},
      {RuleProtocol::Ah, 51},     {RuleProtocol::Sctp, 132}, {RuleProtocol::Any, 256},
  };
  for (const auto& [protocol, number] : cases) {
    EXPECT_EQ(protocol_number(protocol), number) << static_cast<int>(protocol);
  }
}

TEST(FirewallRuleConversion, ProfileMasksIncludingTheOlderNumbers) {
  const std::pair<RuleProfile, LONG> cases[] = {
      {RuleProfile::Domain, 1},        {RuleProfile::Private, 2},
      {RuleProfile::Public, 4},        {RuleProfile::All, 0x7FFFFFFF},
      {RuleProfile::LegacyDomain, 0},  {RuleProfile::LegacyStandard, 1},
      {RuleProfile::LegacyCurrent, 2}, {RuleProfile::LegacyTypeMax, 3},
  };
  for (const auto& [profile, mask] : cases) {
    EXPECT_EQ(profile_mask(profile), mask) << static_cast<int>(profile);
  }
}

TEST(FirewallRuleConversion, FlagsAsVariantBool) {
  EXPECT_EQ(to_variant_bool(true), -1);
  EXPECT_EQ(to_variant_bool(false), 0);
}

TEST(FirewallRuleConversion, InterfaceTypeNames) {
  const std::pair<InterfaceType, std::string_view> cases[] = {
      {InterfaceType::Wireless, "Wireless"},
      {InterfaceType::Lan, "Lan"},
      {InterfaceType::RemoteAccess, "RemoteAccess"},
      {InterfaceType::All, "All"},
  };
  for (const auto& [type, name] : cases) EXPECT_EQ(interface_type_name(type), name);
}

}  // namespace
}  // namespace orvane::firewall
