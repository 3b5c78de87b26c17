#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "driver/firewall_reading.h"
#include "driver/install_paths.h"
#include "firewall/firewall_error.h"
#include "firewall/rule_collection.h"
#include "report/source_location.h"

namespace orvane::driver {

// Where orvane-firewall-repair's reports say each kind of change failed.
struct RepairSites {
  report::SourceLocation add;        // a missing rule added
  report::SourceLocation replace;    // the wrong rules of a name removed, the right one added
  report::SourceLocation duplicate;  // a wrong rule removed beside a right one of its name
  report::SourceLocation disable;    // a block rule naming Orvane's programs disabled
};

struct RepairFailure {
  firewall::FirewallError error;
  std::string message;
  report::SourceLocation site;
};

// What the repair did: how many changes it made, and the failure that stopped it.
struct RepairOutcome {
  std::size_t changes = 0;
  std::optional<RepairFailure> failure;
};

// Makes the firewall let Orvane through as far as that is the product's to do, through the live
// rules of `reading`. For each of the six names in order: a rule exactly as orvane-firewall makes
// it is left untouched, twins included; every other rule of the name is removed; when none was
// right, the right one is added. Then each enabled block rule naming one of the three programs,
// in any profile, is disabled, not deleted. Nothing else is touched. Stops at the first failure;
// a right rule is never changed, whenever that happens. Each change is said on standard output as
// it is made, one line each.
RepairOutcome repair_rules(const firewall::RuleCollection& collection,
                           const FirewallReading& reading, const LiveRules& live,
                           const ApplicationPaths& paths, const RepairSites& sites);

}  // namespace orvane::driver
