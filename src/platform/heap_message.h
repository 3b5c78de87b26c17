#pragma once

#include <utility>

#include "platform/win32.h"

namespace orvane::platform {

// Owns a buffer that FormatMessageW allocated (FORMAT_MESSAGE_ALLOCATE_BUFFER) and frees it on the
// process heap with HeapFree, as the buffer came from there.
class HeapMessage {
 public:
  HeapMessage() noexcept = default;
  HeapMessage(const HeapMessage&) = delete;
  HeapMessage& operator=(const HeapMessage&) = delete;
  ~HeapMessage() { reset(); }

  WCHAR* get() const noexcept { return buffer_; }
  // The slot FormatMessageW writes the buffer's address to.
  WCHAR** put() noexcept {
    reset();
    return &buffer_;
  }
  void reset() noexcept {
    if (WCHAR* buffer = std::exchange(buffer_, nullptr)) HeapFree(GetProcessHeap(), 0, buffer);
  }

 private:
  WCHAR* buffer_ = nullptr;
};

static_assert(sizeof(HeapMessage) == sizeof(WCHAR*));

}  // namespace orvane::platform
