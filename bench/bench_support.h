// What the benchmarks share: a simulated platform that keeps no call log, and sample texts.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <fwsim/testing.h>

namespace orvane::bench {

using namespace std::string_view_literals;

// A clean simulated platform for one benchmark. The call log stays off: a benchmark makes
// millions of calls, and a log line for each would grow without end and time the log, not the
// code.
inline void quiet_platform() {
  fwsim::reset();
  fwsim::set_call_log(false);
}

// Whole copies of `unit`, as many as fit in `size` bytes, and at least one.
inline std::string repeat_to(std::string_view unit, std::size_t size) {
  std::string text;
  while (text.size() + unit.size() <= size || text.empty()) text += unit;
  return text;
}

// Plain English: nothing to escape, nothing beyond ASCII.
inline constexpr std::string_view kAsciiUnit =
    "The lobby listens for its players on a port of its own choosing. ";

// Latin with accents, Greek, Cyrillic, Chinese, Japanese and an emoji: one to four UTF-8 bytes
// per character, every one printable.
inline constexpr std::string_view kMixedUnit =
    "Grüße aus Köln, Καλημέρα, Привет, 你好世界, こんにちは, 🎮 ";

// Mostly what the quoting rule writes as an escape: quotes, backslashes, tab, line breaks, other
// control characters, U+0000 and a combining accent.
inline constexpr std::string_view kEscapesUnit =
    "\"\\\t\n\r\x01\x1b\x7f\0a\xcc\x81\"\\\xc2\x85\t"sv;

}  // namespace orvane::bench
