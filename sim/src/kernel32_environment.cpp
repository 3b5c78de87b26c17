// kernel32: the expansion of environment variables in a text.
#include "controls.h"
#include "faults.h"

using namespace fwsim::detail;

DWORD WINAPI ExpandEnvironmentStringsW(LPCWSTR /*source*/, LPWSTR /*destination*/, DWORD /*size*/) {
  start();
  set_last_error(120);  // ERROR_CALL_NOT_IMPLEMENTED
  return 0;
}
