// The library's error type's detailed forms, with system texts from the platform's own tables.
#include "firewall/firewall_error.h"

#include <gtest/gtest.h>

#include <string>

#include "support/platform_text.h"

namespace {

using namespace orvane::firewall;
using orvane::platform::HresultError;
using orvane::testing::platform_text;
using orvane::testing::quoted;

constexpr auto kInvalidData = static_cast<HRESULT>(0x8007000D);

std::string form(const FirewallError& error) {
  std::string out;
  detailed_form(error, out);
  return out;
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
