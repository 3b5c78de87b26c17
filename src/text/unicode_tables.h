#pragma once

namespace orvane::text {

// Whether Unicode classes `c` as printable: not a control, format, surrogate, private-use or
// unassigned code point, not a line or paragraph separator, and no space but U+0020.
bool is_printable(char32_t c);

// Whether `c` has the Grapheme_Extend property (combining marks and the like).
bool is_grapheme_extend(char32_t c);

}  // namespace orvane::text
