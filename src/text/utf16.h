#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "text/wide_string.h"

namespace orvane::text {

// Lossy UTF-16 to UTF-8: surrogate pairs make one code point; every unpaired surrogate becomes
// U+FFFD (and a high surrogate followed by a non-low unit leaves that unit to be decoded afresh).
std::string wide_to_text(WideView units);

// UTF-16 to WTF-8, losing nothing: as wide_to_text, but an unpaired surrogate becomes the
// three-byte form of its own value, which quote_text shows as \u{d800} and the like.
std::string wide_to_wtf8(WideView units);

// UTF-8 to UTF-16, exact for valid UTF-8: code points above U+FFFF become surrogate pairs, U+0000
// stays a unit of value 0. A byte sequence that is not UTF-8 is replaced by U+FFFD, one for each
// maximal invalid subpart, so that no input is ever read out of bounds or passed on malformed.
WideString text_to_wide(std::string_view text);

// One character decoded from the front of UTF-8 `text` (which must not be empty), and the number
// of bytes it took (at least 1). A byte sequence that is not UTF-8 decodes as U+FFFD, one for each
// maximal invalid subpart, so a decoder always advances and never reads past the end. With
// `surrogates`, the three-byte forms of surrogate code points (as WTF-8 carries unpaired UTF-16
// units) decode as those code points instead.
struct Utf8Char {
  char32_t code_point;
  std::size_t length;
};
Utf8Char decode_utf8(std::string_view text, bool surrogates = false);

// Appends the UTF-8 bytes of `code_point`.
void append_utf8(char32_t code_point, std::string& out);

// `units` without its trailing tab, line feed, vertical tab, form feed, carriage return and space.
WideView trim_trailing_white_space(WideView units);

}  // namespace orvane::text
