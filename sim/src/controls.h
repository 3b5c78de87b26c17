// fwsim's controls: the environment variables that steer it, read once at the first simulated
// call, or the settings a test makes instead through fwsim/testing.h; and the simulated standard
// error and output that FWSIM_STDERR and FWSIM_STDOUT set up. Implemented in controls.cpp. Internal
// to fwsim.
#pragma once

#include <string>
#include <string_view>

#include "fwsim/testing.h"

namespace fwsim::detail {

// Reads the environment controls once, at the first simulated call of the process (unless a test
// has called reset()). A control that cannot be read (FWSIM_FAIL, FWSIM_STDERR, FWSIM_USER,
// FWSIM_TRACE) ends the process here with a one-line message on standard error and exit status 3.
void start();

// The rule store's path: FWSIM_STORE, or $XDG_STATE_HOME/fwsim/rules, or
// ~/.local/state/fwsim/rules, with the current folder for `~` when HOME is unset or empty.
std::string store_path();

// The path GetModuleFileNameW reports: FWSIM_MODULE_PATH, a test's path, or the mapped
// /proc/self/exe.
std::u16string module_path();

// Whose rights the program runs with (FWSIM_USER, or a test's choice).
User user();

struct StreamSetting {
  StreamKind kind = StreamKind::File;
  unsigned code_page = 437;
};
StreamSetting stderr_setting();
// Standard output, as FWSIM_STDOUT sets it up (the same values as FWSIM_STDERR).
StreamSetting stdout_setting();
// Reads FWSIM_STDERR's (or FWSIM_STDOUT's) value (`file`, `none`, `console:CP`). False when it
// cannot be read.
bool parse_stream_control(std::string_view text, StreamSetting& out);

// Writes bytes where the program's standard error goes: fd 2, or the test capture after reset().
void write_stderr(std::string_view bytes);
// Writes bytes where the program's standard output goes: fd 1, or the test capture after reset().
void write_stdout(std::string_view bytes);

// ----- For fwsim/testing.h ---------------------------------------------------------------------
// Takes over from the environment for a test: the environment is no longer read, standard error
// is captured in memory, and the module path, the standard error setting and the user are the
// defaults again. The store path stays as it is.
void reset_controls();
void set_module_path_override(std::u16string path);
void set_store_path_override(std::string path);
void set_user_override(User user);
void set_stderr_setting(StreamSetting setting);
void set_stdout_setting(StreamSetting setting);
std::string captured_stderr_bytes();
std::string captured_stdout_bytes();

}  // namespace fwsim::detail
