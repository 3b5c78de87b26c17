// The quoting rule of detailed forms: whatever the text, the quoted form is one line in double
// quotes, shows only printable characters as themselves, and reads back, with a small un-quoter
// written here, to the text it was made from (invalid UTF-8 reading back as U+FFFD).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "reference_unicode.h"
#include "text/quote.h"

namespace {

using namespace orvane::fuzz;

// Characters that Unicode does not class as printable, from the categories that are easy to
// name exactly: controls, line and paragraph separators, spaces other than U+0020, the common
// format characters, private use and noncharacters. Any of them written as itself is a fault.
bool plainly_unprintable(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xA0 || c == 0xAD || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200F) || (c >= 0x2028 && c <= 0x202F) ||
         (c >= 0x205F && c <= 0x2064) || c == 0x3000 || c == 0xFEFF ||
         (c >= 0xD800 && c <= 0xDFFF) || (c >= 0xE000 && c <= 0xF8FF) ||
         (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE || c >= 0xF0000;
}

// Combining marks, which would fuse with the quote or escape in front of them.
bool combining(char32_t c) { return c >= 0x300 && c <= 0x36F; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;  // upper case is not the quoting rule's form
}

// Reads the quoted form back to code points, checking on the way that it is written the way the
// rule writes it.
std::u32string unquote(std::string_view quoted) {
  check(quoted.size() >= 2 && quoted.front() == '"' && quoted.back() == '"', "not in quotes");
  const std::string_view body = quoted.substr(1, quoted.size() - 2);
  bool valid = false;
  const std::u32string chars = decode_utf8(body, /*surrogates=*/false, &valid);
  check(valid, "the quoted form is not valid UTF-8");
  std::u32string out;
  for (std::size_t i = 0; i < chars.size(); ++i) {
    const char32_t c = chars[i];
    if (c != U'\\') {
      check(c != U'"', "an unescaped double quote inside");
      check(!plainly_unprintable(c), "a non-printable character written as itself");
      check(!combining(c), "a combining character written as itself");
      out += c;
      continue;
    }
    check(++i < chars.size(), "a backslash at the end");
    switch (chars[i]) {
      case U'"':
      case U'\\':
        out += chars[i];
        break;
      case U't':
        out += U'\t';
        break;
      case U'n':
        out += U'\n';
        break;
      case U'r':
        out += U'\r';
        break;
      case U'0':
        out += U'\0';
        break;
      case U'u': {
        check(++i < chars.size() && chars[i] == U'{', "\\u without {");
        char32_t value = 0;
        std::size_t digits = 0;
        while (++i < chars.size() && chars[i] != U'}') {
          const int digit = chars[i] < 0x80 ? hex_value(static_cast<char>(chars[i])) : -1;
          check(digit >= 0, "not a lower-case hex digit in \\u{}");
          check(digits > 0 || digit != 0 || (i + 1 < chars.size() && chars[i + 1] == U'}'),
                "a leading zero in \\u{}");
          check(++digits <= 6, "too many digits in \\u{}");
          value = value * 16 + static_cast<char32_t>(digit);
        }
        check(i < chars.size() && digits > 0, "\\u{ without its digits and }");
        check(value <= 0x10FFFF, "\\u{} beyond Unicode");
        // Printable ASCII and the characters with a short escape are never written this way;
        // neither are the Latin-1 letters and signs, which are all printable.
        check(!(value >= 0x20 && value <= 0x7E), "printable ASCII escaped");
        check(value != '\t' && value != '\n' && value != '\r' && value != 0,
              "\\u{} for a character with a short escape");
        check(!(value >= 0xA1 && value <= 0xFF && value != 0xAD), "a printable Latin-1 escaped");
        out += value;
        break;
      }
      default:
        fail("an unknown escape");
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string quoted = "prefix ";
  orvane::text::quote_text(text, quoted);
  // The rule appends: what was in the sink stays.
  check(quoted.starts_with("prefix "), "the sink's text was changed");
  const std::string_view form = std::string_view(quoted).substr(7);
  check(form.find('\n') == std::string_view::npos && form.find('\r') == std::string_view::npos,
        "a line break in the quoted form");
  // Surrogates encoded in the text read back as themselves; anything else invalid as U+FFFD.
  check(unquote(form) == decode_utf8(text, /*surrogates=*/true), "does not read back to the text");
  return 0;
}
