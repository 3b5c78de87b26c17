// kernel32: the console's processes and standard input.
#include "controls.h"
#include "faults.h"

using namespace fwsim::detail;

namespace {
constexpr DWORD kErrorCallNotImplemented = 120;
}

DWORD WINAPI GetConsoleProcessList(LPDWORD /*process_list*/, DWORD /*process_count*/) {
  start();
  set_last_error(kErrorCallNotImplemented);
  return 0;
}

BOOL WINAPI ReadFile(HANDLE /*file*/, LPVOID /*buffer*/, DWORD /*count*/, LPDWORD read,
                     LPOVERLAPPED /*overlapped*/) {
  start();
  if (read != nullptr) *read = 0;
  set_last_error(kErrorCallNotImplemented);
  return FALSE;
}

BOOL WINAPI ReadConsoleW(HANDLE /*console_input*/, LPVOID /*buffer*/, DWORD /*count*/, LPDWORD read,
                         PCONSOLE_READCONSOLE_CONTROL /*input_control*/) {
  start();
  if (read != nullptr) *read = 0;
  set_last_error(kErrorCallNotImplemented);
  return FALSE;
}
