// kernel32: the console's processes (GetConsoleProcessList, as FWSIM_CONSOLE_PROCESSES says) and
// standard input, read from fd 0 (ReadFile, ReadConsoleW).
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <string>
#include <utility>

#include "controls.h"
#include "faults.h"
#include "kernel32.h"
#include "text.h"
#include "trace.h"

namespace {

constexpr DWORD kErrorInvalidHandle = 6;
constexpr DWORD kErrorReadFault = 30;

// What ReadConsoleW has read from standard input but not yet given: decoded units that did not
// fit the caller's buffer, and the start of a UTF-8 sequence whose other bytes are still to come.
// ReadFile does not see them.
struct Pending {
  std::mutex mutex;
  std::u16string units;
  std::string bytes;
};

Pending& pending() {
  static Pending instance;
  return instance;
}

// How much of `bytes` holds whole UTF-8 sequences only: all but a last sequence whose lead byte
// promises more bytes than follow it.
std::size_t whole_sequences(std::string_view bytes) {
  std::size_t i = bytes.size();
  std::size_t trailing = 0;
  while (trailing < 3 && i > 0 && (static_cast<unsigned char>(bytes[i - 1]) & 0xC0) == 0x80) {
    --i;
    ++trailing;
  }
  if (i == 0) return bytes.size();
  const auto lead = static_cast<unsigned char>(bytes[i - 1]);
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return length > trailing + 1 ? i - 1 : bytes.size();
}

// The last error for a failed read of fd 0.
DWORD read_error() { return errno == EBADF ? kErrorInvalidHandle : kErrorReadFault; }

// Gives up to `count` units of standard input decoded from UTF-8 (an invalid sequence as U+FFFD),
// reading until at least one unit or the end of input is there. False, with the last error set,
// when fd 0 cannot be read.
bool read_units(DWORD count, std::u16string& out) {
  Pending& p = pending();
  const std::lock_guard lock(p.mutex);
  bool end = false;
  while (p.units.empty() && !end && count > 0) {
    // Units are never more than bytes, so `count` bytes in all is enough.
    const std::size_t have = p.bytes.size();
    const std::size_t room = std::max<std::size_t>(count, have + 1) - have;
    p.bytes.resize(have + room);
    const long n = fwsim::detail::read_stdin(p.bytes.data() + have, room);
    p.bytes.resize(have + static_cast<std::size_t>(std::max(n, 0L)));
    if (n < 0) {
      fwsim::detail::set_last_error(read_error());
      return false;
    }
    end = n == 0;
    const std::size_t whole = end ? p.bytes.size() : whole_sequences(p.bytes);
    for (std::size_t i = 0; i < whole;) {
      bool valid = false;
      fwsim::detail::append_utf16(p.units, fwsim::detail::read_utf8(p.bytes, i, valid));
    }
    p.bytes.erase(0, whole);
  }
  const std::size_t given = std::min<std::size_t>(count, p.units.size());
  out.assign(p.units, 0, given);
  p.units.erase(0, given);
  return true;
}

}  // namespace

namespace fwsim::detail {

void reset_console() {
  Pending& p = pending();
  const std::lock_guard lock(p.mutex);
  p.units.clear();
  p.bytes.clear();
}

}  // namespace fwsim::detail

using namespace fwsim::detail;

// Microsoft's GetConsoleProcessList documentation: the ids go into the list when it has room for
// all of them; otherwise nothing is stored and the number needed is returned. 0 is a failure, as
// every console has a process. A count of 0 ("must be greater than 0") fails with
// ERROR_INVALID_PARAMETER before anything else, and without a console the call fails with
// ERROR_INVALID_HANDLE, as Wine 8 answers (measured); a null list is taken as a count of 0.
DWORD WINAPI GetConsoleProcessList(LPDWORD process_list, DWORD process_count) {
  start();
  const DWORD attached = console_processes();
  DWORD result = 0;
  if (const auto fault = take_fault("GetConsoleProcessList")) {
    set_last_error(static_cast<DWORD>(fault->result));
  } else if (process_list == nullptr || process_count == 0) {
    set_last_error(ERROR_INVALID_PARAMETER);
  } else if (attached == 0) {
    set_last_error(kErrorInvalidHandle);
  } else {
    result = attached;
    // This process first; the others' ids are made up, following it.
    const auto self = static_cast<DWORD>(::getpid());
    for (DWORD i = 0; attached <= process_count && i < attached; ++i) process_list[i] = self + i;
  }
  trace("GetConsoleProcessList",
        std::string(process_list ? "ptr " : "null ") + std::to_string(process_count),
        std::to_string(result));
  return result;
}

// At the end of input the read succeeds with nothing read, as Windows' ReadFile does for a file.
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read,
                     LPOVERLAPPED /*overlapped*/) {
  start();
  BOOL result = FALSE;
  long got = 0;
  if (read != nullptr) *read = 0;
  if (const auto fault = take_fault("ReadFile")) {
    set_last_error(static_cast<DWORD>(fault->result));
  } else if (file != stdin_handle()) {
    set_last_error(kErrorInvalidHandle);  // only standard input is read
  } else if (buffer == nullptr && count != 0) {
    set_last_error(ERROR_INVALID_PARAMETER);
  } else if (got = read_stdin(static_cast<char*>(buffer), count); got < 0) {
    set_last_error(read_error());
    got = 0;
  } else {
    if (read != nullptr) *read = static_cast<DWORD>(got);
    result = TRUE;
  }
  trace("ReadFile", handle_label(file) + " " + std::to_string(count),
        std::to_string(result) + " " + std::to_string(got));
  return result;
}

// `count` and what is read are UTF-16 units. Standard input's bytes are taken as UTF-8, as a
// console with code page 65001 gives them, whatever fd 0 is.
BOOL WINAPI ReadConsoleW(HANDLE console_input, LPVOID buffer, DWORD count, LPDWORD read,
                         PCONSOLE_READCONSOLE_CONTROL /*input_control*/) {
  start();
  BOOL result = FALSE;
  std::u16string units;
  if (read != nullptr) *read = 0;
  if (const auto fault = take_fault("ReadConsoleW")) {
    set_last_error(static_cast<DWORD>(fault->result));
  } else if (console_input != stdin_handle()) {
    set_last_error(kErrorInvalidHandle);
  } else if (buffer == nullptr && count != 0) {
    set_last_error(ERROR_INVALID_PARAMETER);
  } else if (read_units(count, units)) {
    std::ranges::copy(units, static_cast<WCHAR*>(buffer));
    if (read != nullptr) *read = static_cast<DWORD>(units.size());
    result = TRUE;
  }
  trace("ReadConsoleW", handle_label(console_input) + " " + std::to_string(count),
        std::to_string(result) + " " + text_form(units));
  return result;
}
