// fwsim's COM apartments and CoCreateInstance.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include <fwsim/testing.h>
#include <fwsim/win32.h>

#include "support/sim_test.h"

namespace {

using fwsim::kClsidNetFwPolicy2;
using fwsim::kClsidNetFwRule;
using fwsim::kIidINetFwPolicy2;
using fwsim::kIidINetFwRule;
constexpr CLSID kUnknownClass = {
    0x0123ABCD, 0x4567, 0x89EF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

using ComTest = orvane::testing::SimTest;

TEST_F(ComTest, NestedApartmentThreadedInitsAreCountedAndBalanced) {
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
  EXPECT_EQ(fwsim::balance().apartments, 3);
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(fwsim::balance().apartments, 1);
  CoUninitialize();
  EXPECT_EQ(fwsim::balance().apartments, 0);
  // The apartment is closed: the next init opens a new one.
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  CoUninitialize();
}

TEST_F(ComTest, ApartmentThreadedInitOnMultithreadedThreadIsRefusedAndNotCounted) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
  EXPECT_EQ(fwsim::balance().apartments, 2);
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(fwsim::balance().apartments, 0);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  CoUninitialize();
}

TEST_F(ComTest, UninitializeWithoutInitDoesNothingButIsTraced) {
  CoUninitialize();
  EXPECT_EQ(fwsim::balance().apartments, 0);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  CoUninitialize();
  EXPECT_EQ(fwsim::call_log(), (std::vector<std::string>{"CoUninitialize -> void",
                                                         "CoInitializeEx null 2 -> 0x00000000",
                                                         "CoUninitialize -> void"}));
}

TEST_F(ComTest, EachThreadHasItsOwnApartmentAndOnlyTheMainThreadIsBalanced) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  HRESULT other = E_FAIL;
  std::thread([&] { other = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }).join();
  EXPECT_EQ(other, S_OK);
  // The other thread's unbalanced init is not the main thread's.
  EXPECT_EQ(fwsim::balance().apartments, 1);
  CoUninitialize();
}

TEST_F(ComTest, FailedInitOpensNoApartment) {
  ASSERT_TRUE(fwsim::add_faults("CoInitializeEx#1=0x80004005"));
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), E_FAIL);
  EXPECT_EQ(fwsim::balance().apartments, 0);
  void* object = nullptr;
  EXPECT_EQ(
      CoCreateInstance(kClsidNetFwRule, nullptr, CLSCTX_INPROC_SERVER, kIidINetFwRule, &object),
      CO_E_NOTINITIALIZED);
  EXPECT_EQ(fwsim::call_log().at(0), "CoInitializeEx null 2 -> 0x80004005");
}

struct CreateCase {
  const char* label;
  CLSID clsid;
  DWORD context;
  IID iid;
  HRESULT expected;
};

class CreateInstanceTest : public orvane::testing::SimTest,
                           public ::testing::WithParamInterface<CreateCase> {};

TEST_P(CreateInstanceTest, AnswersAndMakesAnObjectOnlyOnSuccess) {
  const CreateCase& c = GetParam();
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  void* object = reinterpret_cast<void*>(1);  // must be overwritten either way
  EXPECT_EQ(CoCreateInstance(c.clsid, nullptr, c.context, c.iid, &object), c.expected);
  if (SUCCEEDED(c.expected)) {
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(fwsim::balance().objects, 1);
    EXPECT_EQ(static_cast<IUnknown*>(object)->Release(), 0u);
  } else {
    EXPECT_EQ(object, nullptr);
  }
  EXPECT_EQ(fwsim::balance().objects, 0);
  CoUninitialize();
}

INSTANTIATE_TEST_SUITE_P(
    Classes, CreateInstanceTest,
    ::testing::Values(
        CreateCase{"Policy", kClsidNetFwPolicy2, CLSCTX_INPROC_SERVER, kIidINetFwPolicy2, S_OK},
        CreateCase{"PolicyUnknown", kClsidNetFwPolicy2, CLSCTX_INPROC_SERVER, IID_IUnknown, S_OK},
        CreateCase{"Rule", kClsidNetFwRule, CLSCTX_INPROC_SERVER, kIidINetFwRule, S_OK},
        CreateCase{"RuleUnknown", kClsidNetFwRule, CLSCTX_INPROC_SERVER, IID_IUnknown, S_OK},
        CreateCase{"RuleAsPolicy", kClsidNetFwRule, CLSCTX_INPROC_SERVER, kIidINetFwPolicy2,
                   E_NOINTERFACE},
        CreateCase{"PolicyAsErrorInfo", kClsidNetFwPolicy2, CLSCTX_INPROC_SERVER, IID_IErrorInfo,
                   E_NOINTERFACE},
        CreateCase{"UnknownClass", kUnknownClass, CLSCTX_INPROC_SERVER, IID_IUnknown,
                   REGDB_E_CLASSNOTREG},
        CreateCase{"LocalServerOnly", kClsidNetFwRule, 0x4 /* CLSCTX_LOCAL_SERVER */,
                   kIidINetFwRule, REGDB_E_CLASSNOTREG}),
    [](const auto& test) { return std::string(test.param.label); });

TEST_F(ComTest, CreateInstanceWithoutComIsRefused) {
  void* object = nullptr;
  EXPECT_EQ(
      CoCreateInstance(kClsidNetFwRule, nullptr, CLSCTX_INPROC_SERVER, kIidINetFwRule, &object),
      CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr);
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  CoUninitialize();
  EXPECT_EQ(
      CoCreateInstance(kClsidNetFwRule, nullptr, CLSCTX_INPROC_SERVER, kIidINetFwRule, &object),
      CO_E_NOTINITIALIZED);
  EXPECT_EQ(fwsim::call_log().front(),
            "CoCreateInstance NetFwRule null 1 INetFwRule -> 0x800401F0 null");
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
}

TEST_F(ComTest, TraceNamesKnownGuidsAndObjectsByNumber) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  void* first = nullptr;
  void* second = nullptr;
  void* none = nullptr;
  ASSERT_EQ(CoCreateInstance(kClsidNetFwRule, nullptr, 1, kIidINetFwRule, &first), S_OK);
  ASSERT_EQ(CoCreateInstance(kClsidNetFwRule, nullptr, 1, IID_IUnknown, &second), S_OK);
  ASSERT_EQ(CoCreateInstance(kUnknownClass, nullptr, 1, kIidINetFwPolicy2, &none),
            REGDB_E_CLASSNOTREG);
  static_cast<IUnknown*>(first)->Release();
  static_cast<IUnknown*>(second)->Release();
  CoUninitialize();
  EXPECT_EQ(fwsim::call_log(),
            (std::vector<std::string>{
                "CoInitializeEx null 2 -> 0x00000000",
                "CoCreateInstance NetFwRule null 1 INetFwRule -> 0x00000000 NetFwRule#1",
                "CoCreateInstance NetFwRule null 1 IUnknown -> 0x00000000 NetFwRule#2",
                "CoCreateInstance {0123ABCD-4567-89EF-0123-456789ABCDEF} null 1 INetFwPolicy2 "
                "-> 0x80040154 null",
                "IUnknown::Release NetFwRule#1 -> 0",
                "IUnknown::Release NetFwRule#2 -> 0",
                "CoUninitialize -> void",
            }));
}

TEST_F(ComTest, NullFaultGivesSuccessWithoutAnObject) {
  ASSERT_TRUE(fwsim::add_faults("CoCreateInstance#2=null"));
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  void* first = nullptr;
  void* second = reinterpret_cast<void*>(1);
  ASSERT_EQ(CoCreateInstance(kClsidNetFwPolicy2, nullptr, 1, kIidINetFwPolicy2, &first), S_OK);
  EXPECT_EQ(CoCreateInstance(kClsidNetFwPolicy2, nullptr, 1, kIidINetFwPolicy2, &second), S_OK);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(fwsim::balance().objects, 1);
  static_cast<IUnknown*>(first)->Release();
  CoUninitialize();
  EXPECT_EQ(fwsim::call_log().at(2),
            "CoCreateInstance NetFwPolicy2 null 1 INetFwPolicy2 -> 0x00000000 null");
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
}

TEST_F(ComTest, ResetClosesTheCallingThreadsApartment) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  fwsim::reset();
  EXPECT_EQ(fwsim::balance().apartments, 0);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  CoUninitialize();
}

}  // namespace
