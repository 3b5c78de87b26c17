#pragma once

#include <string>

#include "firewall/firewall_rule.h"

namespace orvane::driver {

// The rule the program asks for: UDP traffic of one application allowed in one direction, with
// everything else left to the firewall's defaults.
firewall::FirewallRule udp_allow_rule(std::string name, std::string application,
                                      firewall::RuleDirection direction);

}  // namespace orvane::driver
