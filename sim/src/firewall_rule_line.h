// A firewall rule as the simulated firewall holds it, the properties put on it, and its line in
// the rule store: `Name="x" Direction=1 Interfaces=["a","b"]`. The rule itself (Prop, PropValue,
// Property, Rule) is declared in fwsim/testing.h, for the tests of the store. Implemented in
// firewall_rule_line.cpp. Internal to fwsim.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "fwsim/testing.h"

namespace fwsim::detail {

// How a property's value is kept.
enum class PropKind : std::uint8_t {
  Text,        // a BSTR; a null one is the empty text
  Number,      // a LONG or one of the firewall's enumerations
  Flag,        // a VARIANT_BOOL, kept as the number that was put
  Interfaces,  // VT_EMPTY or a vector of names
};

std::string_view prop_name(Prop prop);
PropKind prop_kind(Prop prop);
std::optional<Prop> prop_from_name(std::string_view name);

const PropValue* find_property(const Rule& rule, Prop prop);
// Puts a value: replaces an earlier value in its place, or appends the property.
void put_property(Rule& rule, Prop prop, PropValue value);
// The name a rule is found by; a rule without a Name has the empty one.
std::u16string_view rule_name(const Rule& rule);

// The store's line syntax: `Name="x" Direction=1 Interfaces=["a","b"]`. A whole line is read and
// written by fwsim::parse_rule and fwsim::format_rule (fwsim/testing.h).
std::string format_property(const Property& property);
std::string format_interfaces(const InterfaceList& list);
// Reads one PROPERTY=VALUE from the front of `in`, advancing it past the value only.
std::expected<Property, std::string> read_property(std::string_view& in);

}  // namespace fwsim::detail
