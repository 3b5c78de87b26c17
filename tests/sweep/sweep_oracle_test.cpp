// The sweep's oracle must itself tell a wrong run from a right one; these tests feed it both.
#include "sweep/sweep_oracle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace orvane::sweep;

const std::vector<std::string> kRules = {"Name=\"r1\"", "Name=\"r2\"", "Name=\"r3\"",
                                         "Name=\"r4\"", "Name=\"r5\"", "Name=\"r6\""};
const Scenario kEmpty{.initial_store = {},
                      .added_rules = kRules,
                      .allocation_stop_location = "src\\firewall\\bstr_conversion.cpp:33:71",
                      .clean_out = "",
                      .clean_exit_code = 0,
                      .controls = {},
                      .repair_steps = {},
                      .clean_trace = {}};
const Scenario kPresent{.initial_store = kRules,
                        .added_rules = kRules,
                        .allocation_stop_location = "src\\firewall\\bstr_conversion.cpp:33:71",
                        .clean_out = "",
                        .clean_exit_code = 0,
                        .controls = {},
                        .repair_steps = {},
                        .clean_trace = {}};

constexpr const char* kRule3Report =
    "\nthread 'main' panicked at src\\main:74:10:\nFailed to add halvic in rule if not exists: "
    "WindowsError(Error { code: HRESULT(0x80004005), message: \"swept\" })\n";

Expectation expected(const Scenario& scenario, int rule, const Fault& primary,
                     const std::optional<Fault>& secondary = std::nullopt) {
  auto e = expect(scenario, rule, primary, secondary);
  EXPECT_TRUE(e.has_value()) << e.error();
  return e.value_or(Expectation{});
}

// The outcome a correct program gives for `e`.
Outcome matching(const Expectation& e) {
  return {.exit_code = e.exit_code,
          .signal = 0,
          .out = "",
          .err = e.err,
          .store = e.store,
          .balance = std::string(kBalanced)};
}

TEST(SweepTrace, SplitsNamesResultsAndTheBalanceLine) {
  const Trace trace = parse_trace(
      "SetLastError 0 -> void\n"
      "CoUninitialize -> void\n"
      "INetFwRules::Item NetFwRules#1 \"a b\" -> 0x80070002 null\n"
      "balance objects=0 bstrs=0 arrays=0 apartments=0 errorinfo=0\n");
  ASSERT_EQ(trace.calls.size(), 3u);
  EXPECT_EQ(trace.calls[0].name, "SetLastError");
  EXPECT_EQ(trace.calls[1].name, "CoUninitialize");
  EXPECT_EQ(trace.calls[1].result, "void");
  EXPECT_EQ(trace.calls[2].name, "INetFwRules::Item");
  EXPECT_EQ(trace.calls[2].result, "0x80070002 null");
  EXPECT_EQ(trace.balance, kBalanced);
}

TEST(SweepTrace, RulesStartAtTheApartmentThatOpens) {
  const Trace trace = parse_trace(
      "GetModuleFileNameW null 512 -> 25\n"
      "CoInitializeEx null 2 -> 0x00000000\n"
      "CoInitializeEx null 2 -> 0x00000001\n"
      "CoUninitialize -> void\n"
      "CoUninitialize -> void\n"
      "CoInitializeEx null 2 -> 0x00000000\n");
  EXPECT_EQ(rules_in_progress(trace), (std::vector<int>{0, 1, 1, 1, 1, 2}));
}

TEST(SweepFaults, ModesFollowHowTheCallReportsFailure) {
  EXPECT_EQ(modes_for({"INetFwRules::Add", "0x00000000"}),
            (std::vector<Mode>{Mode::ErrorWithInfo}));
  EXPECT_EQ(modes_for({"CoCreateInstance", "0x00000000 NetFwRule#1"}),
            (std::vector<Mode>{Mode::ErrorWithInfo, Mode::Null}));
  EXPECT_EQ(modes_for({"GetErrorInfo", "0x00000001 null"}),
            (std::vector<Mode>{Mode::ErrorWithInfo, Mode::ErrorNoInfo, Mode::Null}));
  EXPECT_EQ(modes_for({"SysAllocStringLen", "BSTR#1"}), (std::vector<Mode>{Mode::LastError}));
  EXPECT_EQ(modes_for({"WriteFile", "1"}), (std::vector<Mode>{Mode::LastError}));
  EXPECT_EQ(modes_for({"CoUninitialize", "void"}), (std::vector<Mode>{Mode::LastError}));
}

TEST(SweepFaults, WritesTheFaultAsFwsimReadsIt) {
  EXPECT_EQ(fault_text({"INetFwRules::Add", 3, Mode::ErrorWithInfo}),
            "INetFwRules::Add#3=0x80004005|desc=swept");
  EXPECT_EQ(fault_text({"CoInitializeEx", 2, Mode::ErrorNoInfo}), "CoInitializeEx#2=0x80004005");
  EXPECT_EQ(fault_text({"GetErrorInfo", 1, Mode::Null}), "GetErrorInfo#1=null");
  EXPECT_EQ(fault_text({"WriteFile", 1, Mode::LastError}), "WriteFile#1=8");
}

TEST(SweepExpectations, RuleFailureKeepsEarlierRulesAndNamesItsSite) {
  const Expectation e = expected(kEmpty, 3, {"INetFwRules::Add", 3, Mode::ErrorWithInfo});
  EXPECT_EQ(e.exit_code, 101);
  EXPECT_EQ(e.err, kRule3Report);
  EXPECT_EQ(e.store, (std::vector<std::string>{"Name=\"r1\"", "Name=\"r2\""}));
  EXPECT_FALSE(e.unread_error_info_allowed);

  const Expectation null = expected(kEmpty, 6, {"CoCreateInstance", 11, Mode::Null});
  EXPECT_EQ(null.err,
            "\nthread 'main' panicked at src\\main:113:10:\nFailed to add pendrel out rule if not "
            "exists: WindowsError(Error { code: HRESULT(0x00000000), message: \"The operation "
            "completed successfully.\" })\n");
  EXPECT_EQ(null.store.size(), 5u);
}

TEST(SweepExpectations, PresentRulesStayAsTheyAre) {
  EXPECT_EQ(expected(kPresent, 4, {"INetFwPolicy2::get_Rules", 4, Mode::Null}).store, kRules);
  // A failed look-up reads as a missing rule, so the rule is added a second time.
  std::vector<std::string> doubled = kRules;
  doubled.push_back("Name=\"r2\"");
  const Expectation lookup = expected(kPresent, 2, {"INetFwRules::Item", 2, Mode::ErrorWithInfo});
  EXPECT_EQ(lookup.exit_code, 0);
  EXPECT_EQ(lookup.err, "");
  EXPECT_EQ(lookup.store, doubled);
  EXPECT_EQ(expected(kEmpty, 2, {"INetFwRules::Item", 2, Mode::Null}).store, kRules);
}

TEST(SweepExpectations, StopsOfTheDriverAndOfTheStringAllocation) {
  const Expectation own = expected(kEmpty, 0, {"GetModuleFileNameW", 1, Mode::LastError});
  EXPECT_EQ(own.err,
            "\nthread 'main' panicked at src\\main:9:10:\ncalled `Result::unwrap()` on an `Err` "
            "value: Os { code: 8, kind: OutOfMemory, message: \"Not enough memory resources are "
            "available to process this command.\" }\n");
  EXPECT_TRUE(own.store.empty());
  const Expectation alloc = expected(kEmpty, 2, {"SysAllocStringLen", 4, Mode::LastError});
  EXPECT_EQ(
      alloc.err,
      "\nthread 'main' panicked at src\\firewall\\bstr_conversion.cpp:33:71:\nallocation failed\n");
  EXPECT_EQ(alloc.store, (std::vector<std::string>{"Name=\"r1\""}));
  const Expectation apartment = expected(kEmpty, 1, {"CoInitializeEx", 2, Mode::ErrorWithInfo});
  EXPECT_EQ(apartment.err,
            "\nthread 'main' panicked at src\\main:48:10:\nFailed to add lobby in rule if not "
            "exists: CoInitializeExFailed(\"Unspecified error\")\n");
  EXPECT_TRUE(apartment.unread_error_info_allowed);
  EXPECT_FALSE(
      expected(kEmpty, 1, {"CoInitializeEx", 2, Mode::ErrorNoInfo}).unread_error_info_allowed);
}

TEST(SweepExpectations, AFailedDllSearchChangesNothing) {
  for (const Scenario& scenario : {kEmpty, kPresent}) {
    const Expectation e = expected(scenario, 0, {"SetDefaultDllDirectories", 1, Mode::LastError});
    EXPECT_EQ(e.exit_code, 0);
    EXPECT_EQ(e.err, "");
    EXPECT_EQ(e.store, kRules);
    EXPECT_FALSE(e.unread_error_info_allowed);
  }
}

TEST(SweepExpectations, FailuresOnTheWayOutChangeOnlyWhatTheyTouch) {
  const Fault add{"INetFwRules::Add", 3, Mode::ErrorWithInfo};
  EXPECT_EQ(expected(kEmpty, 3, add, Fault{"IUnknown::QueryInterface", 1, Mode::Null}).err,
            kRule3Report);
  EXPECT_EQ(expected(kEmpty, 3, add, Fault{"GetConsoleMode", 1, Mode::LastError}).err,
            kRule3Report);
  EXPECT_NE(expected(kEmpty, 3, add, Fault{"GetErrorInfo", 7, Mode::Null})
                .err.find("message: \"Unspecified error\""),
            std::string::npos);
  EXPECT_NE(expected(kEmpty, 3, add, Fault{"IErrorInfo::GetDescription", 1, Mode::ErrorNoInfo})
                .err.find("message: \"\" })"),
            std::string::npos);
  const Expectation unwritten = expected(kEmpty, 3, add, Fault{"WriteFile", 1, Mode::LastError});
  EXPECT_EQ(unwritten.err, "");
  EXPECT_EQ(unwritten.exit_code, 101);
  EXPECT_EQ(unwritten.store.size(), 2u);
  EXPECT_NE(expected(kEmpty, 0, {"GetModuleFileNameW", 1, Mode::LastError},
                     Fault{"FormatMessageW", 1, Mode::LastError})
                .err.find("message: \"OS Error 8 (FormatMessageW() returned error 8)\""),
            std::string::npos);
}

TEST(SweepExpectations, AnUnknownCallIsNotPassed) {
  EXPECT_FALSE(expect(kEmpty, 1, {"SysReAllocString", 1, Mode::LastError}, std::nullopt));
  EXPECT_FALSE(expect(kEmpty, 1, {"INetFwRules::Add", 1, Mode::ErrorWithInfo},
                      Fault{"LoadLibraryExA", 1, Mode::LastError}));
  EXPECT_FALSE(expect(kEmpty, 0, {"INetFwRules::Add", 1, Mode::ErrorWithInfo}, std::nullopt));
  // Calls made before the first rule are expected there only.
  EXPECT_FALSE(expect(kEmpty, 1, {"SetDefaultDllDirectories", 1, Mode::LastError}, std::nullopt));
  EXPECT_FALSE(expect(kEmpty, 2, {"GetModuleFileNameW", 1, Mode::LastError}, std::nullopt));
}

TEST(SweepJudge, AcceptsTheRightOutcomeAndFlagsEachDifference) {
  const Expectation e = expected(kEmpty, 3, {"INetFwRules::Add", 3, Mode::ErrorWithInfo});
  EXPECT_EQ(judge(e, matching(e)).verdict, Verdict::Clean);

  struct Case {
    const char* what;
    void (*spoil)(Outcome&);
  };
  const Case cases[] = {
      {"exit status", [](Outcome& o) { o.exit_code = 0; }},
      {"signal", [](Outcome& o) { o.signal = 6; }},
      {"standard output", [](Outcome& o) { o.out = "x"; }},
      {"standard error", [](Outcome& o) { o.err += "\n"; }},
      {"store: rule lost", [](Outcome& o) { o.store.pop_back(); }},
      {"store: rule too many", [](Outcome& o) { o.store.push_back("Name=\"r3\""); }},
      {"store: changed rule", [](Outcome& o) { o.store[0] += " "; }},
      {"leaked string",
       [](Outcome& o) {
         o.balance = "balance objects=0 bstrs=1 arrays=0 apartments=0 errorinfo=0";
       }},
      {"open apartment",
       [](Outcome& o) {
         o.balance = "balance objects=0 bstrs=0 arrays=0 apartments=1 errorinfo=0";
       }},
      {"unread error information",
       [](Outcome& o) {
         o.balance = "balance objects=1 bstrs=0 arrays=0 apartments=0 errorinfo=1";
       }},
      {"no balance line", [](Outcome& o) { o.balance.clear(); }},
  };
  for (const Case& c : cases) {
    Outcome o = matching(e);
    c.spoil(o);
    const Judgement j = judge(e, o);
    EXPECT_EQ(j.verdict, Verdict::Finding) << c.what;
    EXPECT_FALSE(j.problems.empty()) << c.what;
  }
}

TEST(SweepJudge, TheFaultsOwnUnreadErrorInformationIsCountedApart) {
  const Expectation e = expected(kEmpty, 1, {"CoInitializeEx", 1, Mode::ErrorWithInfo});
  Outcome o = matching(e);
  EXPECT_EQ(judge(e, o).verdict, Verdict::Clean);
  o.balance = "balance objects=1 bstrs=0 arrays=0 apartments=0 errorinfo=1";
  EXPECT_EQ(judge(e, o).verdict, Verdict::UnreadErrorInfo);
  // Anything beyond that one object is still a finding.
  o.balance = "balance objects=2 bstrs=0 arrays=0 apartments=0 errorinfo=1";
  EXPECT_EQ(judge(e, o).verdict, Verdict::Finding);
  o.balance = "balance objects=1 bstrs=1 arrays=0 apartments=0 errorinfo=1";
  EXPECT_EQ(judge(e, o).verdict, Verdict::Finding);
}

// The remover's store: everything of the names before the failing one goes, and of that name the
// rules removed before the failing call (Remove takes the first of a name).
TEST(SweepExpectations, RemoverStopsOrMissesWithinOneName) {
  Scenario remover = kEmpty;
  remover.program = Program::Remove;
  remover.initial_store = {"Name=\"Another\""};
  for (const auto& rule : orvane::testing::kProgramRules) {
    remover.initial_store.push_back("Name=\"" + std::string(rule.name) + "\"");
  }
  const std::string older = "Name=\"Orvane Lobby Out\" Description=\"older\"";
  remover.initial_store.insert(remover.initial_store.begin() + 3, older);
  const auto& all = remover.initial_store;
  // Removals: #1 of the first name, #2 and #3 of the second. Look-ups: #1 and #2 of the first
  // name, then #3, #4 and #5 of the second.
  const Expectation removal = expected(remover, 2, {"INetFwRules::Remove", 3, Mode::ErrorWithInfo});
  EXPECT_EQ(removal.exit_code, 101);
  EXPECT_EQ(removal.err,
            orvane::testing::rule_report(Program::Remove, 2,
                                         "WindowsError(Error { code: "
                                         "HRESULT(0x80004005), message: \"swept\" })"));
  EXPECT_EQ(removal.store,
            (std::vector<std::string>{all[0], older, all[4], all[5], all[6], all[7]}));
  // A look-up that fails, or finds nothing with success, is no missing rule: it stops the remover
  // at its name with what that name still has (here, after one removal of it).
  const Expectation look_up = expected(remover, 2, {"INetFwRules::Item", 4, Mode::Null});
  EXPECT_EQ(look_up.exit_code, 101);
  EXPECT_EQ(look_up.err, orvane::testing::rule_report(
                             Program::Remove, 2,
                             "WindowsError(Error { code: HRESULT(0x00000000), message: \"The "
                             "operation completed successfully.\" })"));
  EXPECT_EQ(look_up.store,
            (std::vector<std::string>{all[0], older, all[4], all[5], all[6], all[7]}));
  EXPECT_EQ(expect_clean(remover).store, std::vector<std::string>{all[0]});
}

}  // namespace
