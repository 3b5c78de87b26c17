// kernel32: the own module's path, the last error, system messages, modules and the process heap.
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

#include "controls.h"
#include "faults.h"
#include "kernel32_messages.h"
#include "text.h"
#include "trace.h"

namespace {

thread_local DWORD t_last_error = 0;

// Module handles and the process heap are addresses of these tags; nothing is behind them.
char g_exe_tag, g_ntdll_tag, g_heap_tag;
HMODULE exe_module() { return reinterpret_cast<HMODULE>(&g_exe_tag); }
HMODULE ntdll_module() { return reinterpret_cast<HMODULE>(&g_ntdll_tag); }
HANDLE process_heap() { return &g_heap_tag; }

constexpr DWORD kErrorInvalidHandle = 6;
constexpr DWORD kErrorModNotFound = 126;
constexpr DWORD kErrorResourceLangNotFound = 1815;

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

// FormatMessageW buffers live on the simulated process heap until HeapFree.
struct HeapBlock {
  std::unique_ptr<WCHAR[]> units;
  std::string id;
};

struct Heap {
  std::mutex mutex;
  std::map<const void*, HeapBlock> blocks;
};

Heap& heap() {
  static Heap instance;
  return instance;
}

WCHAR* heap_copy(std::u16string_view text) {
  HeapBlock block{std::make_unique<WCHAR[]>(text.size() + 1),
                  fwsim::detail::next_object_id("buffer")};
  std::ranges::copy(text, block.units.get());
  WCHAR* units = block.units.get();
  Heap& h = heap();
  const std::lock_guard lock(h.mutex);
  h.blocks.emplace(units, std::move(block));
  ++fwsim::detail::live_messages();
  return units;
}

// Looks the id up where the flags say: the module's table first, then the system's.
std::optional<std::u16string_view> find_message(DWORD flags, LPCVOID source, DWORD id) {
  if ((flags & FORMAT_MESSAGE_FROM_HMODULE) != 0 && source == ntdll_module()) {
    if (auto text = fwsim::detail::ntdll_message_text(id)) return text;
  }
  if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0) return fwsim::detail::system_message_text(id);
  return std::nullopt;
}

}  // namespace

namespace fwsim::detail {
void set_last_error(DWORD error) { t_last_error = error; }
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

DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
                            LPWSTR buffer, DWORD size, void* /*arguments*/) {
  start();
  constexpr DWORD kSupported = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                               FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM;
  constexpr DWORD kSources = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM;
  const bool allocate = (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
  DWORD result = 0;
  if (const auto fault = take_fault("FormatMessageW")) {
    set_last_error(static_cast<DWORD>(fault->result));
  } else if ((flags & ~kSupported) != 0 || (flags & kSources) == 0 || buffer == nullptr ||
             (flags & FORMAT_MESSAGE_IGNORE_INSERTS) == 0) {
    // Inserts, FORMAT_MESSAGE_FROM_STRING and the rest are not simulated.
    set_last_error(ERROR_INVALID_PARAMETER);
  } else if ((flags & FORMAT_MESSAGE_FROM_HMODULE) != 0 && source != nullptr &&
             source != ntdll_module() && source != exe_module()) {
    set_last_error(kErrorInvalidHandle);
  } else if (language_id != 0 && (language_id & 0x3FF) != 0x09) {
    // The tables are English only (LANG_NEUTRAL or LANG_ENGLISH of any sublanguage).
    set_last_error(kErrorResourceLangNotFound);
  } else if (const auto text = find_message(flags, source, message_id); !text) {
    set_last_error(ERROR_MR_MID_NOT_FOUND);
  } else if (allocate) {
    *reinterpret_cast<WCHAR**>(buffer) = heap_copy(*text);
    result = static_cast<DWORD>(text->size());
  } else if (text->size() >= size) {
    set_last_error(ERROR_INSUFFICIENT_BUFFER);
  } else {
    std::ranges::copy(*text, buffer);
    buffer[text->size()] = u'\0';
    result = static_cast<DWORD>(text->size());
  }
  // A failing call leaves no stale pointer in the caller's variable: Windows stores NULL there.
  // Microsoft's documentation does not say so; it is observed behaviour, and a caller that frees
  // the pointer after a failure must not meet whatever it held before.
  if (allocate && result == 0 && buffer != nullptr) *reinterpret_cast<WCHAR**>(buffer) = nullptr;
  trace("FormatMessageW",
        hex32(flags) + " " + module_label(source) + " " + hex32(message_id) + " " +
            std::to_string(language_id),
        std::to_string(result));
  return result;
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

HANDLE WINAPI GetProcessHeap() {
  start();
  trace("GetProcessHeap", "", "heap");
  return process_heap();
}

BOOL WINAPI HeapFree(HANDLE heap_handle, DWORD flags, LPVOID memory) {
  start();
  std::string label = "null";
  BOOL result = TRUE;  // freeing NULL succeeds, as on Windows
  if (memory != nullptr) {
    Heap& h = heap();
    const std::lock_guard lock(h.mutex);
    const auto block = h.blocks.find(memory);
    if (heap_handle != process_heap() || block == h.blocks.end()) {
      label = "unknown";
      result = FALSE;
      set_last_error(ERROR_INVALID_PARAMETER);
    } else {
      label = block->second.id;
      h.blocks.erase(block);
      --live_messages();
    }
  }
  trace("HeapFree",
        std::string(heap_handle == process_heap() ? "heap" : "unknown") + " " +
            std::to_string(flags) + " " + label,
        std::to_string(result));
  return result;
}
