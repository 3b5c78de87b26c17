#include "platform/com_apartment.h"

#include <gtest/gtest.h>

#include <algorithm>

#if defined(ORVANE_WITH_FWSIM)
#include "support/sim_test.h"
#endif

// ----- Cases that need fwsim -------------------------------------------------------------------
// Every case of this unit watches or fails the platform's calls, which only fwsim lets a test do;
// the Windows build compiles none of them.
#if defined(ORVANE_WITH_FWSIM)

namespace {

class ComApartmentTest : public orvane::testing::SimTest {};

TEST_F(ComApartmentTest, ApartmentIsBalancedOnlyWhenItWasEntered) {
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

#endif  // defined(ORVANE_WITH_FWSIM)
