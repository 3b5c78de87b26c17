#include "firewall/remove_if_exists.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#if defined(ORVANE_WITH_FWSIM)
#include "support/firewall_sim_support.h"
#include "support/sim_test.h"
#include "support/text_files.h"
#endif

// ----- Cases that need fwsim -------------------------------------------------------------------
// Every case of this unit watches or fails the platform's calls, which only fwsim lets a test do;
// the Windows build compiles none of them.
#if defined(ORVANE_WITH_FWSIM)

namespace {

using namespace orvane::firewall;
using orvane::testing::join;
using orvane::testing::kClose;
using orvane::testing::kOpen;
using orvane::testing::lifecycle_log;
using orvane::testing::lines_of;
using orvane::testing::Log;
using orvane::testing::read_file;

class RemoveIfExistsTest : public orvane::testing::SimTest {
 protected:
  void store_rule(const std::string& line) {
    std::ofstream(store(), std::ios::app) << line << "\n";
  }
};

// remove_if_exists opens and closes the collection as add_if_not_exists does, releases each rule it
// finds before removing it by name, and takes a refusal's error information at once. Windows'
// answer for a missing name (0x80070002) ends the removal as done; any other failed look-up, or one
// that succeeds with no rule, is an error with the rules left in place.
TEST_F(RemoveIfExistsTest, RemovalReleasesEachFoundRuleAndTakesTheErrorAtOnce) {
  const std::string item = "INetFwRules::Item NetFwRules#1 \"Orvane Lobby In\" -> ";
  const std::string remove = "INetFwRules::Remove NetFwRules#1 \"Orvane Lobby In\" -> ";
  const struct {
    const char* fault;
    std::string result;  // the count removed or the error's detailed form
    std::size_t left;    // of the two rules of the name in the store
    Log log;             // between kOpen and kClose
  } cases[] = {
      {"",
       "2",
       0,
       {item + "0x00000000 NetFwRule#1", "IUnknown::Release NetFwRule#1 -> 0",
        remove + "0x00000000", item + "0x00000000 NetFwRule#2",
        "IUnknown::Release NetFwRule#2 -> 0", remove + "0x00000000", item + "0x80070002 null",
        "GetErrorInfo 0 -> 0x00000001 null"}},
      {"INetFwRules::Remove=0x80070005|desc=denied",
       R"(WindowsError(Error { code: HRESULT(0x80070005), message: "denied" }))",
       2,
       {item + "0x00000000 NetFwRule#1", "IUnknown::Release NetFwRule#1 -> 0",
        remove + "0x80070005", "GetErrorInfo 0 -> 0x00000000 ErrorInfo#1"}},
      {"INetFwRules::Item#2=0x800706BA|desc=unavailable",
       R"(WindowsError(Error { code: HRESULT(0x800706BA), message: "unavailable" }))",
       1,
       {item + "0x00000000 NetFwRule#1", "IUnknown::Release NetFwRule#1 -> 0",
        remove + "0x00000000", item + "0x800706BA null",
        "GetErrorInfo 0 -> 0x00000000 ErrorInfo#1"}},
      {"INetFwRules::Item=null",
       R"(WindowsError(Error { code: HRESULT(0x00000000), message: "The operation completed successfully." }))",
       2,
       {item + "0x00000000 null"}},
  };
  for (const auto& c : cases) {
    fwsim::reset();
    std::filesystem::remove(store());
    store_rule("Name=\"Orvane Lobby In\"");
    store_rule("Name=\"Orvane Lobby In\" Description=\"older\"");
    ASSERT_TRUE(fwsim::add_faults(c.fault));
    {
      const auto removed = remove_if_exists("Orvane Lobby In");
      EXPECT_EQ(lifecycle_log(), join({kOpen, c.log, kClose})) << c.fault;
      std::string result = removed ? std::to_string(*removed) : "";
      if (!removed) detailed_form(removed.error(), result);
      EXPECT_EQ(result, c.result);
    }
    EXPECT_EQ(fwsim::balance(), fwsim::Balance{}) << c.fault;
  }
}

// A firewall whose Remove does remove is followed to the end however many rules a name has, up to
// the cap; one more than the cap is reported, so the cap is checked before a removal, not after.
TEST_F(RemoveIfExistsTest, TheCapAllowsExactlyThatManyRulesOfAName) {
  for (const std::size_t stored : {kMaxRemovalsPerName, kMaxRemovalsPerName + 1}) {
    std::filesystem::remove(store());
    for (std::size_t i = 0; i < stored; ++i) store_rule("Name=\"Orvane Lobby In\"");
    const auto removed = remove_if_exists("Orvane Lobby In");
    std::string result = removed ? std::to_string(*removed) : "";
    if (!removed) detailed_form(removed.error(), result);
    EXPECT_EQ(result, stored == kMaxRemovalsPerName ? "64" : "RuleStillExists");
    EXPECT_EQ(fwsim::balance(), fwsim::Balance{}) << stored;
  }
}

}  // namespace

#endif  // defined(ORVANE_WITH_FWSIM)
