#include "firewall/bstr_conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/wide.h"

#if defined(ORVANE_WITH_FWSIM)
#include "report/failure_report.h"
#include "support/sim_test.h"
#endif

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

}  // namespace

// ----- Cases that need fwsim -------------------------------------------------------------------
// They watch and fail the platform's calls, which only fwsim lets a test do; the Windows build
// compiles the cases above alone.
#if defined(ORVANE_WITH_FWSIM)

namespace {

using orvane::firewall::from_text;
using orvane::firewall::from_wide;
using orvane::report::FatalFailure;

class BstrConversionTest : public orvane::testing::SimTest {};

TEST_F(BstrConversionTest, EmptyTextCallsNothing) {
  { const auto bstr = from_text(std::string_view()); }
  EXPECT_TRUE(fwsim::call_names().empty());
}

TEST_F(BstrConversionTest, EachStringIsFreedOnce) {
  {
    const auto a = from_text(std::string_view("a"));
    auto b = from_text(std::string_view("b"));
    auto moved = std::move(b);
    EXPECT_EQ(fwsim::balance().bstrs, 2);
  }
  EXPECT_EQ(fwsim::balance().bstrs, 0);
}

TEST_F(BstrConversionTest, AllocationFailureStopsTheProgram) {
  ASSERT_TRUE(fwsim::add_faults("SysAllocStringLen=8"));
  EXPECT_THROW((void)from_text(std::string_view("Orvane Lobby In")), FatalFailure);
  const std::string err = fwsim::captured_stderr();
  EXPECT_TRUE(err.starts_with("\nthread 'main' panicked at src\\firewall\\bstr_conversion.cpp:"))
      << err;
  EXPECT_TRUE(err.ends_with(":\nallocation failed\n")) << err;
  EXPECT_EQ(fwsim::balance().bstrs, 0);
}

TEST_F(BstrConversionTest, TooLongATextStopsBeforeAnyPlatformCall) {
  const WCHAR unit = u'x';
  // The count is checked before the units are read, so one unit stands for them all.
  EXPECT_THROW((void)from_wide(&unit, std::size_t{1} << 32), FatalFailure);
  const std::string err = fwsim::captured_stderr();
  EXPECT_TRUE(
      err.ends_with(":\ncalled `Result::unwrap()` on an `Err` value: TryFromIntError(())\n"))
      << err;
  EXPECT_TRUE(fwsim::call_names().empty() || fwsim::call_names().front() != "SysAllocStringLen");
}

}  // namespace

#endif  // defined(ORVANE_WITH_FWSIM)
