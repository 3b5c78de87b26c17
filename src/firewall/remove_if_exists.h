#pragma once

#include <cstddef>
#include <expected>
#include <string_view>

#include "firewall/firewall_error.h"

namespace orvane::firewall {

// The most rules of one name remove_if_exists takes away before it gives up on a firewall whose
// Remove leaves the rule where it was.
inline constexpr std::size_t kMaxRemovalsPerName = 64;

// Removes every rule of this name from the firewall policy, whatever else the rules hold: looks
// the name up and, while a rule of it exists, removes it by name and looks again. A name with no
// rule (0x80070002, or Wine's E_NOTIMPL from a firewall that keeps none) is no failure; a look-up
// that fails for any other reason is. A rule still there after kMaxRemovalsPerName removals is
// RuleStillExists. Opens and closes its own single-threaded COM apartment on the calling thread;
// nothing survives the call but the result. Returns how many rules were removed.
std::expected<std::size_t, FirewallError> remove_if_exists(std::string_view name);

}  // namespace orvane::firewall
