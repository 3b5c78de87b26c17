#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "platform/win32.h"

namespace orvane::platform {

// The sole owner of one BSTR. Null stands for the empty text: no platform string is ever made
// for it, and none is freed. Lend the pointer with get(); it is freed with SysFreeString when the
// owner is destroyed, unless detach() handed it on (to a VARIANT, say).
class OwnedBstr {
 public:
  OwnedBstr() noexcept = default;
  OwnedBstr(const OwnedBstr&) = delete;
  OwnedBstr& operator=(const OwnedBstr&) = delete;
  OwnedBstr(OwnedBstr&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}
  OwnedBstr& operator=(OwnedBstr&& other) noexcept {
    if (this != &other) {
      reset();
      bstr_ = std::exchange(other.bstr_, nullptr);
    }
    return *this;
  }
  ~OwnedBstr() { reset(); }

  // Takes over a BSTR that the caller owns (one a platform call handed out, say).
  [[nodiscard]] static OwnedBstr adopt(BSTR bstr) noexcept {
    OwnedBstr result;
    result.bstr_ = bstr;
    return result;
  }

  BSTR get() const noexcept { return bstr_; }
  explicit operator bool() const noexcept { return bstr_ != nullptr; }
  // For an out-parameter: frees what is held, then lends the slot.
  BSTR* put() noexcept {
    reset();
    return &bstr_;
  }
  void reset() noexcept {
    if (BSTR bstr = std::exchange(bstr_, nullptr)) SysFreeString(bstr);
  }
  [[nodiscard]] BSTR detach() noexcept { return std::exchange(bstr_, nullptr); }

  // Length in UTF-16 units, from the string's own length prefix; 0 for null.
  std::size_t length() const noexcept { return bstr_ ? SysStringLen(bstr_) : 0; }
  WideView view() const noexcept { return bstr_ ? WideView(bstr_, length()) : WideView(); }

 private:
  BSTR bstr_ = nullptr;
};

static_assert(sizeof(OwnedBstr) == sizeof(BSTR));

}  // namespace orvane::platform
