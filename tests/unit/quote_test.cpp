#include "text/quote.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "text/unicode_tables.h"

namespace orvane::text {
namespace {

std::string quote(std::string_view text) {
  std::string out;
  quote_text(text, out);
  return out;
}

struct QuoteCase {
  const char* what;
  std::string_view text;
  std::string_view expected;
};

// The bytes are spelled out in hex so that no case depends on the source file's encoding.
constexpr QuoteCase kCases[] = {
    {"empty text", "", R"("")"},
    {"printable ASCII", "Access is denied.", R"("Access is denied.")"},
    {"double quote", "say \"no\"", R"("say \"no\"")"},
    {"backslash", "C:\\Games\\Orvane", R"("C:\\Games\\Orvane")"},
    {"tab, line feed, carriage return", "a\tb\r\nc", R"("a\tb\r\nc")"},
    {"U+0000", std::string_view("a\0b", 3), R"("a\0b")"},
    {"single quote as itself", "it's", R"("it's")"},
    {"other C0 control", "\x01\x1b\x7f", R"("\u{1}\u{1b}\u{7f}")"},
    {"C1 control", "\xc2\x85", R"("\u{85}")"},
    {"letter outside ASCII",
     "Gr\xc3\xb6\xc3\x9f"
     "e",
     "\"Gr\xc3\xb6\xc3\x9f"
     "e\""},
    {"combining acute U+0301", "e\xcc\x81", R"("e\u{301}")"},
    {"U+FFFD as itself", "\xef\xbf\xbd", "\"\xef\xbf\xbd\""},
    {"lone high surrogate in WTF-8", "\xed\xa0\x80", R"("\u{d800}")"},
    {"lone low surrogate in WTF-8", "x\xed\xbf\xbfy", R"("x\u{dfff}y")"},
    {"emoji above U+FFFF as itself", "\xf0\x9f\x98\x80", "\"\xf0\x9f\x98\x80\""},
    {"private use above U+FFFF", "\xf3\xb0\x80\x80", R"("\u{f0000}")"},
    {"unassigned U+0378", "\xcd\xb8", R"("\u{378}")"},
    {"no-break space U+00A0", "\xc2\xa0", R"("\u{a0}")"},
    {"ideographic space U+3000", "\xe3\x80\x80", R"("\u{3000}")"},
    {"line separator U+2028", "\xe2\x80\xa8", R"("\u{2028}")"},
    {"paragraph separator U+2029", "\xe2\x80\xa9", R"("\u{2029}")"},
    {"zero-width space U+200B", "\xe2\x80\x8b", R"("\u{200b}")"},
    {"byte order mark U+FEFF", "\xef\xbb\xbf", R"("\u{feff}")"},
    {"private use U+E000", "\xee\x80\x80", R"("\u{e000}")"},
    {"largest code point U+10FFFF", "\xf4\x8f\xbf\xbf", R"("\u{10ffff}")"},
    {"variation selector U+FE0F", "\xef\xb8\x8f", R"("\u{fe0f}")"},
    {"stray continuation byte", "a\x80z", "\"a\xef\xbf\xbdz\""},
    {"byte never in UTF-8", "\xff", "\"\xef\xbf\xbd\""},
    {"overlong encoding", "\xc0\xaf", "\"\xef\xbf\xbd\xef\xbf\xbd\""},
    {"truncated sequence at the end", "ab\xe2\x82", "\"ab\xef\xbf\xbd\""},
    {"truncated sequence before ASCII", "\xf0\x9f\x98!", "\"\xef\xbf\xbd!\""},
    {"beyond U+10FFFF", "\xf4\x90\x80\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},
};

TEST(QuoteText, WritesEachCharacterClassAsTheRuleSays) {
  for (const auto& c : kCases) {
    EXPECT_EQ(quote(c.text), c.expected) << c.what;
  }
}

TEST(QuoteText, AppendsToWhatIsAlreadyThere) {
  std::string out = "message: ";
  quote_text("x", out);
  EXPECT_EQ(out, "message: \"x\"");
}

TEST(QuoteText, NeverWritesALineBreak) {
  // LF, CR, VT, FF, NEL, LS, PS: everything a terminal or editor may take for a new line.
  const std::string out = quote("\n\r\v\f\xc2\x85\xe2\x80\xa8\xe2\x80\xa9");
  EXPECT_EQ(out, R"("\n\r\u{b}\u{c}\u{85}\u{2028}\u{2029}")");
  EXPECT_EQ(out.find_first_of("\n\r\v\f"), std::string::npos);
}

TEST(UnicodeTables, ClassifyByGeneralCategory) {
  struct Expectation {
    char32_t c;
    bool printable;
    bool extend;
  };
  constexpr Expectation kExpectations[] = {
      {0x1F, false, false},   {0x20, true, false},     {0x7E, true, false},
      {0x7F, false, false},   {0xA0, false, false},    {0xA1, true, false},
      {0xAD, false, false},   {0x300, true, true},     {0x36F, true, true},
      {0x378, false, false},  {0x200C, false, true},   {0x200D, false, false},
      {0x2028, false, false}, {0xD800, false, false},  {0xDFFF, false, false},
      {0xE000, false, false}, {0xFFFD, true, false},   {0xFFFF, false, false},
      {0x1F600, true, false}, {0x1F3FB, true, false},  {0xE0020, false, true},
      {0xE0100, true, true},  {0xF0000, false, false}, {0x10FFFF, false, false},
  };
  for (const auto& e : kExpectations) {
    EXPECT_EQ(is_printable(e.c), e.printable) << std::hex << static_cast<unsigned>(e.c);
    EXPECT_EQ(is_grapheme_extend(e.c), e.extend) << std::hex << static_cast<unsigned>(e.c);
  }
}

}  // namespace
}  // namespace orvane::text
