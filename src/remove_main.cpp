// orvane-firewall-remove: run by the uninstaller from the Orvane installation folder before the
// files are deleted, it removes every firewall rule that bears one of the six names orvane-firewall
// gives its rules, whatever application a rule names (an older installation's path, say), so that
// nothing later placed at those paths is let through. It takes no argument and reads no
// environment value or file. Silent on success; the first failure stops it with a report.
#include <string_view>

#include "firewall/remove_if_exists.h"
#include "platform/dll_search.h"
#include "report/expect.h"
#include "report/startup.h"

namespace {

using orvane::report::SourceLocation;

// Removes every rule of the name; a failure stops the program with the message and the error's
// detailed form, reported at `site`.
void remove_rule(std::string_view name, std::string_view message, const SourceLocation& site) {
  (void)orvane::report::expect_success(orvane::firewall::remove_if_exists(name), message, site);
}

// In the order orvane-firewall adds them. Each site is the line and column of its own call in this
// file; tests/program/program_test.cpp reads them back from here.
void remove_rules() {
  remove_rule("Orvane Lobby In", "Failed to remove lobby in rule", {"src\\remove_main", 26, 3});
  remove_rule("Orvane Lobby Out", "Failed to remove lobby out rule", {"src\\remove_main", 27, 3});
  remove_rule("Orvane Lobby Halvic In", "Failed to remove halvic in rule",
              {"src\\remove_main", 28, 3});
  remove_rule("Orvane Lobby Halvic Out", "Failed to remove halvic out rule",
              {"src\\remove_main", 30, 3});
  remove_rule("Orvane Lobby Pendrel In", "Failed to remove pendrel in rule",
              {"src\\remove_main", 32, 3});
  remove_rule("Orvane Lobby Pendrel Out", "Failed to remove pendrel out rule",
              {"src\\remove_main", 34, 3});
}

}  // namespace

int main() {
  // First, before the start-up layer and any COM call: DLLs come from System32 alone.
  orvane::platform::search_system32_only();
  return orvane::report::run_main(remove_rules);
}
