// fwsim's text form and the UTF-8 / UTF-16 conversions its controls and trace need.
#include <algorithm>
#include <cstdio>

#include "text.h"

namespace fwsim::detail {
namespace {

bool is_high_surrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void append_escape(std::string& out, char32_t value) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%x", static_cast<unsigned>(value));
  out += "\\u{";
  out += digits;
  out += '}';
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One code point of a UTF-16 sequence; a lone surrogate comes back as itself.
char32_t next_code_point(std::u16string_view units, std::size_t& i) {
  char32_t unit = units[i++];
  if (is_high_surrogate(unit) && i < units.size() && is_low_surrogate(units[i])) {
    unit = 0x10000 + ((unit - 0xD800) << 10) + (units[i++] - 0xDC00);
  }
  return unit;
}

}  // namespace

void append_utf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

char32_t read_utf8(std::string_view text, std::size_t& pos, bool& valid) {
  const auto lead = static_cast<unsigned char>(text[pos++]);
  valid = false;
  if (lead < 0x80) {
    valid = true;
    return lead;
  }
  int trailing = 0;
  char32_t cp = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the first trailing byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    trailing = 1;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trailing = 2;
    cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trailing = 3;
    cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0xFFFD;
  }
  for (int k = 0; k < trailing; ++k) {
    if (pos >= text.size()) return 0xFFFD;
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < low || byte > high) return 0xFFFD;
    low = 0x80;
    high = 0xBF;
    cp = (cp << 6) | (byte & 0x3F);
    ++pos;
  }
  valid = true;
  return cp;
}

bool read_unicode_escape(std::string_view text, std::size_t& pos, std::u16string& out) {
  std::size_t i = pos;
  if (i + 1 >= text.size() || text[i] != 'u' || text[i + 1] != '{') return false;
  i += 2;
  char32_t value = 0;
  int digits = 0;
  while (i < text.size() && hex_value(text[i]) >= 0) {
    if (++digits > 6) return false;
    value = value * 16 + static_cast<char32_t>(hex_value(text[i++]));
  }
  if (digits == 0 || i >= text.size() || text[i] != '}' || value > 0x10FFFF) return false;
  append_utf16(out, value);
  pos = i + 1;
  return true;
}

std::vector<std::string_view> split_unescaped(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == separator) {
      pieces.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

std::string one_line(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (byte < 0x20 || byte == 0x7F) {
      append_escape(out, byte);
    } else {
      out += c;
    }
  }
  return out;
}

std::string text_form(std::u16string_view units) {
  std::string out = "\"";
  for (std::size_t i = 0; i < units.size();) {
    const char32_t cp = next_code_point(units, i);
    switch (cp) {
      case U'"':
        out += "\\\"";
        break;
      case U'\\':
        out += "\\\\";
        break;
      case U'\t':
        out += "\\t";
        break;
      case U'\n':
        out += "\\n";
        break;
      case U'\r':
        out += "\\r";
        break;
      case 0:
        out += "\\0";
        break;
      default:
        if (cp < 0x20 || cp == 0x7F || (cp >= 0xD800 && cp <= 0xDFFF)) {
          append_escape(out, cp);
        } else {
          append_utf8(out, cp);
        }
    }
  }
  out += '"';
  return out;
}

bool decode_escaped(std::string_view text, std::string_view literal_escapes, bool nul_escape,
                    std::u16string& out) {
  out.reserve(out.size() + text.size());  // never more units than bytes
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] != '\\') {
      // A run of ASCII characters, the most of any text, is taken over in one piece.
      std::size_t end = i;
      while (end < text.size() && static_cast<unsigned char>(text[end]) < 0x80 &&
             text[end] != '\\') {
        ++end;
      }
      if (end > i) {
        // Widened in place: appending a range of chars to a u16string builds a temporary.
        const std::size_t at = out.size();
        out.resize(at + (end - i));
        std::copy(text.begin() + static_cast<std::ptrdiff_t>(i),
                  text.begin() + static_cast<std::ptrdiff_t>(end),
                  out.begin() + static_cast<std::ptrdiff_t>(at));
        i = end;
        continue;
      }
      bool valid = false;
      const char32_t cp = read_utf8(text, i, valid);
      if (!valid) return false;
      append_utf16(out, cp);
      continue;
    }
    if (++i >= text.size()) return false;
    const char c = text[i];
    if (c == 'u') {
      if (!read_unicode_escape(text, i, out)) return false;
      continue;
    }
    if (c == '\\' || literal_escapes.find(c) != std::string_view::npos) {
      out += static_cast<char16_t>(c);
    } else if (c == 'n') {
      out += u'\n';
    } else if (c == 'r') {
      out += u'\r';
    } else if (c == 't') {
      out += u'\t';
    } else if (c == '0' && nul_escape) {
      out += u'\0';
    } else {
      return false;
    }
    ++i;
  }
  return true;
}

bool read_text_form(std::string_view& in, std::u16string& out) {
  if (in.empty() || in.front() != '"') return false;
  // The closing quote is the first one no backslash escapes: the first after a run of backslashes
  // of even length (each escapes the next, so the run's last escapes the quote when it is odd).
  std::size_t end = 0;
  for (;;) {
    end = in.find('"', end + 1);
    if (end == std::string_view::npos) return false;
    std::size_t backslashes = 0;
    while (in[end - 1 - backslashes] == '\\') ++backslashes;
    if (backslashes % 2 == 0) break;
  }
  out.clear();
  if (!decode_escaped(in.substr(1, end - 1), "\"", true, out)) return false;
  in.remove_prefix(end + 1);
  return true;
}

std::u16string decode_control_text(std::string_view utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    if (utf8[i] == '\\') {
      std::size_t after = i + 1;
      if (read_unicode_escape(utf8, after, out)) {
        i = after;
        continue;
      }
    }
    bool valid = false;
    append_utf16(out, read_utf8(utf8, i, valid));
  }
  return out;
}

std::string utf16_to_utf8(std::u16string_view units) {
  std::string out;
  for (std::size_t i = 0; i < units.size();) {
    const char32_t cp = next_code_point(units, i);
    append_utf8(out, (cp >= 0xD800 && cp <= 0xDFFF) ? U'\uFFFD' : cp);
  }
  return out;
}

std::u16string utf8_to_utf16(std::string_view utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    bool valid = false;
    append_utf16(out, read_utf8(utf8, i, valid));
  }
  return out;
}

}  // namespace fwsim::detail
