// kernel32: standard error as FWSIM_STDERR (or a test) sets it up, a file or a console:
// GetStdHandle, GetConsoleMode, GetConsoleOutputCP, WriteConsoleW and WriteFile.
#include <cstdint>
#include <string>
#include <string_view>

#include "controls.h"
#include "faults.h"
#include "text.h"
#include "trace.h"

namespace {

char g_stderr_tag;
HANDLE stderr_handle() { return &g_stderr_tag; }

constexpr DWORD kErrorInvalidHandle = 6;
// What a console's GetConsoleMode reports: ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT.
constexpr DWORD kConsoleOutputMode = 0x3;
// The code page a redirected or absent standard error reports: the console the process still has
// keeps the US OEM default.
constexpr UINT kDefaultConsoleCodePage = 437;

std::string handle_label(HANDLE handle) {
  if (handle == nullptr) return "null";
  return handle == stderr_handle() ? "stderr" : "unknown";
}

// The standard error handle is only valid while the process has one.
bool is_stderr(HANDLE handle, const fwsim::detail::StderrSetting& setting) {
  return handle == stderr_handle() && setting.kind != fwsim::StderrKind::None;
}

}  // namespace

using namespace fwsim::detail;

HANDLE WINAPI GetStdHandle(DWORD std_handle) {
  start();
  HANDLE result = nullptr;
  if (std_handle != STD_ERROR_HANDLE) {
    set_last_error(kErrorInvalidHandle);  // only standard error is simulated
  } else if (stderr_setting().kind != fwsim::StderrKind::None) {
    result = stderr_handle();
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
  } else if (!is_stderr(console, stderr_setting()) ||
             stderr_setting().kind != fwsim::StderrKind::Console) {
    set_last_error(kErrorInvalidHandle);  // what Windows says for a file or pipe handle
  } else {
    *mode = kConsoleOutputMode;
    result = TRUE;
  }
  trace("GetConsoleMode", handle_label(console), std::to_string(result));
  return result;
}

UINT WINAPI GetConsoleOutputCP() {
  start();
  const StderrSetting setting = stderr_setting();
  const UINT code_page =
      setting.kind == fwsim::StderrKind::Console ? setting.code_page : kDefaultConsoleCodePage;
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
  if (const auto fault = take_fault("WriteConsoleW")) {
    set_last_error(static_cast<DWORD>(fault->result));
  } else if (!is_stderr(console, stderr_setting()) ||
             stderr_setting().kind != fwsim::StderrKind::Console) {
    set_last_error(kErrorInvalidHandle);  // a redirected handle is no console
  } else if (units == nullptr && count != 0) {
    set_last_error(ERROR_INVALID_PARAMETER);
  } else {
    write_stderr(utf16_to_utf8(text));
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
  if (const auto fault = take_fault("WriteFile")) {
    set_last_error(static_cast<DWORD>(fault->result));
  } else if (!is_stderr(file, stderr_setting())) {
    set_last_error(kErrorInvalidHandle);
  } else if (buffer == nullptr && count != 0) {
    set_last_error(ERROR_INVALID_PARAMETER);
  } else {
    // Bytes go out as they are, to a console too (Windows would show them in its code page).
    write_stderr(std::string_view(static_cast<const char*>(buffer), count));
    if (written != nullptr) *written = count;
    result = TRUE;
  }
  trace("WriteFile", handle_label(file) + " " + std::to_string(count), std::to_string(result));
  return result;
}
