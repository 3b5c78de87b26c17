// ole32: COM's per-thread apartments, object creation and GUID comparison. The error
// information calls are in ole32_error_info.cpp.
#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>

#include "controls.h"
#include "faults.h"
#include "firewall.h"
#include "ole32.h"
#include "trace.h"

namespace fwsim::detail {
namespace {

inline constexpr HRESULT kClassNoAggregation = static_cast<HRESULT>(0x80040110);

// The calling thread's COM state: how many initialisations are unbalanced, and in which kind of
// apartment (fixed by the first one).
struct Apartment {
  long inits = 0;
  bool multithreaded = false;
};

thread_local Apartment apartment;

std::string pointer_label(const void* pointer) { return pointer ? "ptr" : "null"; }

}  // namespace

void reset_apartment() { apartment = {}; }

}  // namespace fwsim::detail

bool IsEqualGUID(REFIID a, REFIID b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::equal(std::begin(a.Data4), std::end(a.Data4), std::begin(b.Data4));
}

using namespace fwsim::detail;

HRESULT WINAPI CoInitializeEx(LPVOID reserved, DWORD co_init) {
  start();
  const std::string args = pointer_label(reserved) + " " + std::to_string(co_init);
  const bool multithreaded = (co_init & COINIT_APARTMENTTHREADED) == 0;
  HRESULT hr = S_OK;
  if (auto fault = take_fault("CoInitializeEx")) {
    // A fault stands for the whole call: the thread's apartment is left as it was.
    leave_error_info(*fault);
    hr = fault_result(*fault);
  } else if (reserved != nullptr) {
    hr = E_INVALIDARG;
  } else if (apartment.inits > 0 && apartment.multithreaded != multithreaded) {
    // A thread's apartment kind is fixed until its last CoUninitialize; this does not count.
    hr = RPC_E_CHANGED_MODE;
  } else {
    hr = apartment.inits == 0 ? S_OK : S_FALSE;
    apartment.multithreaded = multithreaded;
    ++apartment.inits;
    if (is_main_thread()) ++counters().main_apartments;
  }
  trace("CoInitializeEx", args, hresult_text(hr));
  return hr;
}

void WINAPI CoUninitialize() {
  start();
  // Windows ignores a CoUninitialize without a matching initialisation.
  if (apartment.inits > 0) {
    --apartment.inits;
    if (is_main_thread()) --counters().main_apartments;
  }
  trace("CoUninitialize", "", "void");
}

HRESULT WINAPI CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                                LPVOID* object) {
  start();
  constexpr std::string_view kName = "CoCreateInstance";
  const std::string args = guid_label(clsid) + " " + object_label(outer) + " " +
                           std::to_string(context) + " " + guid_label(iid);
  HRESULT hr = S_OK;
  if (object != nullptr) *object = nullptr;
  if (auto fault = take_fault(kName)) {
    leave_error_info(*fault);
    hr = fault_result(*fault);
  } else if (object == nullptr) {
    hr = E_POINTER;
  } else if (apartment.inits == 0) {
    hr = CO_E_NOTINITIALIZED;
  } else if (!is_firewall_class(clsid) || (context & CLSCTX_INPROC_SERVER) == 0) {
    // The firewall's classes are registered as in-process servers only.
    hr = REGDB_E_CLASSNOTREG;
  } else if (outer != nullptr) {
    hr = kClassNoAggregation;
  } else {
    hr = create_firewall_object(clsid, iid, object);
  }
  trace(kName, args,
        hresult_text(hr) + " " + object_label(object ? static_cast<IUnknown*>(*object) : nullptr));
  return hr;
}
