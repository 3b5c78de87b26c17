// kernel32's FormatMessageW with its two message tables, the system's English one and ntdll's,
// and the simulated process heap that holds the buffers it allocates (GetProcessHeap, HeapFree).
#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "controls.h"
#include "faults.h"
#include "kernel32.h"
#include "trace.h"

namespace fwsim::detail {
namespace {

struct Message {
  DWORD id;
  std::u16string_view text;
};

constexpr Message kSystem[] = {
    {0, u"The operation completed successfully.\r\n"},
    {2, u"The system cannot find the file specified.\r\n"},
    {3, u"The system cannot find the path specified.\r\n"},
    {5, u"Access is denied.\r\n"},
    {6, u"The handle is invalid.\r\n"},
    {8, u"Not enough memory resources are available to process this command.\r\n"},
    {13, u"The data is invalid.\r\n"},
    {87, u"The parameter is incorrect.\r\n"},
    {122, u"The data area passed to a system call is too small.\r\n"},
    {126, u"The specified module could not be found.\r\n"},
    {317,
     u"The system cannot find message text for message number 0x%1 in the message file for "
     u"%2.\r\n"},
    {1168, u"Element not found.\r\n"},
    // RPC_S_SERVER_UNAVAILABLE: what a caller sees when the firewall service does not answer.
    {1722, u"The RPC server is unavailable.\r\n"},
    {0x80004001, u"Not implemented\r\n"},
    {0x80004002, u"No such interface supported\r\n"},
    {0x80004005, u"Unspecified error\r\n"},
    {0x80010106, u"Cannot change thread mode after it is set.\r\n"},
    {0x800401F0, u"CoInitialize has not been called.\r\n"},
    {0x80040154, u"Class not registered\r\n"},
    {0x8000FFFF, u"Catastrophic failure\r\n"},
};

constexpr Message kNtdll[] = {
    {0xC0000005,
     u"The instruction at 0x%p referenced memory at 0x%p. The memory could not be %s.\r\n"},
    {0xC0000022,
     u"{Access Denied}\r\nA process has requested access to an object, but has not been granted "
     u"those access rights.\r\n"},
    {0xC0000034, u"Object Name not found.\r\n"},
};

template <std::size_t N>
std::optional<std::u16string_view> find(const Message (&table)[N], DWORD id) {
  for (const Message& message : table) {
    if (message.id == id) return message.text;
  }
  return std::nullopt;
}

// The system table's text for a Win32 error code or an HRESULT, ending in "\r\n" as Windows'
// texts do. An HRESULT of the Win32 facility (0x8007xxxx) has the text of its Win32 code.
std::optional<std::u16string_view> system_message_text(DWORD id) {
  // FACILITY_WIN32 HRESULTs share the texts of the Win32 codes they carry.
  if ((id & 0xFFFF0000) == 0x80070000) id &= 0xFFFF;
  return find(kSystem, id);
}

// ntdll.dll's table: texts of native status codes (NTSTATUS).
std::optional<std::u16string_view> ntdll_message_text(DWORD id) { return find(kNtdll, id); }

}  // namespace
}  // namespace fwsim::detail

namespace {

// The process heap is the address of this tag; nothing is behind it.
char g_heap_tag;
HANDLE process_heap() { return &g_heap_tag; }

constexpr DWORD kErrorInvalidHandle = 6;
constexpr DWORD kErrorResourceLangNotFound = 1815;

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
  if ((flags & FORMAT_MESSAGE_FROM_HMODULE) != 0 && source == fwsim::detail::ntdll_module()) {
    if (auto text = fwsim::detail::ntdll_message_text(id)) return text;
  }
  if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0) return fwsim::detail::system_message_text(id);
  return std::nullopt;
}

}  // namespace

using namespace fwsim::detail;

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
