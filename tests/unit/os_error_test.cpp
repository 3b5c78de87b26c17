#include "report/os_error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#if defined(ORVANE_WITH_FWSIM)
#include "support/sim_test.h"
#endif

// ----- Cases that need fwsim -------------------------------------------------------------------
// Every case of this unit watches or fails the platform's calls, which only fwsim lets a test do;
// the Windows build compiles none of them.
#if defined(ORVANE_WITH_FWSIM)

namespace orvane::report {
namespace {

std::string form(std::int32_t code) {
  std::string out;
  detailed_form(OsError{code}, out);
  return out;
}

using OsErrorTest = testing::SimTest;

TEST_F(OsErrorTest, ShowsCodeKindAndTheSystemText) {
  EXPECT_EQ(
      form(2),
      R"(Os { code: 2, kind: NotFound, message: "The system cannot find the file specified." })");
  EXPECT_EQ(form(5), R"(Os { code: 5, kind: PermissionDenied, message: "Access is denied." })");
}

TEST_F(OsErrorTest, PrintsTheCodeAsASignedNumber) {
  // 0x80070005, E_ACCESSDENIED: the system table has a text for it too.
  EXPECT_EQ(form(static_cast<std::int32_t>(0x80070005)),
            R"(Os { code: -2147024891, kind: Uncategorized, message: "Access is denied." })");
}

TEST_F(OsErrorTest, ExplainsAFailedLookup) {
  // An id the system has no text for: FormatMessageW sets ERROR_MR_MID_NOT_FOUND.
  EXPECT_EQ(os_error_message(0x7A5E), "OS Error 31326 (FormatMessageW() returned error 317)");

  ASSERT_TRUE(fwsim::add_faults("FormatMessageW=8"));
  EXPECT_EQ(
      form(2),
      R"x(Os { code: 2, kind: NotFound, message: "OS Error 2 (FormatMessageW() returned error 8)" })x");
}

// 0xD0000034: STATUS_OBJECT_NAME_NOT_FOUND (0xC0000034) wrapped with bit 28.
constexpr auto kWrappedNativeStatus = static_cast<std::int32_t>(0xD0000034);

TEST_F(OsErrorTest, TakesAWrappedNativeStatusFromNtdll) {
  EXPECT_EQ(form(kWrappedNativeStatus),
            R"(Os { code: -805306316, kind: Uncategorized, message: "Object Name not found." })");
  // FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, the bit cleared from the id.
  const auto log = fwsim::call_log();
  EXPECT_NE(std::ranges::find(log, "FormatMessageW 0x00000A00 ntdll 0xC0000034 0 -> 24"),
            log.end());
}

TEST_F(OsErrorTest, AsksTheSystemWhenNtdllIsNotLoaded) {
  ASSERT_TRUE(fwsim::add_faults("GetModuleHandleA=126"));
  EXPECT_EQ(os_error_message(kWrappedNativeStatus),
            "OS Error -805306316 (FormatMessageW() returned error 317)");
  const auto log = fwsim::call_log();
  EXPECT_NE(std::ranges::find(log, "FormatMessageW 0x00001200 null 0xD0000034 0 -> 0"), log.end());
}

TEST_F(OsErrorTest, TrimsTheTrailingLineBreak) {
  const std::string text = os_error_message(87);
  EXPECT_EQ(text, "The parameter is incorrect.");
}

TEST_F(OsErrorTest, NamesTheCategory) {
  struct Case {
    std::int32_t code;
    std::string_view kind;
  };
  constexpr Case kCases[] = {
      {2, "NotFound"},          {3, "NotFound"},
      {5, "PermissionDenied"},  {8, "OutOfMemory"},
      {14, "OutOfMemory"},      {80, "AlreadyExists"},
      {183, "AlreadyExists"},   {87, "InvalidInput"},
      {109, "BrokenPipe"},      {232, "BrokenPipe"},
      {258, "TimedOut"},        {1460, "TimedOut"},
      {50, "Unsupported"},      {120, "Unsupported"},
      {112, "StorageFull"},     {10061, "ConnectionRefused"},
      {0, "Uncategorized"},     {122, "Uncategorized"},
      {-1, "Uncategorized"},    {1, "Uncategorized"},
      {99999, "Uncategorized"},
  };
  for (const auto& c : kCases) EXPECT_EQ(os_error_kind(c.code), c.kind) << c.code;
}

}  // namespace
}  // namespace orvane::report

#endif  // defined(ORVANE_WITH_FWSIM)
