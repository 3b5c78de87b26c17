// Error information: the ErrorInfo object that failing calls leave on their thread, and
// GetErrorInfo / SetErrorInfo, which hand it over.
#include <atomic>
#include <optional>
#include <string>
#include <utility>

#include "controls.h"
#include "faults.h"
#include "oleaut32.h"
#include "trace.h"

namespace {

constexpr IID kIidIRestrictedErrorInfo = {
    0x82BA7092, 0x4C88, 0x427D, {0xA7, 0xBC, 0x16, 0xDD, 0x93, 0xFE, 0xB6, 0x7E}};

using fwsim::detail::bstr_label;
using fwsim::detail::fault_result;
using fwsim::detail::hresult_text;
using fwsim::detail::make_bstr;
using fwsim::detail::take_fault;
using fwsim::detail::trace;

// One piece of error information. It offers IRestrictedErrorInfo only when a restricted
// description was given, as WinRT-aware components do; plain COM components offer IErrorInfo.
class ErrorInfo final : public IErrorInfo, public IRestrictedErrorInfo {
 public:
  // The new object has one reference, which the caller owns.
  static ErrorInfo* create(std::optional<std::u16string> description,
                           std::optional<std::u16string> restricted, HRESULT error) {
    return new ErrorInfo(std::move(description), std::move(restricted), error);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    HRESULT hr = E_POINTER;
    if (const auto fault = take_fault("IUnknown::QueryInterface")) {
      fwsim::detail::leave_error_info(*fault);
      hr = fault_result(*fault);
      if (object != nullptr) *object = nullptr;
    } else if (object != nullptr) {
      *object = nullptr;
      hr = E_NOINTERFACE;
      if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IErrorInfo)) {
        *object = static_cast<IErrorInfo*>(this);
      } else if (IsEqualGUID(iid, kIidIRestrictedErrorInfo) && restricted_) {
        *object = static_cast<IRestrictedErrorInfo*>(this);
      }
      if (*object != nullptr) {
        add_ref();
        hr = S_OK;
      }
    }
    const bool given = object != nullptr && *object != nullptr;
    trace("IUnknown::QueryInterface", id_ + " " + fwsim::detail::guid_label(iid),
          hresult_text(hr) + " " + (given ? id_ : "null"));
    return hr;
  }

  ULONG STDMETHODCALLTYPE AddRef() override {
    const ULONG count = add_ref();
    trace("IUnknown::AddRef", id_, std::to_string(count));
    return count;
  }

  ULONG STDMETHODCALLTYPE Release() override {
    // The id goes with the object, so the line is written first.
    const ULONG count = refs_.load() - 1;
    trace("IUnknown::Release", id_, std::to_string(count));
    return release();
  }

  HRESULT STDMETHODCALLTYPE GetDescription(BSTR* description) override {
    HRESULT hr = E_POINTER;
    if (description != nullptr) {
      *description = nullptr;
      hr = S_OK;
      if (const auto fault = take_fault("IErrorInfo::GetDescription")) {
        fwsim::detail::leave_error_info(*fault);
        hr = fault_result(*fault);
      } else if (description_) {
        *description = make_bstr(*description_);
      }
    }
    trace("IErrorInfo::GetDescription", id_,
          hresult_text(hr) + " " + bstr_label(description ? *description : nullptr));
    return hr;
  }

  HRESULT STDMETHODCALLTYPE GetErrorDetails(BSTR* description, HRESULT* error,
                                            BSTR* restricted_description,
                                            BSTR* capability_sid) override {
    HRESULT hr = E_POINTER;
    if (description && error && restricted_description && capability_sid) {
      *description = *restricted_description = *capability_sid = nullptr;
      *error = S_OK;
      hr = S_OK;
      if (const auto fault = take_fault("IRestrictedErrorInfo::GetErrorDetails")) {
        fwsim::detail::leave_error_info(*fault);
        hr = fault_result(*fault);
      } else {
        if (description_) *description = make_bstr(*description_);
        *error = error_;
        *restricted_description = make_bstr(restricted_.value_or(u""));
        // No capability is ever named, but the string is real so that a caller that forgets to
        // free it shows in the balance.
        *capability_sid = make_bstr(u"");
      }
      trace("IRestrictedErrorInfo::GetErrorDetails", id_,
            hresult_text(hr) + " " + bstr_label(*description) + " " + hresult_text(*error) + " " +
                bstr_label(*restricted_description) + " " + bstr_label(*capability_sid));
    } else {
      trace("IRestrictedErrorInfo::GetErrorDetails", id_, hresult_text(hr));
    }
    return hr;
  }

  HRESULT STDMETHODCALLTYPE GetReference(BSTR* reference) override {
    HRESULT hr = E_POINTER;
    if (reference != nullptr) {
      *reference = nullptr;  // fwsim keeps no references to other error objects
      hr = S_OK;
      if (const auto fault = take_fault("IRestrictedErrorInfo::GetReference")) {
        fwsim::detail::leave_error_info(*fault);
        hr = fault_result(*fault);
      }
    }
    trace("IRestrictedErrorInfo::GetReference", id_, hresult_text(hr) + " null");
    return hr;
  }

  // fwsim's own reference counting, which is not a call of the program and is not traced.
  ULONG add_ref() { return ++refs_; }
  ULONG release() {
    const ULONG count = --refs_;
    if (count == 0) delete this;
    return count;
  }

  const std::string& id() const { return id_; }

 private:
  ErrorInfo(std::optional<std::u16string> description, std::optional<std::u16string> restricted,
            HRESULT error)
      : description_(std::move(description)),
        restricted_(std::move(restricted)),
        error_(error),
        id_(fwsim::detail::next_object_id("ErrorInfo")) {
    ++fwsim::detail::counters().objects;
  }
  ~ErrorInfo() { --fwsim::detail::counters().objects; }

  std::atomic<ULONG> refs_{1};
  std::optional<std::u16string> description_;
  std::optional<std::u16string> restricted_;
  HRESULT error_;
  std::string id_;
};

// fwsim's own objects are counted untraced; another IErrorInfo (a test's) through its methods.
ErrorInfo* as_own(IErrorInfo* info) { return dynamic_cast<ErrorInfo*>(info); }

void quiet_add_ref(IErrorInfo* info) {
  if (ErrorInfo* own = as_own(info)) {
    own->add_ref();
  } else {
    info->AddRef();
  }
}

void quiet_release(IErrorInfo* info) {
  if (ErrorInfo* own = as_own(info)) {
    own->release();
  } else {
    info->Release();
  }
}

std::string info_label(IErrorInfo* info) {
  if (info == nullptr) return "null";
  ErrorInfo* own = as_own(info);
  return own != nullptr ? own->id() : "unknown";
}

// The calling thread's error information. A plain pointer, on purpose: a thread that ends while
// holding a reference leaks it, and the balance line shows that.
thread_local IErrorInfo* t_info = nullptr;

// Puts `info` (a reference the thread now owns, or null) in the thread's slot.
void replace_thread_info(IErrorInfo* info) {
  IErrorInfo* old = std::exchange(t_info, info);
  if (old == nullptr && info != nullptr) ++fwsim::detail::counters().errorinfo_threads;
  if (old != nullptr && info == nullptr) --fwsim::detail::counters().errorinfo_threads;
  if (old != nullptr) quiet_release(old);
}

}  // namespace

namespace fwsim::detail {

void leave_error_info(const Fault& fault) {
  if (!fault.desc && !fault.restricted) {
    clear_error_info();
    return;
  }
  replace_thread_info(
      ErrorInfo::create(fault.desc, fault.restricted, static_cast<HRESULT>(fault.result)));
}

void leave_error_info(std::u16string_view description) {
  replace_thread_info(ErrorInfo::create(std::u16string(description), std::nullopt, E_FAIL));
}

void clear_error_info() { replace_thread_info(nullptr); }

}  // namespace fwsim::detail

using namespace fwsim::detail;

HRESULT WINAPI GetErrorInfo(ULONG reserved, IErrorInfo** info) {
  start();
  HRESULT hr = E_INVALIDARG;
  if (info != nullptr) *info = nullptr;
  if (const auto fault = take_fault("GetErrorInfo")) {
    leave_error_info(*fault);
    hr = fault_result(*fault);
  } else if (info != nullptr && reserved == 0) {
    // The thread's reference goes to the caller.
    *info = std::exchange(t_info, nullptr);
    if (*info != nullptr) --counters().errorinfo_threads;
    hr = *info != nullptr ? S_OK : S_FALSE;
  }
  trace("GetErrorInfo", std::to_string(reserved),
        hresult_text(hr) + " " + info_label(info ? *info : nullptr));
  return hr;
}

HRESULT WINAPI SetErrorInfo(ULONG reserved, IErrorInfo* info) {
  start();
  HRESULT hr = E_INVALIDARG;
  const std::string label = info_label(info);
  if (const auto fault = take_fault("SetErrorInfo")) {
    leave_error_info(*fault);
    hr = static_cast<HRESULT>(fault->result);
  } else if (reserved == 0) {
    // The thread keeps a reference of its own; the caller keeps theirs.
    if (info != nullptr) quiet_add_ref(info);
    replace_thread_info(info);
    hr = S_OK;
  }
  trace("SetErrorInfo", std::to_string(reserved) + " " + label, hresult_text(hr));
  return hr;
}
