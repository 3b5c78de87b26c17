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

// Each end of each range of the table, and the unit beyond it, which must not be taken for a letter
// of the range.
TEST(UpperCaseTest, EveryRangeOfTheTableEndsWhereItShould) {
  const struct {
    char16_t small, capital;
    bool equal;
  } cases[] = {
      {u'a', u'A', true},     {u'z', u'Z', true},      {u'`', u'@', false},
      {u'{', u'[', false},    {0xE0, 0xC0, true},      {0xFE, 0xDE, true},
      {0xDF, 0xBF, false},    {0xF7, 0xD7, false},     {0xFF, 0x178, true},
      {0x101, 0x100, true},   {0x137, 0x136, true},    {0x131, 0x130, false},
      {0x13A, 0x139, true},   {0x148, 0x147, true},    {0x138, 0x137, false},
      {0x14B, 0x14A, true},   {0x177, 0x176, true},    {0x149, 0x148, false},
      {0x17A, 0x179, true},   {0x17E, 0x17D, true},    {0x17F, 0x17E, false},
      {0x180, 0x17F, false},  {0x3B1, 0x391, true},    {0x3C1, 0x3A1, true},
      {0x3B0, 0x390, false},  {0x3C2, 0x3A2, false},   {0x3C3, 0x3A3, true},
      {0x3CB, 0x3AB, true},   {0x3CC, 0x3AC, false},   {0x430, 0x410, true},
      {0x44F, 0x42F, true},   {0x42F, 0x40F, false},   {0x450, 0x400, true},
      {0x45F, 0x40F, true},   {0x460, 0x410, false},   {0xFF41, 0xFF21, true},
      {0xFF5A, 0xFF3A, true}, {0xFF40, 0xFF20, false}, {0xFF5B, 0xFF3B, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(equal_ignoring_case(wide({&c.small, 1}), wide({&c.capital, 1})), c.equal)
        << std::hex << static_cast<unsigned>(c.small);
  }
}

}  // namespace
