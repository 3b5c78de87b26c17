#include "text/quote.h"

#include <charconv>
#include <cstddef>
#include <cstdint>

#include "text/unicode_tables.h"
#include "text/utf16.h"

namespace orvane::text {
namespace {

void append_braced(char32_t c, std::string& out) {
  char digits[8];
  const auto result = std::to_chars(digits, digits + sizeof digits, static_cast<std::uint32_t>(c),
                                    16);  // lower case
  out += "\\u{";
  out.append(digits, result.ptr);
  out += '}';
}

bool is_shown_as_itself(char32_t c) {
  if (c >= 0x20 && c <= 0x7E) return true;
  return c != U'\0' && !(c >= 0x300 && is_grapheme_extend(c)) && is_printable(c);
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
  } else if (!is_shown_as_itself(c)) {
    // A combining mark on its own would fuse with the quote or escape before it, and the
    // non-printable ones would vanish or break the report's lines: show their numbers.
    append_braced(c, out);
  } else {
    text::append_utf8(c, out);
  }
}

}  // namespace

void quote_text(std::string_view text, std::string& out) {
  out += '"';
  while (!text.empty()) {
    // Surrogates encoded in the text are shown as the units they were, not as U+FFFD.
    const text::Utf8Char c = text::decode_utf8(text, /*surrogates=*/true);
    append_quoted_char(c.code_point, out);
    text.remove_prefix(c.length);
  }
  out += '"';
}

bool shows_as_itself(std::string_view text) {
  while (!text.empty()) {
    const text::Utf8Char c = text::decode_utf8(text, /*surrogates=*/true);
    if (!is_shown_as_itself(c.code_point)) return false;
    text.remove_prefix(c.length);
  }
  return true;
}

void show_text(std::string_view text, std::string& out) {
  if (shows_as_itself(text) && text.find('"') == std::string_view::npos) {
    out += '"';
    out += text;
    out += '"';
  } else {
    quote_text(text, out);
  }
}

}  // namespace orvane::text
