// A firewall rule as the simulated firewall holds it, the properties put on it, and its line in
// the rule store: `Name="x" Direction=1 Interfaces=["a","b"]`. Implemented in
// firewall_rule_line.cpp. Internal to fwsim.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace fwsim::detail {

// The INetFwRule properties, spelled as the type library spells them (serviceName included).
enum class Prop : std::uint8_t {
  Name,
  Description,
  ApplicationName,
  serviceName,
  Protocol,
  LocalPorts,
  RemotePorts,
  LocalAddresses,
  RemoteAddresses,
  IcmpTypesAndCodes,
  Direction,
  Interfaces,
  InterfaceTypes,
  Enabled,
  Grouping,
  Profiles,
  EdgeTraversal,
  Action,
};

enum class PropKind : std::uint8_t {
  Text,        // a BSTR; a null one is the empty text
  Number,      // a LONG or one of the firewall's enumerations
  Flag,        // a VARIANT_BOOL, kept as the number that was put
  Interfaces,  // VT_EMPTY or a vector of names
};

std::string_view prop_name(Prop prop);
PropKind prop_kind(Prop prop);
std::optional<Prop> prop_from_name(std::string_view name);

// Interfaces: nullopt stands for a VT_EMPTY value.
using InterfaceList = std::optional<std::vector<std::u16string>>;
using PropValue = std::variant<std::u16string, std::int32_t, InterfaceList>;

struct Property {
  Prop prop;
  PropValue value;
  bool operator==(const Property&) const = default;
};

// A rule is the properties that were put on it, in the order each was first put.
using Rule = std::vector<Property>;

const PropValue* find_property(const Rule& rule, Prop prop);
// Puts a value: replaces an earlier value in its place, or appends the property.
void put_property(Rule& rule, Prop prop, PropValue value);
// The name a rule is found by; a rule without a Name has the empty one.
std::u16string_view rule_name(const Rule& rule);

// The store's line syntax: `Name="x" Direction=1 Interfaces=["a","b"]`.
std::string format_property(const Property& property);
std::string format_rule(const Rule& rule);
std::string format_interfaces(const InterfaceList& list);
// Reads one PROPERTY=VALUE from the front of `in`, advancing it past the value only.
std::expected<Property, std::string> read_property(std::string_view& in);
// Reads a whole rule line. Each property may be given only once.
std::expected<Rule, std::string> parse_rule(std::string_view line);

}  // namespace fwsim::detail
