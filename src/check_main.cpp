// orvane-firewall-check: run by anyone (no administrator rights needed) from the Orvane
// installation folder, it says on standard output whether the Windows Firewall lets Orvane
// through on the network Windows is on now, and if not, why and what to do. It changes nothing.
// Exit status 0 when nothing stops Orvane, 1 when something does or may; a firewall it cannot
// read stops it with a report (101). Started by a double-click, it waits for Enter before its
// window closes.
#include "driver/check_run.h"
#include "driver/install_paths.h"
#include "platform/dll_search.h"
#include "report/console_pause.h"

namespace {

using orvane::report::SourceLocation;

// Where the check's reports say it stopped: the line and column of the call each stands for when
// the check was written. Support reads them, so they are data and stay as they are.
constexpr SourceLocation kOwnPathSite = {"src\\check_main", 36, 7};
constexpr SourceLocation kParentSite = {"src\\check_main", 38, 10};
constexpr orvane::driver::ReadingSites kSites = {
    .open = {"Failed to open the firewall rules", {"src\\check_main", 45, 21}},
    .look_up = {"src\\check_main", 51, 30},
    .walk = {"Failed to read the firewall rules", {"src\\check_main", 55, 3}},
    .policy = {"Failed to read the firewall's settings", {"src\\check_main", 58, 3}},
    .products = {"Failed to read the registered firewall products", {"src\\check_main", 61, 3}},
};

int check_rules() {
  return orvane::driver::run_check(
      orvane::driver::application_paths(
          orvane::driver::installation_directory_or_exit(kOwnPathSite, kParentSite)),
      kSites);
}

}  // namespace

int main() {
  // First, before the start-up layer and any COM call: DLLs come from System32 alone.
  orvane::platform::search_system32_only();
  return orvane::report::run_main_then_pause(check_rules);
}
