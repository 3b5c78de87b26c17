#include "driver/check_run.h"

#include <utility>

#include "report/expect.h"
#include "report/failure_report.h"

namespace orvane::driver {

int answer_reading(const FirewallReading& reading, const ApplicationPaths& paths) {
  const Findings findings = describe_findings(reading, paths);
  report::write_stdout(findings.text);
  return findings.count == 0 ? 0 : 1;
}

int answer_unreadable(ReadingFailure failure) {
  if (firewall_service_down(failure.error)) {
    report::write_stdout(service_down_text());
    return 1;
  }
  report::expect_success(
      std::expected<void, firewall::FirewallError>(std::unexpect, std::move(failure.error)),
      failure.message, failure.site);
  return 1;  // not reached: expect_success ended the run
}

int run_check(const ApplicationPaths& paths, const ReadingSites& sites) {
  auto reading = read_firewall(paths, sites);
  if (!reading) return answer_unreadable(std::move(reading.error()));
  return answer_reading(*reading, paths);
}

}  // namespace orvane::driver
