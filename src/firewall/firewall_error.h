#pragma once

#include <string>
#include <variant>

#include "platform/hresult_error.h"

namespace orvane::firewall {

// The firewall library's one error type. Only CoInitializeExFailed and WindowsError are ever made;
// the other variants belong to the type's detailed form. Values are moved, never copied.
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

using FirewallError = std::variant<CoInitializeExFailed, WindowsError, RuleAlreadyExists,
                                   InvalidNetFwAction, InvalidNetFwProfile,
                                   InvalidNetFwRuleDirection, InvalidNetFwIpProtocol, EmptyHashSet>;

// CoInitializeExFailed("..."), WindowsError(Error { ... }), or the bare name of the variant.
void detailed_form(const FirewallError& error, std::string& out);

}  // namespace orvane::firewall
