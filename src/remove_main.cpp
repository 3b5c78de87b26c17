// orvane-firewall-remove: run by the uninstaller from the Orvane installation folder before the
// files are deleted, it removes every firewall rule that bears one of the six names orvane-firewall
// gives its rules, whatever application a rule names (an older installation's path, say), so that
// nothing later placed at those paths is let through. It takes no argument and reads no
// environment value or file. Silent on success; the first failure stops it with a report.
#include "driver/orvane_rules.h"
#include "firewall/remove_if_exists.h"
#include "platform/dll_search.h"
#include "report/expect.h"
#include "report/startup.h"

namespace {

// In the order orvane-firewall adds them.
void remove_rules() {
  for (const orvane::driver::OrvaneRule& rule : orvane::driver::kOrvaneRules) {
    (void)orvane::report::expect_success(orvane::firewall::remove_if_exists(rule.name),
                                         rule.remove_failure, rule.remove_site);
  }
}

}  // namespace

int main() {
  // First, before the start-up layer and any COM call: DLLs come from System32 alone.
  orvane::platform::search_system32_only();
  return orvane::report::run_main(remove_rules);
}
