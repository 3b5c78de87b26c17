// fwsim's trace: the call log and the trace file, object ids, labels, and the balance counters.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <mutex>

#include "fwsim/testing.h"
#include "text.h"
#include "trace.h"

namespace fwsim::detail {
namespace {

struct State {
  std::mutex mutex;
  // Set once a test took over with reset().
  bool test_mode = false;
  // The call log exists for tests to read; a process steered by the environment has no reader
  // for it, so it keeps none (its calls go to the trace file only).
  bool keep_log = false;
  std::vector<std::string> log;
  int trace_fd = -1;
  TextMap<long> id_counts;
};

State& state() {
  static State instance;
  return instance;
}

// Whether any line has somewhere to go: a trace file or a kept call log. Set under the mutex with
// them; read without it, so that a call nobody traces builds no line at all.
std::atomic<bool> g_tracing{false};

void update_tracing(const State& s) { g_tracing.store(s.trace_fd >= 0 || s.keep_log); }

}  // namespace

bool tracing() { return g_tracing.load(std::memory_order_relaxed); }

void write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n <= 0) return;  // nobody is told about a failing write to the trace or standard error
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

void trace(std::string_view name, std::string_view args, std::string_view result) {
  if (!tracing()) return;
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

long next_object_number(std::string_view class_name) {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  auto count = s.id_counts.find(class_name);
  if (count == s.id_counts.end()) count = s.id_counts.emplace(std::string(class_name), 0).first;
  return ++count->second;
}

std::string object_id(std::string_view class_name, long number) {
  char digits[24];
  const auto end = std::to_chars(std::begin(digits), std::end(digits), number).ptr;
  std::string id;
  id.reserve(class_name.size() + 1 + static_cast<std::size_t>(end - digits));
  id.append(class_name).append(1, '#').append(digits, end);
  return id;
}

std::string next_object_id(std::string_view class_name) {
  return object_id(class_name, next_object_number(class_name));
}

std::string guid_label(const GUID& guid) {
  static constexpr struct {
    GUID guid;
    std::string_view name;
  } kKnown[] = {
      {IID_IUnknown, "IUnknown"},
      {IID_IErrorInfo, "IErrorInfo"},
      {IID_IDispatch, "IDispatch"},
      {IID_IEnumVARIANT, "IEnumVARIANT"},
      {{0x82BA7092, 0x4C88, 0x427D, {0xA7, 0xBC, 0x16, 0xDD, 0x93, 0xFE, 0xB6, 0x7E}},
       "IRestrictedErrorInfo"},
      {kIidINetFwPolicy2, "INetFwPolicy2"},
      {kIidINetFwRules, "INetFwRules"},
      {kIidINetFwRule, "INetFwRule"},
      {kClsidNetFwPolicy2, "NetFwPolicy2"},
      {kClsidNetFwRule, "NetFwRule"},
      {kIidINetFwProducts, "INetFwProducts"},
      {kIidINetFwProduct, "INetFwProduct"},
      {kClsidNetFwProducts, "NetFwProducts"},
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

std::string hresult_text(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

std::string balance_text() {
  const Counters& c = counters();
  return "balance objects=" + std::to_string(c.objects.load()) +
         " bstrs=" + std::to_string(c.bstrs.load()) + " arrays=" + std::to_string(c.arrays.load()) +
         " apartments=" + std::to_string(c.main_apartments.load()) +
         " errorinfo=" + std::to_string(c.errorinfo_threads.load());
}

bool open_trace_file(const char* path) {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  s.trace_fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  update_tracing(s);
  return s.trace_fd >= 0;
}

void write_balance_line() {
  State& s = state();
  const std::string line = balance_text() + "\n";
  const std::lock_guard lock(s.mutex);
  if (s.trace_fd >= 0) write_all(s.trace_fd, line);
}

void reset_trace() {
  State& s = state();
  {
    const std::lock_guard lock(s.mutex);
    s.test_mode = true;
    s.log.clear();
    s.keep_log = true;
    if (s.trace_fd >= 0) ::close(s.trace_fd);
    s.trace_fd = -1;
    s.id_counts.clear();
    update_tracing(s);
  }
  Counters& c = counters();
  for (auto* counter :
       {&c.objects, &c.bstrs, &c.arrays, &c.main_apartments, &c.errorinfo_threads}) {
    counter->store(0);
  }
  live_messages().store(0);
}

void set_call_log_kept(bool keep) {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  s.keep_log = keep && s.test_mode;
  if (!s.keep_log) s.log.clear();
  update_tracing(s);
}

std::vector<std::string> call_log_lines() {
  State& s = state();
  const std::lock_guard lock(s.mutex);
  return s.log;
}

}  // namespace fwsim::detail
