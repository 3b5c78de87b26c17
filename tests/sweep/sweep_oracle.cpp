#include "sweep/sweep_oracle.h"

#include <algorithm>
#include <cctype>

namespace orvane::sweep {
namespace {

constexpr std::int64_t kEFail = 0x80004005;
constexpr long kLastError = 8;  // ERROR_NOT_ENOUGH_MEMORY

// The platform's message-table texts the expectations need, trailing white space removed.
std::string system_text(std::int64_t code) {
  switch (code) {
    case 0:
      return "The operation completed successfully.";
    case kEFail:
      return "Unspecified error";
    case kLastError:
      return "Not enough memory resources are available to process this command.";
    default:
      return "?";
  }
}

// What the program must do when a call made while adding or removing its rules fails.
enum class Step {
  OwnPath,         // its own path: the report at src\main:9:10 with the system error
  AllocationStop,  // a string that cannot be allocated: the report with "allocation failed"
  Apartment,       // CoInitializeEx: the rule's report with CoInitializeExFailed
  RuleFailure,     // any other firewall call: the rule's report with WindowsError
  LookUp,          // the adder's INetFwRules::Item: dropped; the rule is taken for missing and the
                   // run goes on (the remover's is a RuleFailure: the rules may still be there)
  Ignored,         // the run goes on as if nothing failed
};

std::optional<Step> step_of(Program program, std::string_view name) {
  if (name == "GetModuleFileNameW") return Step::OwnPath;
  if (name == "SysAllocStringLen") return Step::AllocationStop;
  if (name == "CoInitializeEx") return Step::Apartment;
  if (name == "CoCreateInstance" || name == "INetFwPolicy2::get_Rules" ||
      name == "INetFwRules::Add" || name == "INetFwRules::Remove" ||
      name.starts_with("INetFwRule::put_")) {
    return Step::RuleFailure;
  }
  if (name == "INetFwRules::Item") {
    return program == Program::Add ? Step::LookUp : Step::RuleFailure;
  }
  // A clean run asks for error information only after the look-up, whose error is dropped with
  // it; a failure to clear a VARIANT is ignored by design, and so is the DLL search order's.
  if (name == "GetErrorInfo" || name == "VariantClear" || name == "SetDefaultDllDirectories") {
    return Step::Ignored;
  }
  return std::nullopt;
}

// What a failure on the way out (while the error is shown and the report written) changes.
enum class WayOut {
  Nothing,         // the report is the same
  InfoLost,        // GetErrorInfo: the error has no information; the system's text is shown
  NoDescription,   // GetDescription: the information has no text; the message is empty
  NoSystemText,    // FormatMessageW: the system's text is missing
  NothingWritten,  // writing standard error: nothing arrives
};

std::optional<WayOut> way_out_of(std::string_view name) {
  if (name == "GetErrorInfo") return WayOut::InfoLost;
  // Without IRestrictedErrorInfo the plain description is read, as it is anyway.
  if (name == "IUnknown::QueryInterface") return WayOut::Nothing;
  if (name == "IErrorInfo::GetDescription") return WayOut::NoDescription;
  if (name == "FormatMessageW") return WayOut::NoSystemText;
  // Standard error that is no console gets the report's bytes as a file does.
  if (name == "GetConsoleMode") return WayOut::Nothing;
  // After the run: no console of its own, so no wait for Enter.
  if (name == "GetConsoleProcessList") return WayOut::Nothing;
  if (name == "WriteFile" || name == "WriteConsoleW" || name == "MultiByteToWideChar") {
    return WayOut::NothingWritten;
  }
  return std::nullopt;
}

// Calls after which the program, by design, never reads the thread's error information: an
// apartment that did not open is reported with the system's text alone, and the error-information
// calls' own results are not examined. Windows' versions of these calls leave none; a fault that
// does leaves an object nobody takes.
bool error_info_unread(std::string_view name) {
  return name == "CoInitializeEx" || name == "GetErrorInfo" || name == "IUnknown::QueryInterface" ||
         name == "IErrorInfo::GetDescription" || name == "IRestrictedErrorInfo::GetErrorDetails";
}

bool contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::ranges::find(lines, line) != lines.end();
}

// The store after rules 1 to `rule` - 1 were handled.
std::vector<std::string> store_before(const Scenario& scenario, int rule) {
  std::vector<std::string> store = scenario.initial_store;
  for (int i = 0; i + 1 < rule && i < static_cast<int>(scenario.added_rules.size()); ++i) {
    if (!contains(scenario.initial_store, scenario.added_rules[i])) {
      store.push_back(scenario.added_rules[i]);
    }
  }
  return store;
}

// The store after a complete run in which the look-up of rule `missed_rule` (0: none) failed, so
// that the rule was added even if it was there: the firewall keeps two rules of one name.
std::vector<std::string> store_after_all(const Scenario& scenario, int missed_rule) {
  std::vector<std::string> store = scenario.initial_store;
  for (int i = 0; i < static_cast<int>(scenario.added_rules.size()); ++i) {
    const std::string& line = scenario.added_rules[i];
    if (i + 1 == missed_rule || !contains(scenario.initial_store, line)) store.push_back(line);
  }
  return store;
}

// The rule (1 to 6) whose name the store line bears; 0 for another name.
int rule_of(const std::string& line) {
  for (int i = 0; i < 6; ++i) {
    if (line.starts_with("Name=\"" + std::string(testing::kProgramRules[i].name) + "\"")) {
      return i + 1;
    }
  }
  return 0;
}

// The store after the remover took away every rule of the names of rules 1 to `last_rule`, except
// that of rule `partial_rule`'s name it took only the first `removed` (Remove takes the first).
std::vector<std::string> store_removing(const Scenario& scenario, int last_rule, int partial_rule,
                                        long removed) {
  std::vector<std::string> store;
  long seen = 0;
  for (const std::string& line : scenario.initial_store) {
    const int rule = rule_of(line);
    const bool gone = rule != 0 && rule <= last_rule && (rule != partial_rule || ++seen <= removed);
    if (!gone) store.push_back(line);
  }
  return store;
}

// Which of its rule's look-ups or removals (from 1) the `primary.occurrence`-th of the process is:
// each earlier name had one removal per rule of it, and one look-up more.
long occurrence_in_rule(const Scenario& scenario, int rule, const Fault& primary) {
  long before = 0;
  for (const std::string& line : scenario.initial_store) {
    const int of = rule_of(line);
    before += of != 0 && of < rule;
  }
  if (primary.name == "INetFwRules::Item") before += rule - 1;
  return primary.occurrence - before;
}

// The store after a run in which `primary`, made during rule `rule`, failed with the effect `step`.
std::vector<std::string> store_after(const Scenario& scenario, int rule, const Fault& primary,
                                     Step step) {
  if (scenario.program == Program::Add) {
    if (step == Step::LookUp) return store_after_all(scenario, rule);
    return step == Step::Ignored ? store_after_all(scenario, 0) : store_before(scenario, rule);
  }
  if (step == Step::Ignored) return store_removing(scenario, 6, 0, 0);
  // A failed look-up or removal of a name comes after the removals of that name before it.
  long done = 0;
  if (primary.name == "INetFwRules::Item" || primary.name == "INetFwRules::Remove") {
    done = occurrence_in_rule(scenario, rule, primary) - 1;
  }
  return store_removing(scenario, rule, rule, done);
}

std::string quoted(std::string_view text) {
  // The texts here are plain ASCII; only the two characters that always need it are escaped.
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// The message an HresultError shows for the primary fault, given what failed on the way out.
std::string error_message(const Fault& primary, std::optional<WayOut> way_out) {
  const bool has_info = primary.mode == Mode::ErrorWithInfo && way_out != WayOut::InfoLost;
  if (has_info) return way_out == WayOut::NoDescription ? "" : "swept";
  if (way_out == WayOut::NoSystemText) return "";
  return system_text(primary.mode == Mode::Null ? 0 : kEFail);
}

// The report of a failing GetModuleFileNameW at `site`.
std::string own_path_report(std::string_view site, std::optional<WayOut> way_out) {
  const std::string text = way_out == WayOut::NoSystemText
                               ? "OS Error 8 (FormatMessageW() returned error 8)"
                               : system_text(kLastError);
  return testing::failure_report(site,
                                 "called `Result::unwrap()` on an `Err` value: Os { code: 8, kind: "
                                 "OutOfMemory, message: " +
                                     quoted(text) + " }");
}

// A refused apartment's detailed form.
std::string apartment_detail(std::optional<WayOut> way_out) {
  return "CoInitializeExFailed(" +
         quoted(way_out == WayOut::NoSystemText ? "" : system_text(kEFail)) + ")";
}

// The check's report at `site` for a failure whose error shows as `detail`.
std::string check_report(std::string_view site, std::string_view message, std::string_view detail) {
  return testing::failure_report(std::string("src\\check_main:") + std::string(site),
                                 std::string(message) + ": " + std::string(detail));
}

// What orvane-firewall-check must do: it changes no rule whatever fails; a failure before or while
// it reads the firewall stops it with the report at that step's site; a failure while it writes
// standard output loses (part of) what it says but not its exit status.
std::expected<Expectation, std::string> expect_check(const Scenario& scenario, const Fault& primary,
                                                     std::optional<WayOut> way_out) {
  const std::string& name = primary.name;
  Expectation expected{.exit_code = scenario.clean_exit_code,
                       .out = scenario.clean_out,
                       .err = "",
                       .store = scenario.initial_store};
  const std::string code = primary.mode == Mode::Null ? "0x00000000" : "0x80004005";
  const std::string windows_error = "WindowsError(Error { code: HRESULT(" + code +
                                    "), message: " + quoted(error_message(primary, way_out)) +
                                    " })";
  // By design, or (GetConsoleMode) the words go out as bytes instead, or (GetConsoleProcessList)
  // no console is the check's own, as with none at all.
  if (name == "SetDefaultDllDirectories" || name == "GetErrorInfo" || name == "GetConsoleMode" ||
      name == "GetConsoleProcessList") {
    return expected;
  }
  // What a failed release holds stays, as on Windows; the check goes on.
  if (name == "VariantClear" || name == "SafeArrayDestroy") {
    expected.lost_array_allowed = true;
    return expected;
  }
  if (name == "WriteFile" || name == "WriteConsoleW" || name == "MultiByteToWideChar") {
    expected.out.clear();  // the words fit one write
    return expected;
  }
  expected.exit_code = 101;
  expected.out.clear();
  if (name == "GetModuleFileNameW") {
    expected.err = own_path_report("src\\check_main:36:7", way_out);
  } else if (name == "SysAllocStringLen") {
    expected.err = testing::failure_report(scenario.allocation_stop_location, "allocation failed");
  } else if (name == "CoInitializeEx") {
    expected.err =
        check_report("45:21", "Failed to open the firewall rules", apartment_detail(way_out));
  } else if ((name == "CoCreateInstance" && primary.occurrence == 1) ||
             name == "INetFwPolicy2::get_Rules") {
    expected.err = check_report("45:21", "Failed to open the firewall rules", windows_error);
  } else if (name == "INetFwRules::Item" && primary.occurrence >= 1 && primary.occurrence <= 6) {
    expected.err = check_report(
        "51:30",
        "Failed to look up " + std::string(testing::kProgramRules[primary.occurrence - 1].words) +
            " rule",
        windows_error);
  } else if (name == "INetFwRules::get__NewEnum" || name == "IEnumVARIANT::Next" ||
             name == "IUnknown::QueryInterface" || name.starts_with("INetFwRule::get_")) {
    expected.err = check_report("55:3", "Failed to read the firewall rules", windows_error);
  } else if (name == "ExpandEnvironmentStringsW") {
    const std::string text = way_out == WayOut::NoSystemText ? "" : system_text(kLastError);
    expected.err = check_report(
        "55:3", "Failed to read the firewall rules",
        "WindowsError(Error { code: HRESULT(0x80070008), message: " + quoted(text) + " })");
  } else if (name.starts_with("INetFwPolicy2::get_")) {
    expected.err = check_report("58:3", "Failed to read the firewall's settings", windows_error);
  } else if (name == "CoCreateInstance" || name.starts_with("INetFwProduct") ||
             name.starts_with("SafeArrayGet")) {
    expected.err =
        check_report("61:3", "Failed to read the registered firewall products", windows_error);
  } else {
    return std::unexpected("no expectation for a failing " + name);
  }
  if (way_out == WayOut::NothingWritten) expected.err.clear();
  return expected;
}

// What orvane-firewall-repair must do when the call at `index` of its clean run fails: during a
// read (the first, or the one after the changes) it stops with the read's report, having changed
// nothing more; during a change, with that change's report, the changes before it made and said,
// and the store as the failing call left that change.
std::expected<Expectation, std::string> expect_repair(const Scenario& scenario, int index,
                                                      const Fault& primary,
                                                      std::optional<WayOut> way_out) {
  const auto& steps = scenario.repair_steps;
  const auto& calls = scenario.clean_trace.calls;
  const std::string& name = primary.name;
  if (index < 0 || index >= static_cast<int>(calls.size()) || calls[index].name != name) {
    return std::unexpected("no clean call " + std::to_string(index) + " for " + name);
  }
  const std::vector<int> step_of = repair_steps_in_progress(scenario.clean_trace, steps);
  const int step = step_of[static_cast<std::size_t>(index)];
  const int last = static_cast<int>(steps.size());
  // What happened earlier in the same step: its calls of the same name, a rename, a removal.
  long same = 0;
  bool renamed = false, removed = false;
  for (int i = index - 1; i >= 0 && step_of[static_cast<std::size_t>(i)] == step; --i) {
    same += calls[i].name == name;
    removed = removed || calls[i].name == "INetFwRules::Remove";
    renamed = renamed || calls[i].name == "INetFwRule::put_Name";
  }
  // The store as the step's calls before the failing one left it.
  const auto state = [&](const RepairStep& s) {
    if (removed && !s.removed.empty()) return s.removed;
    if (renamed && !s.renamed.empty()) return s.renamed;
    return s.before;
  };
  Expectation expected = expect_clean(scenario);
  if (name == "SetDefaultDllDirectories" || name == "GetErrorInfo" || name == "GetConsoleMode" ||
      name == "GetConsoleProcessList" || name == "VariantClear") {
    return expected;
  }
  std::string said;  // the lines of the changes made before the failure
  for (int i = 1; i <= last && (i < step || step > last); ++i) said += steps[i - 1].line;
  if (name == "WriteFile") {
    // Each change's line is one write, as it is made; the verdict is the last.
    expected.out.clear();
    for (std::size_t i = 0; i < steps.size(); ++i) {
      if (static_cast<long>(i) + 1 != primary.occurrence) expected.out += steps[i].line;
    }
    if (primary.occurrence != last + 1) expected.out += scenario.clean_out;
    return expected;
  }
  const std::string code = primary.mode == Mode::Null ? "0x00000000" : "0x80004005";
  const std::string detail = name == "CoInitializeEx"
                                 ? apartment_detail(way_out)
                                 : "WindowsError(Error { code: HRESULT(" + code +
                                       "), message: " + quoted(error_message(primary, way_out)) +
                                       " })";
  const auto report = [&](std::string_view site, const std::string& message) {
    return testing::failure_report("src\\repair_main:" + std::string(site),
                                   message + ": " + detail);
  };
  expected.exit_code = 101;
  expected.out = said;
  expected.store = step > last ? steps.back().after : scenario.initial_store;
  if (name == "GetModuleFileNameW") {
    expected.err = own_path_report("src\\repair_main:44:7", way_out);
  } else if (name == "SysAllocStringLen") {
    expected.err = testing::failure_report(scenario.allocation_stop_location, "allocation failed");
    if (step >= 1 && step <= last)
      expected.store = state(steps[static_cast<std::size_t>(step - 1)]);
  } else if (step >= 1 && step <= last) {
    const RepairStep& s = steps[static_cast<std::size_t>(step - 1)];
    expected.err = report("56:9", s.message);
    expected.store = state(s);
  } else {
    const bool opening = name == "CoInitializeEx" || name == "INetFwPolicy2::get_Rules" ||
                         (name == "CoCreateInstance" && same == 0);
    std::string message = "Failed to read the firewall rules";
    if (name.starts_with("INetFwPolicy2::get_")) message = "Failed to read the firewall's settings";
    if (name == "CoCreateInstance" || name.starts_with("INetFwProduct") ||
        name.starts_with("SafeArrayGet")) {
      message = "Failed to read the registered firewall products";
    }
    if (name == "INetFwRules::Item" && same < 6) {
      message = "Failed to look up " + std::string(testing::kProgramRules[same].words) + " rule";
    }
    expected.err =
        opening ? report("46:23", "Failed to open the firewall rules") : report("53:20", message);
  }
  if (way_out == WayOut::NothingWritten) expected.err.clear();
  return expected;
}

}  // namespace

Trace parse_trace(std::string_view text) {
  Trace trace;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.starts_with("balance ")) {
      trace.balance = line;
      continue;
    }
    const std::size_t arrow = line.find(" -> ");
    const std::size_t space = line.find(' ');
    if (line.empty() || arrow == std::string_view::npos) continue;
    trace.calls.push_back(
        {std::string(line.substr(0, std::min(space, arrow))), std::string(line.substr(arrow + 4))});
  }
  return trace;
}

std::vector<Mode> modes_for(const TraceCall& call) {
  const std::string& r = call.result;
  const bool hresult =
      r.size() >= 10 && r.starts_with("0x") &&
      std::all_of(r.begin() + 2, r.begin() + 10,
                  [](char c) {
                    return std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F');
                  }) &&
      (r.size() == 10 || r[10] == ' ');
  if (!hresult) return {Mode::LastError};
  std::vector<Mode> modes = {Mode::ErrorWithInfo};
  // The information such a call leaves is never read; without it, the run must be spotless.
  if (error_info_unread(call.name)) modes.push_back(Mode::ErrorNoInfo);
  // A property get left "null" gives 0 or a null BSTR (the empty text): a value, no failure.
  // Only an out-object can be left null: one shown by its id (`NetFwRule#3`), or as `null` by a
  // call that is no property get (whose `null` is an empty text).
  const std::string out = r.size() > 11 ? r.substr(11) : "";
  const std::size_t id = out.find('#');
  const bool object_id = !out.empty() && std::isalpha(static_cast<unsigned char>(out[0])) &&
                         id != std::string::npos && out.find_first_of(" \"") > id;
  if (object_id || (out == "null" && call.name.find("::get_") == std::string::npos)) {
    modes.push_back(Mode::Null);
  }
  return modes;
}

std::string fault_text(const Fault& fault) {
  std::string text = fault.name + "#" + std::to_string(fault.occurrence) + "=";
  switch (fault.mode) {
    case Mode::ErrorWithInfo:
      return text + "0x80004005|desc=swept";
    case Mode::ErrorNoInfo:
      return text + "0x80004005";
    case Mode::Null:
      return text + "null";
    case Mode::LastError:
      return text + std::to_string(kLastError);
  }
  return text;
}

Expectation expect_clean(const Scenario& scenario) {
  if (scenario.program == Program::Repair) {
    Expectation expected{.exit_code = scenario.clean_exit_code,
                         .out = "",
                         .err = "",
                         .store = scenario.repair_steps.empty()
                                      ? scenario.initial_store
                                      : scenario.repair_steps.back().after};
    for (const RepairStep& s : scenario.repair_steps) expected.out += s.line;
    expected.out += scenario.clean_out;
    return expected;
  }
  if (scenario.program == Program::Check) {
    return {.exit_code = scenario.clean_exit_code,
            .out = scenario.clean_out,
            .err = "",
            .store = scenario.initial_store};
  }
  return {.exit_code = 0,
          .out = "",
          .err = "",
          .store = store_after(scenario, 0, Fault{}, Step::Ignored)};
}

std::expected<Expectation, std::string> expect(const Scenario& scenario, int rule,
                                               const Fault& primary,
                                               const std::optional<Fault>& secondary) {
  std::optional<WayOut> way_out;
  if (secondary) {
    way_out = way_out_of(secondary->name);
    if (!way_out) {
      return std::unexpected("no expectation for a failing " + secondary->name +
                             " on the way out of a failing " + primary.name);
    }
  }
  const bool unread =
      (error_info_unread(primary.name) && primary.mode == Mode::ErrorWithInfo) ||
      (secondary && error_info_unread(secondary->name) && secondary->mode == Mode::ErrorWithInfo);
  if (scenario.program == Program::Repair) {
    auto expected = expect_repair(scenario, rule, primary, way_out);
    if (expected) expected->unread_error_info_allowed = unread;
    return expected;
  }
  if (scenario.program == Program::Check) {
    auto expected = expect_check(scenario, primary, way_out);
    if (expected) expected->unread_error_info_allowed = unread;
    return expected;
  }
  const std::optional<Step> step = step_of(scenario.program, primary.name);
  if (!step) return std::unexpected("no expectation for a failing " + primary.name);
  const bool before_rules = *step == Step::OwnPath || primary.name == "SetDefaultDllDirectories";
  if (rule < 0 || rule > 6 || before_rules != (rule == 0)) {
    return std::unexpected(primary.name +
                           (before_rules ? " failed inside rule " : " failed outside any rule ") +
                           std::to_string(rule));
  }

  Expectation expected;
  expected.unread_error_info_allowed = unread;

  expected.store = store_after(scenario, rule, primary, *step);
  switch (*step) {
    case Step::Ignored:
    case Step::LookUp:
      expected.exit_code = 0;
      break;
    case Step::OwnPath:
      expected.exit_code = 101;
      expected.err = own_path_report("src\\main:9:10", way_out);
      break;
    case Step::AllocationStop:
      expected.exit_code = 101;
      expected.err =
          testing::failure_report(scenario.allocation_stop_location, "allocation failed");
      break;
    case Step::Apartment:
      expected.exit_code = 101;
      expected.err = testing::rule_report(scenario.program, rule, apartment_detail(way_out));
      break;
    case Step::RuleFailure: {
      const char* code = primary.mode == Mode::Null ? "0x00000000" : "0x80004005";
      expected.exit_code = 101;
      expected.err = testing::rule_report(
          scenario.program, rule,
          std::string("WindowsError(Error { code: HRESULT(") + code +
              "), message: " + quoted(error_message(primary, way_out)) + " })");
      break;
    }
  }
  if (way_out == WayOut::NothingWritten) expected.err.clear();
  return expected;
}

Judgement judge(const Expectation& expected, const Outcome& outcome) {
  Judgement j;
  auto differs = [&](std::string what, const std::string& want, const std::string& got) {
    j.problems.push_back(what + ": expected [" + want + "], got [" + got + "]");
  };
  if (outcome.signal != 0) {
    j.problems.push_back("ended by signal " + std::to_string(outcome.signal));
  } else if (outcome.exit_code != expected.exit_code) {
    differs("exit status", std::to_string(expected.exit_code), std::to_string(outcome.exit_code));
  }
  if (outcome.out != expected.out) differs("standard output", expected.out, outcome.out);
  if (outcome.err != expected.err) differs("standard error", expected.err, outcome.err);
  if (outcome.store != expected.store) {
    auto joined = [](const std::vector<std::string>& lines) {
      std::string text;
      for (const auto& line : lines) text += line + "\n";
      return text;
    };
    differs("store", joined(expected.store), joined(outcome.store));
  }
  constexpr std::string_view kOneLostArray =
      "balance objects=0 bstrs=0 arrays=1 apartments=0 errorinfo=0";
  constexpr std::string_view kOneUnreadObject =
      "balance objects=1 bstrs=0 arrays=0 apartments=0 errorinfo=1";
  const bool unread = outcome.balance == kOneUnreadObject && expected.unread_error_info_allowed;
  const bool lost = outcome.balance == kOneLostArray && expected.lost_array_allowed;
  if (!unread && !lost && outcome.balance != kBalanced) {
    differs("balance", std::string(kBalanced), outcome.balance);
  }
  if (!j.problems.empty()) {
    j.verdict = Verdict::Finding;
  } else {
    j.verdict = unread ? Verdict::UnreadErrorInfo : Verdict::Clean;
  }
  return j;
}

std::vector<int> repair_steps_in_progress(const Trace& trace,
                                          const std::vector<RepairStep>& steps) {
  std::vector<int> in_progress;
  std::size_t step = 0;  // 1 to steps.size() while changing, one more while reading again
  bool open = false;     // the current step has not met its last call yet
  long apartments = 0;
  for (const TraceCall& call : trace.calls) {
    if (call.name == "CoInitializeEx" && call.result == "0x00000000" && ++apartments == 2) {
      step = steps.size() + 1;
    }
    const bool change = call.name.starts_with("INetFwRule::put_") ||
                        call.name == "INetFwRules::Remove" || call.name == "INetFwRules::Add";
    // The first change begins at its first call that changes a rule; each later one right after
    // the one before it.
    if (!open && step < steps.size() && (step > 0 || change)) {
      ++step;
      open = true;
    }
    in_progress.push_back(static_cast<int>(step));
    if (open && call.name == steps[step - 1].last_call) open = false;
  }
  return in_progress;
}

std::vector<int> rules_in_progress(const Trace& trace) {
  std::vector<int> rules;
  int rule = 0;
  for (const TraceCall& call : trace.calls) {
    if (call.name == "CoInitializeEx" && call.result == "0x00000000") ++rule;
    rules.push_back(rule);
  }
  return rules;
}

}  // namespace orvane::sweep
