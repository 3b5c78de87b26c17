#pragma once

#include <array>
#include <cstddef>

#include "platform/com_ptr.h"
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

// Owns N VARIANTs side by side, as a call that fills an array of them takes it (IEnumVARIANT::Next,
// say): all start empty, and each one not taken out is cleared when the batch is cleared or
// destroyed. A VT_DISPATCH one is cleared by releasing its interface, which is all VariantClear
// would do for it, so that no failure of VariantClear can keep the object alive.
template <std::size_t N>
class OwnedVariants {
 public:
  OwnedVariants() noexcept : values_{} {}
  OwnedVariants(const OwnedVariants&) = delete;
  OwnedVariants& operator=(const OwnedVariants&) = delete;
  ~OwnedVariants() { reset(); }

  static constexpr std::size_t size() noexcept { return N; }
  // For filling in place: clears what is held, then lends the array of N.
  VARIANT* put() noexcept {
    reset();
    return values_.data();
  }
  // Takes the interface out of element `i` when it is a VT_DISPATCH, leaving the element empty;
  // null, and the element as it was, for any other value.
  [[nodiscard]] ComPtr<IDispatch> take_dispatch(std::size_t i) noexcept {
    VARIANT& value = values_[i];
    if (V_VT(&value) != VT_DISPATCH) return {};
    ComPtr<IDispatch> taken = ComPtr<IDispatch>::adopt(V_DISPATCH(&value));
    value = VARIANT{};
    return taken;
  }
  void reset() noexcept {
    for (std::size_t i = 0; i < N; ++i) {
      VARIANT& value = values_[i];
      if (V_VT(&value) == VT_DISPATCH) {
        take_dispatch(i).reset();
      } else if (V_VT(&value) != VT_EMPTY) {
        clear_variant(value);
      }
      value = VARIANT{};
    }
  }

 private:
  std::array<VARIANT, N> values_;
};

}  // namespace orvane::platform
