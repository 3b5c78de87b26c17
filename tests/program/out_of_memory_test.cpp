#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>

#include "support/process.h"

namespace orvane::testing {
namespace {

TEST(OutOfMemory, WritesOneLineAndFailsFast) {
  // Sanitizer builds would report the failed allocation as an error of their own unless told to
  // return null, and would still warn about it on standard error: their log goes to a folder of
  // this test's instead. Other builds ignore the setting.
  const auto sanitizer_logs =
      std::filesystem::temp_directory_path() / ("orvane-oom-probe-" + std::to_string(::getpid()));
  std::filesystem::create_directories(sanitizer_logs);
  const ProcessResult result =
      run_process(ORVANE_OOM_PROBE, {},
                  {{"ASAN_OPTIONS",
                    "allocator_may_return_null=1:log_path=" + (sanitizer_logs / "asan").string()}});
  std::filesystem::remove_all(sanitizer_logs);

  EXPECT_EQ(result.err, "memory allocation of " + std::to_string(SIZE_MAX / 2) + " bytes failed\n");
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.signal, SIGABRT);
}

}  // namespace
}  // namespace orvane::testing
