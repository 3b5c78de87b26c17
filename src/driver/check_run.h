#pragma once

#include "driver/check_findings.h"
#include "driver/firewall_reading.h"
#include "driver/install_paths.h"

namespace orvane::driver {

// The check's answers, shared by orvane-firewall-check and orvane-firewall-repair, which ends
// with the check's verdict. Each writes to standard output and returns the exit status.

// The findings of `reading`: 0 when none, 1 otherwise.
int answer_reading(const FirewallReading& reading, const ApplicationPaths& paths);

// A reading that failed: the one finding that the firewall service does not answer (1), or else
// the failure report at the failed step's site, which ends the run.
int answer_unreadable(ReadingFailure failure);

// Reads the firewall, then answers as above.
int run_check(const ApplicationPaths& paths, const ReadingSites& sites);

}  // namespace orvane::driver
