// Paths compared as Windows compares file names: unit by unit through an uppercase table.
#include "text/upper_case.h"

#include <gtest/gtest.h>

namespace {

using orvane::WideString;
using orvane::text::equal_ignoring_case;

WideString wide(std::u16string_view text) { return WideString(text.begin(), text.end()); }

TEST(UpperCaseTest, EqualWithoutLetterCaseInTheTablesBlocksOnly) {
  const struct {
    std::u16string_view a, b;
    bool equal;
  } cases[] = {
      {u"C:\\Games\\Orvane.exe", u"c:\\GAMES\\orvane.EXE", true},
      {u"Orvan\u00e9 \u00ff", u"ORVAN\u00c9 \u0178", true},  // Latin-1, ÿ to Ÿ
      {u"\u0101\u013a\u017e", u"\u0100\u0139\u017d", true},  // Latin Extended-A
      {u"\u03b1\u03c9 \u0436\u0451 \uff41", u"\u0391\u03a9 \u0416\u0401 \uff21", true},
      {u"\u00f7", u"\u00d7", false},  // ÷ and × are no letters
      {u"\u0131", u"I", false},       // ı: not in the table
      {u"\u00df", u"SS", false},      // no expansion
      {u"a", u"b", false},
      {u"ab", u"a", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(equal_ignoring_case(wide(c.a), wide(c.b)), c.equal) << static_cast<unsigned>(c.a[0]);
  }
}

}  // namespace
