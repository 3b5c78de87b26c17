#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "firewall/bstr_conversion.h"
#include "platform/com_apartment.h"
#include "platform/owned_variant.h"
#include "report/failure_report.h"
#include "support/sim_test.h"

namespace {

using orvane::firewall::from_text;
using orvane::firewall::from_wide;
using orvane::report::FatalFailure;

class OwnedBstrSimTest : public orvane::testing::SimTest {};

TEST_F(OwnedBstrSimTest, EmptyTextCallsNothing) {
  { const auto bstr = from_text(std::string_view()); }
  EXPECT_TRUE(fwsim::call_names().empty());
}

TEST_F(OwnedBstrSimTest, EachStringIsFreedOnce) {
  {
    const auto a = from_text(std::string_view("a"));
    auto b = from_text(std::string_view("b"));
    auto moved = std::move(b);
    EXPECT_EQ(fwsim::balance().bstrs, 2);
  }
  EXPECT_EQ(fwsim::balance().bstrs, 0);
}

TEST_F(OwnedBstrSimTest, AllocationFailureStopsTheProgram) {
  ASSERT_TRUE(fwsim::add_faults("SysAllocStringLen=8"));
  EXPECT_THROW((void)from_text(std::string_view("Orvane Lobby In")), FatalFailure);
  const std::string err = fwsim::captured_stderr();
  EXPECT_TRUE(err.starts_with("\nthread 'main' panicked at src\\firewall\\bstr_conversion.cpp:"))
      << err;
  EXPECT_TRUE(err.ends_with(":\nallocation failed\n")) << err;
  EXPECT_EQ(fwsim::balance().bstrs, 0);
}

TEST_F(OwnedBstrSimTest, TooLongATextStopsBeforeAnyPlatformCall) {
  const WCHAR unit = u'x';
  // The count is checked before the units are read, so one unit stands for them all.
  EXPECT_THROW((void)from_wide(&unit, std::size_t{1} << 32), FatalFailure);
  const std::string err = fwsim::captured_stderr();
  EXPECT_TRUE(
      err.ends_with(":\ncalled `Result::unwrap()` on an `Err` value: TryFromIntError(())\n"))
      << err;
  EXPECT_TRUE(fwsim::call_names().empty() || fwsim::call_names().front() != "SysAllocStringLen");
}

TEST_F(OwnedBstrSimTest, FailedVariantClearReleasesItsErrorInformation) {
  ASSERT_TRUE(fwsim::add_faults("VariantClear#1=0x80004005|desc=cannot clear"));
  VARIANT value{};
  orvane::platform::clear_variant(value);
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
}

TEST_F(OwnedBstrSimTest, ApartmentIsBalancedOnlyWhenItWasEntered) {
  {
    auto outer = orvane::platform::ComApartment::enter();
    ASSERT_TRUE(outer.has_value());
    auto inner = orvane::platform::ComApartment::enter();
    ASSERT_TRUE(inner.has_value());
    EXPECT_EQ(fwsim::balance().apartments, 2);
  }
  EXPECT_EQ(fwsim::balance().apartments, 0);

  ASSERT_TRUE(fwsim::add_faults("CoInitializeEx=0x80010106"));
  const auto refused = orvane::platform::ComApartment::enter();
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error(), static_cast<HRESULT>(0x80010106));
  const auto names = fwsim::call_names();
  EXPECT_EQ(std::count(names.begin(), names.end(), "CoUninitialize"), 2);
}

}  // namespace
