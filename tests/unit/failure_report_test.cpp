#include "report/failure_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#if defined(ORVANE_WITH_FWSIM)
#include "report/expect.h"
#include "report/startup.h"
#include "support/sim_test.h"
#endif

// ----- Cases that need fwsim -------------------------------------------------------------------
// Every case of this unit watches or fails the platform's calls, which only fwsim lets a test do;
// the Windows build compiles none of them.
#if defined(ORVANE_WITH_FWSIM)

namespace orvane::report {
namespace {

constexpr SourceLocation kLobbyIn = {"src\\main", 48, 10};
constexpr std::string_view kLobbyInMessage = "Failed to add lobby in rule if not exists";

// A failure value of the test's own, so that these tests do not depend on the library's errors.
struct Refusal {
  std::string text;
};
void detailed_form(const Refusal& refusal, std::string& out) {
  out += "Refusal(";
  out += refusal.text;
  out += ")";
}

std::string report(std::string_view location, std::string_view message) {
  return "\nthread 'main' panicked at " + std::string(location) + ":\n" + std::string(message) +
         "\n";
}

long count_calls(std::string_view name) {
  const auto names = fwsim::call_names();
  return std::ranges::count(names, name);
}

// The tests run on the process's main thread, which reports name "main" from the start.
using FailureReportTest = testing::SimTest;

TEST_F(FailureReportTest, WritesTheThreeLinesInOneWrite) {
  write_failure_report(kLobbyIn, kLobbyInMessage);
  EXPECT_EQ(fwsim::captured_stderr(),
            "\nthread 'main' panicked at src\\main:48:10:\n"
            "Failed to add lobby in rule if not exists\n");
  EXPECT_EQ(count_calls("WriteFile"), 1);
}

TEST_F(FailureReportTest, WritesPiecesWhenLongerThan512Bytes) {
  const std::string head = "\nthread 'main' panicked at src\\main:113:10:\n";
  struct Case {
    std::size_t total;
    bool one_write;
  };
  for (const Case c : {Case{511, true}, Case{512, true}, Case{513, false}, Case{4000, false}}) {
    fwsim::reset();
    const std::string message(c.total - head.size() - 1, 'x');
    write_failure_report({"src\\main", 113, 10}, message);
    const std::string written = fwsim::captured_stderr();
    EXPECT_EQ(written, head + message + "\n") << c.total;
    EXPECT_EQ(written.size(), c.total);
    if (c.one_write) {
      EXPECT_EQ(count_calls("WriteFile"), 1) << c.total;
    } else {
      EXPECT_GT(count_calls("WriteFile"), 1) << c.total;
    }
  }
}

TEST_F(FailureReportTest, NamesAnyOtherThreadUnnamed) {
  std::thread other([] { write_failure_report({"src\\main", 9, 10}, "from elsewhere"); });
  other.join();
  EXPECT_EQ(fwsim::captured_stderr(),
            "\nthread '<unnamed>' panicked at src\\main:9:10:\nfrom elsewhere\n");
}

// Characters from one to four UTF-8 bytes, so that the console path's chunks end at every
// possible position inside a character.
constexpr std::string_view kMixed = "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";

TEST_F(FailureReportTest, ConsoleWithAnotherCodePageGetsUtf16) {
  fwsim::set_stderr(fwsim::StreamKind::Console, 437);
  std::string message = "Zugriff verweigert \xe2\x80\x93 ";
  for (int i = 0; i < 200; ++i) message += kMixed;
  write_failure_report(kLobbyIn, message);
  EXPECT_EQ(fwsim::captured_stderr(), report("src\\main:48:10", message));
  EXPECT_GE(count_calls("WriteConsoleW"), 1);
  EXPECT_EQ(count_calls("WriteFile"), 0);
}

TEST_F(FailureReportTest, ConsoleChunksNeverSplitACharacter) {
  // Shifting the text by one byte at a time moves every chunk boundary across each character.
  for (std::size_t shift = 0; shift < 4; ++shift) {
    fwsim::reset();
    fwsim::set_stderr(fwsim::StreamKind::Console, 1252);
    std::string text(shift, '-');
    for (int i = 0; i < 100; ++i) text += kMixed;
    write_stderr(text);
    EXPECT_EQ(fwsim::captured_stderr(), text) << shift;
  }
}

TEST_F(FailureReportTest, Utf8ConsoleGetsTheBytes) {
  fwsim::set_stderr(fwsim::StreamKind::Console, 65001);
  write_failure_report(kLobbyIn, "caf\xc3\xa9");
  EXPECT_EQ(fwsim::captured_stderr(), report("src\\main:48:10", "caf\xc3\xa9"));
  EXPECT_EQ(count_calls("WriteFile"), 1);
  EXPECT_EQ(count_calls("WriteConsoleW"), 0);
}

TEST_F(FailureReportTest, NoStandardErrorWritesNothing) {
  fwsim::set_stderr(fwsim::StreamKind::None);
  write_failure_report(kLobbyIn, kLobbyInMessage);
  EXPECT_EQ(fwsim::captured_stderr(), "");
  EXPECT_EQ(count_calls("WriteFile"), 0);
  EXPECT_EQ(count_calls("WriteConsoleW"), 0);
}

TEST_F(FailureReportTest, RaiseFatalWritesBeforeItThrows) {
  EXPECT_THROW(raise_fatal({"src\\main", 11, 10}, "unable to find parent"), FatalFailure);
  EXPECT_EQ(fwsim::captured_stderr(), report("src\\main:11:10", "unable to find parent"));
}

TEST_F(FailureReportTest, ExpectPresentReportsTheMessageAlone) {
  EXPECT_EQ(expect_present(std::optional<int>(7), "unable to find parent", {"src\\main", 11, 10}),
            7);
  EXPECT_EQ(fwsim::captured_stderr(), "");

  EXPECT_THROW(expect_present(std::optional<int>(), "unable to find parent", {"src\\main", 11, 10}),
               FatalFailure);
  EXPECT_EQ(fwsim::captured_stderr(), report("src\\main:11:10", "unable to find parent"));
}

TEST_F(FailureReportTest, ExpectSuccessAddsTheDetailedForm) {
  using Result = std::expected<std::string, Refusal>;
  EXPECT_EQ(expect_success(Result("ok"), kLobbyInMessage, kLobbyIn), "ok");
  EXPECT_EQ(fwsim::captured_stderr(), "");

  EXPECT_THROW(expect_success(Result(std::unexpect, Refusal{"denied"}), kLobbyInMessage, kLobbyIn),
               FatalFailure);
  EXPECT_EQ(
      fwsim::captured_stderr(),
      report("src\\main:48:10", "Failed to add lobby in rule if not exists: Refusal(denied)"));
}

TEST_F(FailureReportTest, ExpectSuccessOfVoid) {
  using Result = std::expected<void, Refusal>;
  EXPECT_NO_THROW(expect_success(Result(), kLobbyInMessage, kLobbyIn));
  EXPECT_THROW(expect_success(Result(std::unexpect, Refusal{"x"}), "m", {"src\\main", 61, 10}),
               FatalFailure);
  EXPECT_EQ(fwsim::captured_stderr(), report("src\\main:61:10", "m: Refusal(x)"));
}

TEST_F(FailureReportTest, RunMainTurnsTheOutcomeIntoTheStatus) {
  EXPECT_EQ(run_main(+[] {}), 0);
  EXPECT_EQ(fwsim::captured_stderr(), "");

  EXPECT_EQ(run_main(+[] { raise_fatal({"src\\main", 74, 10}, "halvic"); }), kExitFailure);
  EXPECT_EQ(kExitFailure, 101);
  EXPECT_EQ(fwsim::captured_stderr(), report("src\\main:74:10", "halvic"));
}

TEST_F(FailureReportTest, RunMainNamesTheThreadThatEnteredIt) {
  std::string name;
  std::thread other([&name] {
    static std::string* seen = nullptr;
    seen = &name;
    run_main(+[] { *seen = std::string(current_thread_name()); });
  });
  other.join();
  EXPECT_EQ(name, "main");
  EXPECT_EQ(current_thread_name(), "<unnamed>");
  ASSERT_EQ(run_main(+[] {}), 0);  // and back, for the tests that follow
  EXPECT_EQ(current_thread_name(), "main");
}

}  // namespace
}  // namespace orvane::report

#endif  // defined(ORVANE_WITH_FWSIM)
