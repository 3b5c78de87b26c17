#include "report/startup.h"

#include <atomic>
#include <cstdio>
#include <thread>

#include "report/failure_report.h"

namespace orvane::report {
namespace {

// The process's main thread: the one that runs static initialisation, and again the one that
// enters run_main (on a normal start they are the same). The program has no other thread, but a
// report raised on one (a test's, say) must not claim to be the main thread's.
std::atomic<std::thread::id> main_thread_id{std::this_thread::get_id()};

template <class Driver>
int run_driver(Driver driver) {
  main_thread_id.store(std::this_thread::get_id());
  int status = 0;
  try {
    status = driver();
  } catch (const FatalFailure&) {
    // The report is already written and everything the driver held was released on the way out.
    status = kExitFailure;
  }
  // The one-time exit clean-up; standard output holds nothing, but whatever sits in its buffer
  // belongs out before the status is handed back.
  std::fflush(stdout);
  return status;
}

}  // namespace

int run_main(void (*driver)()) {
  return run_driver([driver] {
    driver();
    return 0;
  });
}

int run_main(int (*driver)()) { return run_driver(driver); }

std::string_view current_thread_name() {
  return std::this_thread::get_id() == main_thread_id.load() ? "main" : "<unnamed>";
}

}  // namespace orvane::report
