#pragma once

#include <initializer_list>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <fwsim/testing.h>

#include "firewall/firewall_rule.h"

namespace orvane::testing {

// The call log without the calls that only convert texts, so that what is left is the order in
// which objects are made, used and released.
inline std::vector<std::string> lifecycle_log() {
  static const std::string_view kKept[] = {
      "CoInitializeEx ", "CoUninitialize ", "CoCreateInstance ",
      "INetFwPolicy2::", "INetFwRules::",   "IUnknown::Release ",
      "SysFreeString ",  "GetErrorInfo ",   "VariantClear "};
  std::vector<std::string> kept;
  for (const std::string& line : fwsim::call_log()) {
    for (std::string_view prefix : kKept) {
      if (line.starts_with(prefix)) {
        kept.push_back(line);
        break;
      }
    }
  }
  return kept;
}

using Log = std::vector<std::string>;

// The calls with which add_if_not_exists and remove_if_exists open the rule collection, as
// lifecycle_log() shows them, and (kClose) those with which they close it.
inline const Log kOpen = {
    "CoInitializeEx null 2 -> 0x00000000",
    "CoCreateInstance NetFwPolicy2 null 1 INetFwPolicy2 -> 0x00000000 NetFwPolicy2#1",
    "INetFwPolicy2::get_Rules NetFwPolicy2#1 -> 0x00000000 NetFwRules#1",
};
// The name, the collection, the policy and the apartment, in that order.
inline const Log kClose = {
    "SysFreeString BSTR#1 -> void",
    "IUnknown::Release NetFwRules#1 -> 0",
    "IUnknown::Release NetFwPolicy2#1 -> 0",
    "CoUninitialize -> void",
};

inline Log join(std::initializer_list<Log> parts) {
  Log all;
  for (const Log& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The names of the INetFwRule methods called, in order.
inline std::vector<std::string> rule_puts() {
  std::vector<std::string> puts;
  for (const std::string& name : fwsim::call_names()) {
    if (name.starts_with("INetFwRule::put_")) puts.push_back(name.substr(12));
  }
  return puts;
}

// A rule with every optional field present, so that every property step and encoder runs.
inline firewall::FirewallRule full_rule() {
  using namespace firewall;
  return {.name = "Full",
          .direction = RuleDirection::Out,
          .enabled = false,
          .action = RuleAction::Block,
          .description = "all fields",
          .application_name = "C:\\Games\\app.exe",
          .service_name = "svc",
          .protocol = RuleProtocol::Tcp,
          .local_ports = std::set<std::uint16_t>{80},
          .remote_ports = std::set<std::uint16_t>{443, 8080},
          .local_addresses = std::set<IpAddress>{Ipv4Address{10, 0, 0, 1}},
          .remote_addresses = std::set<IpAddress>{Ipv6Address{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0,
                                                              0, 0, 0, 0, 0, 0, 1}},
          .icmp_types_and_codes = "8:*",
          .edge_traversal = false,
          .grouping = "Orvane",
          .interfaces = std::set<std::string>{"eth0", "wlan0"},
          .interface_types = std::set<InterfaceType>{InterfaceType::Lan},
          .profile = RuleProfile::Private};
}

}  // namespace orvane::testing
