// orvane-firewall-repair: run as an administrator from the Orvane installation folder (its manifest
// asks for those rights), it makes the Windows Firewall let Orvane through wherever that is the
// product's to do: the six rules made right for this folder, block rules naming Orvane's programs
// disabled. It writes one line per change, then the check's verdict read afresh: exit status 0
// when Orvane gets through, 1 when something it may not change remains, 101 with a report when a
// call fails. Started by a double-click, it waits for Enter before its window closes.
#include <utility>

#include "driver/check_run.h"
#include "driver/firewall_reading.h"
#include "driver/install_paths.h"
#include "driver/rule_repair.h"
#include "firewall/rule_collection.h"
#include "platform/dll_search.h"
#include "report/console_pause.h"
#include "report/expect.h"

namespace {

using orvane::report::SourceLocation;

// Where the repair's reports say it stopped: the line and column of the call each stands for when
// the repair was written, the messages telling the steps apart. Support reads them, so they are
// data and stay as they are.
constexpr SourceLocation kOwnPathSite = {"src\\repair_main", 44, 7};
constexpr SourceLocation kParentSite = {"src\\repair_main", 44, 56};
constexpr orvane::driver::ReadingSites kReadSites = {
    .open = {"Failed to open the firewall rules", {"src\\repair_main", 46, 23}},
    .look_up = {"src\\repair_main", 53, 20},
    .walk = {"Failed to read the firewall rules", {"src\\repair_main", 53, 20}},
    .policy = {"Failed to read the firewall's settings", {"src\\repair_main", 53, 20}},
    .products = {"Failed to read the registered firewall products", {"src\\repair_main", 53, 20}},
};
constexpr orvane::driver::RepairSites kRepairSites = {
    .add = {"src\\repair_main", 56, 9},
    .replace = {"src\\repair_main", 56, 9},
    .duplicate = {"src\\repair_main", 56, 9},
    .disable = {"src\\repair_main", 56, 9},
};

int repair() {
  const orvane::driver::ApplicationPaths paths = orvane::driver::application_paths(
      orvane::driver::installation_directory_or_exit(kOwnPathSite, kParentSite));
  {
    auto collection = orvane::firewall::open_rule_collection();
    if (!collection) {
      return orvane::driver::answer_unreadable(
          {std::move(collection.error()), kReadSites.open.message, kReadSites.open.site});
    }
    // Declared after the collection: the rules are released before it and its apartment.
    orvane::driver::LiveRules live;
    auto reading = orvane::driver::read_firewall(*collection, paths, kReadSites, &live);
    if (!reading) return orvane::driver::answer_unreadable(std::move(reading.error()));
    orvane::driver::RepairOutcome outcome =
        orvane::driver::repair_rules(*collection, *reading, live, paths, kRepairSites);
    if (outcome.failure) {
      orvane::report::expect_success(std::expected<void, orvane::firewall::FirewallError>(
                                         std::unexpect, std::move(outcome.failure->error)),
                                     outcome.failure->message, outcome.failure->site);
    }
    // Nothing changed: the firewall is as just read.
    if (outcome.changes == 0) return orvane::driver::answer_reading(*reading, paths);
  }
  // Read afresh, through a new policy object: whether the collection already held sees its own
  // changes is not documented.
  return orvane::driver::run_check(paths, kReadSites);
}

}  // namespace

int main() {
  // First, before the start-up layer and any COM call: DLLs come from System32 alone.
  orvane::platform::search_system32_only();
  return orvane::report::run_main_then_pause(repair);
}
