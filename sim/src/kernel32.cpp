// kernel32: the own module's path, the last error, modules and the DLL search, the UTF-8
// conversion (MultiByteToWideChar) and the fail-fast ending. FormatMessageW and the process heap
// are in kernel32_messages.cpp, standard error in kernel32_stderr.cpp.
#include "kernel32.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "controls.h"
#include "faults.h"
#include "text.h"
#include "trace.h"

namespace {

thread_local DWORD t_last_error = 0;

// Module handles are addresses of these tags; nothing is behind them.
char g_exe_tag, g_ntdll_tag;

constexpr DWORD kErrorModNotFound = 126;
constexpr DWORD kErrorInvalidFlags = 1004;

bool is_ntdll_name(LPCSTR name) {
  if (name == nullptr) return false;
  std::string lower(name);
  std::ranges::transform(lower, lower.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return lower == "ntdll.dll" || lower == "ntdll";
}

std::string ansi_label(LPCSTR text) {
  return text == nullptr ? "null" : fwsim::detail::text_form(fwsim::detail::utf8_to_utf16(text));
}

}  // namespace

namespace fwsim::detail {

void set_last_error(DWORD error) { t_last_error = error; }

HMODULE exe_module() { return reinterpret_cast<HMODULE>(&g_exe_tag); }
HMODULE ntdll_module() { return reinterpret_cast<HMODULE>(&g_ntdll_tag); }

std::string module_label(const void* module) {
  if (module == nullptr) return "null";
  if (module == exe_module()) return "exe";
  if (module == ntdll_module()) return "ntdll";
  return "unknown";
}

std::string hex32(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

}  // namespace fwsim::detail

using namespace fwsim::detail;

DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR filename, DWORD size) {
  start();
  const std::string args = module_label(module) + " " + std::to_string(size);
  DWORD result = 0;
  if (const auto fault = take_fault("GetModuleFileNameW")) {
    set_last_error(static_cast<DWORD>(fault->result));
  } else if (module != nullptr && module != exe_module()) {
    // Only the program's own path is simulated.
    set_last_error(kErrorModNotFound);
  } else {
    const std::u16string path = module_path();
    if (path.size() < size) {
      std::ranges::copy(path, filename);
      filename[path.size()] = u'\0';
      result = static_cast<DWORD>(path.size());
      // Windows since Vista clears the last error when the path fits. Microsoft's documentation
      // describes only the failing cases, so no document promises this; it is observed behaviour.
      set_last_error(ERROR_SUCCESS);
    } else {
      if (size > 0) {
        std::copy_n(path.begin(), size - 1, filename);
        filename[size - 1] = u'\0';
      }
      set_last_error(ERROR_INSUFFICIENT_BUFFER);
      result = size;
    }
  }
  trace("GetModuleFileNameW", args, std::to_string(result));
  return result;
}

DWORD WINAPI GetLastError() {
  start();
  trace("GetLastError", "", std::to_string(t_last_error));
  return t_last_error;
}

void WINAPI SetLastError(DWORD error) {
  start();
  t_last_error = error;
  trace("SetLastError", std::to_string(error), "void");
}

BOOL WINAPI SetDefaultDllDirectories(DWORD directory_flags) {
  start();
  // The four flags Microsoft documents for SetDefaultDllDirectories;
  // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR belongs to LoadLibraryEx only. No flag at all names no folder
  // and is refused as well.
  constexpr DWORD kDocumented = LOAD_LIBRARY_SEARCH_APPLICATION_DIR |
                                LOAD_LIBRARY_SEARCH_USER_DIRS | LOAD_LIBRARY_SEARCH_SYSTEM32 |
                                LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
  BOOL result = FALSE;
  if (const auto fault = take_fault("SetDefaultDllDirectories")) {
    set_last_error(static_cast<DWORD>(fault->result));
  } else if (directory_flags == 0 || (directory_flags & ~kDocumented) != 0) {
    set_last_error(ERROR_INVALID_PARAMETER);
  } else {
    result = TRUE;  // fwsim loads no DLL, so there is no search order to change
  }
  trace("SetDefaultDllDirectories", hex32(directory_flags), std::to_string(result));
  return result;
}

HMODULE WINAPI LoadLibraryExA(LPCSTR file_name, HANDLE file, DWORD flags) {
  start();
  HMODULE result = nullptr;
  if (const auto fault = take_fault("LoadLibraryExA")) {
    set_last_error(static_cast<DWORD>(fault->result));
  } else if (file != nullptr) {
    set_last_error(ERROR_INVALID_PARAMETER);
  } else if (!is_ntdll_name(file_name)) {
    set_last_error(kErrorModNotFound);  // ntdll is the only library fwsim has
  } else {
    result = ntdll_module();
  }
  trace("LoadLibraryExA",
        ansi_label(file_name) + " " + (file == nullptr ? "null" : "handle") + " " + hex32(flags),
        module_label(result));
  return result;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR module_name) {
  start();
  HMODULE result = nullptr;
  if (const auto fault = take_fault("GetModuleHandleA")) {
    set_last_error(static_cast<DWORD>(fault->result));
  } else if (module_name == nullptr) {
    result = exe_module();
  } else if (is_ntdll_name(module_name)) {
    result = ntdll_module();  // loaded in every Windows process
  } else {
    set_last_error(kErrorModNotFound);
  }
  trace("GetModuleHandleA", ansi_label(module_name), module_label(result));
  return result;
}

// Only CP_UTF8 without flags: invalid sequences become U+FFFD, as Windows does without
// MB_ERR_INVALID_CHARS (which fwsim does not simulate).
int WINAPI MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR multi_byte, int multi_byte_count,
                               LPWSTR wide, int wide_count) {
  start();
  int result = 0;
  if (const auto fault = take_fault("MultiByteToWideChar")) {
    set_last_error(static_cast<DWORD>(fault->result));
  } else if (code_page != CP_UTF8 || multi_byte == nullptr || multi_byte_count == 0 ||
             multi_byte_count < -1 || wide_count < 0 || (wide == nullptr && wide_count != 0)) {
    set_last_error(ERROR_INVALID_PARAMETER);
  } else if (flags != 0) {
    set_last_error(kErrorInvalidFlags);
  } else {
    // -1: the text ends at its null, which is converted too.
    const std::size_t bytes = multi_byte_count == -1 ? std::strlen(multi_byte) + 1
                                                     : static_cast<std::size_t>(multi_byte_count);
    const std::u16string units = utf8_to_utf16(std::string_view(multi_byte, bytes));
    if (wide_count == 0) {
      result = static_cast<int>(units.size());
    } else if (units.size() > static_cast<std::size_t>(wide_count)) {
      set_last_error(ERROR_INSUFFICIENT_BUFFER);
    } else {
      std::ranges::copy(units, wide);
      result = static_cast<int>(units.size());
    }
  }
  trace("MultiByteToWideChar",
        std::to_string(code_page) + " " + std::to_string(flags) + " " +
            std::to_string(multi_byte_count) + " " + std::to_string(wide_count),
        std::to_string(result));
  return result;
}

void __fastfail(unsigned code) {
  start();
  trace("__fastfail", std::to_string(code), "void");
  std::abort();
}
