// fwsim's controls: the environment read once, a test's settings in its place, and the simulated
// standard input, error and output they set up. The readers of the firewall's and the console's
// controls are in controls_firewall.cpp.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>

#include "controls.h"
#include "faults.h"
#include "text.h"
#include "trace.h"

namespace fwsim::detail {
namespace {

struct State {
  std::mutex mutex;
  // Set once the environment was read, or once a test took over with reset().
  std::atomic<bool> started{false};
  bool test_mode = false;
  std::optional<std::u16string> module_path;
  std::optional<std::string> store_path;
  StreamSetting stderr_setting;
  StreamSetting stdout_setting;
  User user = User::Admin;
  PolicyState policy;
  std::vector<Product> products;
  DWORD console_processes = 2;
  std::string captured;
  std::string captured_out;
  std::string stdin_bytes;  // what a test gives standard input, not yet read
};

State& state() {
  static State instance;
  return instance;
}

// A control that cannot be read ends the process before the program does anything, so that a
// mistyped test setting never passes unnoticed.
[[noreturn]] void reject_control(std::string_view message) {
  write_all(2, "fwsim: " + std::string(message) + "\n");
  std::_Exit(3);
}

void read_environment(State& s) {
  if (const char* faults = std::getenv("FWSIM_FAIL")) {
    std::string error;
    if (!add_fault_list(faults, error)) reject_control("FWSIM_FAIL: " + error);
  }
  if (const char* kind = std::getenv("FWSIM_STDERR")) {
    if (!parse_stream_control(kind, s.stderr_setting)) {
      reject_control("FWSIM_STDERR: expected file, none or console:CP, got `" + one_line(kind) +
                     "`");
    }
  }
  if (const char* kind = std::getenv("FWSIM_STDOUT")) {
    if (!parse_stream_control(kind, s.stdout_setting)) {
      reject_control("FWSIM_STDOUT: expected file, none or console:CP, got `" + one_line(kind) +
                     "`");
    }
  }
  if (const char* user = std::getenv("FWSIM_USER")) {
    const std::string_view name = user;
    if (name != "admin" && name != "standard") {
      reject_control("FWSIM_USER: expected admin or standard, got `" + one_line(name) + "`");
    }
    s.user = name == "admin" ? User::Admin : User::Standard;
  }
  std::string error;
  if (const char* policy = std::getenv("FWSIM_POLICY")) {
    if (!parse_policy_control(policy, s.policy, error)) reject_control("FWSIM_POLICY: " + error);
  }
  if (const char* products = std::getenv("FWSIM_PRODUCTS")) {
    if (!parse_products_control(products, s.products, error)) {
      reject_control("FWSIM_PRODUCTS: " + error);
    }
  }
  if (const char* count = std::getenv("FWSIM_CONSOLE_PROCESSES")) {
    if (!parse_console_control(count, s.console_processes, error)) {
      reject_control("FWSIM_CONSOLE_PROCESSES: " + error);
    }
  }
  if (const char* path = std::getenv("FWSIM_MODULE_PATH"))
    s.module_path = decode_control_text(path);
  if (const char* path = std::getenv("FWSIM_STORE")) s.store_path = path;
  if (const char* path = std::getenv("FWSIM_TRACE")) {
    if (!open_trace_file(path)) reject_control("FWSIM_TRACE: cannot open `" + one_line(path) + "`");
  }
}

// The path of the running executable as Wine shows it: Z: and the Linux path with `\`.
std::u16string default_module_path() {
  std::string path(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  path.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  std::u16string mapped = u"Z:" + utf8_to_utf16(path);
  for (char16_t& unit : mapped) {
    if (unit == u'/') unit = u'\\';
  }
  return mapped;
}

std::string default_store_path() {
  if (const char* state_home = std::getenv("XDG_STATE_HOME"); state_home && *state_home) {
    return std::string(state_home) + "/fwsim/rules";
  }
  // `~` is HOME. Without it, the current folder stands for the home folder: asking the user
  // database instead (getpwuid) does not work in a statically linked program, and the program is
  // linked statically.
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') home = ".";
  return std::string(home) + "/.local/state/fwsim/rules";
}

}  // namespace

void start() {
  State& s = state();
  if (s.started.load(std::memory_order_acquire)) return;
  const std::lock_guard lock(s.mutex);
  if (s.started.load(std::memory_order_relaxed)) return;
  read_environment(s);
  std::atexit(write_balance_line);
  s.started.store(true, std::memory_order_release);
}

std::string store_path() {
  start();
  State& s = state();
  const std::lock_guard lock(s.mutex);
  if (!s.store_path) s.store_path = default_store_path();
  return *s.store_path;
}

std::u16string module_path() {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  if (!s.module_path) s.module_path = default_module_path();
  return *s.module_path;
}

User user() {
  start();
  State& s = state();
  const std::lock_guard lock(s.mutex);
  return s.user;
}

StreamSetting stderr_setting() {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  return s.stderr_setting;
}

StreamSetting stdout_setting() {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  return s.stdout_setting;
}

bool parse_stream_control(std::string_view text, StreamSetting& out) {
  if (text == "file" || text == "none") {
    out = {text == "file" ? StreamKind::File : StreamKind::None, 437};
    return true;
  }
  if (!text.starts_with("console:")) return false;
  text.remove_prefix(8);
  unsigned code_page = 0;
  for (const char c : text) {
    if (c < '0' || c > '9' || code_page > 6553) return false;
    code_page = code_page * 10 + static_cast<unsigned>(c - '0');
  }
  if (text.empty() || code_page == 0 || code_page > 65535) return false;
  out = {StreamKind::Console, code_page};
  return true;
}

PolicyState policy_state() {
  start();
  State& s = state();
  const std::lock_guard lock(s.mutex);
  return s.policy;
}

std::vector<Product> products() {
  start();
  State& s = state();
  const std::lock_guard lock(s.mutex);
  return s.products;
}

DWORD console_processes() {
  start();
  State& s = state();
  const std::lock_guard lock(s.mutex);
  return s.console_processes;
}

long read_stdin(char* buffer, std::size_t size) {
  State& s = state();
  std::unique_lock lock(s.mutex);
  if (s.test_mode) {
    const std::size_t n = std::min(size, s.stdin_bytes.size());
    s.stdin_bytes.copy(buffer, n);
    s.stdin_bytes.erase(0, n);
    return static_cast<long>(n);
  }
  lock.unlock();
  ssize_t n = 0;
  do {
    n = ::read(0, buffer, size);
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

void write_stderr(std::string_view bytes) {
  State& s = state();
  std::unique_lock lock(s.mutex);
  if (s.test_mode) {
    s.captured += bytes;
    return;
  }
  lock.unlock();
  write_all(2, bytes);
}

void write_stdout(std::string_view bytes) {
  State& s = state();
  std::unique_lock lock(s.mutex);
  if (s.test_mode) {
    s.captured_out += bytes;
    return;
  }
  lock.unlock();
  write_all(1, bytes);
}

void reset_controls() {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  s.started.store(true, std::memory_order_release);
  s.test_mode = true;
  s.module_path.reset();
  s.stderr_setting = {};
  s.stdout_setting = {};
  s.user = User::Admin;
  s.policy = {};
  s.products.clear();
  s.console_processes = 2;
  s.captured.clear();
  s.captured_out.clear();
  s.stdin_bytes.clear();
}

void set_module_path_override(std::u16string path) {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  s.module_path = std::move(path);
}

void set_store_path_override(std::string path) {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  s.store_path = std::move(path);
}

void set_user_override(User user) {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  s.user = user;
}

void set_stderr_setting(StreamSetting setting) {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  s.stderr_setting = setting;
}

void set_stdout_setting(StreamSetting setting) {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  s.stdout_setting = setting;
}

void set_policy_state(const PolicyState& policy) {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  s.policy = policy;
}

void set_products(std::vector<Product> list) {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  s.products = std::move(list);
}

void set_console_processes(DWORD count) {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  s.console_processes = count;
}

void set_stdin_bytes(std::string bytes) {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  s.stdin_bytes = std::move(bytes);
}

std::string captured_stdout_bytes() {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  return s.captured_out;
}

std::string captured_stderr_bytes() {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  return s.captured;
}

}  // namespace fwsim::detail
