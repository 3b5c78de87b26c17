#pragma once

#include <expected>

#include "firewall/firewall_error.h"
#include "platform/com_apartment.h"
#include "platform/com_ptr.h"

namespace orvane::firewall {

// The firewall policy's rule collection, in a single-threaded apartment of the calling thread.
// Destroyed in the reverse order of the members: the collection, the policy, then the apartment.
// Use it on the thread that opened it only.
struct RuleCollection {
  platform::ComApartment apartment;
  platform::ComPtr<INetFwPolicy2> policy;
  platform::ComPtr<INetFwRules> rules;
};

// Enters the apartment, creates the policy and asks it for its rules. On failure whatever was
// obtained is released, the apartment last, after the error took the call's error information.
std::expected<RuleCollection, FirewallError> open_rule_collection();

// Whether the collection holds a rule of this name. Windows answers a missing name with
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) (Microsoft's INetFwRules::Item documentation), and
// Wine's firewall, which keeps no rule at all, with E_NOTIMPL for any name: both read as no rule.
// Any other failure, or a success that gives back no rule, is an error, made at once so that it
// takes the call's error information; a caller that drops it has cleared the thread.
std::expected<bool, FirewallError> find_rule(INetFwRules* rules, BSTR name);

}  // namespace orvane::firewall
