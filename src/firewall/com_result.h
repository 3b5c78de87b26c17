#pragma once

#include <optional>

#include "firewall/firewall_error.h"
#include "platform/com_ptr.h"
#include "platform/hresult_error.h"

namespace orvane::firewall {

// The firewall library's reading of platform results. Each error is made at once from the failing
// call's result, so that it takes the error information the call left on the thread.

// CoInitializeEx refused an apartment: only the system's text for the code is kept.
inline FirewallError apartment_failure(HRESULT hr) {
  return CoInitializeExFailed{platform::system_message(hr)};
}

// The error of a failed call, or none.
inline std::optional<FirewallError> call_failure(HRESULT hr) {
  if (SUCCEEDED(hr)) return std::nullopt;
  return WindowsError{platform::HresultError::from_hresult(hr)};
}

// The error of a call that hands out an object: a failure, or a success that gave back nothing,
// which is reported with code 0.
template <class T>
std::optional<FirewallError> object_failure(HRESULT hr, const platform::ComPtr<T>& out) {
  if (FAILED(hr)) return WindowsError{platform::HresultError::from_hresult(hr)};
  if (!out) return WindowsError{platform::HresultError(S_OK)};
  return std::nullopt;
}

}  // namespace orvane::firewall
