// Plain reference codecs for the fuzzers to hold the program's own against: written from the
// Unicode standard's tables, for clarity rather than speed, and sharing no code with the program.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace orvane::fuzz {

// Ends the run with a message libFuzzer shows beside the input that caused it.
[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

inline void check(bool holds, const char* what) {
  if (!holds) fail(what);
}

constexpr char32_t kReplacement = 0xFFFD;

// UTF-8 decoded by the well-formed byte sequences of the Unicode standard (its table 3-7). A
// sequence that breaks off becomes one U+FFFD for its maximal subpart: the bytes that could still
// have begun a well-formed sequence, or one byte when even the first could not. With `surrogates`,
// ED A0..BF .. also decodes, to the surrogate code points that WTF-8 carries.
inline std::u32string decode_utf8(std::string_view text, bool surrogates, bool* valid = nullptr) {
  std::u32string out;
  if (valid) *valid = true;
  std::size_t i = 0;
  auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  while (i < text.size()) {
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    char32_t value = 0;
    if (lead < 0x80) {
      out += lead;
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      value = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED && !surrogates) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      value = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    }
    std::size_t taken = 1;
    while (length != 0 && taken < length && i + taken < text.size()) {
      const unsigned char next = byte(i + taken);
      const unsigned char from = taken == 1 ? low : 0x80;
      const unsigned char to = taken == 1 ? high : 0xBF;
      if (next < from || next > to) break;
      value = (value << 6) | (next & 0x3F);
      ++taken;
    }
    if (length != 0 && taken == length) {
      out += value;
    } else {
      out += kReplacement;
      if (valid) *valid = false;
    }
    i += taken;
  }
  return out;
}

inline std::string encode_utf8(std::u32string_view code_points) {
  std::string out;
  for (const char32_t c : code_points) {
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
  return out;
}

// UTF-16 decoded pair by pair; every unit of a surrogate that has no partner is U+FFFD.
inline std::u32string decode_utf16(std::u16string_view units, bool* paired = nullptr) {
  std::u32string out;
  if (paired) *paired = true;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t u = units[i];
    const bool high = u >= 0xD800 && u <= 0xDBFF;
    const bool next_low = i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
    if (high && next_low) {
      out += 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      out += kReplacement;
      if (paired) *paired = false;
    } else {
      out += u;
    }
  }
  return out;
}

inline std::u16string encode_utf16(std::u32string_view code_points) {
  std::u16string out;
  for (const char32_t c : code_points) {
    if (c < 0x10000) {
      out += static_cast<char16_t>(c);
    } else {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return out;
}

}  // namespace orvane::fuzz
