#include "firewall/add_if_not_exists.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#if defined(ORVANE_WITH_FWSIM)
#include "driver/udp_allow_rule.h"
#include "platform/com_apartment.h"
#include "support/firewall_sim_support.h"
#include "support/sim_test.h"
#endif

// ----- Cases that need fwsim -------------------------------------------------------------------
// Every case of this unit watches or fails the platform's calls, which only fwsim lets a test do;
// the Windows build compiles none of them.
#if defined(ORVANE_WITH_FWSIM)

namespace {

using namespace orvane::firewall;
using orvane::firewall::CoInitializeExFailed;
using orvane::firewall::WindowsError;
using orvane::testing::join;
using orvane::testing::kClose;
using orvane::testing::kOpen;
using orvane::testing::lifecycle_log;
using orvane::testing::Log;

const FirewallRule kRule = orvane::driver::udp_allow_rule(
    "Orvane Lobby In", "C:\\Games\\orvane-lobby.exe", RuleDirection::In);

// A missing rule, then the building of the new one (the name and path strings are BSTR#2, #3).
const Log kMissingThenBuilt = {
    "INetFwRules::Item NetFwRules#1 \"Orvane Lobby In\" -> 0x80070002 null",
    "GetErrorInfo 0 -> 0x00000001 null",
    "CoInitializeEx null 2 -> 0x00000001",
    "CoCreateInstance NetFwRule null 1 INetFwRule -> 0x00000000 NetFwRule#1",
    "SysFreeString BSTR#2 -> void",
    "SysFreeString BSTR#3 -> void",
    "CoUninitialize -> void",
};

class AddIfNotExistsTest : public orvane::testing::SimTest {
 protected:
  void store_rule(const std::string& line) {
    std::ofstream(store(), std::ios::app) << line << "\n";
  }
};

TEST_F(AddIfNotExistsTest, AddedRuleReleasesNewRuleNameCollectionPolicy) {
  const auto added = add_if_not_exists(kRule);
  ASSERT_TRUE(added.has_value());
  EXPECT_TRUE(*added);
  EXPECT_EQ(lifecycle_log(), join({kOpen,
                                   kMissingThenBuilt,
                                   {"INetFwRules::Add NetFwRules#1 NetFwRule#1 -> 0x00000000",
                                    "IUnknown::Release NetFwRule#1 -> 0"},
                                   kClose}));
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
}

TEST_F(AddIfNotExistsTest, ExistingRuleIsReleasedAtOnceAndNothingIsBuilt) {
  store_rule("Name=\"Orvane Lobby In\" Direction=2 Action=0 LocalPorts=\"1\"");
  const auto added = add_if_not_exists(kRule);
  ASSERT_TRUE(added.has_value());
  EXPECT_FALSE(*added);
  EXPECT_EQ(lifecycle_log(),
            join({kOpen,
                  {"INetFwRules::Item NetFwRules#1 \"Orvane Lobby In\" -> 0x00000000 NetFwRule#1",
                   "IUnknown::Release NetFwRule#1 -> 0"},
                  kClose}));
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
}

TEST_F(AddIfNotExistsTest, SameRuleTwiceIsAddedOnce) {
  EXPECT_EQ(add_if_not_exists(kRule), true);
  EXPECT_EQ(add_if_not_exists(kRule), false);
  std::ifstream in(store());
  int lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  EXPECT_EQ(lines, 1);
}

TEST_F(AddIfNotExistsTest, ExistingRuleWinsOverARecordTheFirewallWouldRefuse) {
  store_rule("Name=\"all\"");
  FirewallRule rule = kRule;
  rule.name = "all";  // Add refuses this name
  EXPECT_EQ(add_if_not_exists(rule), false);
}

TEST_F(AddIfNotExistsTest, FailedLookupOfAnyKindMeansBuildAndAdd) {
  ASSERT_TRUE(fwsim::add_faults("INetFwRules::Item=0x80070005|desc=denied"));
  EXPECT_EQ(add_if_not_exists(kRule), true);
  const Log log = lifecycle_log();
  // The discarded error's information goes before anything is built.
  EXPECT_EQ(Log(log.begin() + 3, log.begin() + 7),
            (Log{"INetFwRules::Item NetFwRules#1 \"Orvane Lobby In\" -> 0x80070005 null",
                 "GetErrorInfo 0 -> 0x00000000 ErrorInfo#1", "IUnknown::Release ErrorInfo#1 -> 0",
                 "CoInitializeEx null 2 -> 0x00000001"}));
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
}

TEST_F(AddIfNotExistsTest, LookupWithoutARuleMeansBuildAndAdd) {
  ASSERT_TRUE(fwsim::add_faults("INetFwRules::Item=null"));
  EXPECT_EQ(add_if_not_exists(kRule), true);
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
}

TEST_F(AddIfNotExistsTest, RefusedAddReleasesAllAndReportsAddsError) {
  ASSERT_TRUE(fwsim::add_faults("INetFwRules::Add=0x80070005|desc=Access is denied."));
  {
    const auto added = add_if_not_exists(kRule);
    ASSERT_FALSE(added.has_value());
    const auto& error = std::get<WindowsError>(added.error()).error;
    EXPECT_EQ(error.code(), static_cast<HRESULT>(0x80070005));
    EXPECT_EQ(lifecycle_log(), join({kOpen,
                                     kMissingThenBuilt,
                                     {"INetFwRules::Add NetFwRules#1 NetFwRule#1 -> 0x80070005",
                                      "GetErrorInfo 0 -> 0x00000000 ErrorInfo#1",
                                      "IUnknown::Release NetFwRule#1 -> 0"},
                                     kClose}));
    EXPECT_EQ(error.message(), "Access is denied.");
    // The error keeps its information until it is dropped.
    EXPECT_EQ(fwsim::balance().objects, 1);
  }
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
}

TEST_F(AddIfNotExistsTest, BuildFailureIsPassedOnUnchanged) {
  ASSERT_TRUE(fwsim::add_faults("INetFwRule::put_Enabled=0x80070057|desc=bad flag"));
  {
    const auto added = add_if_not_exists(kRule);
    ASSERT_FALSE(added.has_value());
    const auto& error = std::get<WindowsError>(added.error()).error;
    EXPECT_EQ(error.code(), static_cast<HRESULT>(0x80070057));
    EXPECT_EQ(lifecycle_log(),
              join({kOpen,
                    {"INetFwRules::Item NetFwRules#1 \"Orvane Lobby In\" -> 0x80070002 null",
                     "GetErrorInfo 0 -> 0x00000001 null", "CoInitializeEx null 2 -> 0x00000001",
                     "CoCreateInstance NetFwRule null 1 INetFwRule -> 0x00000000 NetFwRule#1",
                     "SysFreeString BSTR#2 -> void", "GetErrorInfo 0 -> 0x00000000 ErrorInfo#1",
                     "IUnknown::Release NetFwRule#1 -> 0", "CoUninitialize -> void"},
                    kClose}));
    EXPECT_EQ(error.message(), "bad flag");
  }
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
  EXPECT_FALSE(std::filesystem::exists(store()));
}

struct EarlyExit {
  const char* label;
  const char* fault;
  HRESULT code;
  Log log;
};

TEST_F(AddIfNotExistsTest, EarlyFailuresReleaseWhatWasObtained) {
  const EarlyExit cases[] = {
      {"policy refused",
       "CoCreateInstance=0x80040154",
       static_cast<HRESULT>(0x80040154),
       {"CoInitializeEx null 2 -> 0x00000000",
        "CoCreateInstance NetFwPolicy2 null 1 INetFwPolicy2 -> 0x80040154 null",
        "GetErrorInfo 0 -> 0x00000001 null", "CoUninitialize -> void"}},
      {"no policy object",
       "CoCreateInstance=null",
       S_OK,
       {"CoInitializeEx null 2 -> 0x00000000",
        "CoCreateInstance NetFwPolicy2 null 1 INetFwPolicy2 -> 0x00000000 null",
        "CoUninitialize -> void"}},
      {"rules refused",
       "INetFwPolicy2::get_Rules=0x80004005",
       static_cast<HRESULT>(0x80004005),
       {kOpen[0], kOpen[1], "INetFwPolicy2::get_Rules NetFwPolicy2#1 -> 0x80004005 null",
        "GetErrorInfo 0 -> 0x00000001 null", "IUnknown::Release NetFwPolicy2#1 -> 0",
        "CoUninitialize -> void"}},
      {"no rules object",
       "INetFwPolicy2::get_Rules=null",
       S_OK,
       {kOpen[0], kOpen[1], "INetFwPolicy2::get_Rules NetFwPolicy2#1 -> 0x00000000 null",
        "IUnknown::Release NetFwPolicy2#1 -> 0", "CoUninitialize -> void"}},
  };
  for (const EarlyExit& c : cases) {
    SCOPED_TRACE(c.label);
    fwsim::reset();
    fwsim::set_store_path(store().string());
    ASSERT_TRUE(fwsim::add_faults(c.fault));
    const auto added = add_if_not_exists(kRule);
    ASSERT_FALSE(added.has_value());
    EXPECT_EQ(std::get<WindowsError>(added.error()).error.code(), c.code);
    EXPECT_EQ(lifecycle_log(), c.log);
    EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
  }
}

TEST_F(AddIfNotExistsTest, RefusedApartmentCallsNothingElse) {
  ASSERT_TRUE(fwsim::add_faults("CoInitializeEx=0x80010106"));
  const auto added = add_if_not_exists(kRule);
  ASSERT_FALSE(added.has_value());
  EXPECT_EQ(std::get<CoInitializeExFailed>(added.error()).message,
            "Cannot change thread mode after it is set.");
  EXPECT_EQ(lifecycle_log(), Log{"CoInitializeEx null 2 -> 0x80010106"});
}

TEST_F(AddIfNotExistsTest, MultithreadedCallerGetsCoInitializeExFailed) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  const auto added = add_if_not_exists(kRule);
  CoUninitialize();
  ASSERT_FALSE(added.has_value());
  EXPECT_EQ(std::get<CoInitializeExFailed>(added.error()).message,
            "Cannot change thread mode after it is set.");
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
}

TEST_F(AddIfNotExistsTest, CallersApartmentSurvivesTheCall) {
  auto apartment = orvane::platform::ComApartment::enter();
  ASSERT_TRUE(apartment.has_value());
  EXPECT_EQ(add_if_not_exists(kRule), true);
  EXPECT_EQ(fwsim::balance().apartments, 1);
  EXPECT_EQ(fwsim::balance().objects, 0);
}

}  // namespace

#endif  // defined(ORVANE_WITH_FWSIM)
