// fwsim's own C++ interface for tests: what the environment controls do for a process, done
// directly, plus views of the call log and the counters. Product code never includes this.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fwsim {

// Returns fwsim to a clean state for the next test: no faults, an empty call log, no trace file,
// zeroed counters and fault counts, no apartments or error information on the calling thread, last
// error 0, the default module path, an administrator, standard error captured in memory (kind
// `file`), and the store path left as it is. After reset() the environment controls are no longer
// read.
void reset();

// GetModuleFileNameW reports this path from now on. UTF-16 units; lone surrogates allowed.
void set_module_path(std::u16string path);

// The rule store file that the simulated firewall reads and writes.
void set_store_path(std::string path);

// Whose rights the program runs with, as FWSIM_USER says: an administrator may do everything; a
// standard user's INetFwRules::Add and Remove answer E_ACCESSDENIED and change nothing. reset()
// makes the user an administrator again.
enum class User { Admin, Standard };
void set_user(User user);

// Adds faults written as FWSIM_FAIL writes them. Returns false, adding nothing, when the text
// cannot be read.
bool add_faults(std::string_view faults);

// How standard error looks to the program: a file (GetConsoleMode fails), a console with the
// given output code page, or absent (GetStdHandle gives NULL).
enum class StderrKind { File, Console, None };
void set_stderr(StderrKind kind, unsigned code_page = 65001);

// What the program wrote to standard error since reset(), as UTF-8 bytes (WriteFile's bytes as
// they are; WriteConsoleW's units converted to UTF-8).
std::string captured_stderr();

// Every simulated call since reset(), one trace line each (`NAME ARG... -> RESULT`), oldest first.
// Only calls made while the log is kept are in it.
std::vector<std::string> call_log();

// Whether the call log keeps each call's line: on after reset(). Turning it off empties it; a
// benchmark that makes millions of calls turns it off, or the log grows by a line each call until
// memory runs out. Before the first reset() (a process steered by the environment) no log is kept
// and this does nothing: such a process has only the trace file.
void set_call_log(bool keep);

// The NAME part of every call since reset(), oldest first.
std::vector<std::string> call_names();

struct Balance {
  long objects = 0;     // COM objects alive, the store itself not counted
  long bstrs = 0;       // BSTRs allocated and not freed
  long arrays = 0;      // SAFEARRAYs not destroyed
  long apartments = 0;  // unbalanced COM initialisations of the calling thread
  long errorinfo = 0;   // threads holding error information
  long messages = 0;    // FormatMessageW buffers not yet freed with HeapFree (not in the line)
  bool operator==(const Balance&) const = default;
};
Balance balance();

// The balance as the trace's last line writes it: `balance objects=A bstrs=B ...`.
std::string balance_line();

}  // namespace fwsim
