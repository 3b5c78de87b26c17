// What orvane-firewall or orvane-firewall-remove must do when one simulated platform call fails:
// the exit status, standard error, the rule store and the trace's balance line, worked out from the
// programs' documented behaviour rather than from their code, so that the fault sweep can hold each
// run against it.
#pragma once

#include <expected>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/program_rules.h"

namespace orvane::sweep {

using testing::Program;

// One line of an FWSIM_TRACE file: `NAME ARGS -> RESULT`.
struct TraceCall {
  std::string name;
  std::string result;  // what follows ` -> `
};

// The calls of a trace, without its final balance line (returned separately, empty if none).
struct Trace {
  std::vector<TraceCall> calls;
  std::string balance;
};
Trace parse_trace(std::string_view text);

// How an injected call fails.
enum class Mode {
  ErrorWithInfo,  // E_FAIL, leaving error information whose description is "swept"
  ErrorNoInfo,    // E_FAIL alone
  Null,           // S_OK with its out-object left null
  LastError,      // fails the way the call reports failure, setting the last error to 8
};

// The ways `call` can be made to fail, judged from how the trace shows its result: an HRESULT,
// an HRESULT with an out-value, or anything else (a call that reports through the last error).
std::vector<Mode> modes_for(const TraceCall& call);

struct Fault {
  std::string name;
  long occurrence = 1;  // the N-th call of that name in the process, from 1
  Mode mode = Mode::ErrorWithInfo;
};
// The fault as FWSIM_FAIL writes it, e.g. `INetFwRules::Add#3=0x80004005|desc=swept`.
std::string fault_text(const Fault& fault);

// Where standard error goes, as FWSIM_STDERR sets it.
enum class Stderr { File, Console437 };

// One change the repair makes, with the store as each of its calls leaves it: `before` it, after
// the rule to remove took a name of its own, after that name was removed, and `after` the change.
struct RepairStep {
  std::string message;    // its report's message, before ": " and the error
  std::string line;       // what it writes once done
  std::string last_call;  // the call that ends it: INetFwRules::Remove or Add, put_Enabled
  std::vector<std::string> before, renamed, removed, after;
};

struct Scenario {
  Program program = Program::Add;
  std::vector<std::string> initial_store;  // the store's lines before each run
  std::vector<std::string> added_rules;    // the six lines a clean run of the adder adds, in order
  // Where the stop for a string that cannot be allocated points, `src\...:LINE:COLUMN`.
  std::string allocation_stop_location;
  // The check's: what a run in which nothing failed writes to standard output, and its status.
  std::string clean_out;
  int clean_exit_code = 0;
  std::map<std::string, std::string> controls;  // fwsim's, beyond the store and the module path
  std::vector<RepairStep> repair_steps;         // the repair's, in order
  Trace clean_trace;                            // the repair's clean run, which its sweep sets
};

// How a run ended.
struct Outcome {
  int exit_code = -1;
  int signal = 0;
  std::string out;
  std::string err;
  std::vector<std::string> store;
  std::string balance;  // the trace's last line
};

struct Expectation {
  int exit_code = 0;
  std::string out;
  std::string err;
  std::vector<std::string> store;
  // Whether the fault itself left error information after a call whose error information the
  // program never reads (an apartment that failed to open, or the error-information calls
  // themselves): that one object may stay on the thread, and nothing else may.
  bool unread_error_info_allowed = false;
  // Whether the fault made a release fail, so that one SAFEARRAY may stay: Windows frees nothing
  // then either.
  bool lost_array_allowed = false;
};

// What the program must do when `primary`, made while rule `rule` (1 to 6; 0 before the first)
// was being added or removed (the check ignores `rule`: it has one apartment for all; for the
// repair it is the index of the call in its clean trace), fails, and
// when `secondary`, made later in the same run on its way out, fails too. An error names a fault
// for which no expectation exists, which the sweep counts as a finding so that a new kind of call
// is thought about rather than passed.
std::expected<Expectation, std::string> expect(const Scenario& scenario, int rule,
                                               const Fault& primary,
                                               const std::optional<Fault>& secondary);

// The expectation for a run in which nothing failed.
Expectation expect_clean(const Scenario& scenario);

enum class Verdict {
  Clean,            // as expected, everything released
  UnreadErrorInfo,  // as expected, with the one error object the fault left unread
  Finding,          // anything else
};
struct Judgement {
  Verdict verdict = Verdict::Clean;
  std::vector<std::string> problems;  // for a finding: what differs
};
Judgement judge(const Expectation& expected, const Outcome& outcome);

// The rule (1 to 6, 0 before the first) in progress at each call of a clean run's trace: a rule
// starts at the CoInitializeEx that opens its apartment (S_OK; a nested one answers S_FALSE).
std::vector<int> rules_in_progress(const Trace& trace);

// For the repair, the step in progress at each call of a clean run's trace: 0 while it reads the
// firewall, then 1 to N for its N changes (a change runs from the end of the one before to its own
// last call: the Remove of a duplicate, the Add of a rule, the put_Enabled of a block rule), then
// N + 1 once it reads the firewall again.
std::vector<int> repair_steps_in_progress(const Trace& trace, const std::vector<RepairStep>& steps);

// The balance line of a run that released everything.
inline constexpr std::string_view kBalanced =
    "balance objects=0 bstrs=0 arrays=0 apartments=0 errorinfo=0";

}  // namespace orvane::sweep
