#include "driver/own_path.h"

#include <cstdint>
#include <limits>

namespace orvane::driver {

std::expected<WideString, report::OsError> own_executable_path() {
  constexpr DWORD kMaxCapacity = std::numeric_limits<DWORD>::max();
  DWORD capacity = 512;
  WideString path;
  for (;;) {
    path.resize(capacity);
    // GetModuleFileNameW leaves the last error alone on success, so only a cleared one tells a
    // failure (0 with an error) from an empty answer.
    SetLastError(0);
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), capacity);
    if (length == 0) {
      const DWORD error = GetLastError();
      if (error != 0) return std::unexpected(report::OsError{static_cast<std::int32_t>(error)});
    }
    if (length < capacity) {
      path.resize(length);
      return path;
    }
    // The path filled the buffer, so it was cut short: with ERROR_INSUFFICIENT_BUFFER on current
    // systems, silently and unterminated on older ones. Either way a larger buffer is needed.
    if (capacity == kMaxCapacity) {
      return std::unexpected(report::OsError{static_cast<std::int32_t>(ERROR_INSUFFICIENT_BUFFER)});
    }
    capacity = capacity > kMaxCapacity / 2 ? kMaxCapacity : capacity * 2;
  }
}

}  // namespace orvane::driver
