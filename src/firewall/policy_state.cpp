#include "firewall/policy_state.h"

#include <optional>
#include <utility>

#include "firewall/com_result.h"

namespace orvane::firewall {

std::expected<PolicyState, FirewallError> read_policy_state(INetFwPolicy2* policy) {
  PolicyState state;
  if (auto failure = call_failure(policy->get_CurrentProfileTypes(&state.current_profiles))) {
    return std::unexpected(std::move(*failure));
  }
  for (const NET_FW_PROFILE_TYPE2 profile :
       {NET_FW_PROFILE2_DOMAIN, NET_FW_PROFILE2_PRIVATE, NET_FW_PROFILE2_PUBLIC}) {
    if ((state.current_profiles & profile) == 0) continue;
    VARIANT_BOOL enabled = VARIANT_FALSE;
    VARIANT_BOOL blocks = VARIANT_FALSE;
    std::optional<FirewallError> failure =
        call_failure(policy->get_FirewallEnabled(profile, &enabled));
    if (!failure) failure = call_failure(policy->get_BlockAllInboundTraffic(profile, &blocks));
    if (failure) return std::unexpected(std::move(*failure));
    state.current[state.current_count++] = {profile, enabled != VARIANT_FALSE,
                                            blocks != VARIANT_FALSE};
  }
  NET_FW_MODIFY_STATE modify{};
  if (auto failure = call_failure(policy->get_LocalPolicyModifyState(&modify))) {
    return std::unexpected(std::move(*failure));
  }
  state.local_rules_ignored = modify == NET_FW_MODIFY_STATE_GP_OVERRIDE;
  return state;
}

}  // namespace orvane::firewall
