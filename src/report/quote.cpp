#include "report/quote.h"

#include <charconv>
#include <cstddef>
#include <cstdint>

#include "report/unicode_tables.h"

namespace orvane::report {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

struct Decoded {
  char32_t code_point;
  std::size_t length;  // bytes consumed, at least 1
};

bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one character at the start of `text` (never empty). Surrogate code points encoded as
// three bytes (ED A0..BF xx) are accepted so that a text that carries one still shows which unit
// it was. Anything else that is not UTF-8 becomes U+FFFD, one per maximal invalid subpart, so
// the decoder always advances and never reads past the end.
Decoded decode_one(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) return {lead, 1};

  std::size_t length = 0;
  char32_t value = 0;
  unsigned char second_min = 0x80;
  unsigned char second_max = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) second_min = 0xA0;  // overlong below U+0800
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    if (lead == 0xF0) second_min = 0x90;  // overlong below U+10000
    if (lead == 0xF4) second_max = 0x8F;  // beyond U+10FFFF
  } else {
    return {kReplacement, 1};
  }

  for (std::size_t i = 1; i < length; ++i) {
    if (i >= text.size()) return {kReplacement, i};
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool fits = i == 1 ? byte >= second_min && byte <= second_max : is_continuation(byte);
    if (!fits) return {kReplacement, i};
    value = (value << 6) | (byte & 0x3F);
  }
  return {value, length};
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

void append_braced(char32_t c, std::string& out) {
  char digits[8];
  const auto result = std::to_chars(digits, digits + sizeof digits, static_cast<std::uint32_t>(c),
                                    16);  // lower case
  out += "\\u{";
  out.append(digits, result.ptr);
  out += '}';
}

void append_quoted_char(char32_t c, std::string& out) {
  switch (c) {
    case U'"':
      out += "\\\"";
      return;
    case U'\\':
      out += "\\\\";
      return;
    case U'\t':
      out += "\\t";
      return;
    case U'\n':
      out += "\\n";
      return;
    case U'\r':
      out += "\\r";
      return;
    case U'\0':
      out += "\\0";
      return;
    default:
      break;
  }
  if (c >= 0x20 && c <= 0x7E) {
    out += static_cast<char>(c);
  } else if ((c >= 0x300 && is_grapheme_extend(c)) || !is_printable(c)) {
    // A combining mark on its own would fuse with the quote or escape before it, and the
    // non-printable ones would vanish or break the report's lines: show their numbers.
    append_braced(c, out);
  } else {
    append_utf8(c, out);
  }
}

}  // namespace

void quote_text(std::string_view text, std::string& out) {
  out += '"';
  while (!text.empty()) {
    const Decoded decoded = decode_one(text);
    append_quoted_char(decoded.code_point, out);
    text.remove_prefix(decoded.length);
  }
  out += '"';
}

}  // namespace orvane::report
