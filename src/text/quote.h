#pragma once

#include <string>
#include <string_view>

namespace orvane::text {

// Appends `text` to `out` the way detailed forms show a text: in double quotes, with `"` and `\`
// escaped, tab, line feed, carriage return and U+0000 as \t \n \r \0, grapheme extenders and
// every character Unicode does not class as printable as \u{hex}, everything else as itself.
// The result never holds a line break, so a report stays three lines whatever the text holds.
// `text` is UTF-8; surrogate code points encoded in it (WTF-8) are escaped like any other
// non-printable character, and bytes that are not UTF-8 at all are shown as U+FFFD.
void quote_text(std::string_view text, std::string& out);

// Whether quote_text would show every character of `text` as itself, `"` and `\` apart: no
// control, format (bidirectional controls among them), unassigned or lone surrogate character, no
// combining mark, nothing but U+0020 for a space. Such a text can be shown as it is.
bool shows_as_itself(std::string_view text);

// Appends `text` in double quotes as it is when it shows as itself and holds no double quote, else
// as quote_text shows it: a name or path as a person reads it, nothing hidden.
void show_text(std::string_view text, std::string& out);

}  // namespace orvane::text
