#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <set>
#include <string>

#include "firewall/firewall_rule.h"
#include "platform/hresult_error.h"
#include "platform/owned_bstr.h"
#include "platform/owned_variant.h"

namespace orvane::firewall {

// The firewall takes ports, addresses and interface types as one comma-joined text each ("80,443",
// no spaces). An absent or empty set gives no text: a null BSTR.
platform::OwnedBstr ports_to_bstr(const std::optional<std::set<std::uint16_t>>& ports);
platform::OwnedBstr addresses_to_bstr(const std::optional<std::set<IpAddress>>& addresses);
platform::OwnedBstr interface_types_to_bstr(const std::optional<std::set<InterfaceType>>& types);

// An address as the firewall reads it: dotted decimal for IPv4; for IPv6 the RFC 5952 text, with
// IPv4-mapped addresses as ::ffff:a.b.c.d.
std::string address_text(const IpAddress& address);

// Interface names as the firewall takes them: VT_EMPTY for an empty set, else a VT_ARRAY |
// VT_VARIANT vector (lower bound 0) of VT_BSTR elements, one per name.
std::expected<platform::OwnedVariant, platform::HresultError> interface_names_to_variant(
    const std::set<std::string>& names);

}  // namespace orvane::firewall
