// The enumerators of the simulated firewall's collections (get__NewEnum): an IEnumVARIANT over the
// elements as they stood when it was made, each handed out as a new VT_DISPATCH object. Internal
// to fwsim.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "firewall_store.h"
#include "fwsim/win32.h"

namespace fwsim::detail {

// Makes element `index` as a new object, holding the one reference it is handed out with.
using MakeElement = std::function<IDispatch*(std::size_t index)>;

// A new enumerator over `count` elements, at `position`, holding the one reference it is handed
// out with. `class_name` (a literal) names its objects in the trace.
IEnumVARIANT* new_dispatch_enum(std::string_view class_name, std::size_t count,
                                std::shared_ptr<const MakeElement> make, std::size_t position);

// The rule collection's enumerator (`NetFwRulesEnum`) over `rules`, at `position`. Each rule it
// gives stands for its stored rule (firewall_rule.h).
IEnumVARIANT* new_rule_enum(std::shared_ptr<const StoredRules> rules, std::size_t position);

}  // namespace fwsim::detail
