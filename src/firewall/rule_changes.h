#pragma once

#include <expected>
#include <string_view>

#include "firewall/firewall_error.h"
#include "firewall/firewall_rule.h"
#include "platform/win32.h"

namespace orvane::firewall {

// Changes to the firewall's own rules, made through the collection and through rule objects that
// the collection gave (Item or its enumerator), which stand for the stored rules: a put on one
// changes the firewall at once. The caller holds the collection's apartment.

// Adds `rule`, built as build_com_rule builds it, beside whatever rules the collection holds.
std::expected<void, FirewallError> add_rule(INetFwRules* rules, const FirewallRule& rule);

// Removes exactly the rule `rule` stands for: Remove takes a name, and which of several rules of
// one name it removes is not documented, so the rule is first given `own_name`, which no other
// rule bears, and that name is removed. A failure after the renaming leaves it under `own_name`.
std::expected<void, FirewallError> remove_rule(INetFwRules* rules, INetFwRule* rule,
                                               std::string_view own_name);

// Disables the rule, keeping it and everything else about it: a person's decision stays on record
// and can be undone.
std::expected<void, FirewallError> disable_rule(INetFwRule* rule);

}  // namespace orvane::firewall
