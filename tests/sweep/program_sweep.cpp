// The fault sweep: runs orvane-firewall, orvane-firewall-remove or orvane-firewall-check under
// fwsim once to learn every platform call of a complete run, then once more for each of those calls
// with just that call failing, and holds every run against what the program must do
// (sweep_oracle.h). Each run that ends in a failure report is swept again along its way out: every
// call made after the failure fails in turn too, so that the reporting itself (error information,
// message tables, standard error) is covered.
//
// Both with an empty store and with all six rules already present (for the remover, beside another
// rule and a second rule of one of the names). Prints one summary line and every finding; exits 1
// when there is any.
//
// Usage: program_sweep add|remove|check|repair PROGRAM
#include <unistd.h>
#include <algorithm>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/program_rules.h"
#include "support/text_files.h"
#include "sweep/sweep_oracle.h"

namespace {

namespace fs = std::filesystem;
using namespace orvane::sweep;
using orvane::testing::lines_of;
using orvane::testing::read_file;

constexpr const char* kModulePath = "C:\\Games\\Orvane\\setup.exe";

// What the check says in the scenarios below.
constexpr const char* kSixMissing =
    "6 problems found: the Windows Firewall may stop Orvane until fixed as said above.\n";
constexpr const char* kAllRight =
    "The Windows Firewall lets Orvane through: its six rules are in place and no block rule stops "
    "its programs.\n";
constexpr const char* kBlocked =
    "Another firewall, \"Shield\", filters traffic too, and its settings cannot be read from here. "
    "To "
    "fix: in its settings, allow \"C:\\Games\\Orvane\\orvane-lobby.exe\", "
    "\"C:\\Games\\Orvane\\emulator\\halvic-orvane\\halvic.exe\" and "
    "\"C:\\Games\\Orvane\\emulator\\pendrel-orvane\\pendrel.exe\".\n"
    "Block rule \"Alert\" stops inbound traffic of \"C:\\Games\\Orvane\\orvane-lobby.exe\". To "
    "fix: run orvane-firewall-repair.exe, in the Orvane folder, as an administrator.\n"
    "2 problems found: the Windows Firewall may stop Orvane until fixed as said above.\n";

struct Run {
  Outcome outcome;
  Trace trace;
};

class Sweep {
 public:
  Sweep(std::string program, fs::path dir) : program_(std::move(program)), dir_(std::move(dir)) {}

  Run run(const std::vector<std::string>& initial_store, const std::vector<Fault>& faults,
          Stderr stderr_kind, const std::map<std::string, std::string>& controls = {}) {
    const fs::path store = dir_ / "rules";
    const fs::path trace = dir_ / "trace";
    fs::remove(store);
    fs::remove(trace);
    if (!initial_store.empty()) {
      std::ofstream out(store, std::ios::binary);
      for (const auto& line : initial_store) out << line << "\n";
    }
    std::map<std::string, std::string> env = {{"FWSIM_STORE", store.string()},
                                              {"FWSIM_TRACE", trace.string()},
                                              {"FWSIM_MODULE_PATH", kModulePath}};
    env.insert(controls.begin(), controls.end());
    std::string fail;
    for (const Fault& fault : faults) fail += (fail.empty() ? "" : ";") + fault_text(fault);
    if (!fail.empty()) env["FWSIM_FAIL"] = fail;
    if (stderr_kind == Stderr::Console437) {
      // One console: standard output too (only the check writes there).
      env["FWSIM_STDERR"] = "console:437";
      env["FWSIM_STDOUT"] = "console:437";
    }
    const auto result = orvane::testing::run_process(program_, {}, env);
    ++runs_;
    Run run;
    run.outcome = {.exit_code = result.exit_code,
                   .signal = result.signal,
                   .out = result.out,
                   .err = result.err,
                   .store = lines_of(read_file(store)),
                   .balance = ""};
    run.trace = parse_trace(read_file(trace));
    run.outcome.balance = run.trace.balance;
    return run;
  }

  // Whether fwsim refused the fault list: a call it cannot make fail, in that way.
  static bool refused(const Run& run) {
    return run.outcome.exit_code == 3 && run.outcome.err.starts_with("fwsim: FWSIM_FAIL: ") &&
           run.trace.calls.empty();
  }

  // `faults` are the run's injected faults; an error object left unread is put down to the last
  // of them that left error information.
  void record(const std::string& what, const std::expected<Expectation, std::string>& expected,
              const Run& run, const std::vector<Fault>& faults = {}) {
    if (!expected) {
      finding(what, {expected.error()});
      return;
    }
    const Judgement judgement = judge(*expected, run.outcome);
    if (judgement.verdict == Verdict::Finding) finding(what, judgement.problems);
    if (judgement.verdict == Verdict::UnreadErrorInfo) {
      ++unread_;
      for (auto fault = faults.rbegin(); fault != faults.rend(); ++fault) {
        if (fault->mode == Mode::ErrorWithInfo) {
          ++unread_by_call_[fault->name];
          break;
        }
      }
    }
  }

  void finding(const std::string& what, const std::vector<std::string>& problems) {
    ++findings_;
    std::cout << "FINDING " << what << "\n";
    for (const auto& problem : problems) std::cout << "  " << problem << "\n";
  }

  // Fails `call` (the `occurrence`-th of its name) in each of its ways; for a run that ends in a
  // report, sweeps its way out too when `way_out` is set.
  void sweep_call(const Scenario& scenario, const std::vector<Fault>& before, int rule,
                  const TraceCall& call, long occurrence, Stderr stderr_kind, bool way_out,
                  long& injectable, long& not_injectable) {
    bool any = false;
    for (const Mode mode : modes_for(call)) {
      const Fault fault{call.name, occurrence, mode};
      const std::string key = call.name + "/" + std::to_string(static_cast<int>(mode));
      if (refused_.contains(key)) continue;
      std::vector<Fault> faults = before;
      faults.push_back(fault);
      const Run run = this->run(scenario.initial_store, faults, stderr_kind, scenario.controls);
      if (refused(run)) {
        refused_.insert(key);
        continue;
      }
      any = true;
      std::string what;
      for (const Fault& f : faults) what += (what.empty() ? "" : ";") + fault_text(f);
      if (stderr_kind == Stderr::Console437) what += " (console)";
      if (scenario.initial_store.empty()) {
        what += " [empty store]";
      } else {
        what += " [rules present]";
      }
      const std::optional<Fault> secondary =
          before.empty() ? std::nullopt : std::optional<Fault>(fault);
      record(what, expect(scenario, rule, before.empty() ? fault : before.front(), secondary), run,
             faults);
      if (way_out && before.empty() && run.outcome.exit_code == 101) {
        sweep_way_out(scenario, rule, fault, run.trace, stderr_kind);
      }
    }
    (any ? injectable : not_injectable) += 1;
  }

  void sweep_way_out(const Scenario& scenario, int rule, const Fault& primary, const Trace& trace,
                     Stderr stderr_kind) {
    std::map<std::string, long> seen;
    bool after = false;
    for (const TraceCall& call : trace.calls) {
      const long occurrence = ++seen[call.name];
      if (!after) {
        after = call.name == primary.name && occurrence == primary.occurrence;
        continue;
      }
      sweep_call(scenario, {primary}, rule, call, occurrence, stderr_kind, false,
                 way_out_injectable_, way_out_not_injectable_);
    }
  }

  // Every call of a clean run, failed one at a time.
  // The repair's expectations follow its clean run's trace call by call (each call's step), so
  // its report's way out, the same code as the other programs', is not swept again.
  void sweep_scenario(Scenario scenario, Stderr stderr_kind, int last_rule_swept, long& calls,
                      long& injectable, long& not_injectable) {
    const Run clean = run(scenario.initial_store, {}, stderr_kind, scenario.controls);
    record("clean run", expect_clean(scenario), clean);
    const bool repair = scenario.program == Program::Repair;
    scenario.clean_trace = clean.trace;
    const std::vector<int> rules = rules_in_progress(clean.trace);
    std::map<std::string, long> seen;
    for (std::size_t i = 0; i < clean.trace.calls.size(); ++i) {
      const TraceCall& call = clean.trace.calls[i];
      const long occurrence = ++seen[call.name];
      if (!repair && rules[i] > last_rule_swept) break;
      ++calls;
      sweep_call(scenario, {}, repair ? static_cast<int>(i) : rules[i], call, occurrence,
                 stderr_kind, !repair, injectable, not_injectable);
    }
  }

  long runs_ = 0;
  long findings_ = 0;
  long unread_ = 0;
  std::map<std::string, long> unread_by_call_;
  long way_out_injectable_ = 0;
  long way_out_not_injectable_ = 0;

 private:
  std::string program_;
  fs::path dir_;
  std::set<std::string> refused_;
};

// Where the program stops when a string cannot be allocated: learned from the first such stop,
// which must name a source file of the program's own (not the driver's), and held the same for
// every later one.
std::optional<std::string> allocation_stop_location(Sweep& sweep) {
  const Run run = sweep.run({}, {{"SysAllocStringLen", 1, Mode::LastError}}, Stderr::File);
  static const std::regex kStop(
      R"(\nthread 'main' panicked at (src\\[a-z_\\]+\.cpp:[1-9][0-9]*:[1-9][0-9]*):\nallocation failed\n)");
  std::smatch match;
  if (!std::regex_match(run.outcome.err, match, kStop)) return std::nullopt;
  return match[1].str();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string kind = argc == 3 ? argv[1] : "";
  if (kind != "add" && kind != "remove" && kind != "check" && kind != "repair") {
    std::cerr << "usage: program_sweep add|remove|check|repair PROGRAM\n";
    return 2;
  }
  const fs::path dir = fs::temp_directory_path() / ("orvane-sweep-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  Sweep sweep(argv[2], dir);

  const auto location = allocation_stop_location(sweep);
  if (!location) {
    sweep.finding("SysAllocStringLen#1=8", {"the allocation stop is not a three-line report"});
  }
  const std::vector<std::string> rules = orvane::testing::six_rules(R"(C:\\Games\\Orvane)");
  const Program program = kind == "add"      ? Program::Add
                          : kind == "remove" ? Program::Remove
                          : kind == "check"  ? Program::Check
                                             : Program::Repair;
  Scenario empty{.program = program,
                 .initial_store = {},
                 .added_rules = rules,
                 .allocation_stop_location = location.value_or("?"),
                 .clean_out = "",
                 .clean_exit_code = 0,
                 .controls = {},
                 .repair_steps = {},
                 .clean_trace = {}};
  Scenario present = empty;
  present.initial_store = rules;
  Scenario console = kind == "add" ? empty : present;
  if (kind == "check") {
    // The check: every name missing; the six beside another rule, a rule whose program is
    // expanded, a block rule for the lobby (whose settings are read too) and another firewall; the
    // six alone, all right, written to a console.
    std::string missing;
    for (const auto& rule : orvane::testing::kProgramRules) {
      missing += std::string(rule.name) +
                 ": missing. To fix: run orvane-firewall-repair.exe, in the Orvane folder, as an "
                 "administrator.\n";
    }
    empty.clean_out = missing + kSixMissing;
    empty.clean_exit_code = 1;
    console.clean_out = kAllRight;
    present.initial_store.insert(present.initial_store.begin(), R"(Name="Another" Protocol=6)");
    present.initial_store.push_back(
        R"(Name="Alert" Action=0 Enabled=-1 ApplicationName="C:\\Games\\Orvane\\orvane-lobby.exe")");
    present.initial_store.push_back(R"(Name="Tool" ApplicationName="%SystemRoot%\\tool.exe")");
    present.controls = {{"FWSIM_PRODUCTS", "Shield=2"}};
    present.clean_out = kBlocked;
    present.clean_exit_code = 1;
  }
  if (kind == "remove") {
    present.initial_store.insert(present.initial_store.begin(), R"(Name="Another" Protocol=6)");
    present.initial_store.push_back(
        R"(Name="Orvane Lobby Halvic In" ApplicationName="D:\\Old\\halvic.exe")");
  }

  if (kind == "repair") {
    // The repair: a right rule with a disabled twin, an old folder's rule, four missing and a block
    // rule for the lobby, beside another rule. Each change's store states follow.
    const auto with_text = [](std::string line, const std::string& from, const std::string& to) {
      return line.replace(line.find(from), from.size(), to);
    };
    const std::string twin = with_text(rules[0], "Enabled=-1", "Enabled=0");
    const std::string old_out = with_text(rules[1], R"(C:\\Games\\Orvane)", R"(D:\\Old)");
    const std::string alert = R"(Name="Alert" Action=0 Enabled=-1 Protocol=17 )"
                              R"(ApplicationName="C:\\Games\\Orvane\\orvane-lobby.exe")";
    std::vector<std::string> store = {R"(Name="Another" Protocol=6)", rules[0], twin, old_out,
                                      alert};
    present.initial_store = store;
    const auto renamed = [&](const std::string& line, std::string_view name) {
      std::vector<std::string> lines = store;
      *std::ranges::find(lines, line) =
          with_text(line, "Name=\"" + std::string(name) + "\"",
                    "Name=\"" + std::string(name) + " (being removed by orvane-firewall-repair)\"");
      return lines;
    };
    const auto without = [&](const std::string& line) {
      std::vector<std::string> lines = store;
      lines.erase(std::ranges::find(lines, line));
      return lines;
    };
    const auto& words = orvane::testing::kProgramRules;
    RepairStep duplicate{"Failed to remove a duplicate lobby in rule",
                         "Orvane Lobby In: removed a duplicate: it was disabled.\n",
                         "INetFwRules::Remove",
                         store,
                         renamed(twin, words[0].name),
                         without(twin),
                         without(twin)};
    store = duplicate.after;
    RepairStep replace{"Failed to replace lobby out rule",
                       R"(Orvane Lobby Out: replaced: it was for "D:\Old\orvane-lobby.exe" )"
                       R"(instead of "C:\Games\Orvane\orvane-lobby.exe".)"
                       "\n",
                       "INetFwRules::Add",
                       store,
                       renamed(old_out, words[1].name),
                       without(old_out),
                       {}};
    replace.after = replace.removed;
    replace.after.push_back(rules[1]);
    present.repair_steps = {duplicate, replace};
    store = replace.after;
    for (std::size_t i = 2; i < 6; ++i) {
      RepairStep add{"Failed to add " + std::string(words[i].words) + " rule",
                     std::string(words[i].name) + ": added.\n",
                     "INetFwRules::Add",
                     store,
                     {},
                     {},
                     store};
      add.after.push_back(rules[i]);
      store = add.after;
      present.repair_steps.push_back(add);
    }
    RepairStep disable{"Failed to disable block rule",
                       "Block rule \"Alert\" for inbound UDP: disabled.\n",
                       "INetFwRule::put_Enabled",
                       store,
                       {},
                       {},
                       store};
    *std::ranges::find(disable.after, alert) = with_text(alert, "Enabled=-1", "Enabled=0");
    present.repair_steps.push_back(disable);
    present.clean_out = kAllRight;
    long calls = 0, injectable = 0, not_injectable = 0;
    sweep.sweep_scenario(present, Stderr::File, 0, calls, injectable, not_injectable);
    fs::remove_all(dir);
    std::cout << "fault sweep of " << argv[2] << ": " << calls << " calls swept, " << injectable
              << " injectable, " << not_injectable << " not; " << sweep.runs_ << " runs, "
              << sweep.findings_ << " findings\n";
    return sweep.findings_ == 0 ? 0 : 1;
  }

  long calls_empty = 0, calls_present = 0, injectable = 0, not_injectable = 0;
  sweep.sweep_scenario(empty, Stderr::File, 6, calls_empty, injectable, not_injectable);
  sweep.sweep_scenario(present, Stderr::File, 6, calls_present, injectable, not_injectable);
  // A console takes the report through other calls; the first rule's calls already cover every
  // kind of failure the program reports.
  long calls_console = 0;
  sweep.sweep_scenario(console, Stderr::Console437, 1, calls_console, injectable, not_injectable);
  fs::remove_all(dir);

  std::cout << "fault sweep of " << argv[2] << ": " << calls_empty + calls_present + calls_console
            << " calls swept (" << calls_empty << " with an empty store, " << calls_present
            << " with the rules present, " << calls_console << " with a console), " << injectable
            << " injectable, " << not_injectable << " not; on the way out of failing runs "
            << sweep.way_out_injectable_ << " injectable calls, " << sweep.way_out_not_injectable_
            << " not; " << sweep.runs_ << " runs, " << sweep.findings_ << " findings, "
            << sweep.unread_ << " runs with the fault's own error information left unread (";
  const char* separator = "";
  for (const auto& [name, count] : sweep.unread_by_call_) {
    std::cout << separator << name << " " << count;
    separator = ", ";
  }
  std::cout << ")\n";
  return sweep.findings_ == 0 ? 0 : 1;
}
