// How a simulated call fails: the faults that FWSIM_FAIL (or a test) injects, and the two ways a
// failing call reports a failure, the thread's last error and its error information. The fault
// table is in faults.cpp, the last error in kernel32.cpp, the error information in
// ole32_error_info.cpp. Internal to fwsim.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fwsim/win32.h"

namespace fwsim::detail {

// ----- Injected faults (faults.cpp) -----------------------------------------------------------
struct Fault {
  std::int64_t result = 0;  // the HRESULT to return, or the last error to set
  bool null_out = false;    // `null`: return S_OK and leave the out-pointer null
  std::optional<std::u16string> desc;
  std::optional<std::u16string> restricted;
};

// Parses a fault list as FWSIM_FAIL writes it and adds it to the table, all or nothing. On a text
// that cannot be read, returns false and says why in `error`.
bool add_fault_list(std::string_view faults, std::string& error);
// Forgets every fault and every call count.
void clear_faults();

// Counts one call of `name` (as the trace writes it) and returns the fault that applies to this
// call, if any. Every simulated call that can be made to fail calls this exactly once.
std::optional<Fault> take_fault(std::string_view name);

// What a call that returns an HRESULT returns for a fault: S_OK for `null` (the call leaves its
// out-pointer null), the fault's result otherwise.
inline HRESULT fault_result(const Fault& fault) {
  return fault.null_out ? S_OK : static_cast<HRESULT>(fault.result);
}

// ----- The last error (kernel32.cpp) ----------------------------------------------------------
// The last error of the calling thread, set without a trace line (the failure path of a call).
void set_last_error(DWORD error);

// ----- Error information (ole32_error_info.cpp) -----------------------------------------------
// Leaves on the calling thread the error information that a failing call leaves: an ErrorInfo
// object made from the fault's `desc=` / `restricted=` texts, or none when it has neither.
void leave_error_info(const Fault& fault);
// Leaves an ErrorInfo object with this description (fwsim's own failures, such as a damaged store).
void leave_error_info(std::u16string_view description);
// Clears the calling thread's error information.
void clear_error_info();

}  // namespace fwsim::detail
