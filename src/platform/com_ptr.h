#pragma once

#include <utility>

#include "platform/win32.h"

namespace orvane::platform {

// Owns one reference to a COM interface and releases it exactly once. Taking over a reference is
// explicit (adopt, or put() as an out-parameter); there is no AddRef anywhere in the program.
template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      ptr_ = std::exchange(other.ptr_, nullptr);
    }
    return *this;
  }
  ~ComPtr() { reset(); }

  // Takes over a reference that the caller owns.
  [[nodiscard]] static ComPtr adopt(T* ptr) noexcept {
    ComPtr result;
    result.ptr_ = ptr;
    return result;
  }

  T* get() const noexcept { return ptr_; }
  T* operator->() const noexcept { return ptr_; }
  explicit operator bool() const noexcept { return ptr_ != nullptr; }

  // For an out-parameter: releases what is held, then lends the slot.
  T** put() noexcept {
    reset();
    return &ptr_;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

  // Releases the reference, if any. The count that Release returns is of no use to the owner.
  void reset() noexcept {
    if (T* ptr = std::exchange(ptr_, nullptr)) ptr->Release();
  }

  // Gives up ownership without releasing.
  [[nodiscard]] T* detach() noexcept { return std::exchange(ptr_, nullptr); }

 private:
  T* ptr_ = nullptr;
};

static_assert(sizeof(ComPtr<IUnknown>) == sizeof(IUnknown*));

}  // namespace orvane::platform
