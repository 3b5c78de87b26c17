#include "platform/owned_variant.h"

#include <gtest/gtest.h>

#if defined(ORVANE_WITH_FWSIM)
#include "support/sim_test.h"
#endif

// ----- Cases that need fwsim -------------------------------------------------------------------
// Every case of this unit watches or fails the platform's calls, which only fwsim lets a test do;
// the Windows build compiles none of them.
#if defined(ORVANE_WITH_FWSIM)

namespace {

class OwnedVariantTest : public orvane::testing::SimTest {};

TEST_F(OwnedVariantTest, FailedVariantClearReleasesItsErrorInformation) {
  ASSERT_TRUE(fwsim::add_faults("VariantClear#1=0x80004005|desc=cannot clear"));
  VARIANT value{};
  orvane::platform::clear_variant(value);
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
}

}  // namespace

#endif  // defined(ORVANE_WITH_FWSIM)
