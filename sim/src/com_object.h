// What every simulated COM object shares: an id for the trace, a place in the live count, and
// IUnknown. Internal to fwsim.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "faults.h"
#include "fwsim/win32.h"
#include "trace.h"

namespace fwsim::detail {

// What every firewall object shares: its id in the trace and its place in the live count. The
// reference count starts at one, the reference its creator hands out.
class ObjectBase {
 public:
  ObjectBase(const ObjectBase&) = delete;
  ObjectBase& operator=(const ObjectBase&) = delete;
  virtual ~ObjectBase() { --counters().objects; }
  std::string id() const { return object_id(class_name_, number_); }

 protected:
  // `class_name` lives as long as the program (a literal).
  explicit ObjectBase(std::string_view class_name)
      : class_name_(class_name), number_(next_object_number(class_name)) {
    ++counters().objects;
  }
  std::atomic<ULONG> refs_{1};

 private:
  std::string_view class_name_;
  long number_;
};

// IUnknown for an object that offers exactly one interface besides IUnknown.
template <class Interface, const IID& kIid>
class Object : public ObjectBase, public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    constexpr std::string_view kName = "IUnknown::QueryInterface";
    HRESULT hr = S_OK;
    Interface* given = nullptr;
    if (auto fault = take_fault(kName)) {
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else if (object == nullptr) {
      hr = E_POINTER;
    } else if (iid == IID_IUnknown || iid == kIid) {
      ++refs_;  // the reference handed out; not a call of the caller's, so not traced
      given = this;
    } else {
      hr = E_NOINTERFACE;
    }
    if (object != nullptr) *object = static_cast<IUnknown*>(given);
    if (tracing()) {
      trace(kName, id() + " " + guid_label(iid), hresult_text(hr) + " " + (given ? id() : "null"));
    }
    return hr;
  }

  ULONG STDMETHODCALLTYPE AddRef() override {
    const ULONG count = ++refs_;
    if (tracing()) trace("IUnknown::AddRef", id(), std::to_string(count));
    return count;
  }

  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG count = --refs_;
    if (tracing()) trace("IUnknown::Release", id(), std::to_string(count));
    if (count == 0) delete this;
    return count;
  }

 protected:
  using ObjectBase::ObjectBase;
};

// A get's out-parameter is cleared on failure, as COM asks of a method.
template <class T>
void clear_out(T* out) {
  if (out != nullptr) *out = T{};
}

// Reads a number the caller's type may not be able to hold (an enumeration with a store value
// outside its members) without a conversion the language leaves undefined.
template <class T>
void store_number(T* out, std::int32_t value) {
  if constexpr (sizeof(T) == sizeof(value)) {
    std::memcpy(out, &value, sizeof value);
  } else {
    *out = static_cast<T>(value);
  }
}

}  // namespace fwsim::detail
