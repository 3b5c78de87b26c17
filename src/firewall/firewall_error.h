#pragma once

#include <string>
#include <variant>

#include "platform/hresult_error.h"

namespace orvane::firewall {

// The firewall library's one error type. Only CoInitializeExFailed, WindowsError and
// RuleStillExists are ever made; the other variants belong to the type's detailed form. Values are
// moved, never copied.
struct CoInitializeExFailed {
  std::string message;  // the system's text for the failing code; the code is not kept
};
struct WindowsError {
  platform::HresultError error;
};
struct RuleAlreadyExists {};
struct InvalidNetFwAction {};
struct InvalidNetFwProfile {};
struct InvalidNetFwRuleDirection {};
struct InvalidNetFwIpProtocol {};
struct EmptyHashSet {};
// A rule that removal after removal left in place (remove_if_exists).
struct RuleStillExists {};

using FirewallError =
    std::variant<CoInitializeExFailed, WindowsError, RuleAlreadyExists, InvalidNetFwAction,
                 InvalidNetFwProfile, InvalidNetFwRuleDirection, InvalidNetFwIpProtocol,
                 EmptyHashSet, RuleStillExists>;

// CoInitializeExFailed("..."), WindowsError(Error { ... }), or the bare name of the variant.
void detailed_form(const FirewallError& error, std::string& out);

}  // namespace orvane::firewall
