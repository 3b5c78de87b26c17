// fwsim's call log can be turned off, so that a long run of calls does not grow it without end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <fwsim/testing.h>
#include <fwsim/win32.h>

#include "support/sim_test.h"

namespace {

using CallLogTest = orvane::testing::SimTest;
using Log = std::vector<std::string>;

void allocate_and_free(const char16_t* text, UINT length) {
  SysFreeString(SysAllocStringLen(text, length));
}

TEST_F(CallLogTest, TurnedOffKeepsNoLineAndEmptiesTheLog) {
  allocate_and_free(u"a", 1);
  ASSERT_EQ(fwsim::call_log().size(), 2u);
  fwsim::set_call_log(false);
  EXPECT_TRUE(fwsim::call_log().empty());
  for (int i = 0; i < 100; ++i) allocate_and_free(u"b", 1);
  EXPECT_TRUE(fwsim::call_log().empty());
  EXPECT_TRUE(fwsim::call_names().empty());
}

TEST_F(CallLogTest, TurnedOffStillCountsAndChecks) {
  fwsim::set_call_log(false);
  const BSTR text = SysAllocStringLen(u"c", 1);
  EXPECT_EQ(fwsim::balance().bstrs, 1);
  SysFreeString(text);
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
}

TEST_F(CallLogTest, TurnedOnAgainLogsFromThenOn) {
  fwsim::set_call_log(false);
  allocate_and_free(u"d", 1);
  fwsim::set_call_log(true);
  allocate_and_free(u"e", 1);
  // Object numbering goes on while the log is off: the second string is BSTR#2.
  EXPECT_EQ(fwsim::call_log(),
            (Log{"SysAllocStringLen \"e\" 1 -> BSTR#2", "SysFreeString BSTR#2 -> void"}));
}

TEST_F(CallLogTest, ResetTurnsTheLogBackOn) {
  fwsim::set_call_log(false);
  fwsim::reset();
  allocate_and_free(u"f", 1);
  EXPECT_EQ(fwsim::call_log(),
            (Log{"SysAllocStringLen \"f\" 1 -> BSTR#1", "SysFreeString BSTR#1 -> void"}));
}

}  // namespace
