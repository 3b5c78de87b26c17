// Detailed forms of the library's errors, with system texts from the platform's own tables.
#include <gtest/gtest.h>

#include <string>

#include "platform/firewall_error.h"
#include "platform/hresult_error.h"

namespace {

using namespace orvane::platform;

std::string form(const FirewallError& error) {
  std::string out;
  detailed_form(error, out);
  return out;
}

TEST(SystemMessage, IsTheTrimmedSystemText) {
  EXPECT_EQ(system_message(static_cast<HRESULT>(0x80070005)), "Access is denied.");
  EXPECT_EQ(system_message(static_cast<HRESULT>(0x80070002)),
            "The system cannot find the file specified.");
  EXPECT_EQ(system_message(0), "The operation completed successfully.");
}

TEST(SystemMessage, IsEmptyForACodeWithoutText) {
  EXPECT_EQ(system_message(static_cast<HRESULT>(0x8FFF1234)), "");
}

TEST(HresultError, CodeOnlyErrorShowsTheSystemText) {
  std::string out;
  detailed_form(HresultError(static_cast<HRESULT>(0x80070005)), out);
  EXPECT_EQ(out, "Error { code: HRESULT(0x80070005), message: \"Access is denied.\" }");
  out.clear();
  detailed_form(HresultError(S_OK), out);
  EXPECT_EQ(out,
            "Error { code: HRESULT(0x00000000), message: \"The operation completed successfully.\" "
            "}");
}

TEST(FirewallError, EveryVariantHasItsForm) {
  EXPECT_EQ(form(CoInitializeExFailed{"Cannot change thread mode after it is set."}),
            "CoInitializeExFailed(\"Cannot change thread mode after it is set.\")");
  EXPECT_EQ(form(CoInitializeExFailed{""}), "CoInitializeExFailed(\"\")");
  EXPECT_EQ(form(CoInitializeExFailed{"two\r\nlines \"quoted\""}),
            "CoInitializeExFailed(\"two\\r\\nlines \\\"quoted\\\"\")");
  EXPECT_EQ(form(WindowsError{HresultError(static_cast<HRESULT>(0x8007000D))}),
            "WindowsError(Error { code: HRESULT(0x8007000D), message: \"The data is invalid.\" })");
  EXPECT_EQ(form(RuleAlreadyExists{}), "RuleAlreadyExists");
  EXPECT_EQ(form(InvalidNetFwAction{}), "InvalidNetFwAction");
  EXPECT_EQ(form(InvalidNetFwProfile{}), "InvalidNetFwProfile");
  EXPECT_EQ(form(InvalidNetFwRuleDirection{}), "InvalidNetFwRuleDirection");
  EXPECT_EQ(form(InvalidNetFwIpProtocol{}), "InvalidNetFwIpProtocol");
  EXPECT_EQ(form(EmptyHashSet{}), "EmptyHashSet");
}

}  // namespace
