// The checks Windows' firewall makes of a rule: of a port put as it is put, and of the whole rule
// when it is added. Internal to fwsim.
#pragma once

#include "fwsim/testing.h"  // the rule, and add_refusal: the checks of a whole rule

namespace fwsim::detail {

// Windows refuses port texts on a rule whose protocol is neither TCP (6) nor UDP (17), which is
// what a program meets when it sets the ports before the protocol. `rule` is the rule before
// the put.
bool ports_allowed(const Rule& rule, Prop prop, const PropValue& value);

// Why Add refuses a whole rule is fwsim::add_refusal, declared in fwsim/testing.h for the tests of
// the checks and defined in firewall_rule_checks.cpp.

}  // namespace fwsim::detail
