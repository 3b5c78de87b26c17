// The programs as a user runs them: against fwsim, with fwsim's controls in the environment.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/program_rules.h"
#include "support/text_files.h"

namespace {

using orvane::testing::failure_report;
using orvane::testing::lines_of;
using orvane::testing::ProcessResult;
using orvane::testing::Program;
using orvane::testing::read_file;
using orvane::testing::rule_report;
using orvane::testing::run_process;
using orvane::testing::six_rules;

constexpr const char* kBalanced = "balance objects=0 bstrs=0 arrays=0 apartments=0 errorinfo=0";
// Every run's first platform call: System32 becomes the one folder DLLs are loaded from.
constexpr const char* kDllSearch = "SetDefaultDllDirectories 0x00000800 -> 1";

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // A parameterised test's name holds a '/', which must not make a folder of its own.
    std::string name = info->name();
    std::replace(name.begin(), name.end(), '/', '.');
    dir_ = std::filesystem::temp_directory_path() /
           ("orvane-program-" + std::to_string(::getpid()) + "-" + name);
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::filesystem::path store() const { return dir_ / "rules"; }
  std::filesystem::path trace() const { return dir_ / "trace"; }

  // Runs the program (the adder unless named) with its own store and trace, plus `env`. Whatever
  // else happens, a run that fwsim lets start begins with the DLL search.
  ProcessResult run(std::map<std::string, std::string> env = {},
                    const char* program = ORVANE_PROGRAM) {
    env.emplace("FWSIM_STORE", store().string());
    env.emplace("FWSIM_TRACE", trace().string());
    std::filesystem::remove(trace());
    ProcessResult result = run_process(program, {}, env);
    if (result.exit_code != 3) {
      const auto lines = lines_of(read_file(trace()));
      EXPECT_EQ(lines.empty() ? "" : lines.front(), kDllSearch);
    }
    return result;
  }

  std::vector<std::string> store_lines() const { return lines_of(read_file(store())); }
  std::string last_trace_line() const {
    const auto lines = lines_of(read_file(trace()));
    return lines.empty() ? "" : lines.back();
  }

 private:
  std::filesystem::path dir_;
};

TEST_F(ProgramTest, AddsSixRulesSilentlyAndLeavesThemOnTheNextRun) {
  const ProcessResult first = run({{"FWSIM_MODULE_PATH", "C:\\Games\\Orvane\\setup.exe"}});
  EXPECT_EQ(first.exit_code, 0);
  EXPECT_EQ(first.out, "");
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(store_lines(), six_rules("C:\\\\Games\\\\Orvane"));
  EXPECT_EQ(last_trace_line(), kBalanced);

  const std::string before = read_file(store());
  const ProcessResult second = run({{"FWSIM_MODULE_PATH", "C:\\Games\\Orvane\\setup.exe"}});
  EXPECT_EQ(second.exit_code, 0);
  EXPECT_EQ(second.err, "");
  EXPECT_EQ(read_file(store()), before);
  EXPECT_EQ(last_trace_line(), kBalanced);
}

TEST_F(ProgramTest, WithoutAnOverrideUsesItsOwnLocationOnTheZDrive) {
  const ProcessResult result = run();
  ASSERT_EQ(result.exit_code, 0) << result.err;
  std::string dir = "Z:" + std::filesystem::path(ORVANE_PROGRAM).parent_path().string();
  std::string escaped;
  for (char c : dir) escaped += c == '/' ? std::string("\\\\") : std::string(1, c);
  EXPECT_EQ(store_lines(), six_rules(escaped));
}

struct PathCase {
  const char* label;
  std::string module_path;  // FWSIM_MODULE_PATH
  std::string folder;       // the installation folder as the store shows it
};

void PrintTo(const PathCase& path_case, std::ostream* out) { *out << path_case.label; }

class ProgramPathTest : public ProgramTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(ProgramPathTest, NamesTheApplicationsUnderItsFolder) {
  const ProcessResult result = run({{"FWSIM_MODULE_PATH", GetParam().module_path}});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(store_lines(), six_rules(GetParam().folder));
  EXPECT_EQ(last_trace_line(), kBalanced);
}

// A folder of `length` characters; \emulator\pendrel-orvane\pendrel.exe, the longest of the three
// application names, adds 36 to it.
std::string folder_of(std::size_t length) {
  std::string folder = "C:";
  while (folder.size() < length) folder += "\\abcdefghi";
  folder.resize(length);
  if (folder.back() == '\\') folder.back() = 'x';
  return folder;
}

std::string doubled(std::string text) {
  std::string out;
  for (char c : text) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ProgramPathTest,
    ::testing::Values(
        PathCase{"DriveRoot", "C:\\setup.exe", "C:"},
        PathCase{"Nested", "C:\\Games\\Orvane\\setup.exe", "C:\\\\Games\\\\Orvane"},
        PathCase{"Unc", "\\\\server\\share\\Orvane\\setup.exe",
                 "\\\\\\\\server\\\\share\\\\Orvane"},
        PathCase{"UncShareRoot", "\\\\server\\share\\setup.exe", "\\\\\\\\server\\\\share"},
        // Started through a verbatim path, the program names its folder in the ordinary form.
        PathCase{"Verbatim", "\\\\?\\C:\\Games\\setup.exe", "C:\\\\Games"},
        PathCase{"VerbatimUnc", "\\\\?\\unc\\server\\share\\setup.exe", "\\\\\\\\server\\\\share"},
        PathCase{"Device", "\\\\.\\C:\\Games\\setup.exe", "\\\\\\\\.\\\\C:\\\\Games"},
        PathCase{"LongestAccepted", folder_of(223) + "\\setup.exe", doubled(folder_of(223))},
        PathCase{"NonAscii", "C:\\Spiele\\Orvan\xC3\xA9 \xE6\xB8\xB8\xE6\x88\x8F\\setup.exe",
                 "C:\\\\Spiele\\\\Orvan\xC3\xA9 \xE6\xB8\xB8\xE6\x88\x8F"},
        PathCase{"LoneSurrogate", "C:\\Games\\Orv\\u{d800}ne\\setup.exe",
                 "C:\\\\Games\\\\Orv\xEF\xBF\xBDne"}),
    [](const auto& param_info) { return param_info.param.label; });

// Paths Windows' firewall refuses (a "?" in them, or 260 units or more) stop at the first rule
// concerned, with the rules before it kept. The 990-unit folder is also longer than the first
// buffer for the own path, which must be found all the same (no report at line 9).
TEST_F(ProgramTest, ApplicationPathsTheFirewallRefusesAreReportedAtTheirRule) {
  const std::string refused =
      R"(WindowsError(Error { code: HRESULT(0x80070057), message: "The parameter is incorrect." }))";
  const struct {
    std::string module_path;
    int rule;  // the first refused; the rules before it are kept
  } cases[] = {
      {folder_of(990) + "\\setup.exe", 1},
      {folder_of(230) + "\\setup.exe", 3},
      {folder_of(225) + "\\setup.exe", 5},
      {"\\\\?\\Volume{6c2a3f1e-0000-0000-0000-100000000000}\\Orvane\\setup.exe", 1},
      {"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume2\\setup.exe", 1},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(store());
    const ProcessResult result = run({{"FWSIM_MODULE_PATH", c.module_path}});
    EXPECT_EQ(result.exit_code, 101) << c.module_path;
    EXPECT_EQ(result.err, rule_report(Program::Add, c.rule, refused));
    const auto all = six_rules(doubled(c.module_path.substr(0, c.module_path.rfind('\\'))));
    EXPECT_EQ(store_lines(), std::vector<std::string>(all.begin(), all.begin() + c.rule - 1));
    EXPECT_EQ(last_trace_line(), kBalanced);
  }
}

// A user without administrator rights may look rules up but not add them.
TEST_F(ProgramTest, StandardUserIsRefusedTheFirstAddButNeedsNoneWhenTheRulesExist) {
  const std::map<std::string, std::string> standard = {
      {"FWSIM_MODULE_PATH", "C:\\Games\\setup.exe"}, {"FWSIM_USER", "standard"}};
  const ProcessResult refused = run(standard);
  EXPECT_EQ(refused.exit_code, 101);
  EXPECT_EQ(refused.err, rule_report(Program::Add, 1,
                                     R"(WindowsError(Error { code: HRESULT(0x80070005), )"
                                     R"(message: "Access is denied." }))"));
  EXPECT_FALSE(std::filesystem::exists(store()));
  EXPECT_EQ(last_trace_line(), kBalanced);

  ASSERT_EQ(run({{"FWSIM_MODULE_PATH", "C:\\Games\\setup.exe"}}).exit_code, 0);
  const std::string added = read_file(store());
  const ProcessResult again = run(standard);
  EXPECT_EQ(again.exit_code, 0);
  EXPECT_EQ(again.out + again.err, "");
  EXPECT_EQ(read_file(store()), added);
  EXPECT_EQ(run({{"FWSIM_USER", "other"}}).exit_code, 3);
}

// Each failure stops the adder at once with its report, the rules added before it kept.
TEST_F(ProgramTest, FailuresAreReportedAtTheirSiteWithTheEarlierRulesKept) {
  const std::string denied =
      R"(WindowsError(Error { code: HRESULT(0x80070005), message: "Access is denied." }))";
  const struct {
    std::string module_path;
    const char* fault;
    std::string report;
    std::size_t kept;
  } cases[] = {
      {"C:", "", failure_report("src\\main:11:10", "unable to find parent"), 0},
      {"C:\\Games\\setup.exe", "GetModuleFileNameW=2",
       failure_report("src\\main:9:10",
                      "called `Result::unwrap()` on an `Err` value: Os { code: 2, kind: NotFound, "
                      "message: \"The system cannot find the file specified.\" }"),
       0},
      {"C:\\Games\\setup.exe", "INetFwRules::Add#3=0x80070005|desc=Access is denied.",
       rule_report(Program::Add, 3, denied), 2},
      // Without error information, the system's text.
      {"C:\\Games\\setup.exe", "INetFwRules::Add#2=0x80070005",
       rule_report(Program::Add, 2, denied), 1},
      {"C:\\Games\\setup.exe", "CoInitializeEx#1=0x80010106",
       rule_report(Program::Add, 1,
                   R"(CoInitializeExFailed("Cannot change thread mode after it is set."))"),
       0},
  };
  const auto all = six_rules("C:\\\\Games");
  for (const auto& c : cases) {
    std::filesystem::remove(store());
    const ProcessResult result =
        run({{"FWSIM_MODULE_PATH", c.module_path}, {"FWSIM_FAIL", c.fault}});
    EXPECT_EQ(result.exit_code, 101) << c.fault;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, c.report);
    EXPECT_EQ(store_lines(), std::vector<std::string>(all.begin(), all.begin() + c.kept))
        << c.fault;
    EXPECT_EQ(last_trace_line(), kBalanced) << c.fault;
  }
}

TEST_F(ProgramTest, ExistingRuleIsLeftExactlyAsItWas) {
  const std::string existing =
      "Name=\"Orvane Lobby Halvic In\" Description=\"kept\" Direction=2 Enabled=0 Action=0 "
      "Protocol=6 LocalPorts=\"80\"";
  std::ofstream(store()) << existing << "\n";
  const ProcessResult result = run({{"FWSIM_MODULE_PATH", "C:\\Games\\setup.exe"}});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  auto expected = six_rules("C:\\\\Games");
  expected.erase(expected.begin() + 2);
  expected.insert(expected.begin(), existing);
  EXPECT_EQ(store_lines(), expected);
  EXPECT_EQ(last_trace_line(), kBalanced);
}

TEST_F(ProgramTest, StringAllocationFailureStopsWithItsOwnReport) {
  const ProcessResult result = run({{"FWSIM_FAIL", "SysAllocStringLen=8"}});
  EXPECT_EQ(result.exit_code, 101);
  const auto lines = lines_of(result.err);
  ASSERT_EQ(lines.size(), 3u) << result.err;
  EXPECT_EQ(lines[0], "");
  EXPECT_TRUE(lines[1].starts_with("thread 'main' panicked at src\\firewall\\bstr_conversion.cpp:"))
      << lines[1];
  EXPECT_EQ(lines[2], "allocation failed");
  EXPECT_EQ(last_trace_line(), kBalanced);
}

TEST_F(ProgramTest, ReportGoesToAConsoleAsTheSameText) {
  const ProcessResult result = run({{"FWSIM_MODULE_PATH", "C:"}, {"FWSIM_STDERR", "console:437"}});
  EXPECT_EQ(result.exit_code, 101);
  EXPECT_EQ(result.err, failure_report("src\\main:11:10", "unable to find parent"));
}

TEST_F(ProgramTest, WithoutStandardErrorWritesNothingAndStillFails) {
  const ProcessResult result = run({{"FWSIM_MODULE_PATH", "C:"}, {"FWSIM_STDERR", "none"}});
  EXPECT_EQ(result.exit_code, 101);
  EXPECT_EQ(result.err, "");
}

TEST_F(ProgramTest, DamagedStoreIsReportedAndNeverOverwritten) {
  const std::string damaged = "Name=\"Orvane Lobby In\" Direction=\n";
  std::ofstream(store()) << damaged;
  const ProcessResult result = run();
  EXPECT_EQ(result.exit_code, 101);
  EXPECT_TRUE(result.err.starts_with(failure_report("src\\main:48:10", "").substr(0, 40)))
      << result.err;
  EXPECT_NE(result.err.find("WindowsError(Error { code: HRESULT(0x80004005)"), std::string::npos)
      << result.err;
  EXPECT_EQ(read_file(store()), damaged);
  EXPECT_EQ(last_trace_line(), kBalanced);
}

TEST_F(ProgramTest, TraceThatCannotBeOpenedIsRefusedOnOneLine) {
  // The program's own trace file; a path with a line break must not break fwsim's message.
  const ProcessResult result =
      run_process(ORVANE_PROGRAM, {},
                  {{"FWSIM_STORE", store().string()},
                   {"FWSIM_TRACE", (store().parent_path() / "no\nfolder" / "trace").string()}});
  EXPECT_EQ(result.exit_code, 3);
  EXPECT_TRUE(result.err.starts_with("fwsim: FWSIM_TRACE: cannot open ")) << result.err;
  EXPECT_TRUE(result.err.ends_with("no\\nfolder/trace`\n")) << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  EXPECT_FALSE(std::filesystem::exists(store()));
}

// ----- orvane-firewall-remove -----

// The six rules a run of orvane-firewall adds, from the `present`-th on, beside another rule and,
// while the sixth is there, a second rule of its name with an older path. Every rule of the six
// names goes (a second run finds none); the first failure stops the run at its rule (0: none),
// with the six from the `kept`-th on still there.
TEST_F(ProgramTest, RemoverTakesAwayTheSixNamesUpToItsFirstFailure) {
  const std::string denied =
      R"(WindowsError(Error { code: HRESULT(0x80070005), message: "Access is denied." }))";
  const struct {
    const char* variable;
    const char* value;
    std::size_t present;
    int rule;
    std::string detail;
    std::size_t kept;
    long removes;  // Remove calls made
  } cases[] = {
      {"FWSIM_USER", "admin", 0, 0, "", 6, 7},
      {"FWSIM_USER", "admin", 6, 0, "", 6, 0},
      {"FWSIM_FAIL", "INetFwRules::Remove#3=0x80070005", 0, 3, denied, 2, 3},
      {"FWSIM_USER", "standard", 0, 1, denied, 0, 1},
      {"FWSIM_USER", "standard", 4, 5, denied, 4, 1},
      {"FWSIM_USER", "standard", 6, 0, "", 6, 0},
      {"FWSIM_FAIL", "CoInitializeEx#4=0x80010106", 0, 4,
       R"(CoInitializeExFailed("Cannot change thread mode after it is set."))", 3, 3},
      // A Remove that leaves the rule is tried 64 times, then reported.
      {"FWSIM_FAIL", "INetFwRules::Remove=0", 0, 1, "RuleStillExists", 0, 64},
      // Wine's firewall answers every look-up with E_NOTIMPL: no rule is found.
      {"FWSIM_FAIL", "INetFwRules::Item=0x80004001", 0, 0, "", 0, 0},
      // Only Windows' answer for a missing name means no rule; a service that does not answer
      // stops the remover with the rules in place.
      {"FWSIM_FAIL", "INetFwRules::Item#1=0x800706BA", 0, 1,
       R"(WindowsError(Error { code: HRESULT(0x800706BA), message: "The RPC server is unavailable." }))",
       0, 0},
      {"FWSIM_FAIL", "INetFwRules::Item#6=0x80070002", 5, 0, "", 5, 0},
  };
  const auto six = six_rules("C:\\\\Games");
  const auto lines_from = [&six](std::size_t first) {
    std::vector<std::string> lines = {R"(Name="Another" Direction=1 Protocol=6)"};
    lines.insert(lines.end(), six.begin() + first, six.end());
    if (first < 6)
      lines.push_back(R"(Name="Orvane Lobby Pendrel Out" ApplicationName="D:\\old.exe")");
    return lines;
  };
  for (const auto& c : cases) {
    std::ofstream out(store());
    for (const auto& line : lines_from(c.present)) out << line << "\n";
    out.close();
    const ProcessResult result = run({{c.variable, c.value}}, ORVANE_REMOVER);
    const std::string what = c.value;
    EXPECT_EQ(result.exit_code, c.rule == 0 ? 0 : 101) << what;
    EXPECT_EQ(result.out, "") << what;
    EXPECT_EQ(result.err, c.rule == 0 ? "" : rule_report(Program::Remove, c.rule, c.detail))
        << what;
    EXPECT_EQ(store_lines(), lines_from(c.kept)) << what;
    // run() has checked that the DLL search comes first.
    const auto calls = lines_of(read_file(trace()));
    EXPECT_EQ(std::ranges::count_if(
                  calls, [](const auto& l) { return l.starts_with("INetFwRules::Remove "); }),
              c.removes)
        << what;
    EXPECT_EQ(last_trace_line(), kBalanced) << what;
  }
}

// ----- orvane-firewall-check -----

constexpr const char* kAllRight =
    "The Windows Firewall lets Orvane through: its six rules are in place and no block rule stops "
    "its programs.\n";
// The advice for whatever the repair mends.
constexpr const char* kRepair =
    "To fix: run orvane-firewall-repair.exe, in the Orvane folder, as an administrator.\n";
const std::string kReinstall = std::string(": missing. ") + kRepair;

std::string problems_found(int count) {
  return std::to_string(count) + (count == 1 ? " problem" : " problems") +
         " found: the Windows Firewall may stop Orvane until fixed as said above.\n";
}

// The line for a rule of one of the six names that is not as the adder makes it.
std::string wrong_rule(const std::string& name, const std::string& what,
                       const std::string& which = "") {
  return name + which + ": " + what + ". " + kRepair;
}

// The line for a block rule naming one of Orvane's programs.
std::string block_rule(const std::string& name, const std::string& what) {
  return "Block rule \"" + name + "\" " + what + ". " + kRepair;
}

// The end of the line for a block rule for every program whose name no command should be given.
const std::string kNoCommand =
    "(Orvane's too). Its name cannot be typed safely in a command: if nothing needs it, as an "
    "administrator, delete it in Windows Defender Firewall with Advanced Security (wf.msc).\n";

// The line for a block rule for every program, which netsh can delete by name.
std::string block_all(const std::string& name, const std::string& what) {
  return "Block rule \"" + name + "\" " + what +
         ". To fix, if nothing needs it, as an administrator: netsh advfirewall firewall delete "
         "rule name=\"" +
         name + "\".\n";
}

constexpr const char* kLetThroughNow =
    "The Windows Firewall lets Orvane through on the network Windows is on now: its six rules are "
    "in place.\n";
constexpr const char* kPrivateOff =
    "The Windows Firewall is off for the private network Windows is on now: it stops nothing "
    "there.\n";
constexpr const char* kOnceOn = "Once the firewall is on again: ";

// `count` rules of other programs, enough to fill batches of the walk.
std::vector<std::string> other_rules(int count, const std::string& last) {
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) {
    lines.push_back("Name=\"Tool " + std::to_string(i) + R"(" ApplicationName="C:\\T.exe")");
  }
  lines.push_back(last);
  return lines;
}

// The check, run from the adder's folder after the adder, then with the adder's rules changed as
// each case says, reads the rules and changes nothing, whoever runs it.
TEST_F(ProgramTest, CheckSaysWhatStopsOrvaneAndWhatToDo) {
  const std::string lobby = R"(ApplicationName="C:\\Games\\Orvane\\orvane-lobby.exe")";
  const std::string block = R"(Name="Cancelled alert" Direction=1 Action=0 )" + lobby;
  const std::string all_udp = R"(Action=0 Enabled=-1 Protocol=17)";
  const std::string alert =
      block_rule("Cancelled alert", R"(stops inbound UDP of "C:\Games\Orvane\orvane-lobby.exe")");
  std::string missing;
  for (const auto& rule : orvane::testing::kProgramRules)
    missing += std::string(rule.name) + kReinstall;
  const struct {
    std::string removed;             // which of the adder's six rules (0 to 5) are taken away
    std::vector<std::string> added;  // store lines added after them
    int exit_code;
    std::string out;
    std::map<std::string, std::string> env = {};  // fwsim's controls, the environment
    std::string folder = R"(C:\Games\Orvane)";    // the check's own
  } cases[] = {
      {"", {}, 0, kAllRight},
      {"012345", {}, 1, missing + problems_found(6)},
      {"034",
       {R"(Name="Orvane Lobby In" Direction=1 Enabled=0 Action=1 Protocol=17 )" + lobby,
        R"(Name="Orvane Lobby Halvic Out" Direction=2 Enabled=-1 Action=0 ApplicationName="C:\\)"
        R"(Games\\Orvane\\emulator\\halvic-orvane\\halvic.exe" Protocol=17)",
        R"(Name="Orvane Lobby Pendrel In" Direction=1 Enabled=-1 Action=1 ApplicationName="D:\\)"
        R"(Old\\emulator\\pendrel-orvane\\pendrel.exe" Protocol=17)",
        // Windows compares paths without letter case: still this folder's lobby.
        R"(Name="Orvane Lobby Out" Direction=2 Enabled=-1 Action=1 Protocol=17 )"
        R"(ApplicationName="c:\\GAMES\\orvane\\ORVANE-LOBBY.EXE")"},
       1,
       wrong_rule("Orvane Lobby In", "disabled") +
           wrong_rule("Orvane Lobby Halvic Out", "a block rule instead of an allow rule") +
           wrong_rule("Orvane Lobby Pendrel In",
                      R"(for "D:\Old\emulator\pendrel-orvane\pendrel.exe" instead of )"
                      R"("C:\Games\Orvane\emulator\pendrel-orvane\pendrel.exe")") +
           problems_found(3)},
      {"",
       {R"(Name="Orvane Lobby In" Direction=2 Enabled=-1 Action=1 Protocol=6 Profiles=1)"},
       1,
       wrong_rule("Orvane Lobby In",
                  "for outbound instead of inbound traffic, for TCP instead of UDP, only for some "
                  "network profiles (not private or public; Windows is on a private network now), "
                  R"(for every program instead of "C:\Games\Orvane\orvane-lobby.exe")",
                  " (rule 2 of 2 of this name)") +
           problems_found(1)},
      // Conditions the adder never sets; a profile missing that Windows is not on now.
      {"0",
       {R"(Name="Orvane Lobby In" Direction=1 Enabled=-1 Action=1 Protocol=17 LocalPorts="3000" )"
        R"(RemoteAddresses="LocalSubnet" InterfaceTypes="Wireless" Profiles=3 )" +
        lobby},
       1,
       wrong_rule("Orvane Lobby In",
                  R"(only for some network profiles (not public), only for local ports "3000", )"
                  R"(remote addresses "LocalSubnet", interface types "Wireless")") +
           problems_found(1)},
      {"", {block + " Protocol=17 Enabled=-1"}, 1, alert + problems_found(1)},
      {"",
       {block + " Protocol=256 Enabled=-1"},
       1,
       block_rule("Cancelled alert",
                  R"(stops inbound traffic of "C:\Games\Orvane\orvane-lobby.exe")") +
           problems_found(1)},
      // Disabled, TCP only, for another program: none stops the lobby's UDP.
      {"", {block + " Protocol=17 Enabled=0"}, 0, kAllRight},
      {"", {block + " Protocol=6 Enabled=-1"}, 0, kAllRight},
      {"", {R"(Name="x" Action=0 Enabled=-1 ApplicationName="C:\\Games\\x.exe")"}, 0, kAllRight},
      // The firewall expands a program's environment variables, names without letter case.
      {"",
       {R"(Name="Expanded" )" + all_udp +
            R"( ApplicationName="%programfiles%\\Orvane\\orvane-lobby.exe")",
        R"(Name="Elsewhere" )" + all_udp +
            R"( ApplicationName="%ProgramFiles%\\Other\\orvane-lobby.exe")"},
       1,
       block_rule("Expanded", R"(stops inbound UDP of "%programfiles%\Orvane\orvane-lobby.exe")") +
           problems_found(1),
       {{"ProgramFiles", R"(C:\Games)"}}},
      // Letter case beyond ASCII, as a cancelled security alert writes the path.
      {"",
       {"Name=\"Alert\" " + all_udp +
        " ApplicationName=\"c:\\\\игры\\\\ορβανε\\\\ORVANE-lobby.exe\""},
       1,
       block_rule("Alert", "stops inbound UDP of \"c:\\игры\\ορβανε\\ORVANE-lobby.exe\"") +
           problems_found(1),
       {},
       "C:\\Игры\\Ορβανε"},
      // Block rules for every program: without a condition, with one, and three that do not stop
      // Orvane on the private network Windows is on now.
      {"",
       {R"(Name="No UDP" )" + all_udp, R"(Name="Game port" )" + all_udp + R"( LocalPorts="27015")",
        R"(Name="TCP" Action=0 Enabled=-1 Protocol=6)",
        R"(Name="Off" Action=0 Enabled=0 Protocol=17)",
        R"(Name="DNS" )" + all_udp + R"( serviceName="Dnscache")",
        R"(Name="Cafe" )" + all_udp + R"( Profiles=5 Direction=2)"},
       1,
       block_all("No UDP", "stops inbound UDP of every program (Orvane's too)") +
           block_all("Game port",
                     "may stop inbound UDP of every program (Orvane's too): it applies only to "
                     R"(local ports "27015")") +
           problems_found(2) +
           block_all("Cafe",
                     "stops outbound UDP of every program (Orvane's too) on domain and public "
                     "networks, not on the private network Windows is on now")},
      // The network Windows is on now.
      {"",
       {},
       1,
       "Windows blocks all incoming connections on the private network it is on now, whatever the "
       "rules say. To fix: in Windows Security, open Firewall & network protection, then Private "
       "network, and turn off \"Block all incoming connections, including those in the list of "
       "allowed apps\".\n" +
           problems_found(1),
       {{"FWSIM_POLICY", "BlockAllInboundTraffic.Private=-1"}}},
      {"",
       {},
       1,
       "Group policy makes Windows ignore this PC's own firewall rules, Orvane's among them. To "
       "fix: only the PC's administrator can change that; ask them to allow Orvane's three "
       "programs by group policy.\n" +
           problems_found(1),
       {{"FWSIM_POLICY", "LocalPolicyModifyState=1;BlockAllInboundTraffic.Public=-1"}}},
      {"",
       {block + " Protocol=17 Enabled=-1"},
       0,
       kLetThroughNow + std::string(kPrivateOff) + kOnceOn + alert,
       {{"FWSIM_POLICY", "FirewallEnabled.Private=0"}}},
      {"1",
       {},
       1,
       kOnceOn + std::string("Orvane Lobby Out") + kReinstall + problems_found(1) + kPrivateOff,
       {{"FWSIM_POLICY", "FirewallEnabled.Private=0;CurrentProfileTypes=2"}}},
      // Another firewall; a product of other categories only (an antivirus) is none.
      {"",
       {},
       1,
       R"(Another firewall, "Contoso; Shield", filters traffic too, and its settings cannot be )"
       R"(read from here. To fix: in its settings, allow "C:\Games\Orvane\orvane-lobby.exe", )"
       R"("C:\Games\Orvane\emulator\halvic-orvane\halvic.exe" and )"
       R"("C:\Games\Orvane\emulator\pendrel-orvane\pendrel.exe".)"
       "\n" +
           problems_found(1),
       {{"FWSIM_PRODUCTS", R"(Contoso AV=0,1;Contoso\; Shield=3,2)"}}},
      // Walks of exactly one batch of the enumerator, one more, and several.
      {"", other_rules(57, block + " Protocol=17 Enabled=-1"), 1, alert + problems_found(1)},
      {"", other_rules(58, block + " Protocol=17 Enabled=-1"), 1, alert + problems_found(1)},
      {"", other_rules(200, block + " Protocol=17 Enabled=-1"), 1, alert + problems_found(1)},
      // Outside ASCII, to a console too: shown as it is.
      {"",
       {"Name=\"Alerte annul\u00e9e\" Action=0 Enabled=-1 " + lobby},
       1,
       block_rule("Alerte annul\u00e9e",
                  R"(stops inbound traffic of "C:\Games\Orvane\orvane-lobby.exe")") +
           problems_found(1)},
      // Shown escaped; a name with `"` or `%` or an escape character is given to no command.
      {"",
       {R"(Name="Alert \u{1b}[2J \u{202e}x" Action=0 Enabled=-1 Direction=2 )" + lobby,
        R"(Name="100% \"blocked\"" Action=0 Enabled=-1)", R"(Name="50% off" Action=0 Enabled=-1)"},
       1,
       std::string("Block rule \"Alert \\u{1b}[2J \\u{202e}x\" stops outbound traffic of ") +
           R"("C:\Games\Orvane\orvane-lobby.exe". )" + kRepair +
           "Block rule \"100% \\\"blocked\\\"\" stops inbound traffic of every program " +
           kNoCommand + "Block rule \"50% off\" stops inbound traffic of every program " +
           kNoCommand + problems_found(3)},
  };
  for (const auto& c : cases) {
    const std::map<std::string, std::string> folder = {
        {"FWSIM_MODULE_PATH", c.folder + "\\orvane-firewall-check.exe"}};
    std::filesystem::remove(store());
    ASSERT_EQ(run(folder).exit_code, 0);
    const auto six = store_lines();
    ASSERT_EQ(six.size(), 6u);
    std::ofstream out(store());
    for (std::size_t i = 0; i < six.size(); ++i) {
      if (c.removed.find(static_cast<char>('0' + i)) == std::string::npos) out << six[i] << "\n";
    }
    for (const auto& line : c.added) out << line << "\n";
    out.close();
    const std::string before = read_file(store());
    // A standard user may read the rules; a console on standard output gets the same words
    // (through WriteConsoleW with code page 437); without standard output only the status tells.
    for (const std::string user : {"admin", "standard", "console", "none"}) {
      auto env = c.env;
      env.insert(folder.begin(), folder.end());
      env["FWSIM_USER"] = user == "standard" ? "standard" : "admin";
      env["FWSIM_STDOUT"] = user == "console" ? "console:437" : user == "none" ? "none" : "file";
      const ProcessResult result = run(env, ORVANE_CHECKER);
      EXPECT_EQ(read_file(trace()).find("WriteConsoleW stdout") != std::string::npos,
                user == "console");
      EXPECT_EQ(result.exit_code, c.exit_code) << c.out << user;
      EXPECT_EQ(result.out, user == "none" ? "" : c.out) << user;
      EXPECT_EQ(result.err, "") << c.out << user;
      EXPECT_EQ(read_file(store()), before) << c.out << user;
      EXPECT_EQ(last_trace_line(), kBalanced) << c.out << user;
    }
  }
}

// Started in a console of its own (a double-click), the check (and the repair) asks for Enter and
// reads standard input up to the end of the line, or of the input; in a shared console or none, it
// never asks.
TEST_F(ProgramTest, CheckWaitsForEnterOnlyInAWindowOfItsOwn) {
  const struct {
    std::string processes, input;
    bool asks;
    long reads;           // ReadFile calls
    bool repair = false;  // the repair, which ends as the check does
  } cases[] = {{"1", "ab\ncd\n", true, 3}, {"1", "", true, 1},         {"2", "\n", false, 0},
               {"0", "\n", false, 0},      {"1", "\n", true, 1, true}, {"2", "\n", false, 0, true}};
  ASSERT_EQ(run().exit_code, 0);
  for (const auto& c : cases) {
    std::map<std::string, std::string> env = {{"FWSIM_CONSOLE_PROCESSES", c.processes},
                                              {"FWSIM_STORE", store().string()},
                                              {"FWSIM_TRACE", trace().string()}};
    std::filesystem::remove(trace());
    const ProcessResult result =
        run_process(c.repair ? ORVANE_REPAIRER : ORVANE_CHECKER, {}, env, c.input);
    EXPECT_EQ(result.exit_code, 0) << c.processes;
    EXPECT_EQ(result.out.ends_with("\nPress Enter to close this window.\n"), c.asks) << c.input;
    const auto calls = lines_of(read_file(trace()));
    EXPECT_EQ(
        std::ranges::count_if(calls, [](const auto& l) { return l.starts_with("ReadFile "); }),
        c.reads)
        << c.input;
    EXPECT_EQ(calls.back(), kBalanced);
  }
}

// ----- orvane-firewall-repair -----

// The repair, from the adder's folder, with the store each case gives: the lines it prints, then
// the check's verdict; the store afterwards, every rule it did not change byte for byte.
TEST_F(ProgramTest, RepairMakesTheRulesRightAndChangesNothingElse) {
  const std::map<std::string, std::string> folder = {
      {"FWSIM_MODULE_PATH", "C:\\Games\\Orvane\\orvane-firewall-repair.exe"}};
  ASSERT_EQ(run(folder).exit_code, 0);
  const auto six = store_lines();
  std::vector<std::string> old_six;
  std::string added, replaced;
  for (std::size_t i = 0; i < six.size(); ++i) {
    std::string line = six[i];
    const std::string folder_text = R"(C:\\Games\\Orvane)";
    line.replace(line.find(folder_text), folder_text.size(), R"(D:\\Old)");
    old_six.push_back(line);
    const std::string name(orvane::testing::kProgramRules[i].name);
    added += name + ": added.\n";
    const std::string program = i < 2   ? "orvane-lobby.exe"
                                : i < 4 ? R"(emulator\halvic-orvane\halvic.exe)"
                                        : R"(emulator\pendrel-orvane\pendrel.exe)";
    replaced += name + R"(: replaced: it was for "D:\Old\)" + program +
                R"(" instead of "C:\Games\Orvane\)" + program + "\".\n";
  }
  const std::string other = R"(Name="Other" Protocol=6)";
  const std::string twin = R"(Name="Orvane Lobby In" Direction=1 Enabled=0 Action=1 Protocol=17)";
  const std::string alert = R"(Name="orvane-lobby.exe" Action=0 Enabled=-1 Protocol=17 )"
                            R"(ApplicationName="c:\\games\\ORVANE\\orvane-lobby.exe")";
  const std::string tcp_only = R"(Name="TCP" Action=0 Enabled=-1 Protocol=6 )"
                               R"(ApplicationName="C:\\Games\\Orvane\\orvane-lobby.exe")";
  const std::string elsewhere =
      R"(Name="Else" Action=0 Enabled=-1 Protocol=17 ApplicationName="C:\\Else.exe")";
  const std::string all_udp = R"(Name="All UDP" Action=0 Enabled=-1 Protocol=17)";
  const auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  std::string disabled_alert = alert;
  disabled_alert.replace(disabled_alert.find("Enabled=-1"), 10, "Enabled=0");
  const struct {
    std::vector<std::string> before;
    int exit_code;
    std::string out;
    std::vector<std::string> after;
    std::map<std::string, std::string> env = {};
  } cases[] = {
      {{}, 0, added + kAllRight, six},
      {six, 0, kAllRight, six},
      {with({other}, with(old_six, {elsewhere})), 0, replaced + kAllRight,
       with({other, elsewhere}, six)},
      // The right rule stays as it is; its wrong twin goes, whichever comes first.
      {with({twin}, six), 0,
       std::string("Orvane Lobby In: removed a duplicate: it was disabled, for every program "
                   R"(instead of "C:\Games\Orvane\orvane-lobby.exe".)") +
           "\n" + kAllRight,
       six},
      // A rule left under the name the repair gave it when its removal failed goes next time.
      {with(six,
            {R"x(Name="Orvane Lobby Out (being removed by orvane-firewall-repair)" Enabled=0)x"}),
       0,
       std::string("Orvane Lobby Out: removed a duplicate: it was disabled, for inbound instead of "
                   "outbound traffic, for every protocol instead of UDP, for every program instead "
                   R"(of "C:\Games\Orvane\orvane-lobby.exe".)") +
           "\n" + kAllRight,
       six},
      {with(six, {alert, tcp_only, elsewhere}), 0,
       std::string("Block rule \"orvane-lobby.exe\" for inbound UDP: disabled.\n") + kAllRight,
       with(six, {disabled_alert, tcp_only, elsewhere})},
      // Not the product's to change: said with the check's words.
      {with(six, {all_udp}),
       1,
       "Windows blocks all incoming connections on the private network it is on now, whatever the "
       "rules say. To fix: in Windows Security, open Firewall & network protection, then Private "
       "network, and turn off \"Block all incoming connections, including those in the list of "
       "allowed apps\".\n" +
           block_all("All UDP", "stops inbound UDP of every program (Orvane's too)") +
           problems_found(2),
       with(six, {all_udp}),
       {{"FWSIM_POLICY", "BlockAllInboundTraffic.Private=-1"}}},
  };
  for (const auto& c : cases) {
    {
      std::ofstream out(store());
      for (const auto& line : c.before) out << line << "\n";
    }
    auto env = c.env;
    env.insert(folder.begin(), folder.end());
    const ProcessResult result = run(env, ORVANE_REPAIRER);
    EXPECT_EQ(result.exit_code, c.exit_code) << c.out;
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, "") << c.out;
    EXPECT_EQ(store_lines(), c.after) << c.out;
    EXPECT_EQ(last_trace_line(), kBalanced) << c.out;
  }
  // A standard user changes nothing: the firewall refuses the first change.
  std::filesystem::remove(store());
  auto env = folder;
  env["FWSIM_USER"] = "standard";
  const ProcessResult refused = run(env, ORVANE_REPAIRER);
  EXPECT_EQ(refused.exit_code, 101);
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(refused.err, failure_report("src\\repair_main:56:9",
                                        "Failed to add lobby in rule: WindowsError(Error { code: "
                                        "HRESULT(0x80070005), message: \"Access is denied.\" })"));
  EXPECT_TRUE(store_lines().empty());
}

// A firewall the check cannot read stops it with the report, whatever the rules are; only
// 0x80070002 from a look-up means a missing rule. Nothing is written to standard output then.
TEST_F(ProgramTest, CheckStopsWithAReportWhenTheFirewallCannotBeRead) {
  // The fault sweep fails every other call; these are the answers Windows and Wine give.
  const std::string denied =
      R"(WindowsError(Error { code: HRESULT(0x80070005), message: "Access is denied." }))";
  const struct {
    std::string fault, site, message;
  } cases[] = {
      {"INetFwRules::Item#3=0x80070005", "51:30", "Failed to look up halvic in rule: " + denied},
      {"INetFwRules::Item=0x80004001", "51:30",  // Wine's answer to every look-up
       R"(Failed to look up lobby in rule: WindowsError(Error { code: HRESULT(0x80004001), )"
       R"(message: "Not implemented" }))"},
      {"INetFwRules::get__NewEnum=0x80070005", "55:3",
       "Failed to read the firewall rules: " + denied},
      // Wine's answers to the policy's settings and to the products' class.
      {"INetFwPolicy2::get_FirewallEnabled=0x80004001", "58:3",
       R"(Failed to read the firewall's settings: WindowsError(Error { code: HRESULT(0x80004001), )"
       R"(message: "Not implemented" }))"},
      {"CoCreateInstance#2=0x80040111", "61:3",
       "Failed to read the registered firewall products: WindowsError(Error { code: "
       "HRESULT(0x80040111), message: \"\" })"},
  };
  ASSERT_EQ(run().exit_code, 0);
  const std::string before = read_file(store());
  for (const auto& c : cases) {
    const ProcessResult result = run({{"FWSIM_FAIL", c.fault}}, ORVANE_CHECKER);
    EXPECT_EQ(result.exit_code, 101) << c.fault;
    EXPECT_EQ(result.out, "") << c.fault;
    EXPECT_EQ(result.err, failure_report("src\\check_main:" + c.site, c.message)) << c.fault;
    EXPECT_EQ(read_file(store()), before) << c.fault;
    EXPECT_EQ(last_trace_line(), kBalanced) << c.fault;
  }
  // A firewall service that does not answer is a finding, not a failure of the check.
  for (const char* fault :
       {"INetFwPolicy2::get_Rules=0x800706D9", "INetFwRules::Item#2=0x800706BA",
        "IEnumVARIANT::Next=0x800706BA", "INetFwPolicy2::get_CurrentProfileTypes=0x800706BA"}) {
    const ProcessResult result = run({{"FWSIM_FAIL", fault}}, ORVANE_CHECKER);
    EXPECT_EQ(result.exit_code, 1) << fault;
    EXPECT_EQ(result.out,
              "The Windows Firewall service does not answer, so its rules cannot be read. To fix: "
              "restart the PC; if this stays, start the service \"Windows Defender Firewall\" in "
              "Services (services.msc) as an administrator, then run this program again.\n" +
                  problems_found(1))
        << fault;
    EXPECT_EQ(result.err, "") << fault;
    EXPECT_EQ(last_trace_line(), kBalanced) << fault;
  }
  EXPECT_EQ(run({{"FWSIM_MODULE_PATH", "C:"}}, ORVANE_CHECKER).err,
            failure_report("src\\check_main:38:10", "unable to find parent"));
  EXPECT_EQ(run({{"FWSIM_STDOUT", "console:"}}, ORVANE_CHECKER).exit_code, 3);
}

}  // namespace
