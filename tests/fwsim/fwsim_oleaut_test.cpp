// fwsim's OLE Automation: BSTRs, VARIANTs, SAFEARRAYs and the thread's error information.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fwsim/testing.h>
#include <fwsim/win32.h>

#include "support/sim_test.h"

namespace {

using namespace std::literals;
using OleAutTest = orvane::testing::SimTest;
using ErrorInfoTest = orvane::testing::SimTest;

constexpr IID kIidIRestrictedErrorInfo = {
    0x82BA7092, 0x4C88, 0x427D, {0xA7, 0xBC, 0x16, 0xDD, 0x93, 0xFE, 0xB6, 0x7E}};

std::uint32_t length_prefix(BSTR text) {
  std::uint32_t bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<const char*>(text) - 4, 4);
  return bytes;
}

VARIANT bstr_variant(std::u16string_view text) {
  VARIANT value{};
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return value;
}

std::u16string_view view(BSTR text) { return {text, SysStringLen(text)}; }

TEST_F(OleAutTest, BstrHasByteLengthPrefixAndNullAndKeepsEmbeddedNulls) {
  const BSTR text = SysAllocStringLen(u"a\0bc", 4);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(length_prefix(text), 8u);
  EXPECT_EQ(SysStringLen(text), 4u);
  EXPECT_EQ(std::u16string_view(text, 5), u"a\0bc\0"sv);
  EXPECT_EQ(fwsim::balance().bstrs, 1);
  SysFreeString(text);
  EXPECT_EQ(fwsim::balance().bstrs, 0);
  EXPECT_EQ(fwsim::call_log(),
            (std::vector<std::string>{"SysAllocStringLen \"a\\0bc\" 4 -> BSTR#1",
                                      "SysStringLen BSTR#1 -> 4", "SysFreeString BSTR#1 -> void"}));
}

TEST_F(OleAutTest, NullBstrIsTheEmptyString) {
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
  // A null source gives zeroed units of the length asked for.
  const BSTR zeros = SysAllocStringLen(nullptr, 3);
  ASSERT_NE(zeros, nullptr);
  EXPECT_EQ(std::u16string_view(zeros, 4), u"\0\0\0\0"sv);
  SysFreeString(zeros);
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
  EXPECT_EQ(fwsim::call_log(),
            (std::vector<std::string>{"SysStringLen null -> 0", "SysFreeString null -> void",
                                      "SysAllocStringLen null 3 -> BSTR#1",
                                      "SysFreeString BSTR#1 -> void"}));
}

TEST_F(OleAutTest, SysAllocStringLenFaultGivesNullAndTheLastError) {
  ASSERT_TRUE(fwsim::add_faults("SysAllocStringLen#2=8"));
  const BSTR first = SysAllocStringLen(u"x", 1);
  EXPECT_EQ(SysAllocStringLen(u"y", 1), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(fwsim::balance().bstrs, 1);
  SysFreeString(first);
  EXPECT_EQ(fwsim::call_log()[1], "SysAllocStringLen \"y\" 1 -> null");
}

TEST_F(OleAutTest, FreeingABstrTwiceStopsTheProcess) {
  EXPECT_DEATH(
      {
        const BSTR text = SysAllocStringLen(u"x", 1);
        SysFreeString(text);
        SysFreeString(text);
      },
      "not a live BSTR");
}

TEST_F(OleAutTest, VectorOfVariantsDescriptor) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 5, 3);
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(array->cDims, 1);
  EXPECT_EQ(array->cbElements, 24u);
  EXPECT_EQ(array->rgsabound[0].cElements, 3u);
  EXPECT_EQ(array->rgsabound[0].lLbound, 5);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(static_cast<VARIANT*>(array->pvData)[i].vt, VT_EMPTY);
  EXPECT_EQ(fwsim::balance().arrays, 1);
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
  EXPECT_EQ(fwsim::balance().arrays, 0);

  EXPECT_EQ(SafeArrayCreateVector(VT_BSTR, 0, 3), nullptr) << "only VARIANT elements";
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(fwsim::call_log(), (std::vector<std::string>{
                                   "SafeArrayCreateVector 12 5 3 -> SAFEARRAY#1",
                                   "SafeArrayDestroy SAFEARRAY#1 -> 0x00000000",
                                   "SafeArrayCreateVector 8 0 3 -> null", "GetLastError -> 87"}));
}

TEST_F(OleAutTest, PutElementStoresACopyAndReplacesWhatWasThere) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 5, 2);
  VARIANT original = bstr_variant(u"eth0");
  LONG index = 6;
  ASSERT_EQ(SafeArrayPutElement(array, &index, &original), S_OK);
  VARIANT& stored = static_cast<VARIANT*>(array->pvData)[1];
  ASSERT_EQ(stored.vt, VT_BSTR);
  EXPECT_NE(stored.bstrVal, original.bstrVal) << "the string must be duplicated";
  EXPECT_EQ(fwsim::balance().bstrs, 2);
  EXPECT_EQ(VariantClear(&original), S_OK);
  EXPECT_EQ(view(stored.bstrVal), u"eth0") << "the copy outlives the original";

  VARIANT other = bstr_variant(u"wlan0");
  ASSERT_EQ(SafeArrayPutElement(array, &index, &other), S_OK);
  EXPECT_EQ(view(stored.bstrVal), u"wlan0");
  EXPECT_EQ(fwsim::balance().bstrs, 2) << "the replaced copy was not freed";
  VariantClear(&other);

  for (LONG outside : {4, 7}) {
    EXPECT_EQ(SafeArrayPutElement(array, &outside, &other), DISP_E_BADINDEX) << outside;
  }
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
  EXPECT_EQ(
      std::ranges::count(fwsim::call_log(), "SafeArrayPutElement SAFEARRAY#1 6 -> 0x00000000"s), 2);
}

TEST_F(OleAutTest, VariantClearFreesAnArrayWithEveryElement) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 3);
  SAFEARRAY* inner = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  for (LONG i = 0; i < 2; ++i) {
    VARIANT element = bstr_variant(u"name" + std::u16string(1, u'0' + i));
    SafeArrayPutElement(array, &i, &element);
    SafeArrayPutElement(inner, &i, &element);  // i = 1 lies outside `inner`
    VariantClear(&element);
  }
  VARIANT nested{};
  nested.vt = VT_ARRAY | VT_VARIANT;
  nested.parray = inner;
  LONG last = 2;
  SafeArrayPutElement(array, &last, &nested);  // a copy of `inner`, strings and all
  VariantClear(&nested);
  EXPECT_EQ(fwsim::balance().bstrs, 3);
  EXPECT_EQ(fwsim::balance().arrays, 2);

  VARIANT value{};
  value.vt = VT_ARRAY | VT_VARIANT;
  value.parray = array;
  EXPECT_EQ(VariantClear(&value), S_OK);
  EXPECT_EQ(value.vt, VT_EMPTY);
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
  EXPECT_EQ(fwsim::call_log().back(), "VariantClear 0x200C -> 0x00000000");
}

TEST_F(OleAutTest, VariantClearRefusesTypesItDoesNotKnow) {
  VARIANT value{};
  VariantInit(&value);
  EXPECT_EQ(value.vt, VT_EMPTY);
  value.vt = 0x4003;  // VT_BYREF | VT_I4
  EXPECT_EQ(VariantClear(&value), DISP_E_BADVARTYPE);
  EXPECT_EQ(value.vt, 0x4003);
  EXPECT_EQ(fwsim::call_log(),
            (std::vector<std::string>{"VariantInit -> void", "VariantClear 0x4003 -> 0x80020008"}));
}

TEST_F(OleAutTest, FailingVariantClearFreesNothing) {
  ASSERT_TRUE(fwsim::add_faults("VariantClear=0x8000FFFF"));
  VARIANT value = bstr_variant(u"kept");
  EXPECT_EQ(VariantClear(&value), E_UNEXPECTED);
  EXPECT_EQ(value.vt, VT_BSTR);
  EXPECT_EQ(fwsim::balance().bstrs, 1);
  SysFreeString(value.bstrVal);
}

// Makes a failing call leave error information as `info` (the part after the result) says.
void fail_with(std::string_view info) {
  const auto next = std::ranges::count(fwsim::call_names(), "SafeArrayDestroy") + 1;
  ASSERT_TRUE(fwsim::add_faults("SafeArrayDestroy#" + std::to_string(next) + "=0x80070005" +
                                std::string(info)));
  ASSERT_EQ(SafeArrayDestroy(nullptr), E_ACCESSDENIED);
}

IErrorInfo* take_error_info() {
  IErrorInfo* info = nullptr;
  EXPECT_EQ(GetErrorInfo(0, &info), S_OK);
  return info;
}

TEST_F(ErrorInfoTest, NoneOnTheThread) {
  IErrorInfo* info = reinterpret_cast<IErrorInfo*>(&info);
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(fwsim::call_log(), std::vector<std::string>{"GetErrorInfo 0 -> 0x00000001 null"});
}

TEST_F(ErrorInfoTest, GetErrorInfoHandsTheObjectOver) {
  fail_with("|desc=Access is denied.\\r\\n");
  EXPECT_EQ(fwsim::balance().errorinfo, 1);
  IErrorInfo* info = take_error_info();
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(fwsim::balance().errorinfo, 0) << "the thread must not keep it";
  EXPECT_EQ(fwsim::balance().objects, 1);

  IErrorInfo* again = nullptr;
  EXPECT_EQ(GetErrorInfo(0, &again), S_FALSE);

  BSTR description = nullptr;
  EXPECT_EQ(info->GetDescription(&description), S_OK);
  EXPECT_EQ(view(description), u"Access is denied.\r\n");
  SysFreeString(description);

  void* restricted = &restricted;
  EXPECT_EQ(info->QueryInterface(kIidIRestrictedErrorInfo, &restricted), E_NOINTERFACE);
  EXPECT_EQ(restricted, nullptr);
  EXPECT_EQ(info->Release(), 0u);
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});

  const auto log = fwsim::call_log();
  const std::vector<std::string> tail(log.end() - 6, log.end());
  EXPECT_EQ(tail,
            (std::vector<std::string>{
                "GetErrorInfo 0 -> 0x00000001 null",
                "IErrorInfo::GetDescription ErrorInfo#1 -> 0x00000000 \"Access is "
                "denied.\\r\\n\"",
                "SysStringLen BSTR#1 -> 19", "SysFreeString BSTR#1 -> void",
                "IUnknown::QueryInterface ErrorInfo#1 IRestrictedErrorInfo -> 0x80004002 null",
                "IUnknown::Release ErrorInfo#1 -> 0"}));
}

TEST_F(ErrorInfoTest, RestrictedErrorInfoGivesBothTextsAndTheCode) {
  fail_with("|desc=plain|restricted=Restricted \\u{2014} text");
  IErrorInfo* info = take_error_info();
  ASSERT_NE(info, nullptr);
  IRestrictedErrorInfo* restricted = nullptr;
  ASSERT_EQ(info->QueryInterface(kIidIRestrictedErrorInfo, reinterpret_cast<void**>(&restricted)),
            S_OK);
  ASSERT_NE(restricted, nullptr);
  EXPECT_EQ(fwsim::call_log().back(),
            "IUnknown::QueryInterface ErrorInfo#1 IRestrictedErrorInfo -> 0x00000000 ErrorInfo#1");

  BSTR description = nullptr, restricted_description = nullptr, sid = nullptr;
  HRESULT error = 0;
  EXPECT_EQ(restricted->GetErrorDetails(&description, &error, &restricted_description, &sid), S_OK);
  EXPECT_EQ(view(description), u"plain");
  EXPECT_EQ(error, E_ACCESSDENIED);
  EXPECT_EQ(view(restricted_description), u"Restricted \u2014 text");
  ASSERT_NE(sid, nullptr) << "an empty but real string, so that freeing it can be checked";
  EXPECT_EQ(SysStringLen(sid), 0u);
  EXPECT_EQ(fwsim::balance().bstrs, 3);
  EXPECT_EQ(fwsim::call_log()[fwsim::call_log().size() - 4],
            "IRestrictedErrorInfo::GetErrorDetails ErrorInfo#1 -> 0x00000000 \"plain\" 0x80070005 "
            "\"Restricted \u2014 text\" \"\"");
  for (BSTR text : {description, restricted_description, sid}) SysFreeString(text);

  // Both interfaces count on the one object.
  EXPECT_EQ(restricted->Release(), 1u);
  EXPECT_EQ(fwsim::balance().objects, 1);
  EXPECT_EQ(info->Release(), 0u);
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
}

TEST_F(ErrorInfoTest, RestrictedWithoutDescHasNoPlainDescription) {
  fail_with("|restricted=only");
  IErrorInfo* info = take_error_info();
  ASSERT_NE(info, nullptr);
  BSTR description = reinterpret_cast<BSTR>(&description);
  EXPECT_EQ(info->GetDescription(&description), S_OK);
  EXPECT_EQ(description, nullptr);
  EXPECT_EQ(fwsim::call_log().back(), "IErrorInfo::GetDescription ErrorInfo#1 -> 0x00000000 null");
  info->Release();
}

TEST_F(ErrorInfoTest, FailingCallWithoutInfoClearsTheThreadsInformation) {
  fail_with("|desc=old");
  ASSERT_TRUE(fwsim::add_faults("VariantClear=0x80004005"));
  VARIANT value{};
  EXPECT_EQ(VariantClear(&value), E_FAIL);
  EXPECT_EQ(fwsim::balance().errorinfo, 0);
  EXPECT_EQ(fwsim::balance().objects, 0) << "the old object was not released";
  IErrorInfo* info = nullptr;
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
}

TEST_F(ErrorInfoTest, SetErrorInfoKeepsAReferenceOfItsOwn) {
  fail_with("|desc=kept");
  IErrorInfo* info = take_error_info();
  ASSERT_EQ(SetErrorInfo(0, info), S_OK);
  EXPECT_EQ(info->Release(), 1u) << "the thread holds the other reference";
  EXPECT_EQ(fwsim::balance().errorinfo, 1);
  IErrorInfo* back = take_error_info();
  EXPECT_EQ(back, info);
  ASSERT_EQ(SetErrorInfo(0, back), S_OK);
  back->Release();
  EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);  // releases the thread's reference
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
  EXPECT_EQ(fwsim::call_log().back(), "SetErrorInfo 0 null -> 0x00000000");
}

TEST_F(ErrorInfoTest, InformationBelongsToItsThread) {
  fail_with("|desc=main");
  HRESULT other_thread = 0;
  long holders_seen = 0;
  std::thread([&] {
    IErrorInfo* info = nullptr;
    other_thread = GetErrorInfo(0, &info);
    fail_with("|desc=worker");
    holders_seen = fwsim::balance().errorinfo;
    SetErrorInfo(0, nullptr);
  }).join();
  EXPECT_EQ(other_thread, S_FALSE);
  EXPECT_EQ(holders_seen, 2);
  IErrorInfo* info = take_error_info();
  BSTR description = nullptr;
  info->GetDescription(&description);
  EXPECT_EQ(view(description), u"main");
  SysFreeString(description);
  info->Release();
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
}

}  // namespace
