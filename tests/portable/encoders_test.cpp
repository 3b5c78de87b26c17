#include "firewall/encoders.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "support/wide.h"

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
