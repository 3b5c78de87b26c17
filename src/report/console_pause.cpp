#include "report/console_pause.h"

#include "platform/win32.h"
#include "report/failure_report.h"
#include "report/startup.h"

namespace orvane::report {

bool console_is_own() {
  // The number of processes attached to the console; 0 when the call fails, as without a console
  // (Microsoft's GetConsoleProcessList reference). Room for two is enough to tell one from more.
  DWORD ids[2] = {};
  return GetConsoleProcessList(ids, 2) == 1;
}

void wait_for_enter() {
  write_stdout("Press Enter to close this window.\n");
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr) return;  // none at all; an invalid handle fails its first read
  // A console in its usual line mode hands over nothing until Enter, then "\r\n".
  char c = 0;
  DWORD read = 0;
  while (ReadFile(input, &c, 1, &read, nullptr) && read == 1) {
    if (c == '\r' || c == '\n') return;
  }
}

int run_main_then_pause(int (*driver)()) {
  const int status = run_main(driver);
  // A window Windows opened for this run alone closes with it: let its reader finish first.
  if (console_is_own()) wait_for_enter();
  return status;
}

}  // namespace orvane::report
