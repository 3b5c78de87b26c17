// oleaut32's SAFEARRAYs, one-dimensional vectors of VARIANT, and the copying and clearing of the
// VARIANTs they hold (VariantInit and VariantClear are in oleaut32.cpp).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "controls.h"
#include "faults.h"
#include "oleaut32.h"
#include "trace.h"

namespace {

struct FreeDeleter {
  void operator()(void* memory) const { std::free(memory); }
};

struct ArrayBlock {
  std::unique_ptr<void, FreeDeleter> memory;  // the descriptor, then the elements
  std::string id;
};

struct Registry {
  std::mutex mutex;
  std::unordered_map<const SAFEARRAY*, ArrayBlock> blocks;
};

Registry& registry() {
  static Registry instance;
  return instance;
}

constexpr VARTYPE kVariantArray = VT_ARRAY | VT_VARIANT;
constexpr USHORT kFadfHaveVartype = 0x0080;  // FADF_HAVEVARTYPE
constexpr USHORT kFadfVariant = 0x0800;      // FADF_VARIANT
constexpr DWORD kErrorNotEnoughMemory = 8;

// A new vector of `count` VT_EMPTY VARIANTs, or NULL when there is no memory for it. From malloc,
// so that a failure is a NULL result whatever the program did to operator new.
SAFEARRAY* create_array(LONG lower_bound, ULONG count) {
  static_assert(sizeof(SAFEARRAY) % alignof(VARIANT) == 0);
  // Worked out in 64 bits: where size_t is as wide, no ULONG count can overflow it, and a compiler
  // that sees that would reject a test made in ULONG as one that can never fail.
  const std::uint64_t bytes = std::uint64_t{count} * sizeof(VARIANT) + sizeof(SAFEARRAY);
  if (bytes > SIZE_MAX) return nullptr;
  std::unique_ptr<void, FreeDeleter> memory(std::calloc(1, static_cast<std::size_t>(bytes)));
  if (!memory) return nullptr;
  auto* array = static_cast<SAFEARRAY*>(memory.get());
  array->cDims = 1;
  array->fFeatures = kFadfHaveVartype | kFadfVariant;
  array->cbElements = sizeof(VARIANT);
  array->pvData = static_cast<std::byte*>(memory.get()) + sizeof(SAFEARRAY);
  array->rgsabound[0] = {count, lower_bound};
  ArrayBlock block{std::move(memory), fwsim::detail::next_object_id("SAFEARRAY")};
  Registry& r = registry();
  const std::lock_guard lock(r.mutex);
  r.blocks.emplace(array, std::move(block));
  ++fwsim::detail::counters().arrays;
  return array;
}

VARIANT* elements(SAFEARRAY* array) { return static_cast<VARIANT*>(array->pvData); }

// The trace id of a live array. Anything else is a fault in the program (a destroyed array used
// again), which fwsim reports and stops at, as it does for BSTRs.
std::string array_id(std::string_view call, const SAFEARRAY* array) {
  Registry& r = registry();
  const std::lock_guard lock(r.mutex);
  const auto block = r.blocks.find(array);
  if (block != r.blocks.end()) return block->second.id;
  std::fprintf(stderr,
               "fwsim: %.*s: %p is not a live SAFEARRAY (destroyed twice, or not made by "
               "SafeArrayCreateVector)\n",
               static_cast<int>(call.size()), call.data(), static_cast<const void*>(array));
  std::abort();
}

// Clears every element, then frees the array.
void destroy_array(SAFEARRAY* array) {
  for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i) {
    fwsim::detail::clear_variant(elements(array)[i]);
  }
  Registry& r = registry();
  const std::lock_guard lock(r.mutex);
  r.blocks.erase(array);
  --fwsim::detail::counters().arrays;
}

}  // namespace

namespace fwsim::detail {

HRESULT clear_variant(VARIANT& value) {
  switch (value.vt) {
    case VT_EMPTY:
    case VT_I4:
    case VT_BOOL:
      break;
    case VT_BSTR:
      free_bstr(value.bstrVal);
      break;
    case VT_UNKNOWN:
      if (value.punkVal != nullptr) value.punkVal->Release();
      break;
    case VT_DISPATCH:
      if (value.pdispVal != nullptr) value.pdispVal->Release();
      break;
    case kVariantArray:
      if (value.parray != nullptr) {
        array_id("VariantClear", value.parray);
        destroy_array(value.parray);
      }
      break;
    default:
      return DISP_E_BADVARTYPE;
  }
  value.vt = VT_EMPTY;
  return S_OK;
}

HRESULT copy_variant(VARIANT& target, const VARIANT& source) {
  VARIANT copy = source;
  switch (source.vt) {
    case VT_EMPTY:
    case VT_I4:
    case VT_BOOL:
      break;
    case VT_BSTR:
      if (source.bstrVal != nullptr) copy.bstrVal = make_bstr(bstr_view(source.bstrVal));
      break;
    case VT_UNKNOWN:
      if (source.punkVal != nullptr) source.punkVal->AddRef();
      break;
    case VT_DISPATCH:
      if (source.pdispVal != nullptr) source.pdispVal->AddRef();
      break;
    case kVariantArray: {
      if (source.parray == nullptr) break;
      array_id("copy", source.parray);
      const SAFEARRAYBOUND bound = source.parray->rgsabound[0];
      copy.parray = create_array(bound.lLbound, bound.cElements);
      if (copy.parray == nullptr) return E_OUTOFMEMORY;
      for (ULONG i = 0; i < bound.cElements; ++i) {
        const HRESULT hr = copy_variant(elements(copy.parray)[i], elements(source.parray)[i]);
        if (FAILED(hr)) {
          destroy_array(copy.parray);  // the elements not copied yet are still VT_EMPTY
          return hr;
        }
      }
      break;
    }
    default:
      return DISP_E_BADVARTYPE;
  }
  target = copy;
  return S_OK;
}

}  // namespace fwsim::detail

using namespace fwsim::detail;

// Only vectors of VARIANT are simulated; any other element type gives NULL with
// ERROR_INVALID_PARAMETER as the last error.
SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE type, LONG lower_bound, ULONG count) {
  start();
  SAFEARRAY* array = nullptr;
  if (const auto fault = take_fault("SafeArrayCreateVector")) {
    set_last_error(static_cast<DWORD>(fault->result));
  } else if (type != VT_VARIANT) {
    set_last_error(ERROR_INVALID_PARAMETER);
  } else if (array = create_array(lower_bound, count); array == nullptr) {
    set_last_error(kErrorNotEnoughMemory);
  }
  trace("SafeArrayCreateVector",
        std::to_string(type) + " " + std::to_string(lower_bound) + " " + std::to_string(count),
        array == nullptr ? "null" : array_id("SafeArrayCreateVector", array));
  return array;
}

HRESULT WINAPI SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value) {
  start();
  const std::string label = array == nullptr ? "null" : array_id("SafeArrayPutElement", array);
  HRESULT hr = E_INVALIDARG;
  if (const auto fault = take_fault("SafeArrayPutElement")) {
    leave_error_info(*fault);
    hr = static_cast<HRESULT>(fault->result);
  } else if (array != nullptr && indices != nullptr && value != nullptr) {
    const SAFEARRAYBOUND bound = array->rgsabound[0];
    const std::int64_t offset = std::int64_t{*indices} - bound.lLbound;
    if (offset < 0 || offset >= std::int64_t{bound.cElements}) {
      hr = DISP_E_BADINDEX;
    } else {
      VARIANT copy{};
      hr = copy_variant(copy, *static_cast<const VARIANT*>(value));
      if (SUCCEEDED(hr)) {
        VARIANT& slot = elements(array)[offset];
        clear_variant(slot);
        slot = copy;
      }
    }
  }
  trace("SafeArrayPutElement", label + " " + (indices ? std::to_string(*indices) : "null"),
        hresult_text(hr));
  return hr;
}

HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* array) {
  start();
  const std::string label = array == nullptr ? "null" : array_id("SafeArrayDestroy", array);
  HRESULT hr = S_OK;  // destroying NULL succeeds, as on Windows
  if (const auto fault = take_fault("SafeArrayDestroy")) {
    leave_error_info(*fault);
    hr = static_cast<HRESULT>(fault->result);
  } else if (array != nullptr) {
    destroy_array(array);
  }
  trace("SafeArrayDestroy", label, hresult_text(hr));
  return hr;
}

namespace {

// A bound of dimension `dimension` (from 1) of a one-dimensional array: DISP_E_BADINDEX for any
// other dimension, E_INVALIDARG for no array or no out-pointer (Microsoft's SafeArrayGetLBound and
// SafeArrayGetUBound references).
HRESULT get_bound(const char* name, SAFEARRAY* array, UINT dimension, LONG* out, bool upper) {
  start();
  const std::string label = array == nullptr ? "null" : array_id(name, array);
  HRESULT hr = E_INVALIDARG;
  if (const auto fault = take_fault(name)) {
    leave_error_info(*fault);
    hr = static_cast<HRESULT>(fault->result);
  } else if (array != nullptr && out != nullptr) {
    hr = DISP_E_BADINDEX;
    if (dimension == 1) {
      const SAFEARRAYBOUND bound = array->rgsabound[0];
      *out = upper ? static_cast<LONG>(bound.lLbound + static_cast<LONG>(bound.cElements) - 1)
                   : bound.lLbound;
      hr = S_OK;
    }
  }
  trace(name, label + " " + std::to_string(dimension),
        hresult_text(hr) + (SUCCEEDED(hr) ? " " + std::to_string(*out) : ""));
  return hr;
}

}  // namespace

HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* array, UINT dimension, LONG* lower_bound) {
  return get_bound("SafeArrayGetLBound", array, dimension, lower_bound, false);
}

HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* array, UINT dimension, LONG* upper_bound) {
  return get_bound("SafeArrayGetUBound", array, dimension, upper_bound, true);
}

HRESULT WINAPI SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value) {
  start();
  const std::string label = array == nullptr ? "null" : array_id("SafeArrayGetElement", array);
  HRESULT hr = E_INVALIDARG;
  if (const auto fault = take_fault("SafeArrayGetElement")) {
    leave_error_info(*fault);
    hr = static_cast<HRESULT>(fault->result);
  } else if (array != nullptr && indices != nullptr && value != nullptr) {
    const SAFEARRAYBOUND bound = array->rgsabound[0];
    const std::int64_t offset = std::int64_t{*indices} - bound.lLbound;
    hr = DISP_E_BADINDEX;
    if (offset >= 0 && offset < std::int64_t{bound.cElements}) {
      VARIANT& target = *static_cast<VARIANT*>(value);
      target = VARIANT{};
      hr = copy_variant(target, elements(array)[offset]);
    }
  }
  trace("SafeArrayGetElement", label + " " + (indices ? std::to_string(*indices) : "null"),
        hresult_text(hr));
  return hr;
}
