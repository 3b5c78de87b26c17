#pragma once

#include <string_view>

namespace orvane::report {

inline constexpr int kExitFailure = 101;

// The start-up layer: records the calling thread as the main thread, runs `driver`, and returns
// the exit status: 0 when the driver returned, 101 when a fatal failure unwound out of it.
// Standard output is flushed either way.
int run_main(void (*driver)());

// The same for a driver that gives the exit status of a run that was not stopped by a failure.
int run_main(int (*driver)());

// The name failure reports give the calling thread: "main" for the thread that entered run_main,
// "<unnamed>" for any other.
std::string_view current_thread_name();

}  // namespace orvane::report
