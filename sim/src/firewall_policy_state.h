// INetFwPolicy2's state gets, answered from FWSIM_POLICY (or a test's setting). Internal to fwsim.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "fwsim/win32.h"

namespace fwsim::detail {

enum class PolicyGet {
  CurrentProfileTypes,
  FirewallEnabled,
  BlockAllInboundTraffic,
  DefaultInboundAction,
  DefaultOutboundAction,
  LocalPolicyModifyState,
};

// Answers one get of the policy object `object` (its trace id), for `profile` where the get takes
// one: the fault of `INetFwPolicy2::get_NAME`, E_POINTER for a null out-parameter, E_INVALIDARG for
// a profile other than 1, 2 or 4, and the trace line. `value` is the answer, 0 when there is none.
HRESULT get_policy_value(PolicyGet get, const std::string& object, std::optional<LONG> profile,
                         bool null_out, std::int32_t& value);

}  // namespace fwsim::detail
