#include "report/allocation_failure.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "platform/win32.h"
#include "report/failure_report.h"

namespace orvane::report {

void allocation_failed(std::size_t size) noexcept {
  // Memory has run out, so the message is put together on the stack.
  constexpr std::string_view kBefore = "memory allocation of ";
  constexpr std::string_view kAfter = " bytes failed\n";
  char message[kBefore.size() + 20 + kAfter.size()];  // 20 digits hold any 64-bit size
  char* end = message;
  end = std::copy(kBefore.begin(), kBefore.end(), end);
  end = std::to_chars(end, message + sizeof message, size).ptr;
  end = std::copy(kAfter.begin(), kAfter.end(), end);
  write_stderr(std::string_view(message, static_cast<std::size_t>(end - message)));
  __fastfail(FAST_FAIL_FATAL_APP_EXIT);
}

}  // namespace orvane::report
