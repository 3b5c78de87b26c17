// The enumerator of the simulated NetFwRules collection (get__NewEnum): an IEnumVARIANT over the
// rules as they stood when it was made. Internal to fwsim.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "firewall_store.h"
#include "fwsim/win32.h"

namespace fwsim::detail {

// A new enumerator over `rules`, at `position`, holding the one reference it is handed out with.
// Each rule it gives stands for its stored rule (firewall_rule.h).
IEnumVARIANT* new_rule_enum(std::shared_ptr<const StoredRules> rules, std::size_t position);

}  // namespace fwsim::detail
