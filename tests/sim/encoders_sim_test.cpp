#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "firewall/encoders.h"
#include "support/sim_test.h"

namespace orvane::firewall {
namespace {

class EncodersSimTest : public orvane::testing::SimTest {};

const std::set<std::string> kThreeNames = {"eth0", "eth1", "wlan0"};

// The calls that make or free the array, its elements and the error information, in order;
// length queries and last-error reads are left out.
std::vector<std::string> resource_calls() {
  static const std::set<std::string_view> kKept = {
      "SafeArrayCreateVector", "SafeArrayPutElement", "SafeArrayDestroy", "SysAllocStringLen",
      "SysFreeString",         "VariantClear",        "GetErrorInfo"};
  std::vector<std::string> kept;
  for (std::string& name : fwsim::call_names()) {
    if (kKept.contains(name)) kept.push_back(std::move(name));
  }
  return kept;
}

// Whether `next` is the call right after the first `name` in the whole log.
bool directly_followed(std::string_view name, std::string_view next, int occurrence = 1) {
  const std::vector<std::string> names = fwsim::call_names();
  int seen = 0;
  for (std::size_t i = 0; i + 1 < names.size(); ++i) {
    if (names[i] == name && ++seen == occurrence) return names[i + 1] == next;
  }
  return false;
}

TEST_F(EncodersSimTest, NothingToEncodeCallsNothing) {
  {
    const auto ports = ports_to_bstr(std::set<std::uint16_t>{});
    const auto addresses = addresses_to_bstr(std::nullopt);
    const auto types = interface_types_to_bstr(std::set<InterfaceType>{});
    auto names = interface_names_to_variant({});
    ASSERT_TRUE(names.has_value());
  }
  EXPECT_EQ(fwsim::call_names(), std::vector<std::string>{});
}

TEST_F(EncodersSimTest, JoinedTextIsOneStringFreedByItsOwner) {
  {
    const auto ports = ports_to_bstr(std::set<std::uint16_t>{80, 443, 8080});
    EXPECT_EQ(resource_calls(), std::vector<std::string>{"SysAllocStringLen"});
    EXPECT_EQ(fwsim::balance().bstrs, 1);
  }
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
}

TEST_F(EncodersSimTest, ArrayCreationFailureCarriesTheLastErrorAndNoInformation) {
  const struct {
    const char* fault;
    HRESULT code;
  } cases[] = {
      {"SafeArrayCreateVector=8", static_cast<HRESULT>(0x80070008)},
      {"SafeArrayCreateVector=0x10005", static_cast<HRESULT>(0x80070005)},
      {"SafeArrayCreateVector=0", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    fwsim::reset();
    ASSERT_TRUE(fwsim::add_faults(c.fault));
    {
      auto value = interface_names_to_variant(kThreeNames);
      ASSERT_FALSE(value.has_value());
      EXPECT_EQ(value.error().code(), c.code);
      EXPECT_FALSE(value.error().has_info());
    }
    // No name was converted: nothing is made once the array is refused.
    EXPECT_EQ(resource_calls(), std::vector<std::string>{"SafeArrayCreateVector"});
    EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
  }
}

TEST_F(EncodersSimTest, RefusedElementKeepsCodeAndInformationAndLeavesNothing) {
  ASSERT_TRUE(fwsim::add_faults("SafeArrayPutElement#2=0x80070005|desc=denied"));
  {
    auto value = interface_names_to_variant(kThreeNames);
    ASSERT_FALSE(value.has_value());
    EXPECT_EQ(value.error().code(), static_cast<HRESULT>(0x80070005));
    EXPECT_TRUE(value.error().has_info());
    // The information is taken before anything else reaches the platform.
    EXPECT_TRUE(directly_followed("SafeArrayPutElement", "GetErrorInfo", 2));
    const std::vector<std::string> expected = {
        "SafeArrayCreateVector", "SysAllocStringLen", "SafeArrayPutElement",
        "VariantClear",          "SysAllocStringLen", "SafeArrayPutElement",
        "GetErrorInfo",          "VariantClear",      "SafeArrayDestroy"};
    EXPECT_EQ(resource_calls(), expected);
    // The refused temporary's string is freed and the half-filled array destroyed; only the error
    // information lives on, in the error.
    const fwsim::Balance balance = fwsim::balance();
    EXPECT_EQ(balance.bstrs, 0);
    EXPECT_EQ(balance.arrays, 0);
    EXPECT_EQ(balance.errorinfo, 0);
    EXPECT_EQ(value.error().message(), "denied");
  }
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
}

TEST_F(EncodersSimTest, AnEmptyNameGoesInAsANullStringWithoutAnAllocation) {
  {
    auto value = interface_names_to_variant({"", "eth0"});
    ASSERT_TRUE(value.has_value());
    const std::vector<std::string> calls = resource_calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "SysAllocStringLen"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "SafeArrayPutElement"), 2);
    // fwsim copies a null BSTR as null, so the element shows what the encoder handed over.
    const auto* elements = static_cast<const VARIANT*>(V_ARRAY(&value->get())->pvData);
    EXPECT_EQ(V_VT(&elements[0]), VT_BSTR);
    EXPECT_EQ(V_BSTR(&elements[0]), nullptr);
  }
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
}

TEST_F(EncodersSimTest, RefusalAtAnyPositionStopsThere) {
  for (int position = 1; position <= 3; ++position) {
    SCOPED_TRACE(position);
    fwsim::reset();
    ASSERT_TRUE(fwsim::add_faults("SafeArrayPutElement#" + std::to_string(position) +
                                  "=0x8007000E|desc=out of memory"));
    {
      auto value = interface_names_to_variant(kThreeNames);
      ASSERT_FALSE(value.has_value());
      EXPECT_EQ(value.error().code(), static_cast<HRESULT>(0x8007000E));
      EXPECT_TRUE(value.error().has_info());
    }
    const std::vector<std::string> calls = resource_calls();
    // One conversion per name up to the refused one, and none after it.
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "SysAllocStringLen"), position);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "SafeArrayPutElement"), position);
    EXPECT_EQ(calls.back(), "SafeArrayDestroy");
    EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
  }
}

TEST_F(EncodersSimTest, FailedClearOfTheTemporaryIsIgnored) {
  ASSERT_TRUE(fwsim::add_faults("VariantClear#1=0x80004005|desc=cannot clear"));
  {
    auto value = interface_names_to_variant(kThreeNames);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(V_VT(&value->get()), VT_ARRAY | VT_VARIANT);
    EXPECT_EQ(V_ARRAY(&value->get())->rgsabound[0].cElements, 3u);
    // Its information was taken and dropped at once.
    EXPECT_TRUE(directly_followed("VariantClear", "GetErrorInfo"));
    EXPECT_EQ(fwsim::balance().errorinfo, 0);
    EXPECT_EQ(fwsim::balance().objects, 0);
    // Every name still went in.
    const std::vector<std::string> calls = resource_calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "SafeArrayPutElement"), 3);
  }
  // A failed clear frees nothing, so the first temporary's string stays behind; the result itself
  // and everything in it are gone.
  const fwsim::Balance expected{.bstrs = 1};
  EXPECT_EQ(fwsim::balance(), expected);
}

TEST_F(EncodersSimTest, ADroppedResultLeavesNothingAlive) {
  {
    auto value = interface_names_to_variant(kThreeNames);
    ASSERT_TRUE(value.has_value());
    // Only the array and its own copies of the names are alive: each temporary was cleared.
    const fwsim::Balance expected{.bstrs = 3, .arrays = 1};
    EXPECT_EQ(fwsim::balance(), expected);
    const std::vector<std::string> calls = resource_calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "VariantClear"), 3);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "SafeArrayDestroy"), 0);
  }
  EXPECT_EQ(fwsim::call_log().back().rfind("VariantClear 0x200C -> 0x00000000", 0), 0u)
      << fwsim::call_log().back();
  EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
}

}  // namespace
}  // namespace orvane::firewall
