// Detailed forms of the library's errors, with system texts from the platform's own tables.
// Those texts belong to the platform and its language (Wine words them differently from Windows),
// so they are compared with what the platform itself answers, looked up the plain way; the tests
// under fwsim pin the exact English texts.
#include <gtest/gtest.h>

#include <string>

#include "platform/firewall_error.h"
#include "platform/hresult_error.h"
#include "platform/utf16.h"
#include "report/quote.h"

namespace {

using namespace orvane::platform;

constexpr auto kAccessDenied = static_cast<HRESULT>(0x80070005);
constexpr auto kFileNotFound = static_cast<HRESULT>(0x80070002);
constexpr auto kInvalidData = static_cast<HRESULT>(0x8007000D);
constexpr auto kUnspecified = static_cast<HRESULT>(0x80004005);
// STATUS_ACCESS_DENIED wrapped as an HRESULT (bit 28 set): its text is ntdll's.
constexpr auto kWrappedAccessDenied = static_cast<HRESULT>(0xD0000022);

struct PlatformText {
  orvane::WideString raw;  // as FormatMessageW wrote it
  std::string trimmed;     // without trailing white space, as UTF-8
};

// The text FormatMessageW writes into a buffer of ours for `id`, from `module`'s table or the
// system's, and the same text with its trailing white space dropped here by hand.
PlatformText platform_text(DWORD id, HMODULE module = nullptr) {
  WCHAR buffer[1024];
  const DWORD flags = FORMAT_MESSAGE_IGNORE_INSERTS |
                      (module ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
  const DWORD length = FormatMessageW(flags, module, id, 0, buffer, 1024, nullptr);
  PlatformText text{orvane::WideString(buffer, length), {}};
  orvane::WideView kept(text.raw);
  while (!kept.empty() && (kept.back() == u' ' || (kept.back() >= 9 && kept.back() <= 13))) {
    kept.remove_suffix(1);
  }
  text.trimmed = wide_to_text(kept);
  return text;
}

std::string quoted(const std::string& text) {
  std::string out;
  orvane::report::quote_text(text, out);
  return out;
}

std::string form(const FirewallError& error) {
  std::string out;
  detailed_form(error, out);
  return out;
}

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

TEST(FirewallError, EveryVariantHasItsForm) {
  EXPECT_EQ(form(CoInitializeExFailed{"Cannot change thread mode after it is set."}),
            "CoInitializeExFailed(\"Cannot change thread mode after it is set.\")");
  EXPECT_EQ(form(CoInitializeExFailed{""}), "CoInitializeExFailed(\"\")");
  EXPECT_EQ(form(CoInitializeExFailed{"two\r\nlines \"quoted\""}),
            "CoInitializeExFailed(\"two\\r\\nlines \\\"quoted\\\"\")");
  EXPECT_EQ(form(WindowsError{HresultError(kInvalidData)}),
            "WindowsError(Error { code: HRESULT(0x8007000D), message: " +
                quoted(platform_text(0x8007000D).trimmed) + " })");
  EXPECT_EQ(form(RuleAlreadyExists{}), "RuleAlreadyExists");
  EXPECT_EQ(form(InvalidNetFwAction{}), "InvalidNetFwAction");
  EXPECT_EQ(form(InvalidNetFwProfile{}), "InvalidNetFwProfile");
  EXPECT_EQ(form(InvalidNetFwRuleDirection{}), "InvalidNetFwRuleDirection");
  EXPECT_EQ(form(InvalidNetFwIpProtocol{}), "InvalidNetFwIpProtocol");
  EXPECT_EQ(form(EmptyHashSet{}), "EmptyHashSet");
  EXPECT_EQ(form(RuleStillExists{}), "RuleStillExists");
}

}  // namespace
