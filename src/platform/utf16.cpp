#include "platform/utf16.h"

#include <cstdint>

namespace orvane::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_high_surrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

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

void append_utf16(char32_t c, WideString& out) {
  if (c < 0x10000) {
    out += static_cast<WCHAR>(c);
  } else {
    c -= 0x10000;
    out += static_cast<WCHAR>(0xD800 + (c >> 10));
    out += static_cast<WCHAR>(0xDC00 + (c & 0x3FF));
  }
}

// The range the second byte of a sequence must fall in, by its lead byte. It is narrower than
// 80..BF for E0, ED, F0 and F4, which rules out overlong forms, surrogates and values above
// U+10FFFF without any later check.
struct Lead {
  int length;  // 0: not a lead byte
  std::uint8_t second_min;
  std::uint8_t second_max;
};

Lead lead_of(std::uint8_t byte) {
  if (byte >= 0xC2 && byte <= 0xDF) return {2, 0x80, 0xBF};
  if (byte == 0xE0) return {3, 0xA0, 0xBF};
  if (byte == 0xED) return {3, 0x80, 0x9F};
  if (byte >= 0xE1 && byte <= 0xEF) return {3, 0x80, 0xBF};
  if (byte == 0xF0) return {4, 0x90, 0xBF};
  if (byte >= 0xF1 && byte <= 0xF3) return {4, 0x80, 0xBF};
  if (byte == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

}  // namespace

std::string wide_to_text(WideView units) {
  std::string text;
  text.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (is_high_surrogate(c) && i + 1 < units.size() && is_low_surrogate(units[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (is_high_surrogate(c) || is_low_surrogate(c)) {
      c = kReplacement;
    }
    append_utf8(c, text);
  }
  return text;
}

WideString text_to_wide(std::string_view text) {
  WideString units;
  units.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<std::uint8_t>(text[i]);
    if (byte < 0x80) {
      units += static_cast<WCHAR>(byte);
      ++i;
      continue;
    }
    const Lead lead = lead_of(byte);
    char32_t c = byte & (0xFF >> (lead.length + 1));
    int taken = 1;
    for (; taken < lead.length && i + taken < text.size(); ++taken) {
      const auto next = static_cast<std::uint8_t>(text[i + taken]);
      const bool fits = taken == 1 ? next >= lead.second_min && next <= lead.second_max
                                   : next >= 0x80 && next <= 0xBF;
      if (!fits) break;
      c = (c << 6) | (next & 0x3F);
    }
    // A sequence cut short (or a byte that leads nothing) is one maximal invalid subpart.
    append_utf16(lead.length != 0 && taken == lead.length ? c : kReplacement, units);
    i += taken;
  }
  return units;
}

WideView trim_trailing_white_space(WideView units) {
  while (!units.empty()) {
    const WCHAR last = units.back();
    if (last != 32 && (last < 9 || last > 13)) break;
    units.remove_suffix(1);
  }
  return units;
}

}  // namespace orvane::platform
