// fwsim's trace: the line each simulated call writes, to the call log a test reads and to the
// file FWSIM_TRACE names; the ids and labels those lines show; and the counters behind the last
// line, `balance ...`. Implemented in trace.cpp. Internal to fwsim.
#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "fwsim/win32.h"

namespace fwsim::detail {

// Writes `bytes` to `fd` whole, giving up at a failing write: fwsim's own output (the trace file,
// its messages on standard error) has nobody to report a failure to.
void write_all(int fd, std::string_view bytes);

// Records one call as `NAME ARGS -> RESULT` (ARGS may be empty) in the call log and, when
// FWSIM_TRACE is set, appends it to that file.
void trace(std::string_view name, std::string_view args, std::string_view result);

// Whether trace() records anything: a call made often (a rule's property get, a reference count)
// builds its arguments and result only then. Nothing else may depend on it.
bool tracing();

// A new id for an object of `class_name`: "NetFwRule#1", "NetFwRule#2", ...
std::string next_object_id(std::string_view class_name);
// The same id in two parts, for what is made often (rule objects, BSTRs) and shown only in a
// trace line: the number now, the text by object_id() when a line shows it.
long next_object_number(std::string_view class_name);
std::string object_id(std::string_view class_name, long number);

// A GUID as the trace writes it: the name of a known interface or class (IUnknown, IErrorInfo,
// IDispatch, IEnumVARIANT, IRestrictedErrorInfo, INetFwPolicy2, INetFwRules, INetFwRule,
// INetFwProducts, INetFwProduct, NetFwPolicy2, NetFwRule, NetFwProducts), or
// `{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}` in upper case.
std::string guid_label(const GUID& guid);

// An HRESULT as the trace writes it: 0x and eight upper-case hex digits.
std::string hresult_text(HRESULT hr);

// ----- Counters (the trace's balance line) ---------------------------------------------------
struct Counters {
  std::atomic<long> objects{0};
  std::atomic<long> bstrs{0};
  std::atomic<long> arrays{0};
  std::atomic<long> main_apartments{0};
  std::atomic<long> errorinfo_threads{0};
};
Counters& counters();
std::atomic<long>& live_messages();  // FormatMessageW buffers not yet freed
bool is_main_thread();

// `balance objects=A bstrs=B arrays=C apartments=D errorinfo=E` from the counters as they stand.
std::string balance_text();

// ----- The trace file and the call log -------------------------------------------------------
// Opens FWSIM_TRACE's file, to which every call's line is appended from now on. False when it
// cannot be opened.
bool open_trace_file(const char* path);
// Appends the balance line to the trace file, when there is one (at process exit).
void write_balance_line();

// For fwsim/testing.h: no trace file, an empty call log that is kept from now on, ids numbered
// from 1 again, and every counter at 0.
void reset_trace();
void set_call_log_kept(bool keep);
std::vector<std::string> call_log_lines();

}  // namespace fwsim::detail
