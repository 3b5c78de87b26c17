#pragma once

#include <expected>

#include "firewall/firewall_error.h"
#include "firewall/firewall_rule.h"

namespace orvane::firewall {

// Adds the rule to the firewall policy unless a rule of its name exists; an existing rule is left
// exactly as it is. Opens and closes its own single-threaded COM apartment on the calling thread;
// nothing survives the call but the result. Returns whether the rule was added.
std::expected<bool, FirewallError> add_if_not_exists(const FirewallRule& rule);

}  // namespace orvane::firewall
