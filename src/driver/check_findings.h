#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "driver/firewall_reading.h"
#include "driver/install_paths.h"

namespace orvane::driver {

// What orvane-firewall-check tells its user, one line each, "\n" ended: the findings (what stops,
// or may stop, Orvane on the network Windows is on now, or is not as orvane-firewall makes it),
// each naming what is wrong and then what to do; the verdict; then notes that do not stop Orvane
// now (the firewall off, block rules of other networks). `count` is the number of findings.
struct Findings {
  std::string text;
  std::size_t count = 0;
};
Findings describe_findings(const FirewallReading& reading, const ApplicationPaths& paths);

// What is wrong with `rule`, one of the rules of kOrvaneRules[name]'s name, as the check's findings
// say it ("disabled, for TCP instead of UDP"); empty when it is exactly as orvane-firewall makes
// it, with no other condition.
std::string rule_problems(const ReadRule& rule, std::size_t name, const ApplicationPaths& paths,
                          const firewall::PolicyState& policy);

// The one finding when the firewall service does not answer, with its verdict.
std::string_view service_down_text();

}  // namespace orvane::driver
