#pragma once

#include <cstddef>
#include <string>

#include "driver/firewall_reading.h"
#include "driver/install_paths.h"

namespace orvane::driver {

// What orvane-firewall-check tells its user: one line for each finding, naming the rule, what is
// wrong and what to do, then one closing line; or, when nothing was found, the one line that says
// the firewall lets Orvane through. Lines end with "\n".
struct Findings {
  std::string text;
  std::size_t count = 0;
};
Findings describe_findings(const FirewallReading& reading, const ApplicationPaths& paths);

}  // namespace orvane::driver
