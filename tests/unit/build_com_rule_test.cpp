#include "firewall/build_com_rule.h"

#include <gtest/gtest.h>

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
using orvane::firewall::FirewallError;
using orvane::firewall::WindowsError;
using orvane::platform::ComApartment;
using orvane::testing::lifecycle_log;
using orvane::testing::rule_puts;

using orvane::testing::full_rule;

const std::vector<std::string> kAllPuts = {"put_Name",
                                           "put_Direction",
                                           "put_Enabled",
                                           "put_Action",
                                           "put_Description",
                                           "put_ApplicationName",
                                           "put_serviceName",
                                           "put_Protocol",
                                           "put_LocalPorts",
                                           "put_RemotePorts",
                                           "put_LocalAddresses",
                                           "put_RemoteAddresses",
                                           "put_IcmpTypesAndCodes",
                                           "put_EdgeTraversal",
                                           "put_Grouping",
                                           "put_Interfaces",
                                           "put_InterfaceTypes",
                                           "put_Profiles"};

class BuildComRuleTest : public orvane::testing::SimTest {};

TEST_F(BuildComRuleTest, RequiredFieldsAloneGiveFourPuts) {
  auto apartment = ComApartment::enter();
  FirewallRule rule = orvane::driver::udp_allow_rule("Only", "", RuleDirection::In);
  rule.application_name.reset();
  rule.protocol.reset();
  {
    auto built = build_com_rule(rule);
    ASSERT_TRUE(built.has_value());
  }
  EXPECT_EQ(rule_puts(),
            (std::vector<std::string>{"put_Name", "put_Direction", "put_Enabled", "put_Action"}));
}

TEST_F(BuildComRuleTest, ProgramRuleSetsSixPropertiesWithTheirValues) {
  auto apartment = ComApartment::enter();
  {
    auto built = build_com_rule(orvane::driver::udp_allow_rule(
        "Orvane Lobby Out", "C:\\Games\\orvane-lobby.exe", RuleDirection::Out));
    ASSERT_TRUE(built.has_value());
  }
  std::vector<std::string> puts;
  for (const std::string& line : fwsim::call_log()) {
    if (line.starts_with("INetFwRule::put_")) puts.push_back(line);
  }
  EXPECT_EQ(puts, (std::vector<std::string>{
                      "INetFwRule::put_Name NetFwRule#1 \"Orvane Lobby Out\" -> 0x00000000",
                      "INetFwRule::put_Direction NetFwRule#1 2 -> 0x00000000",
                      "INetFwRule::put_Enabled NetFwRule#1 -1 -> 0x00000000",
                      "INetFwRule::put_Action NetFwRule#1 1 -> 0x00000000",
                      "INetFwRule::put_ApplicationName NetFwRule#1 "
                      "\"C:\\\\Games\\\\orvane-lobby.exe\" -> 0x00000000",
                      "INetFwRule::put_Protocol NetFwRule#1 17 -> 0x00000000"}));
  EXPECT_EQ(fwsim::balance().objects, 0);
}

TEST_F(BuildComRuleTest, EveryPresentFieldIsSetInOrderAndAbsentFlagsAreNot) {
  auto apartment = ComApartment::enter();
  {
    auto built = build_com_rule(full_rule());
    ASSERT_TRUE(built.has_value());
  }
  EXPECT_EQ(rule_puts(), kAllPuts);
  const auto log = fwsim::call_log();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "INetFwRule::put_EdgeTraversal NetFwRule#1 0 -> 0x00000000"),
            log.end());
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "INetFwRule::put_Interfaces NetFwRule#1 [\"eth0\",\"wlan0\"] -> 0x00000000"),
            log.end());
  EXPECT_EQ(fwsim::balance().bstrs, 0);
  EXPECT_EQ(fwsim::balance().arrays, 0);
}

TEST_F(BuildComRuleTest, PresentButEmptySetsAreStillSet) {
  auto apartment = ComApartment::enter();
  FirewallRule rule = orvane::driver::udp_allow_rule("Empty sets", "", RuleDirection::In);
  rule.application_name.reset();
  rule.local_ports = std::set<std::uint16_t>{};
  rule.interfaces = std::set<std::string>{};
  {
    auto built = build_com_rule(rule);
    ASSERT_TRUE(built.has_value());
  }
  const auto log = fwsim::call_log();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "INetFwRule::put_LocalPorts NetFwRule#1 null -> 0x00000000"),
            log.end());
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "INetFwRule::put_Interfaces NetFwRule#1 empty -> 0x00000000"),
            log.end());
}

// A refusal at any step stops there: the step's value goes, then the object, then the apartment.
TEST_F(BuildComRuleTest, RefusalAtEachStepReleasesEverythingInOrder) {
  for (std::size_t step = 0; step < kAllPuts.size(); ++step) {
    const std::string method = kAllPuts[step];
    SCOPED_TRACE(method);
    fwsim::reset();
    ASSERT_TRUE(fwsim::add_faults("INetFwRule::" + method + "=0x80070057|desc=refused"));
    {
      auto apartment = ComApartment::enter();
      auto built = build_com_rule(full_rule());
      ASSERT_FALSE(built.has_value());
      const auto* error = std::get_if<WindowsError>(&built.error());
      ASSERT_NE(error, nullptr);
      EXPECT_EQ(error->error.code(), static_cast<HRESULT>(0x80070057));
      EXPECT_EQ(rule_puts(),
                std::vector<std::string>(kAllPuts.begin(), kAllPuts.begin() + step + 1));

      // After the refused put: its error is taken, its value goes, the object, the apartment.
      const bool has_string = method != "put_Direction" && method != "put_Enabled" &&
                              method != "put_Action" && method != "put_Protocol" &&
                              method != "put_EdgeTraversal" && method != "put_Profiles";
      std::vector<std::string> expected = {"GetErrorInfo 0 -> 0x00000000 ErrorInfo#1"};
      if (method == "put_Interfaces") {
        expected.push_back("VariantClear 0x200C -> 0x00000000");
      } else if (has_string) {
        expected.push_back("SysFreeString BSTR#");
      }
      expected.push_back("IUnknown::Release NetFwRule#1 -> 0");
      expected.push_back("CoUninitialize -> void");
      const auto log = lifecycle_log();
      ASSERT_GE(log.size(), expected.size());
      const std::size_t first = log.size() - expected.size();
      for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_TRUE(log[first + i].starts_with(expected[i])) << log[first + i];
      }
      EXPECT_EQ(error->error.message(), "refused");
    }
    EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
  }
}

TEST_F(BuildComRuleTest, FailedInterfacePutStillClearsTheValueAndReportsThePut) {
  ASSERT_TRUE(
      fwsim::add_faults("INetFwRule::put_Interfaces=0x80070005;VariantClear=0x80004005|desc=x"));
  auto apartment = ComApartment::enter();
  auto built = build_com_rule(full_rule());
  ASSERT_FALSE(built.has_value());
  const auto& error = std::get<WindowsError>(built.error()).error;
  EXPECT_EQ(error.code(), static_cast<HRESULT>(0x80070005));
  EXPECT_EQ(error.message(), "Access is denied.");
}

TEST_F(BuildComRuleTest, FailedNameArrayIsAWindowsErrorAndNothingIsPut) {
  ASSERT_TRUE(fwsim::add_faults("SafeArrayCreateVector=8"));
  auto apartment = ComApartment::enter();
  {
    auto built = build_com_rule(full_rule());
    ASSERT_FALSE(built.has_value());
    EXPECT_EQ(std::get<WindowsError>(built.error()).error.code(), static_cast<HRESULT>(0x80070008));
    EXPECT_EQ(rule_puts().back(), "put_Grouping");
  }
  EXPECT_EQ(fwsim::balance().objects, 0);
}

TEST_F(BuildComRuleTest, ObjectCreationFailures) {
  struct Case {
    const char* fault;
    HRESULT code;
  };
  for (const Case& c : {Case{"CoCreateInstance=0x80040154", static_cast<HRESULT>(0x80040154)},
                        Case{"CoCreateInstance=null", S_OK}}) {
    SCOPED_TRACE(c.fault);
    fwsim::reset();
    ASSERT_TRUE(fwsim::add_faults(c.fault));
    {
      auto apartment = ComApartment::enter();
      auto built = build_com_rule(full_rule());
      ASSERT_FALSE(built.has_value());
      EXPECT_EQ(std::get<WindowsError>(built.error()).error.code(), c.code);
      EXPECT_TRUE(rule_puts().empty());
      EXPECT_EQ(lifecycle_log().back(), "CoUninitialize -> void");
    }
    EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
  }
}

TEST_F(BuildComRuleTest, RefusedApartmentCreatesNothingAndBalancesNothing) {
  ASSERT_TRUE(fwsim::add_faults("CoInitializeEx=0x80010106"));
  auto built = build_com_rule(full_rule());
  ASSERT_FALSE(built.has_value());
  const auto* error = std::get_if<orvane::firewall::CoInitializeExFailed>(&built.error());
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->message, "Cannot change thread mode after it is set.");
  EXPECT_EQ(lifecycle_log(), std::vector<std::string>{"CoInitializeEx null 2 -> 0x80010106"});
}

TEST_F(BuildComRuleTest, InsideTheCallersApartmentTheObjectOutlivesItsOwnInitialisation) {
  auto apartment = ComApartment::enter();
  auto built = build_com_rule(full_rule());
  ASSERT_TRUE(built.has_value());
  EXPECT_EQ(fwsim::balance().apartments, 1);
  LONG protocol = 0;
  EXPECT_EQ((*built)->get_Protocol(&protocol), S_OK);
  EXPECT_EQ(protocol, 6);
}

}  // namespace

#endif  // defined(ORVANE_WITH_FWSIM)
