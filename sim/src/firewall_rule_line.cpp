// The rule store's line syntax: one rule a line, its properties in the order they were first put.
#include <array>
#include <charconv>
#include <limits>
#include <utility>

#include "firewall_rule_line.h"
#include "text.h"

namespace fwsim::detail {
namespace {

struct PropInfo {
  Prop prop;
  std::string_view name;
  PropKind kind;
};

constexpr std::array<PropInfo, 18> kProps{{
    {Prop::Name, "Name", PropKind::Text},
    {Prop::Description, "Description", PropKind::Text},
    {Prop::ApplicationName, "ApplicationName", PropKind::Text},
    {Prop::serviceName, "serviceName", PropKind::Text},
    {Prop::Protocol, "Protocol", PropKind::Number},
    {Prop::LocalPorts, "LocalPorts", PropKind::Text},
    {Prop::RemotePorts, "RemotePorts", PropKind::Text},
    {Prop::LocalAddresses, "LocalAddresses", PropKind::Text},
    {Prop::RemoteAddresses, "RemoteAddresses", PropKind::Text},
    {Prop::IcmpTypesAndCodes, "IcmpTypesAndCodes", PropKind::Text},
    {Prop::Direction, "Direction", PropKind::Number},
    {Prop::Interfaces, "Interfaces", PropKind::Interfaces},
    {Prop::InterfaceTypes, "InterfaceTypes", PropKind::Text},
    {Prop::Enabled, "Enabled", PropKind::Flag},
    {Prop::Grouping, "Grouping", PropKind::Text},
    {Prop::Profiles, "Profiles", PropKind::Number},
    {Prop::EdgeTraversal, "EdgeTraversal", PropKind::Flag},
    {Prop::Action, "Action", PropKind::Number},
}};

const PropInfo& info(Prop prop) { return kProps[static_cast<std::size_t>(prop)]; }

// A piece of a store line inside a message: a line may hold a carriage return or other control
// byte, which the one-line message must not.
std::string quoted(std::string_view text) { return "\"" + one_line(text) + "\""; }

std::expected<std::int32_t, std::string> read_number(std::string_view& in, Prop prop) {
  std::int64_t value = 0;
  auto [end, ec] = std::from_chars(in.data(), in.data() + in.size(), value);
  // A VARIANT_BOOL is a 16-bit number; everything else a 32-bit one.
  const bool flag = prop_kind(prop) == PropKind::Flag;
  const std::int64_t low =
      flag ? std::numeric_limits<std::int16_t>::min() : std::numeric_limits<std::int32_t>::min();
  const std::int64_t high =
      flag ? std::numeric_limits<std::int16_t>::max() : std::numeric_limits<std::int32_t>::max();
  if (ec != std::errc{} || value < low || value > high) {
    return std::unexpected("malformed number for " + std::string(prop_name(prop)));
  }
  in.remove_prefix(static_cast<std::size_t>(end - in.data()));
  return static_cast<std::int32_t>(value);
}

std::expected<InterfaceList, std::string> read_interfaces(std::string_view& in) {
  constexpr std::string_view kEmpty = "empty";
  if (in.starts_with(kEmpty)) {
    in.remove_prefix(kEmpty.size());
    return InterfaceList{};
  }
  const std::string error = "malformed list for Interfaces";
  if (!in.starts_with('[')) return std::unexpected(error);
  in.remove_prefix(1);
  std::vector<std::u16string> names;
  if (in.starts_with(']')) {
    in.remove_prefix(1);
    return InterfaceList{std::move(names)};
  }
  for (;;) {
    std::u16string name;
    if (!read_text_form(in, name)) return std::unexpected(error);
    names.push_back(std::move(name));
    if (in.starts_with(']')) {
      in.remove_prefix(1);
      return InterfaceList{std::move(names)};
    }
    if (!in.starts_with(',')) return std::unexpected(error);
    in.remove_prefix(1);
  }
}

}  // namespace

std::string_view prop_name(Prop prop) { return info(prop).name; }
PropKind prop_kind(Prop prop) { return info(prop).kind; }

std::optional<Prop> prop_from_name(std::string_view name) {
  for (const PropInfo& p : kProps) {
    if (p.name == name) return p.prop;
  }
  return std::nullopt;
}

const PropValue* find_property(const Rule& rule, Prop prop) {
  for (const Property& p : rule) {
    if (p.prop == prop) return &p.value;
  }
  return nullptr;
}

void put_property(Rule& rule, Prop prop, PropValue value) {
  for (Property& p : rule) {
    if (p.prop == prop) {
      p.value = std::move(value);
      return;
    }
  }
  rule.push_back({prop, std::move(value)});
}

std::u16string_view rule_name(const Rule& rule) {
  const PropValue* name = find_property(rule, Prop::Name);
  return name ? std::u16string_view(std::get<std::u16string>(*name)) : std::u16string_view();
}

std::string format_interfaces(const InterfaceList& list) {
  if (!list) return "empty";
  std::string out = "[";
  for (std::size_t i = 0; i < list->size(); ++i) {
    if (i > 0) out += ',';
    out += text_form((*list)[i]);
  }
  return out + "]";
}

std::string format_property(const Property& property) {
  std::string out(prop_name(property.prop));
  out += '=';
  switch (prop_kind(property.prop)) {
    case PropKind::Text:
      return out + text_form(std::get<std::u16string>(property.value));
    case PropKind::Number:
    case PropKind::Flag:
      return out + std::to_string(std::get<std::int32_t>(property.value));
    case PropKind::Interfaces:
      return out + format_interfaces(std::get<InterfaceList>(property.value));
  }
  return out;
}

std::expected<Property, std::string> read_property(std::string_view& in) {
  std::size_t equals = in.find('=');
  std::size_t space = in.find(' ');
  if (equals == std::string_view::npos || (space != std::string_view::npos && space < equals)) {
    return std::unexpected("expected PROPERTY=VALUE at " + quoted(in.substr(0, space)));
  }
  std::string_view name = in.substr(0, equals);
  std::optional<Prop> prop = prop_from_name(name);
  if (!prop) return std::unexpected("unknown property " + quoted(name));
  in.remove_prefix(equals + 1);
  switch (prop_kind(*prop)) {
    case PropKind::Text: {
      std::u16string text;
      if (!read_text_form(in, text)) {
        return std::unexpected("malformed text for " + std::string(name));
      }
      return Property{*prop, std::move(text)};
    }
    case PropKind::Number:
    case PropKind::Flag: {
      auto number = read_number(in, *prop);
      if (!number) return std::unexpected(number.error());
      return Property{*prop, *number};
    }
    case PropKind::Interfaces: {
      auto list = read_interfaces(in);
      if (!list) return std::unexpected(list.error());
      return Property{*prop, std::move(*list)};
    }
  }
  return std::unexpected("unknown property " + quoted(name));
}

}  // namespace fwsim::detail

namespace fwsim {

using detail::find_property;
using detail::format_property;
using detail::prop_name;
using detail::read_property;

std::string format_rule(const Rule& rule) {
  std::string line;
  for (const Property& p : rule) {
    if (!line.empty()) line += ' ';
    line += format_property(p);
  }
  return line;
}

std::expected<Rule, std::string> parse_rule(std::string_view line) {
  // Room for every property at once, one for each `=` (a text's own `=` only adds room).
  std::size_t properties = 0;
  for (auto at = line.find('='); at != std::string_view::npos; at = line.find('=', at + 1)) {
    ++properties;
  }
  Rule rule;
  rule.reserve(properties);
  while (!line.empty()) {
    auto property = read_property(line);
    if (!property) return std::unexpected(property.error());
    std::string_view name = prop_name(property->prop);
    if (find_property(rule, property->prop)) {
      return std::unexpected(std::string(name) + " given twice");
    }
    rule.push_back(std::move(*property));
    if (line.empty()) break;
    if (line.front() != ' ' || line.size() == 1) {
      return std::unexpected("expected one space and the next property after " + std::string(name));
    }
    line.remove_prefix(1);
  }
  return rule;
}

}  // namespace fwsim
