#pragma once

#include <utility>

#include "platform/win32.h"

namespace orvane::platform {

// Owns one SAFEARRAY until it is handed on (to a VARIANT, with detach()) and destroys it with
// SafeArrayDestroy otherwise, which also frees every element in it.
class OwnedSafeArray {
 public:
  OwnedSafeArray() noexcept = default;
  OwnedSafeArray(const OwnedSafeArray&) = delete;
  OwnedSafeArray& operator=(const OwnedSafeArray&) = delete;
  OwnedSafeArray(OwnedSafeArray&& other) noexcept : array_(std::exchange(other.array_, nullptr)) {}
  OwnedSafeArray& operator=(OwnedSafeArray&& other) noexcept {
    if (this != &other) {
      reset();
      array_ = std::exchange(other.array_, nullptr);
    }
    return *this;
  }
  ~OwnedSafeArray() { reset(); }

  [[nodiscard]] static OwnedSafeArray adopt(SAFEARRAY* array) noexcept {
    OwnedSafeArray result;
    result.array_ = array;
    return result;
  }

  SAFEARRAY* get() const noexcept { return array_; }
  explicit operator bool() const noexcept { return array_ != nullptr; }
  void reset() noexcept {
    // Destroying an array the program made and never locked cannot fail in a way that matters.
    if (SAFEARRAY* array = std::exchange(array_, nullptr)) (void)SafeArrayDestroy(array);
  }
  [[nodiscard]] SAFEARRAY* detach() noexcept { return std::exchange(array_, nullptr); }

 private:
  SAFEARRAY* array_ = nullptr;
};

static_assert(sizeof(OwnedSafeArray) == sizeof(SAFEARRAY*));

}  // namespace orvane::platform
