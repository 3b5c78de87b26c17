// fwsim's texts: its text form (how the trace and the rule store write a UTF-16 text), the UTF-8
// and UTF-16 conversions, the `\u{X}` escapes of its controls, and one-line messages. Implemented
// in text.cpp. Internal to fwsim.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace fwsim::detail {

// A table keyed by text that a string_view finds without making a string: the call counts and
// object ids that every simulated call looks up by its name.
struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const {
    return std::hash<std::string_view>{}(text);
  }
};
template <class Value>
using TextMap = std::unordered_map<std::string, Value, TextHash, std::equal_to<>>;

// fwsim's text form: quoted, every UTF-16 text (lone surrogates too) survives a round trip.
std::string text_form(std::u16string_view units);
// Decodes UTF-8 `text` whole into `out`, with these escapes: \\, \n, \r, \t, \u{X}, \0 for U+0000
// when `nul_escape`, and a backslash before any of `literal_escapes`, which stands for that
// character. False on invalid UTF-8 or any other escape (the store's texts and FWSIM_FAIL's).
bool decode_escaped(std::string_view text, std::string_view literal_escapes, bool nul_escape,
                    std::u16string& out);
// Reads one text in fwsim's text form from the front of `in`, advancing it. False when malformed.
bool read_text_form(std::string_view& in, std::u16string& out);

// UTF-8 to UTF-16 where `\u{X}` (1 to 6 hex digits) stands for one code point or one lone
// surrogate unit and any other backslash is literal (FWSIM_MODULE_PATH).
std::u16string decode_control_text(std::string_view utf8);
std::string utf16_to_utf8(std::u16string_view units);  // lone surrogates become U+FFFD
std::u16string utf8_to_utf16(std::string_view utf8);

// Reads `\u{X}` (1 to 6 hex digits, at most 0x10FFFF) with `pos` on the `u`; appends one code
// point, or one unit for a surrogate value, and moves `pos` past the `}`. False (nothing appended,
// `pos` unchanged) when the text there is not such an escape.
bool read_unicode_escape(std::string_view text, std::size_t& pos, std::u16string& out);
// Decodes one UTF-8 sequence at `pos`, moving past it. An invalid sequence gives U+FFFD and moves
// past its maximal valid prefix (at least one byte), as Windows' converter does; `valid` tells.
char32_t read_utf8(std::string_view text, std::size_t& pos, bool& valid);
void append_utf16(std::u16string& out, char32_t code_point);

// Splits at every `separator` that no backslash escapes; the pieces keep their escapes (the lists
// of FWSIM_FAIL and FWSIM_PRODUCTS).
std::vector<std::string_view> split_unescaped(std::string_view text, char separator);

// Bytes as a one-line message shows them: tab, line feed and carriage return as \t, \n, \r, the
// other control bytes as \u{X}, everything else as it is, so that a control or a store line
// holding a line break cannot stretch fwsim's message over several lines.
std::string one_line(std::string_view text);

}  // namespace fwsim::detail
