#pragma once

#include <expected>
#include <utility>

#include "platform/win32.h"

namespace orvane::platform {

// One COM initialisation of the calling thread in the single-threaded apartment, balanced by
// exactly one CoUninitialize when the guard is destroyed. S_OK and S_FALSE (already initialised)
// both count; a failed initialisation gives no guard, so nothing is balanced for it.
class [[nodiscard]] ComApartment {
 public:
  // CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); the failing HRESULT otherwise.
  static std::expected<ComApartment, HRESULT> enter() noexcept {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) return std::unexpected(hr);
    return ComApartment();
  }

  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ComApartment(ComApartment&& other) noexcept : owns_(std::exchange(other.owns_, false)) {}
  ComApartment& operator=(ComApartment&&) = delete;
  ~ComApartment() {
    if (owns_) CoUninitialize();
  }

 private:
  ComApartment() noexcept = default;
  bool owns_ = true;
};

}  // namespace orvane::platform
