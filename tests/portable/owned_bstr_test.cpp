#include "firewall/bstr_conversion.h"

#include <gtest/gtest.h>

#include <string>

#include "support/wide.h"

namespace {

using orvane::firewall::from_text;
using orvane::firewall::from_wide;
using orvane::platform::OwnedBstr;
using orvane::testing::wide;

TEST(FromText, EmptyTextIsTheNullString) {
  EXPECT_EQ(from_text(std::string_view()).get(), nullptr);
  EXPECT_EQ(from_text(std::string()).get(), nullptr);
  EXPECT_EQ(from_wide(nullptr, 0).get(), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
}

TEST(FromText, KeepsEveryUnitInTheLengthPrefix) {
  struct Case {
    std::string text;
    std::u16string units;
  };
  const Case cases[] = {
      {"Orvane Lobby In", u"Orvane Lobby In"},
      {"\xF0\x9F\x98\x80\xF0\x9F\x98\x80", u"\U0001F600\U0001F600"},  // 2 characters, 4 units
      {std::string("a\0b\0", 4), std::u16string(u"a\0b\0", 4)},
      {" padded ", u" padded "},
  };
  for (const auto& c : cases) {
    const OwnedBstr bstr = from_text(std::string_view(c.text));
    ASSERT_NE(bstr.get(), nullptr);
    EXPECT_EQ(SysStringLen(bstr.get()), c.units.size());
    EXPECT_EQ(orvane::WideString(bstr.view()), wide(c.units));
    EXPECT_EQ(bstr.get()[c.units.size()], 0) << "the platform terminates the string";
  }
}

TEST(FromText, TakesOverAGivenText) {
  std::string text = "halvic.exe";
  const OwnedBstr bstr = from_text(std::move(text));
  EXPECT_EQ(orvane::WideString(bstr.view()), wide(u"halvic.exe"));
}

TEST(OwnedBstr, ReleaseHandsOwnershipOn) {
  OwnedBstr bstr = from_text(std::string_view("x"));
  const BSTR raw = bstr.detach();
  EXPECT_EQ(bstr.get(), nullptr);
  EXPECT_EQ(SysStringLen(raw), 1u);
  const OwnedBstr adopted = OwnedBstr::adopt(raw);
  EXPECT_EQ(adopted.get(), raw);
}

}  // namespace
