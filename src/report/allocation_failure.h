#pragma once

#include <cstddef>

namespace orvane::report {

// Ends the process at once after an allocation of `size` bytes failed: writes
// "memory allocation of <size> bytes failed\n" to standard error and fails fast
// (FAST_FAIL_FATAL_APP_EXIT). Nothing is unwound or released. Allocates nothing itself.
[[noreturn]] void allocation_failed(std::size_t size) noexcept;

}  // namespace orvane::report
