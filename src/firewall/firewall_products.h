#pragma once

#include <expected>
#include <vector>

#include "firewall/firewall_error.h"
#include "platform/win32.h"

namespace orvane::firewall {

// The display names of the firewall products registered with Windows (INetFwProducts) that own
// the firewall category (their RuleCategories hold NET_FW_RULE_CATEGORY_FIREWALL): products that
// filter traffic beside, or instead of, Windows' own firewall. Call it inside the apartment of the
// caller's thread.
std::expected<std::vector<WideString>, FirewallError> firewall_products();

}  // namespace orvane::firewall
