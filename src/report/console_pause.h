#pragma once

namespace orvane::report {

// Whether the console is this process's alone: Windows made it for this process, as when a person
// starts the program by a double-click in Explorer, and closes it, with all it shows, when the
// process ends. From a command prompt, a script or an installer it is shared, or there is none.
bool console_is_own();

// Writes "Press Enter to close this window." to standard output, then waits for a line or the end
// of standard input (or a failure to read it).
void wait_for_enter();

// run_main, then, in a console of the process's own, wait_for_enter: the status is kept for the
// end, whatever the driver did.
int run_main_then_pause(int (*driver)());

}  // namespace orvane::report
