#pragma once

#include <string>
#include <string_view>

#include "platform/win32.h"

namespace orvane::platform {

// Lossy UTF-16 to UTF-8: surrogate pairs make one code point; every unpaired surrogate becomes
// U+FFFD (and a high surrogate followed by a non-low unit leaves that unit to be decoded afresh).
std::string wide_to_text(WideView units);

// UTF-8 to UTF-16, exact for valid UTF-8: code points above U+FFFF become surrogate pairs, U+0000
// stays a unit of value 0. A byte sequence that is not UTF-8 is replaced by U+FFFD, one for each
// maximal invalid subpart, so that no input is ever read out of bounds or passed on malformed.
WideString text_to_wide(std::string_view text);

// `units` without its trailing tab, line feed, vertical tab, form feed, carriage return and space.
WideView trim_trailing_white_space(WideView units);

}  // namespace orvane::platform
