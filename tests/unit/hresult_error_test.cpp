// HRESULT errors and the system's message texts. The portable cases compare with the platform's
// own texts; the cases under fwsim pin fwsim's English ones and watch every call.
#include "platform/hresult_error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/platform_text.h"
#include "text/utf16.h"

#if defined(ORVANE_WITH_FWSIM)
#include "platform/win32.h"
#include "support/sim_test.h"
#endif

namespace {

using orvane::platform::HresultError;
using orvane::platform::system_message;
using orvane::testing::platform_text;
using orvane::testing::PlatformText;
using orvane::testing::quoted;
using orvane::text::text_to_wide;

constexpr auto kAccessDenied = static_cast<HRESULT>(0x80070005);
constexpr auto kFileNotFound = static_cast<HRESULT>(0x80070002);
constexpr auto kInvalidData = static_cast<HRESULT>(0x8007000D);
constexpr auto kUnspecified = static_cast<HRESULT>(0x80004005);
// STATUS_ACCESS_DENIED wrapped as an HRESULT (bit 28 set): its text is ntdll's.
constexpr auto kWrappedAccessDenied = static_cast<HRESULT>(0xD0000022);

TEST(SystemMessage, IsThePlatformsTextWithoutTrailingWhiteSpace) {
  for (const HRESULT code : {kAccessDenied, kFileNotFound, kInvalidData, kUnspecified, S_OK}) {
    const PlatformText expected = platform_text(static_cast<DWORD>(code));
    ASSERT_FALSE(expected.trimmed.empty()) << "the platform has no text for " << code;
    // The tables end their texts with a line break, so the trimming has work to do.
    ASSERT_NE(expected.raw.size(), text_to_wide(expected.trimmed).size()) << code;
    EXPECT_EQ(system_message(code), expected.trimmed) << code;
  }
}

// Whatever ntdll's table says for the status, that is the text: Windows' ntdll has one for it,
// Wine's ntdll carries no message table at all, and then the text is empty.
TEST(SystemMessage, TakesWrappedNativeStatusTextsFromNtdll) {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  ASSERT_NE(ntdll, nullptr);
  EXPECT_EQ(system_message(kWrappedAccessDenied), platform_text(0xC0000022, ntdll).trimmed);
}

TEST(SystemMessage, IsEmptyForACodeWithoutText) {
  EXPECT_EQ(system_message(static_cast<HRESULT>(0x8FFF1234)), "");
}

TEST(HresultError, CodeOnlyErrorShowsTheSystemText) {
  std::string out;
  detailed_form(HresultError(kAccessDenied), out);
  EXPECT_EQ(out, "Error { code: HRESULT(0x80070005), message: " +
                     quoted(platform_text(0x80070005).trimmed) + " }");
  out.clear();
  detailed_form(HresultError(S_OK), out);
  EXPECT_EQ(out, "Error { code: HRESULT(0x00000000), message: " + quoted(platform_text(0).trimmed) +
                     " }");
}

}  // namespace

// ----- Cases that need fwsim -------------------------------------------------------------------
// They watch and fail the platform's calls, which only fwsim lets a test do; the Windows build
// compiles the cases above alone.
#if defined(ORVANE_WITH_FWSIM)

namespace {

using orvane::platform::HresultError;

class HresultErrorTest : public orvane::testing::SimTest {
 protected:
  // An error taken right after a call that failed with E_FAIL and left `info` on the thread.
  HresultError failed_call(const std::string& info) {
    EXPECT_TRUE(fwsim::add_faults("VariantClear=0x80004005" + info));
    VARIANT value{};
    return HresultError::from_hresult(VariantClear(&value));
  }

  static std::string form(const HresultError& error) {
    std::string out;
    detailed_form(error, out);
    return out;
  }

  static long count(const std::string& name) {
    const auto names = fwsim::call_names();
    return std::count(names.begin(), names.end(), name);
  }
};

struct MessageCase {
  const char* label;
  std::string info;
  std::string message;
};

TEST_F(HresultErrorTest, MessageComesFromTheErrorInformationFirst) {
  const MessageCase cases[] = {
      {"restricted wins", "|desc=plain|restricted=restricted", "restricted"},
      {"empty restricted falls back to plain", "|desc=plain|restricted=", "plain"},
      {"no restricted interface", "|desc=plain", "plain"},
      {"all empty stays empty", "|desc=|restricted=", ""},
      {"empty description is not the system text", "|desc=", ""},
      {"no texts at all", "|restricted=", ""},
      {"trailing line break dropped", "|desc=Access is denied.\\r\\n", "Access is denied."},
      {"white space only", "|desc= \\t\\r\\n", ""},
      {"lone surrogate", "|desc=bad\\u{d800}", "bad\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    fwsim::reset();
    {
      const HresultError error = failed_call(c.info);
      ASSERT_TRUE(error.has_info()) << c.label;
      EXPECT_EQ(error.message(), c.message) << c.label;
    }
    // Every text, interface and the error information itself went back exactly once.
    EXPECT_EQ(fwsim::balance(), fwsim::Balance{}) << c.label;
    EXPECT_EQ(count("FormatMessageW"), 0) << c.label;
  }
}

TEST_F(HresultErrorTest, WithoutInformationTheSystemTextIsUsed) {
  const HresultError error = failed_call("");
  EXPECT_FALSE(error.has_info());
  EXPECT_EQ(form(error), "Error { code: HRESULT(0x80004005), message: \"Unspecified error\" }");
}

TEST_F(HresultErrorTest, LineBreakInsideIsEscapedInTheForm) {
  const HresultError error = failed_call("|desc=first\\r\\nsecond\\r\\n");
  EXPECT_EQ(form(error), "Error { code: HRESULT(0x80004005), message: \"first\\r\\nsecond\" }");
}

TEST_F(HresultErrorTest, MessageIsWorkedOutAfreshEachTime) {
  const HresultError error = failed_call("|desc=again");
  EXPECT_EQ(error.message(), "again");
  EXPECT_EQ(error.message(), "again");
  EXPECT_EQ(count("IErrorInfo::GetDescription"), 2);
  // Taking the information left none on the thread.
  EXPECT_EQ(fwsim::balance().errorinfo, 0);
}

TEST_F(HresultErrorTest, RestrictedDetailsAreAllFreedBeforeTheInterfaceIsReleased) {
  {
    const HresultError error = failed_call("|desc=plain|restricted=why");
    EXPECT_EQ(error.message(), "why");
  }
  // Length look-ups are not releases; leave them out.
  std::vector<std::string> log;
  for (const std::string& line : fwsim::call_log()) {
    if (!line.starts_with("SysStringLen")) log.push_back(line);
  }
  const auto at = [&](const std::string& prefix) {
    return std::find_if(log.begin(), log.end(),
                        [&](const std::string& line) { return line.starts_with(prefix); }) -
           log.begin();
  };
  const auto details = at("IRestrictedErrorInfo::GetErrorDetails");
  ASSERT_LT(details, static_cast<long>(log.size()));
  EXPECT_EQ(log[details],
            "IRestrictedErrorInfo::GetErrorDetails ErrorInfo#1 -> 0x00000000 "
            "\"plain\" 0x80004005 \"why\" \"\"");
  // The capability SID and the unused description, then the interface, then the message text.
  EXPECT_TRUE(log[details + 1].starts_with("SysFreeString")) << log[details + 1];
  EXPECT_TRUE(log[details + 2].starts_with("SysFreeString")) << log[details + 2];
  EXPECT_TRUE(log[details + 3].starts_with("IUnknown::Release ErrorInfo#1")) << log[details + 3];
  EXPECT_TRUE(log[details + 4].starts_with("SysFreeString")) << log[details + 4];
  EXPECT_EQ(count("IErrorInfo::GetDescription"), 0);
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
}

TEST_F(HresultErrorTest, NativeStatusCodesAreLookedUpInNtdll) {
  EXPECT_EQ(HresultError(static_cast<HRESULT>(0xD0000022)).message(),
            "{Access Denied}\r\nA process has requested access to an object, but has not been "
            "granted those access rights.");
  const auto log = fwsim::call_log();
  EXPECT_NE(
      std::find(log.begin(), log.end(), "LoadLibraryExA \"ntdll.dll\" null 0x00001000 -> ntdll"),
      log.end());
  EXPECT_NE(
      std::find(log.begin(), log.end(), "FormatMessageW 0x00001B00 ntdll 0xC0000022 0 -> 109"),
      log.end());
  EXPECT_EQ(fwsim::balance().messages, 0);
}

TEST_F(HresultErrorTest, SystemTextMissingGivesEmptyMessage) {
  ASSERT_TRUE(fwsim::add_faults("FormatMessageW=317"));
  EXPECT_EQ(HresultError(static_cast<HRESULT>(0x80070005)).message(), "");
  EXPECT_EQ(count("HeapFree"), 0);
}

TEST_F(HresultErrorTest, SystemTextBufferIsFreedOnTheProcessHeap) {
  EXPECT_EQ(HresultError(static_cast<HRESULT>(0x80070002)).message(),
            "The system cannot find the file specified.");
  EXPECT_EQ(count("HeapFree"), 1);
  EXPECT_EQ(fwsim::balance().messages, 0);
}

TEST_F(HresultErrorTest, FromLastErrorKeepsTheLowSixteenBits) {
  const std::pair<DWORD, HRESULT> cases[] = {
      {13, static_cast<HRESULT>(0x8007000D)},
      {0x12345, static_cast<HRESULT>(0x80072345)},
      {0, 0},
      {0x80004005, static_cast<HRESULT>(0x80004005)},
  };
  for (const auto& [last_error, code] : cases) {
    SetLastError(last_error);
    const HresultError error = HresultError::from_last_error();
    EXPECT_EQ(error.code(), code) << last_error;
    EXPECT_FALSE(error.has_info());
  }
}

}  // namespace

#endif  // defined(ORVANE_WITH_FWSIM)
