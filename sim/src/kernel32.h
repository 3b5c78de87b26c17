// What kernel32's files share: the modules fwsim knows, the standard handles, and how the trace
// writes them and other 32-bit values. Implemented in kernel32.cpp. Internal to fwsim.
#pragma once

#include <string>

#include "fwsim/win32.h"

namespace fwsim::detail {

// The program's own module and ntdll.dll, the only modules fwsim has.
HMODULE exe_module();
HMODULE ntdll_module();
// A module handle as the trace writes it: `exe`, `ntdll`, `null` or `unknown`.
std::string module_label(const void* module);

// Standard input's handle (kernel32_stderr.cpp), and a standard handle as the trace writes it:
// `stdin`, `stdout`, `stderr`, `null` or `unknown`.
HANDLE stdin_handle();
std::string handle_label(HANDLE handle);

// Forgets the part of a UTF-8 sequence that ReadConsoleW has read but not yet given
// (kernel32_console.cpp).
void reset_console();

// Flags or a message id as the trace writes them: 0x and eight upper-case hex digits.
std::string hex32(DWORD value);

}  // namespace fwsim::detail
