// fwsim's controls: the environment variables that steer it, read once at the first simulated
// call, or the settings a test makes instead through fwsim/testing.h; and the simulated standard
// error and output that FWSIM_STDERR and FWSIM_STDOUT set up. Implemented in controls.cpp. Internal
// to fwsim.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "fwsim/testing.h"

namespace fwsim::detail {

// Reads the environment controls once, at the first simulated call of the process (unless a test
// has called reset()). A control that cannot be read (FWSIM_FAIL, FWSIM_STDERR, FWSIM_STDOUT,
// FWSIM_USER, FWSIM_TRACE, FWSIM_POLICY, FWSIM_PRODUCTS, FWSIM_CONSOLE_PROCESSES) ends the process
// here with a one-line message on standard error and exit status 3.
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

// ----- The firewall's state and the console (controls_firewall.cpp) ---------------------------
// What FWSIM_POLICY sets, per profile in the order domain, private, public. With nothing set: the
// current profile private, the firewall on everywhere, nothing blocking all inbound traffic,
// inbound block and outbound allow, and the modify state derived (see firewall_policy_state.cpp).
struct PolicyState {
  LONG current_profiles = NET_FW_PROFILE2_PRIVATE;
  VARIANT_BOOL firewall_enabled[3] = {VARIANT_TRUE, VARIANT_TRUE, VARIANT_TRUE};
  VARIANT_BOOL block_all_inbound[3] = {VARIANT_FALSE, VARIANT_FALSE, VARIANT_FALSE};
  LONG default_inbound[3] = {NET_FW_ACTION_BLOCK, NET_FW_ACTION_BLOCK, NET_FW_ACTION_BLOCK};
  LONG default_outbound[3] = {NET_FW_ACTION_ALLOW, NET_FW_ACTION_ALLOW, NET_FW_ACTION_ALLOW};
  LONG modify_state = -1;  // -1: not set
};

// A registered firewall product (FWSIM_PRODUCTS): its name and its NET_FW_RULE_CATEGORY values.
struct Product {
  std::u16string name;
  std::vector<LONG> categories;
};

// The controls' readers. Each returns false and says why in `error` (one line, without the
// variable's name) when the text cannot be read, leaving `out` as it was.
bool parse_policy_control(std::string_view text, PolicyState& out, std::string& error);
bool parse_products_control(std::string_view text, std::vector<Product>& out, std::string& error);
bool parse_console_control(std::string_view text, DWORD& out, std::string& error);

PolicyState policy_state();
std::vector<Product> products();
// How many processes GetConsoleProcessList reports (FWSIM_CONSOLE_PROCESSES, 2 unless set).
DWORD console_processes();

// Reads up to `size` bytes of standard input: fd 0, or the test's bytes after reset(). The number
// read (0 at the end of input), or -1 with errno set.
long read_stdin(char* buffer, std::size_t size);

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
void set_policy_state(const PolicyState& state);
void set_products(std::vector<Product> list);
void set_console_processes(DWORD count);
void set_stdin_bytes(std::string bytes);
std::string captured_stderr_bytes();
std::string captured_stdout_bytes();

}  // namespace fwsim::detail
