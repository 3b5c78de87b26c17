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

// The rule of this name that INetFwRules::Item gives, or null when there is none. Only
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) (0x80070002), Microsoft's documented answer for a
// missing name, means none; any other failure is an error (Wine's E_NOTIMPL among them), and so is
// a success that gives no rule.
std::expected<platform::ComPtr<INetFwRule>, FirewallError> look_up_rule(INetFwRules* rules,
                                                                        BSTR name);

}  // namespace orvane::firewall
