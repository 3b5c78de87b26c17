#include "firewall/encoders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "support/wide.h"

#if defined(ORVANE_WITH_FWSIM)
#include "support/sim_test.h"
#endif

namespace orvane::firewall {
namespace {

using orvane::testing::wide;

Ipv6Address ipv6(std::initializer_list<std::uint16_t> groups) {
  Ipv6Address bytes{};
  std::size_t i = 0;
  for (std::uint16_t group : groups) {
    bytes[i++] = static_cast<std::uint8_t>(group >> 8);
    bytes[i++] = static_cast<std::uint8_t>(group & 0xFF);
  }
  return bytes;
}

WideString text_of(BSTR bstr) { return bstr ? WideString(bstr, SysStringLen(bstr)) : WideString(); }

struct AddressCase {
  IpAddress address;
  std::string_view text;
};

const std::vector<AddressCase> kAddressCases = {
    {Ipv4Address{127, 0, 0, 1}, "127.0.0.1"},
    {Ipv4Address{0, 0, 0, 0}, "0.0.0.0"},
    {Ipv4Address{192, 168, 0, 1}, "192.168.0.1"},
    {Ipv4Address{255, 255, 255, 255}, "255.255.255.255"},
    {Ipv4Address{10, 200, 7, 99}, "10.200.7.99"},
    {ipv6({0, 0, 0, 0, 0, 0, 0, 0}), "::"},
    {ipv6({0, 0, 0, 0, 0, 0, 0, 1}), "::1"},
    {ipv6({1, 0, 0, 0, 0, 0, 0, 0}), "1::"},
    {ipv6({0x2001, 0xdb8, 0, 0, 1, 0, 0, 1}), "2001:db8::1:0:0:1"},
    {ipv6({0x2001, 0xdb8, 0, 1, 1, 1, 1, 1}), "2001:db8:0:1:1:1:1:1"},
    {ipv6({1, 0, 0, 2, 0, 0, 0, 3}), "1:0:0:2::3"},       // the longer run wins
    {ipv6({1, 0, 0, 2, 0, 0, 3, 4}), "1::2:0:0:3:4"},     // the first of equal runs
    {ipv6({1, 0, 2, 3, 4, 5, 6, 7}), "1:0:2:3:4:5:6:7"},  // a lone zero group stays
    {ipv6({1, 2, 3, 4, 5, 6, 7, 0}), "1:2:3:4:5:6:7:0"},
    {ipv6({0, 1, 0, 0, 0, 0, 0, 0}), "0:1::"},
    {ipv6({0xfe80, 0, 0, 0, 0x0200, 0x5efe, 0xc000, 0x0201}), "fe80::200:5efe:c000:201"},
    {ipv6({0xABCD, 0xEF01, 0x10, 0x100, 0x1000, 0xFFFF, 0xA, 0xB}),
     "abcd:ef01:10:100:1000:ffff:a:b"},
    {ipv6({0, 0, 0, 0, 0, 0xffff, 0x0a00, 0x0001}), "::ffff:10.0.0.1"},
    {ipv6({0, 0, 0, 0, 0, 0xffff, 0, 0}), "::ffff:0.0.0.0"},
    {ipv6({0, 0, 0, 0, 0, 0, 0xc000, 0x0201}), "::c000:201"},  // IPv4-compatible: no dots
    {ipv6({0, 0, 0, 0, 1, 0xffff, 0x0a00, 0x0001}), "::1:ffff:a00:1"},
};

TEST(AddressText, DottedIpv4AndCanonicalIpv6) {
  for (const AddressCase& c : kAddressCases) {
    EXPECT_EQ(address_text(c.address), c.text) << "expected " << c.text;
  }
}

// The BSTR encoders: the joined text as UTF-16, and null for no text.
TEST(JoinedText, AbsentAndEmptySetsGiveNoText) {
  EXPECT_FALSE(ports_to_bstr(std::nullopt));
  EXPECT_FALSE(ports_to_bstr(std::set<std::uint16_t>{}));
  EXPECT_FALSE(addresses_to_bstr(std::nullopt));
  EXPECT_FALSE(addresses_to_bstr(std::set<IpAddress>{}));
  EXPECT_FALSE(interface_types_to_bstr(std::nullopt));
  EXPECT_FALSE(interface_types_to_bstr(std::set<InterfaceType>{}));
}

TEST(JoinedText, PortsInDecimal) {
  const struct {
    std::set<std::uint16_t> ports;
    std::u16string_view text;
  } cases[] = {{{80}, u"80"}, {{0}, u"0"}, {{65535}, u"65535"}, {{7, 1000}, u"7,1000"}};
  for (const auto& c : cases) EXPECT_EQ(ports_to_bstr(c.ports).view(), wide(c.text));
}

// Sets have no order, so either order of two members is right; the separator is not negotiable.
void expect_either_order(const platform::OwnedBstr& bstr, std::u16string_view first,
                         std::u16string_view second) {
  const WideString text(bstr.view());
  const WideString one = wide(first) + wide(u",") + wide(second);
  const WideString other = wide(second) + wide(u",") + wide(first);
  EXPECT_TRUE(text == one || text == other) << "length " << text.size();
}

TEST(JoinedText, TwoMembersJoinedByOneComma) {
  expect_either_order(ports_to_bstr(std::set<std::uint16_t>{80, 443}), u"80", u"443");
  expect_either_order(addresses_to_bstr(std::set<IpAddress>{Ipv4Address{127, 0, 0, 1},
                                                            ipv6({0, 0, 0, 0, 0, 0, 0, 1})}),
                      u"127.0.0.1", u"::1");
  expect_either_order(
      interface_types_to_bstr(std::set<InterfaceType>{InterfaceType::Lan, InterfaceType::Wireless}),
      u"Lan", u"Wireless");
}

TEST(JoinedText, OneMemberAlone) {
  EXPECT_EQ(addresses_to_bstr(std::set<IpAddress>{Ipv4Address{127, 0, 0, 1}}).view(),
            wide(u"127.0.0.1"));
  EXPECT_EQ(addresses_to_bstr(std::set<IpAddress>{ipv6({0, 0, 0, 0, 0, 0xffff, 0x0a00, 1})}).view(),
            wide(u"::ffff:10.0.0.1"));
  EXPECT_EQ(interface_types_to_bstr(std::set<InterfaceType>{InterfaceType::All}).view(),
            wide(u"All"));
  EXPECT_EQ(interface_types_to_bstr(std::set<InterfaceType>{InterfaceType::RemoteAccess}).view(),
            wide(u"RemoteAccess"));
}

TEST(JoinedText, EveryInterfaceTypeOnce) {
  const auto bstr = interface_types_to_bstr(
      std::set<InterfaceType>{InterfaceType::Wireless, InterfaceType::Lan,
                              InterfaceType::RemoteAccess, InterfaceType::All});
  // Split the text at its commas and compare the pieces as a set.
  const WideString text(bstr.view());
  std::multiset<WideString> pieces;
  std::size_t start = 0;
  for (std::size_t comma; (comma = text.find(u',', start)) != WideString::npos; start = comma + 1) {
    pieces.insert(text.substr(start, comma - start));
  }
  pieces.insert(text.substr(start));
  const std::multiset<WideString> expected = {wide(u"Wireless"), wide(u"Lan"),
                                              wide(u"RemoteAccess"), wide(u"All")};
  EXPECT_EQ(pieces, expected);
}

TEST(InterfaceNames, AnEmptySetIsAnEmptyVariantNotAnEmptyArray) {
  auto value = interface_names_to_variant({});
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(V_VT(&value->get()), VT_EMPTY);
}

// The element texts of an interface-name VARIANT, checking its shape on the way.
std::vector<WideString> elements_of(const VARIANT& value) {
  std::vector<WideString> texts;
  EXPECT_EQ(V_VT(&value), VT_ARRAY | VT_VARIANT);
  const SAFEARRAY* array = V_ARRAY(&value);
  if (!array) {
    ADD_FAILURE() << "no array";
    return texts;
  }
  EXPECT_EQ(array->cDims, 1);
  EXPECT_EQ(array->rgsabound[0].lLbound, 0);
  for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i) {
    const VARIANT& element = static_cast<const VARIANT*>(array->pvData)[i];
    EXPECT_EQ(V_VT(&element), VT_BSTR) << "element " << i;
    texts.push_back(text_of(V_BSTR(&element)));
  }
  return texts;
}

TEST(InterfaceNames, OneNameAtIndexZero) {
  auto value = interface_names_to_variant({"Ethernet 2"});
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(elements_of(value->get()), std::vector<WideString>{wide(u"Ethernet 2")});
}

TEST(InterfaceNames, SeveralNamesOneElementEachInTheSetsOrder) {
  // Each name with its exact UTF-16 form (a character outside the BMP as a surrogate pair).
  const std::vector<std::pair<std::string, std::u16string_view>> kNames = {
      {"eth0", u"eth0"},
      {"WLAN \xC3\xBC", u"WLAN \u00FC"},
      {"\xF0\x9F\x93\xA1 uplink", u"\U0001F4E1 uplink"},
  };
  std::set<std::string> names;
  for (const auto& name : kNames) names.insert(name.first);
  std::vector<WideString> expected;
  for (const std::string& name : names) {
    for (const auto& [text, units] : kNames) {
      if (text == name) expected.push_back(wide(units));
    }
  }
  auto value = interface_names_to_variant(names);
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(elements_of(value->get()), expected);
}

TEST(InterfaceNames, AnEmptyNameIsAnEmptyStringElement) {
  auto value = interface_names_to_variant({"", "eth0"});
  ASSERT_TRUE(value.has_value());
  const SAFEARRAY* array = V_ARRAY(&value->get());
  ASSERT_NE(array, nullptr);
  ASSERT_EQ(array->rgsabound[0].cElements, 2u);
  // std::set puts "" first. The encoder hands over a null BSTR; what the array keeps is the
  // platform's copy of it, which may be null or a string of no units (Wine makes the latter), and
  // the two mean the same empty string.
  const VARIANT* elements = static_cast<const VARIANT*>(array->pvData);
  EXPECT_EQ(V_VT(&elements[0]), VT_BSTR);
  EXPECT_EQ(SysStringLen(V_BSTR(&elements[0])), 0u);
  EXPECT_EQ(text_of(V_BSTR(&elements[1])), wide(u"eth0"));
}

}  // namespace
}  // namespace orvane::firewall

// ----- Cases that need fwsim -------------------------------------------------------------------
// They watch and fail the platform's calls, which only fwsim lets a test do; the Windows build
// compiles the cases above alone.
#if defined(ORVANE_WITH_FWSIM)

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

#endif  // defined(ORVANE_WITH_FWSIM)
