#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <iterator>
#include <vector>

#include "driver/install_paths.h"
#include "driver/orvane_rules.h"
#include "firewall/firewall_error.h"
#include "firewall/rule_properties.h"
#include "platform/com_ptr.h"

namespace orvane::driver {

// What orvane-firewall-check reads of the firewall: for each of the six names (in kOrvaneRules'
// order) whether a look-up finds it and every rule that bears it, and every block rule of another
// name that stops one of the three applications.
struct ReadRule {
  WideString application;
  firewall::RuleSettings settings;
};
struct NameReading {
  platform::ComPtr<INetFwRule> found;  // what INetFwRules::Item gave; null: missing
  std::vector<ReadRule> rules;         // the collection's rules of exactly this name, in its order
};
struct BlockRule {
  firewall::RuleIdentity identity;
  firewall::RuleSettings settings;
};
struct FirewallReading {
  std::array<NameReading, std::size(kOrvaneRules)> names;
  std::vector<BlockRule> blocks;
};

// Walks the collection once and fills in `reading`'s rules of the six names and its block rules:
// enabled, Action block, protocol UDP or any (256), for one of `paths`' applications compared
// without letter case, of any direction and profile. Only the name and application are read of
// the other rules. A name that the look-up found but the walk did not (the firewall changed in
// between, or its look-up compares names another way) is judged by the rule the look-up gave.
std::expected<void, firewall::FirewallError> read_firewall(INetFwRules* rules,
                                                           const ApplicationPaths& paths,
                                                           FirewallReading& reading);

}  // namespace orvane::driver
