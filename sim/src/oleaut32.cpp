// oleaut32's strings and VARIANTs: BSTRs with their length prefix, and the registry that gives
// each live one its trace id and catches a string freed twice; VariantInit and VariantClear. The
// SAFEARRAYs a VARIANT may hold are in oleaut32_safearray.cpp.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "controls.h"
#include "faults.h"
#include "oleaut32.h"
#include "text.h"
#include "trace.h"

namespace {

// BSTR memory comes from malloc, not operator new: SysAllocStringLen reports an allocation it
// cannot make by returning NULL, whatever the program did to operator new.
struct FreeDeleter {
  void operator()(void* memory) const { std::free(memory); }
};

struct BstrBlock {
  std::unique_ptr<void, FreeDeleter> memory;  // the 4-byte length prefix, the units, a null unit
  long number;                                // of its id, BSTR#number
};

struct Registry {
  std::mutex mutex;
  std::unordered_map<const OLECHAR*, BstrBlock> blocks;
};

Registry& registry() {
  static Registry instance;
  return instance;
}

constexpr std::size_t kPrefixBytes = sizeof(std::uint32_t);
// The byte length must fit the 32-bit prefix.
constexpr UINT kMaxLength = 0x7FFFFFFF;

// Copies `length` units (zeros for a null `text`) into a new BSTR, or gives NULL when there is no
// memory for it.
BSTR allocate(const OLECHAR* text, UINT length) {
  if (length > kMaxLength) return nullptr;
  const auto bytes = static_cast<std::uint32_t>(length * sizeof(OLECHAR));
  std::unique_ptr<void, FreeDeleter> memory(std::malloc(kPrefixBytes + bytes + sizeof(OLECHAR)));
  if (!memory) return nullptr;
  auto* raw = static_cast<std::byte*>(memory.get());
  std::memcpy(raw, &bytes, kPrefixBytes);
  auto* units = reinterpret_cast<OLECHAR*>(raw + kPrefixBytes);
  if (text != nullptr) {
    std::memcpy(units, text, bytes);
  } else {
    std::memset(units, 0, bytes);
  }
  units[length] = u'\0';
  BstrBlock block{std::move(memory), fwsim::detail::next_object_number("BSTR")};
  Registry& r = registry();
  const std::lock_guard lock(r.mutex);
  r.blocks.emplace(units, std::move(block));
  ++fwsim::detail::counters().bstrs;
  return units;
}

// A string that fwsim never handed out, or one already freed, is a fault in the program that
// Windows would answer with heap corruption; fwsim stops at once and says which call saw it.
[[noreturn]] void reject_bstr(std::string_view call, const void* text) {
  char message[160];
  const int n = std::snprintf(message, sizeof message,
                              "fwsim: %.*s: %p is not a live BSTR (freed twice, or never "
                              "allocated with SysAllocStringLen)\n",
                              static_cast<int>(call.size()), call.data(), text);
  if (n > 0) std::fwrite(message, 1, static_cast<std::size_t>(n), stderr);
  std::abort();
}

// The number of a live BSTR's id; a string that is not live stops the process.
long live_bstr_number(std::string_view call, BSTR text) {
  Registry& r = registry();
  const std::lock_guard lock(r.mutex);
  const auto block = r.blocks.find(text);
  if (block == r.blocks.end()) reject_bstr(call, text);
  return block->second.number;
}

// The trace id of a live BSTR.
std::string bstr_id(std::string_view call, BSTR text) {
  return fwsim::detail::object_id("BSTR", live_bstr_number(call, text));
}

std::string vartype_text(const VARIANT* value) {
  if (value == nullptr) return "null";
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value->vt));
  return text;
}

std::uint32_t byte_length(BSTR text) {
  std::uint32_t bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<const std::byte*>(text) - kPrefixBytes, kPrefixBytes);
  return bytes;
}

}  // namespace

namespace fwsim::detail {

BSTR make_bstr(std::u16string_view text) {
  BSTR result = allocate(text.data(), static_cast<UINT>(text.size()));
  if (result == nullptr) {
    std::fputs("fwsim: out of memory for a string of its own\n", stderr);
    std::abort();
  }
  return result;
}

std::u16string_view bstr_view(BSTR text) {
  if (text == nullptr) return {};
  live_bstr_number("bstr_view", text);
  return {text, byte_length(text) / sizeof(OLECHAR)};
}

std::string bstr_label(BSTR text) { return text == nullptr ? "null" : text_form(bstr_view(text)); }

void free_bstr(BSTR text) {
  if (text == nullptr) return;
  Registry& r = registry();
  const std::lock_guard lock(r.mutex);
  const auto block = r.blocks.find(text);
  if (block == r.blocks.end()) reject_bstr("SysFreeString", text);
  r.blocks.erase(block);
  --counters().bstrs;
}

}  // namespace fwsim::detail

using namespace fwsim::detail;

BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT length) {
  start();
  BSTR result = nullptr;
  if (const auto fault = take_fault("SysAllocStringLen")) {
    set_last_error(static_cast<DWORD>(fault->result));
  } else {
    result = allocate(text, length);
  }
  const std::string label = text == nullptr ? "null" : text_form({text, length});
  trace("SysAllocStringLen", label + " " + std::to_string(length),
        result == nullptr ? "null" : bstr_id("SysAllocStringLen", result));
  return result;
}

UINT WINAPI SysStringLen(BSTR text) {
  start();
  UINT length = 0;
  std::string label = "null";
  if (text != nullptr) {
    // Every call checks the string; only a trace line shows its id.
    const long number = live_bstr_number("SysStringLen", text);
    if (tracing()) label = object_id("BSTR", number);
    length = byte_length(text) / sizeof(OLECHAR);
  }
  if (tracing()) trace("SysStringLen", label, std::to_string(length));
  return length;
}

void WINAPI SysFreeString(BSTR text) {
  start();
  // The string's id, looked up only for a trace line; free_bstr catches a string that is not live.
  std::string label;
  if (tracing()) label = text == nullptr ? "null" : bstr_id("SysFreeString", text);
  free_bstr(text);
  trace("SysFreeString", label, "void");
}

void WINAPI VariantInit(VARIANT* value) {
  start();
  value->vt = VT_EMPTY;
  trace("VariantInit", "", "void");
}

HRESULT WINAPI VariantClear(VARIANT* value) {
  start();
  const std::string vt = vartype_text(value);
  HRESULT hr = E_INVALIDARG;
  if (const auto fault = take_fault("VariantClear")) {
    leave_error_info(*fault);
    hr = static_cast<HRESULT>(fault->result);  // nothing is freed: the value leaks, as on Windows
  } else if (value != nullptr) {
    hr = clear_variant(*value);
  }
  trace("VariantClear", vt, hresult_text(hr));
  return hr;
}
