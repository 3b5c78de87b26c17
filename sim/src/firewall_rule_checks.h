// The checks Windows' firewall makes of a rule: of a port put as it is put, and of the whole rule
// when it is added. Internal to fwsim.
#pragma once

#include <optional>
#include <string>

#include "firewall_rule_line.h"

namespace fwsim::detail {

// Windows refuses port texts on a rule whose protocol is neither TCP (6) nor UDP (17), which is
// what a program meets when it sets the ports before the protocol. `rule` is the rule before
// the put.
bool ports_allowed(const Rule& rule, Prop prop, const PropValue& value);

// Why Add refuses `rule` (E_INVALIDARG), as one line naming the property and the check, or
// nullopt when the firewall takes it.
std::optional<std::string> add_refusal(const Rule& rule);

}  // namespace fwsim::detail
