#pragma once

#include <expected>

#include "firewall/firewall_error.h"
#include "platform/win32.h"

namespace orvane::firewall {

// The program a rule names, as the firewall service reads it: with each %NAME% replaced by the
// environment variable's value ("Firewall Rule Wizard: Program Page": the service expands
// environment variables in a rule's program path). Expanded with this process's environment:
// which environment the service uses is not documented, so a per-user variable (%USERPROFILE%,
// %LOCALAPPDATA%) may stand for another folder there. An 8.3 short name (C:\PROGRA~1\...) is
// compared as written: nothing documents whether the service resolves one to its long name. A path
// without `%` is given back as it is; an expanded one is written into `room`, which keeps its
// capacity for a walk over every rule.
std::expected<WideView, FirewallError> expand_program_path(WideView path, WideString& room);

}  // namespace orvane::firewall
