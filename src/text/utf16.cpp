#include "text/utf16.h"

#include <cstdint>

namespace orvane::text {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_high_surrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void append_utf16(char32_t c, WideString& out) {
  if (c < 0x10000) {
    out += static_cast<WideChar>(c);
  } else {
    c -= 0x10000;
    out += static_cast<WideChar>(0xD800 + (c >> 10));
    out += static_cast<WideChar>(0xDC00 + (c & 0x3FF));
  }
}

// Unpaired surrogates kept (WTF-8) or replaced by U+FFFD.
std::string wide_to_utf8(WideView units, bool keep_surrogates) {
  std::string text;
  text.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (is_high_surrogate(c) && i + 1 < units.size() && is_low_surrogate(units[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (!keep_surrogates && (is_high_surrogate(c) || is_low_surrogate(c))) {
      c = kReplacement;
    }
    append_utf8(c, text);
  }
  return text;
}

}  // namespace

std::string wide_to_text(WideView units) { return wide_to_utf8(units, /*keep_surrogates=*/false); }

std::string wide_to_wtf8(WideView units) { return wide_to_utf8(units, /*keep_surrogates=*/true); }

WideString text_to_wide(std::string_view text) {
  WideString units;
  units.reserve(text.size());
  while (!text.empty()) {
    const Utf8Char c = decode_utf8(text);
    append_utf16(c.code_point, units);
    text.remove_prefix(c.length);
  }
  return units;
}

Utf8Char decode_utf8(std::string_view text, bool surrogates) {
  const auto lead = static_cast<std::uint8_t>(text[0]);
  if (lead < 0x80) return {lead, 1};
  // The range of the second byte depends on the lead byte: narrower than 80..BF for E0, ED, F0
  // and F4, which rules out overlong forms, surrogates and values above U+10FFFF at once.
  int length = 0;
  std::uint8_t second_min = 0x80;
  std::uint8_t second_max = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) second_min = 0xA0;
    if (lead == 0xED && !surrogates) second_max = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) second_min = 0x90;
    if (lead == 0xF4) second_max = 0x8F;
  } else {
    return {kReplacement, 1};
  }
  char32_t c = lead & (0x7F >> length);
  for (int i = 1; i < length; ++i) {
    if (static_cast<std::size_t>(i) >= text.size())
      return {kReplacement, static_cast<std::size_t>(i)};
    const auto next = static_cast<std::uint8_t>(text[i]);
    const bool fits = i == 1 ? next >= second_min && next <= second_max : (next & 0xC0) == 0x80;
    if (!fits) return {kReplacement, static_cast<std::size_t>(i)};
    c = (c << 6) | (next & 0x3F);
  }
  return {c, static_cast<std::size_t>(length)};
}

void append_utf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

WideView trim_trailing_white_space(WideView units) {
  while (!units.empty()) {
    const WideChar last = units.back();
    if (last != 32 && (last < 9 || last > 13)) break;
    units.remove_suffix(1);
  }
  return units;
}

}  // namespace orvane::text
