#include "text/upper_case.h"

namespace orvane::text {
namespace {

// Windows compares file names without letter case by mapping each UTF-16 unit through one
// uppercase table and comparing the results unit by unit: NTFS keeps that table on the volume
// ($UpCase), and CompareStringOrdinal with bIgnoreCase "uses the operating system uppercase table"
// (Microsoft's documentation), a one-to-one mapping of single units with no locale and no
// expansion (ß stays ß, no unit pair is folded as one character).
//
// This table holds, of that mapping, the letters whose uppercase forms Unicode's UnicodeData.txt
// gives as simple one-to-one mappings in these blocks: Basic Latin, Latin-1 Supplement (ÿ to Ÿ
// included), Latin Extended-A, the unaccented Greek letters, Cyrillic (U+0430..U+045F) and the
// fullwidth Latin letters. Not modelled: every other block (Latin Extended-B and later, Armenian,
// Georgian, Cherokee, ...), and the letters whose mapping in Windows' table is not documented
// (µ, ı, ſ, ς, the accented Greek letters). Two paths that differ only in one of those are taken
// for two paths, so the check then reports a rule as naming another folder's program where
// Windows would call the paths equal: it errs towards saying too much, never towards missing a
// blocked program.
// The unit's uppercase form in that table; the unit itself when it has none.
WideChar upper_case_unit(WideChar unit) {
  const char32_t c = unit;
  const auto shifted = [unit](int by) { return static_cast<WideChar>(unit + by); };
  if (c >= u'a' && c <= u'z') return shifted(-0x20);
  if (c < 0xE0) return unit;
  if (c <= 0xFE) return c == 0xF7 ? unit : shifted(-0x20);  // ÷ is no letter
  if (c == 0xFF) return u'\u0178';
  if (c <= 0x17F) {
    // Pairs of capital and small letter: capital on the even unit in U+0100..U+0137 and
    // U+014A..U+0177, on the odd unit in U+0139..U+0148 and U+0179..U+017E.
    const bool even_capitals =
        (c <= 0x137 && c != 0x130 && c != 0x131) || (c >= 0x14A && c <= 0x177);
    const bool odd_capitals = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (even_capitals && (c & 1) == 1) return shifted(-1);
    if (odd_capitals && (c & 1) == 0) return shifted(-1);
    return unit;
  }
  if ((c >= 0x3B1 && c <= 0x3C1) || (c >= 0x3C3 && c <= 0x3CB)) return shifted(-0x20);
  if (c >= 0x430 && c <= 0x44F) return shifted(-0x20);
  if (c >= 0x450 && c <= 0x45F) return shifted(-0x50);
  if (c >= 0xFF41 && c <= 0xFF5A) return shifted(-0x20);
  return unit;
}

}  // namespace

bool equal_ignoring_case(WideView a, WideView b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && upper_case_unit(a[i]) != upper_case_unit(b[i])) return false;
  }
  return true;
}

}  // namespace orvane::text
