#pragma once

#include <expected>

#include "firewall/firewall_error.h"
#include "firewall/firewall_rule.h"
#include "platform/com_ptr.h"

namespace orvane::firewall {

// Creates a NetFwRule object and sets the record's properties on it, required ones always and
// optional ones only when present, in a fixed order. It initialises COM for itself and balances
// that before returning, so the caller must hold its own single-threaded apartment for as long as
// it uses the object, and releases the object once.
std::expected<platform::ComPtr<INetFwRule>, FirewallError> build_com_rule(const FirewallRule& rule);

}  // namespace orvane::firewall
