// orvane-firewall: run from the Orvane installation folder, it asks the Windows Firewall for an
// inbound and an outbound UDP allow rule for the lobby and each of the two emulators, leaving any
// rule of the same name as it is. Silent on success; the first failure stops it with a report.
#include <iterator>
#include <string>
#include <vector>

#include "driver/install_paths.h"
#include "driver/orvane_rules.h"
#include "driver/udp_allow_rule.h"
#include "firewall/add_if_not_exists.h"
#include "firewall/firewall_rule.h"
#include "platform/dll_search.h"
#include "report/expect.h"
#include "report/startup.h"

namespace {

using orvane::driver::ApplicationPaths;
using orvane::driver::kOrvaneRules;
using orvane::driver::OrvaneRule;
using orvane::firewall::FirewallRule;

void register_rules() {
  const ApplicationPaths paths = orvane::driver::application_paths(
      orvane::driver::installation_directory_or_exit({"src\\main", 9, 10}, {"src\\main", 11, 10}));
  std::vector<FirewallRule> rules;
  rules.reserve(std::size(kOrvaneRules));
  for (const OrvaneRule& rule : kOrvaneRules) {
    rules.push_back(orvane::driver::udp_allow_rule(std::string(rule.name), paths.*rule.application,
                                                   rule.direction));
    // A rule that was already there counts as much as one just added.
    (void)orvane::report::expect_success(orvane::firewall::add_if_not_exists(rules.back()),
                                         rule.add_failure, rule.add_site);
  }
}

}  // namespace

int main() {
  // First, before the start-up layer and any COM call: DLLs come from System32 alone.
  orvane::platform::search_system32_only();
  return orvane::report::run_main(register_rules);
}
