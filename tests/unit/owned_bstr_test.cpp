#include "platform/owned_bstr.h"

#include <gtest/gtest.h>

#include <string>

#include "firewall/bstr_conversion.h"

namespace {

using orvane::firewall::from_text;
using orvane::platform::OwnedBstr;

TEST(OwnedBstr, DetachHandsOwnershipOnAndAdoptTakesItBack) {
  OwnedBstr bstr = from_text(std::string_view("x"));
  const BSTR raw = bstr.detach();
  EXPECT_EQ(bstr.get(), nullptr);
  EXPECT_EQ(SysStringLen(raw), 1u);
  const OwnedBstr adopted = OwnedBstr::adopt(raw);
  EXPECT_EQ(adopted.get(), raw);
}

}  // namespace
