#include "text/utf16.h"

#include <gtest/gtest.h>

#include <string>

#include "support/wide.h"

namespace {

using orvane::testing::wide;
using orvane::text::text_to_wide;
using orvane::text::trim_trailing_white_space;
using orvane::text::wide_to_text;

struct DecodeCase {
  std::u16string units;
  std::string text;
};

TEST(WideToText, DecodesPairsAndReplacesEveryUnpairedSurrogate) {
  const DecodeCase cases[] = {
      {u"", ""},
      {u"C:\\Games", "C:\\Games"},
      {u"\u00e9\u6e38", "\xC3\xA9\xE6\xB8\xB8"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
      {std::u16string(1, 0xD83D), "\xEF\xBF\xBD"},  // high at the end
      {std::u16string(1, 0xDE00), "\xEF\xBF\xBD"},  // low alone
      {std::u16string{0xD83D, u'a'},
       "\xEF\xBF\xBD"
       "a"},  // next unit decoded afresh
      {std::u16string{0xD83D, 0xD83D, 0xDE00}, "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
      {std::u16string{0xDE00, 0xD83D}, "\xEF\xBF\xBD\xEF\xBF\xBD"},  // reversed pair
      {std::u16string{u'a', 0, u'b'}, std::string("a\0b", 3)},
  };
  for (const auto& c : cases) EXPECT_EQ(wide_to_text(wide(c.units)), c.text);
}

TEST(TextToWide, EncodesValidTextExactly) {
  EXPECT_EQ(text_to_wide("Orvane Lobby In"), wide(u"Orvane Lobby In"));
  EXPECT_EQ(text_to_wide("\xC3\xA9\xE6\xB8\xB8"), wide(u"\u00e9\u6e38"));
  // One unit more per character above U+FFFF.
  EXPECT_EQ(text_to_wide("\xF0\x9F\x98\x80x"), wide(u"\U0001F600x"));
  EXPECT_EQ(text_to_wide("\xF4\x8F\xBF\xBF").size(), 2u);
  EXPECT_EQ(text_to_wide(std::string("a\0b", 3)), wide(std::u16string(u"a\0b", 3)));
  EXPECT_EQ(text_to_wide(""), wide(u""));
}

TEST(TextToWide, ReplacesEachMaximalInvalidSubpart) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"\x80", u"\uFFFD"},
      {"a\xFF"
       "b",
       u"a\uFFFD"
       u"b"},
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong: C0 leads nothing
      {"\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},            // overlong three-byte form
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xE6\xB8", u"\uFFFD"},                            // cut short at the end
      {"\xE6\xB8"
       "a",
       u"\uFFFD"
       u"a"},  // cut short before ASCII
      {"\xF0\x9F\x98", u"\uFFFD"},
  };
  for (const auto& [text, units] : cases) EXPECT_EQ(text_to_wide(text), wide(units)) << text;
}

TEST(TextToWide, RoundTripsThroughWideToText) {
  const std::string text = "Z:\\home\\\xC3\xA9\xF0\x9F\x98\x80\xE6\xB8\xB8";
  EXPECT_EQ(wide_to_text(text_to_wide(text)), text);
}

TEST(TrimTrailingWhiteSpace, DropsOnlyTrailingWhiteSpace) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"Access is denied.\r\n", u"Access is denied."},
      {u" \t\n\v\f\r ", u""},
      {u"  lead\r\ninside\t", u"  lead\r\ninside"},
      {u"no change", u"no change"},
      {u"nbsp\u00a0", u"nbsp\u00a0"},
      {u"", u""},
  };
  for (const auto& [in, out] : cases) {
    const auto units = wide(in);
    EXPECT_EQ(orvane::WideString(trim_trailing_white_space(units)), wide(out));
  }
}

}  // namespace
