// fwsim's shared state: the controls, the call log and trace file, object ids, the counters and
// the test interface's reset.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>

#include "core.h"
#include "runtime.h"

namespace fwsim::detail {
namespace {

struct State {
  std::mutex mutex;
  // Set once the environment was read, or once a test took over with reset().
  std::atomic<bool> started{false};
  bool test_mode = false;
  // The call log exists for tests to read; a process steered by the environment has no reader
  // for it, so it keeps none (its calls go to the trace file only).
  bool keep_log = false;
  std::vector<std::string> log;
  int trace_fd = -1;
  std::map<std::string, long, std::less<>> id_counts;
  std::optional<std::u16string> module_path;
  std::optional<std::string> store_path;
  StderrSetting stderr_setting;
  User user = User::Admin;
  std::string captured;
};

State& state() {
  static State instance;
  return instance;
}

void write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n <= 0) return;  // nobody is told about a failing write to stderr or the trace
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// A control that cannot be read ends the process before the program does anything, so that a
// mistyped test setting never passes unnoticed.
[[noreturn]] void reject_control(std::string_view message) {
  write_all(2, "fwsim: " + std::string(message) + "\n");
  std::_Exit(3);
}

void write_balance_at_exit() {
  State& s = state();
  const std::string line = balance_text() + "\n";
  const std::lock_guard lock(s.mutex);
  if (s.trace_fd >= 0) write_all(s.trace_fd, line);
}

void read_environment(State& s) {
  if (const char* faults = std::getenv("FWSIM_FAIL")) {
    std::string error;
    if (!add_fault_list(faults, error)) reject_control("FWSIM_FAIL: " + error);
  }
  if (const char* kind = std::getenv("FWSIM_STDERR")) {
    if (!parse_stderr_control(kind, s.stderr_setting)) {
      reject_control("FWSIM_STDERR: expected file, none or console:CP, got `" + one_line(kind) +
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
  if (const char* path = std::getenv("FWSIM_MODULE_PATH"))
    s.module_path = decode_control_text(path);
  if (const char* path = std::getenv("FWSIM_STORE")) s.store_path = path;
  if (const char* path = std::getenv("FWSIM_TRACE")) {
    s.trace_fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (s.trace_fd < 0) reject_control("FWSIM_TRACE: cannot open `" + one_line(path) + "`");
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
  std::atexit(write_balance_at_exit);
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

StderrSetting stderr_setting() {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  return s.stderr_setting;
}

bool parse_stderr_control(std::string_view text, StderrSetting& out) {
  if (text == "file" || text == "none") {
    out = {text == "file" ? StderrKind::File : StderrKind::None, 437};
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
  out = {StderrKind::Console, code_page};
  return true;
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

void trace(std::string_view name, std::string_view args, std::string_view result) {
  std::string line(name);
  if (!args.empty()) {
    line += ' ';
    line += args;
  }
  line += " -> ";
  line += result;
  State& s = state();
  const std::lock_guard lock(s.mutex);
  if (s.trace_fd >= 0) write_all(s.trace_fd, line + "\n");
  if (s.keep_log) s.log.push_back(std::move(line));
}

std::string next_object_id(std::string_view class_name) {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  auto count = s.id_counts.find(class_name);
  if (count == s.id_counts.end()) count = s.id_counts.emplace(std::string(class_name), 0).first;
  return std::string(class_name) + "#" + std::to_string(++count->second);
}

std::string guid_label(const GUID& guid) {
  static constexpr struct {
    GUID guid;
    std::string_view name;
  } kKnown[] = {
      {IID_IUnknown, "IUnknown"},
      {IID_IErrorInfo, "IErrorInfo"},
      {{0x82BA7092, 0x4C88, 0x427D, {0xA7, 0xBC, 0x16, 0xDD, 0x93, 0xFE, 0xB6, 0x7E}},
       "IRestrictedErrorInfo"},
      {{0x98325047, 0xC671, 0x4174, {0x8D, 0x81, 0xDE, 0xFC, 0xD3, 0xF0, 0x31, 0x86}},
       "INetFwPolicy2"},
      {{0x9C4C6277, 0x5027, 0x441E, {0xAF, 0xAE, 0xCA, 0x1F, 0x54, 0x2D, 0xA0, 0x09}},
       "INetFwRules"},
      {{0xAF230D27, 0xBABA, 0x4E42, {0xAC, 0xED, 0xF5, 0x24, 0xF2, 0x2C, 0xFC, 0xE2}},
       "INetFwRule"},
      {{0xE2B3C97F, 0x6AE1, 0x41AC, {0x81, 0x7A, 0xF6, 0xF9, 0x21, 0x66, 0xD7, 0xDD}},
       "NetFwPolicy2"},
      {{0x2C5BC43E, 0x3369, 0x4C33, {0xAB, 0x0C, 0xBE, 0x94, 0x69, 0x67, 0x7A, 0xF4}}, "NetFwRule"},
  };
  for (const auto& known : kKnown) {
    if (IsEqualGUID(known.guid, guid)) return std::string(known.name);
  }
  char text[40];
  const std::uint8_t* d = guid.Data4;
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, d[0], d[1], d[2], d[3],
                d[4], d[5], d[6], d[7]);
  return text;
}

Counters& counters() {
  static Counters instance;
  return instance;
}

std::atomic<long>& live_messages() {
  static std::atomic<long> count{0};
  return count;
}

// The process's main thread is the one whose thread id is the process id.
bool is_main_thread() { return ::gettid() == ::getpid(); }

std::string balance_text() {
  const Counters& c = counters();
  return "balance objects=" + std::to_string(c.objects.load()) +
         " bstrs=" + std::to_string(c.bstrs.load()) + " arrays=" + std::to_string(c.arrays.load()) +
         " apartments=" + std::to_string(c.main_apartments.load()) +
         " errorinfo=" + std::to_string(c.errorinfo_threads.load());
}

void reset_runtime() {
  State& s = state();
  {
    const std::lock_guard lock(s.mutex);
    s.started.store(true, std::memory_order_release);
    s.test_mode = true;
  }
  clear_error_info();
  reset_com_state();
  clear_faults();
  {
    const std::lock_guard lock(s.mutex);
    s.log.clear();
    s.keep_log = true;
    if (s.trace_fd >= 0) ::close(s.trace_fd);
    s.trace_fd = -1;
    s.id_counts.clear();
    s.module_path.reset();
    s.stderr_setting = {};
    s.user = User::Admin;
    s.captured.clear();
  }
  Counters& c = counters();
  for (auto* counter :
       {&c.objects, &c.bstrs, &c.arrays, &c.main_apartments, &c.errorinfo_threads}) {
    counter->store(0);
  }
  live_messages().store(0);
  set_last_error(0);
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

void set_call_log_kept(bool keep) {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  s.keep_log = keep && s.test_mode;
  if (!s.keep_log) s.log.clear();
}

void set_user_override(User user) {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  s.user = user;
}

void set_stderr_setting(StderrSetting setting) {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  s.stderr_setting = setting;
}

std::string captured_stderr_bytes() {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  return s.captured;
}

std::vector<std::string> call_log_lines() {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  return s.log;
}

}  // namespace fwsim::detail
