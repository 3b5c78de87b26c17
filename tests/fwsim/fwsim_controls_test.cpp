// fwsim's controls: the fault syntax and counting, the text form, ids, the trace and the balance.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fwsim/testing.h>
#include <fwsim/win32.h>

#include "support/sim_test.h"

namespace {

using namespace std::literals;
using ControlsTest = orvane::testing::SimTest;

// The HRESULT a VariantClear of an empty VARIANT gives, faults applied.
HRESULT clear_result() {
  VARIANT value{};
  return VariantClear(&value);
}

// The description of the error information on the thread, taking it.
std::u16string thread_description() {
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || info == nullptr) return u"<none>";
  BSTR text = nullptr;
  info->GetDescription(&text);
  std::u16string result(text, SysStringLen(text));
  SysFreeString(text);
  info->Release();
  return result;
}

TEST_F(ControlsTest, FaultListsThatCannotBeRead) {
  const std::string_view bad[] = {
      "NoSuchCall=1",                     // a misspelt name would never fire
      "SysFreeString=1",                  // cannot fail
      " VariantClear=1",                  // no trimming
      "VariantClear",                     // no result
      "VariantClear=",                    //
      "VariantClear=0xZZ",                //
      "VariantClear=0x100000000",         // wider than 32 bits
      "VariantClear=-2147483649",         //
      "VariantClear#0=1",                 // counted from 1
      "VariantClear#x=1",                 //
      "VariantClear=null",                // no out-object to leave null
      "SysAllocStringLen=8|desc=x",       // last-error calls leave no error information
      "VariantClear=1|note=x",            //
      "VariantClear=1|desc=a|desc=b",     //
      "VariantClear=1|desc=bad\\q",       // unknown escape
      "VariantClear=1|desc=tail\\",       //
      "VariantClear=1|desc=\\u{110000}",  //
      "VariantClear=1|desc=\xFF",         // not UTF-8
      "VariantClear=5;INetFwRule::put_Nam=1",
  };
  for (const auto list : bad) EXPECT_FALSE(fwsim::add_faults(list)) << list;
  // All or nothing: the good fault before the bad one was not added either.
  EXPECT_EQ(clear_result(), S_OK);
}

TEST_F(ControlsTest, FaultListsThatCanBeRead) {
  const std::string_view good[] = {
      "",
      "VariantClear=0x80004005",
      "VariantClear#3=-2147024891;;GetErrorInfo=null",
      "INetFwRules::Item=0x80070002;INetFwRule::put_LocalPorts=0x80070057|desc=x|restricted=y",
      "INetFwRule::get_Interfaces=null;CoCreateInstance=0x80040154;CoInitializeEx#2=0x80010106",
      "GetModuleFileNameW=4294967295;MultiByteToWideChar=87",
      "INetFwPolicy2::get_FirewallEnabled=null;INetFwPolicy2::get_LocalPolicyModifyState=5;"
      "INetFwProducts::Item=null;INetFwProducts::get__NewEnum=5;INetFwProduct::get_RuleCategories"
      "=5;INetFwProduct::get_DisplayName=5;GetConsoleProcessList=6;ReadFile=6;ReadConsoleW=6;"
      "ExpandEnvironmentStringsW=8",
  };
  for (const auto list : good) EXPECT_TRUE(fwsim::add_faults(list)) << list;
}

// FWSIM_POLICY, FWSIM_PRODUCTS and FWSIM_CONSOLE_PROCESSES: a text that cannot be read is refused
// whole, with a reason on one line, and the setting before it stays.
TEST_F(ControlsTest, PolicyProductsAndConsoleTextsThatCannotBeRead) {
  const struct {
    bool (*set)(std::string_view, std::string*);
    std::vector<std::string_view> texts;
  } bad[] = {
      {fwsim::set_policy,
       {"CurrentProfileTypes", "CurrentProfileTypes=8", "CurrentProfileTypes=-1",
        "CurrentProfileTypes=2;CurrentProfileTypes=4", "FirewallEnabled.Private=1",
        "FirewallEnabled=0", "BlockAllInboundTraffic.Work=-1", "DefaultInboundAction.Public=2",
        "LocalPolicyModifyState=3\n", "Profile=2"}},
      {fwsim::set_products,
       {"Contoso", "=2", "Contoso=4", "Contoso=2,", "Contoso=two", "Contoso=2;Bad\\q=1",
        "A\xFF=2"}},
      {fwsim::set_console_processes, {"", "-1", "65", "2x"}},
  };
  ASSERT_TRUE(fwsim::set_console_processes("1"));
  for (const auto& c : bad) {
    for (const std::string_view text : c.texts) {
      std::string error;
      EXPECT_FALSE(c.set(text, &error)) << text;
      EXPECT_FALSE(error.empty()) << text;
      EXPECT_EQ(error.find_first_of("\r\n"), std::string::npos) << error;
    }
  }
  EXPECT_EQ(GetConsoleProcessList(std::vector<DWORD>(4).data(), 4), 1u);
}

TEST_F(ControlsTest, ResultForms) {
  const struct {
    std::string_view result;
    HRESULT expected;
  } cases[] = {
      {"0x80070005", E_ACCESSDENIED},
      {"0X80070005", E_ACCESSDENIED},
      {"-2147024891", E_ACCESSDENIED},
      {"2147942405", E_ACCESSDENIED},  // read unsigned
      {"1", S_FALSE},
  };
  for (const auto& c : cases) {
    fwsim::reset();
    ASSERT_TRUE(fwsim::add_faults("VariantClear=" + std::string(c.result)));
    EXPECT_EQ(clear_result(), c.expected) << c.result;
  }
}

TEST_F(ControlsTest, NumberedFaultHitsOnlyThatCallAndWinsOverAnUnnumberedOne) {
  ASSERT_TRUE(fwsim::add_faults("VariantClear#2=0x80004005"));
  EXPECT_EQ(clear_result(), S_OK);
  EXPECT_EQ(clear_result(), E_FAIL);
  EXPECT_EQ(clear_result(), S_OK);

  fwsim::reset();
  ASSERT_TRUE(fwsim::add_faults("VariantClear=0x8000FFFF;VariantClear#2=0x80004005"));
  // Other names do not move the count.
  SysFreeString(nullptr);
  EXPECT_EQ(clear_result(), E_UNEXPECTED);
  SysFreeString(nullptr);
  EXPECT_EQ(clear_result(), E_FAIL);
  EXPECT_EQ(clear_result(), E_UNEXPECTED);

  // Of two unnumbered faults, the first given applies.
  fwsim::reset();
  ASSERT_TRUE(fwsim::add_faults("VariantClear=0x8000FFFF;VariantClear=0x80004005"));
  EXPECT_EQ(clear_result(), E_UNEXPECTED);
}

TEST_F(ControlsTest, ResetForgetsFaultsAndCounts) {
  ASSERT_TRUE(fwsim::add_faults("VariantClear=0x80004005"));
  EXPECT_EQ(clear_result(), E_FAIL);
  fwsim::reset();
  EXPECT_EQ(clear_result(), S_OK);
  ASSERT_TRUE(fwsim::add_faults("VariantClear#1=0x80004005"));
  EXPECT_EQ(clear_result(), S_OK) << "the count did not restart with reset()";
}

TEST_F(ControlsTest, ErrorInformationTextEscapes) {
  ASSERT_TRUE(
      fwsim::add_faults("VariantClear=0x80004005|desc=a\\;b\\|c\\\\d\\ne\\rf\\tg "
                        "\\u{e9}\\u{1F600}\\u{dc00}\xC3\xA9"));
  EXPECT_EQ(clear_result(), E_FAIL);
  EXPECT_EQ(thread_description(), u"a;b|c\\d\ne\rf\tg \u00e9\U0001F600\xDC00\u00e9");
}

TEST_F(ControlsTest, NullResultGivesSuccessWithoutTheObject) {
  fwsim::add_faults("VariantClear#1=0x80004005|desc=left");
  clear_result();
  ASSERT_TRUE(fwsim::add_faults("GetErrorInfo=null"));
  IErrorInfo* info = reinterpret_cast<IErrorInfo*>(&info);
  EXPECT_EQ(GetErrorInfo(0, &info), S_OK);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{}) << "nothing may be leaked for a null result";
}

TEST_F(ControlsTest, TextFormRoundTrips) {
  const struct {
    std::u16string_view units;
    std::string_view text;
  } cases[] = {
      {u"", "\"\""},
      {u"Orvane Lobby In", "\"Orvane Lobby In\""},
      {u"Z:\\games\\\"x\"", "\"Z:\\\\games\\\\\\\"x\\\"\""},
      {u"\t\n\r\0"sv, "\"\\t\\n\\r\\0\""},
      {u"\x01\x1F\x7F", "\"\\u{1}\\u{1f}\\u{7f}\""},
      {u"'\u00e9\u2028\U0001F600", "\"'\xC3\xA9\xE2\x80\xA8\xF0\x9F\x98\x80\""},
      {u"\xD800x\xDC00", "\"\\u{d800}x\\u{dc00}\""},
      {u"\xDBFF\xD800", "\"\\u{dbff}\\u{d800}\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fwsim::text_form(c.units), c.text);
    std::string_view in = c.text;
    std::u16string back;
    ASSERT_TRUE(fwsim::read_text_form(in, back)) << c.text;
    EXPECT_EQ(back, c.units) << c.text;
    EXPECT_TRUE(in.empty());
  }
}

TEST_F(ControlsTest, ReadTextFormStopsAfterTheTextOrRefuses) {
  std::string_view in = "\"a\\\"b\" Direction=1";
  std::u16string units;
  ASSERT_TRUE(fwsim::read_text_form(in, units));
  EXPECT_EQ(units, u"a\"b");
  EXPECT_EQ(in, " Direction=1");

  for (const std::string_view bad : {"noquote\"", "\"open", "\"bad\\q\"", "\"\\u{110000}\"",
                                     "\"\\u{}\"", "\"\xC3\"", "\"trailing\\"}) {
    std::string_view text = bad;
    EXPECT_FALSE(fwsim::read_text_form(text, units)) << bad;
  }
}

TEST_F(ControlsTest, GuidLabels) {
  const GUID unknown = {
      0x0123ABCD, 0x4567, 0x89EF, {0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45, 0x67, 0x89}};
  EXPECT_EQ(fwsim::guid_label(IID_IUnknown), "IUnknown");
  EXPECT_EQ(fwsim::guid_label(IID_IErrorInfo), "IErrorInfo");
  EXPECT_EQ(fwsim::guid_label(unknown), "{0123ABCD-4567-89EF-ABCD-EF0123456789}");
  EXPECT_EQ(fwsim::hresult_text(E_ACCESSDENIED), "0x80070005");
  EXPECT_EQ(fwsim::hresult_text(S_FALSE), "0x00000001");
}

TEST_F(ControlsTest, IdsAreNumberedPerClassFromOneAfterReset) {
  EXPECT_EQ(fwsim::next_object_id("NetFwRule"), "NetFwRule#1");
  EXPECT_EQ(fwsim::next_object_id("NetFwRules"), "NetFwRules#1");
  EXPECT_EQ(fwsim::next_object_id("NetFwRule"), "NetFwRule#2");
  fwsim::reset();
  EXPECT_EQ(fwsim::next_object_id("NetFwRule"), "NetFwRule#1");
}

TEST_F(ControlsTest, BalanceCountsWhatIsStillHeld) {
  const BSTR text = SysAllocStringLen(u"x", 1);
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  ASSERT_TRUE(fwsim::add_faults("VariantClear=0x80004005|desc=held"));
  clear_result();
  EXPECT_EQ(fwsim::balance_line(), "balance objects=1 bstrs=1 arrays=1 apartments=0 errorinfo=1");
  EXPECT_EQ(
      fwsim::call_names(),
      (std::vector<std::string>{"SysAllocStringLen", "SafeArrayCreateVector", "VariantClear"}));

  fwsim::reset();
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{}) << "reset() releases the thread's information";
  EXPECT_TRUE(fwsim::call_log().empty());
  SysFreeString(text);
  SafeArrayDestroy(array);
}

TEST_F(ControlsTest, LastErrorIsPerThreadAndTraced) {
  SetLastError(5);
  DWORD other = 99;
  std::thread([&] { other = GetLastError(); }).join();
  EXPECT_EQ(other, 0u);
  EXPECT_EQ(GetLastError(), 5u);
  EXPECT_EQ(fwsim::call_log(),
            (std::vector<std::string>{"SetLastError 5 -> void", "GetLastError -> 0",
                                      "GetLastError -> 5"}));
}

}  // namespace
