// orvane-firewall-check: run by anyone (no administrator rights needed) from the Orvane
// installation folder, it says on standard output whether the Windows Firewall lets Orvane
// through: each of the six rules present and as orvane-firewall makes it, and no block rule for
// one of the three applications. It changes nothing. Exit status 0 when all is right, 1 when
// something was found; a firewall it cannot read stops it with a report (101).
#include <string>

#include "driver/check_findings.h"
#include "driver/firewall_reading.h"
#include "driver/install_paths.h"
#include "driver/orvane_rules.h"
#include "firewall/bstr_conversion.h"
#include "firewall/rule_collection.h"
#include "platform/dll_search.h"
#include "report/expect.h"
#include "report/failure_report.h"
#include "report/startup.h"

namespace {

using orvane::report::SourceLocation;

// Where the check's reports say it stopped: the line and column of the call each stands for when
// the check was written. Support reads them, so they are data and stay as they are.

constexpr SourceLocation kOwnPathSite = {"src\\check_main", 36, 7};
constexpr SourceLocation kParentSite = {"src\\check_main", 38, 10};
constexpr SourceLocation kOpenSite = {"src\\check_main", 45, 21};
constexpr SourceLocation kLookUpSite = {"src\\check_main", 51, 30};
constexpr SourceLocation kWalkSite = {"src\\check_main", 55, 3};

int check_rules() {
  const orvane::driver::ApplicationPaths paths = orvane::driver::application_paths(
      orvane::driver::installation_directory_or_exit(kOwnPathSite, kParentSite));
  auto collection = orvane::report::expect_success(orvane::firewall::open_rule_collection(),
                                                   "Failed to open the firewall rules", kOpenSite);
  orvane::driver::FirewallReading reading;
  for (std::size_t i = 0; i < std::size(orvane::driver::kOrvaneRules); ++i) {
    const orvane::driver::OrvaneRule& rule = orvane::driver::kOrvaneRules[i];
    const orvane::platform::OwnedBstr name = orvane::firewall::from_text(rule.name);
    reading.names[i].found = orvane::report::expect_success(
        orvane::firewall::look_up_rule(collection.rules.get(), name.get()), rule.look_up_failure,
        kLookUpSite);
  }
  orvane::report::expect_success(
      orvane::driver::read_firewall(collection.rules.get(), paths, reading),
      "Failed to read the firewall rules", kWalkSite);
  const orvane::driver::Findings findings = orvane::driver::describe_findings(reading, paths);
  orvane::report::write_stdout(findings.text);
  return findings.count == 0 ? 0 : 1;
}

}  // namespace

int main() {
  // First, before the start-up layer and any COM call: DLLs come from System32 alone.
  orvane::platform::search_system32_only();
  return orvane::report::run_main(check_rules);
}
