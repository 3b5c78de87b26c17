// kernel32: standard error and standard output as FWSIM_STDERR and FWSIM_STDOUT (or a test) set
// them up, each a file or a console: GetStdHandle, GetConsoleMode, GetConsoleOutputCP,
// WriteConsoleW and WriteFile. GetStdHandle also gives standard input, which kernel32_console.cpp
// reads.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "controls.h"
#include "faults.h"
#include "kernel32.h"
#include "text.h"
#include "trace.h"

namespace {

using fwsim::detail::StreamSetting;

char g_stderr_tag;
char g_stdout_tag;
char g_stdin_tag;
HANDLE stderr_handle() { return &g_stderr_tag; }
HANDLE stdout_handle() { return &g_stdout_tag; }

constexpr DWORD kErrorInvalidHandle = 6;
// What a console's GetConsoleMode reports: ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT.
constexpr DWORD kConsoleOutputMode = 0x3;
// The code page a redirected or absent standard error reports: the console the process still has
// keeps the US OEM default.
constexpr UINT kDefaultConsoleCodePage = 437;

// One of the two simulated standard handles, as it stands now; none for any other handle. A
// handle is only valid while the process has that stream.
struct Stream {
  StreamSetting setting;
  void (*write)(std::string_view bytes);
};
std::optional<Stream> stream_of(HANDLE handle) {
  std::optional<Stream> stream;
  if (handle == stderr_handle())
    stream = Stream{fwsim::detail::stderr_setting(), &fwsim::detail::write_stderr};
  if (handle == stdout_handle())
    stream = Stream{fwsim::detail::stdout_setting(), &fwsim::detail::write_stdout};
  if (stream && stream->setting.kind == fwsim::StreamKind::None) stream.reset();
  return stream;
}

bool is_console(const std::optional<Stream>& stream) {
  return stream && stream->setting.kind == fwsim::StreamKind::Console;
}

}  // namespace

namespace fwsim::detail {

HANDLE stdin_handle() { return &g_stdin_tag; }

std::string handle_label(HANDLE handle) {
  if (handle == nullptr) return "null";
  if (handle == stderr_handle()) return "stderr";
  if (handle == stdin_handle()) return "stdin";
  return handle == stdout_handle() ? "stdout" : "unknown";
}

}  // namespace fwsim::detail

using namespace fwsim::detail;

HANDLE WINAPI GetStdHandle(DWORD std_handle) {
  start();
  HANDLE result = nullptr;
  if (std_handle == STD_ERROR_HANDLE) {
    if (stderr_setting().kind != fwsim::StreamKind::None) result = stderr_handle();
  } else if (std_handle == STD_OUTPUT_HANDLE) {
    if (stdout_setting().kind != fwsim::StreamKind::None) result = stdout_handle();
  } else if (std_handle == STD_INPUT_HANDLE) {
    result = stdin_handle();  // fd 0, whatever it is
  } else {
    set_last_error(kErrorInvalidHandle);
  }
  trace("GetStdHandle", std::to_string(static_cast<std::int32_t>(std_handle)),
        handle_label(result));
  return result;
}

BOOL WINAPI GetConsoleMode(HANDLE console, LPDWORD mode) {
  start();
  BOOL result = FALSE;
  if (const auto fault = take_fault("GetConsoleMode")) {
    set_last_error(static_cast<DWORD>(fault->result));
  } else if (mode == nullptr) {
    set_last_error(ERROR_INVALID_PARAMETER);
  } else if (!is_console(stream_of(console))) {
    set_last_error(kErrorInvalidHandle);  // what Windows says for a file or pipe handle
  } else {
    *mode = kConsoleOutputMode;
    result = TRUE;
  }
  trace("GetConsoleMode", handle_label(console), std::to_string(result));
  return result;
}

// The process has one console, whichever of its standard handles shows it: its code page is the
// one set for standard error when that is a console, else the one set for standard output.
UINT WINAPI GetConsoleOutputCP() {
  start();
  const StreamSetting err = stderr_setting();
  const StreamSetting out = stdout_setting();
  UINT code_page = kDefaultConsoleCodePage;
  if (err.kind == fwsim::StreamKind::Console) {
    code_page = err.code_page;
  } else if (out.kind == fwsim::StreamKind::Console) {
    code_page = out.code_page;
  }
  trace("GetConsoleOutputCP", "", std::to_string(code_page));
  return code_page;
}

BOOL WINAPI WriteConsoleW(HANDLE console, const void* buffer, DWORD count, LPDWORD written,
                          LPVOID /*reserved*/) {
  start();
  const auto* units = static_cast<const WCHAR*>(buffer);
  const std::u16string_view text = units ? std::u16string_view(units, count) : u"";
  BOOL result = FALSE;
  if (written != nullptr) *written = 0;
  const std::optional<Stream> stream = stream_of(console);
  if (const auto fault = take_fault("WriteConsoleW")) {
    set_last_error(static_cast<DWORD>(fault->result));
  } else if (!is_console(stream)) {
    set_last_error(kErrorInvalidHandle);  // a redirected handle is no console
  } else if (units == nullptr && count != 0) {
    set_last_error(ERROR_INVALID_PARAMETER);
  } else {
    stream->write(utf16_to_utf8(text));
    if (written != nullptr) *written = count;
    result = TRUE;
  }
  trace("WriteConsoleW",
        handle_label(console) + " " + (units ? text_form(text) : "null") + " " +
            std::to_string(count),
        std::to_string(result));
  return result;
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written,
                      LPOVERLAPPED /*overlapped*/) {
  start();
  BOOL result = FALSE;
  if (written != nullptr) *written = 0;
  const std::optional<Stream> stream = stream_of(file);
  if (const auto fault = take_fault("WriteFile")) {
    set_last_error(static_cast<DWORD>(fault->result));
  } else if (!stream) {
    set_last_error(kErrorInvalidHandle);
  } else if (buffer == nullptr && count != 0) {
    set_last_error(ERROR_INVALID_PARAMETER);
  } else {
    // Bytes go out as they are, to a console too (Windows would show them in its code page).
    stream->write(std::string_view(static_cast<const char*>(buffer), count));
    if (written != nullptr) *written = count;
    result = TRUE;
  }
  trace("WriteFile", handle_label(file) + " " + std::to_string(count), std::to_string(result));
  return result;
}
