#pragma once

#include "platform/win32.h"

namespace orvane::platform {

// Clears a VARIANT with VariantClear, freeing what it holds. A failure is of no use to anyone
// here: it is turned into an HresultError, which takes the thread's error information, and
// dropped at once, so that the information is released too.
void clear_variant(VARIANT& value) noexcept;

// Owns one VARIANT: starts empty (all bytes zero, VT_EMPTY) and is cleared when destroyed.
class OwnedVariant {
 public:
  OwnedVariant() noexcept : value_{} {}
  OwnedVariant(const OwnedVariant&) = delete;
  OwnedVariant& operator=(const OwnedVariant&) = delete;
  OwnedVariant(OwnedVariant&& other) noexcept : value_(other.value_) { other.value_ = VARIANT{}; }
  OwnedVariant& operator=(OwnedVariant&& other) noexcept {
    if (this != &other) {
      reset();
      value_ = other.value_;
      other.value_ = VARIANT{};
    }
    return *this;
  }
  ~OwnedVariant() { reset(); }

  const VARIANT& get() const noexcept { return value_; }
  // For filling in place: clears what is held, then lends the VARIANT.
  VARIANT* put() noexcept {
    reset();
    return &value_;
  }
  // Clears the value unless it is already empty.
  void reset() noexcept {
    if (V_VT(&value_) != VT_EMPTY) clear_variant(value_);
    value_ = VARIANT{};
  }

 private:
  VARIANT value_;
};

static_assert(sizeof(OwnedVariant) == sizeof(VARIANT));

}  // namespace orvane::platform
