#pragma once

#include <array>
#include <cstddef>
#include <expected>

#include "firewall/firewall_error.h"
#include "platform/win32.h"

namespace orvane::firewall {

// One network profile that Windows is on now, with the two settings that decide whether its
// firewall filters at all and whether it lets any inbound traffic in.
struct CurrentProfile {
  LONG profile;             // NET_FW_PROFILE2_DOMAIN, _PRIVATE or _PUBLIC
  bool firewall_enabled;    // FirewallEnabled: the local setting
  bool blocks_all_inbound;  // BlockAllInboundTraffic: "Block all incoming connections, ..."
};

// What the firewall policy says of the network Windows is on now.
struct PolicyState {
  LONG current_profiles = 0;  // CurrentProfileTypes, as the policy gives it
  std::array<CurrentProfile, 3> current{};
  std::size_t current_count = 0;  // of `current`, in the order domain, private, public
  // LocalPolicyModifyState is NET_FW_MODIFY_STATE_GP_OVERRIDE: group policy makes Windows ignore
  // the PC's own rules.
  bool local_rules_ignored = false;
};

// Reads CurrentProfileTypes, then FirewallEnabled and BlockAllInboundTraffic of each current
// profile, then LocalPolicyModifyState (Microsoft's INetFwPolicy2 reference). A bit of
// CurrentProfileTypes that names no documented profile is kept in `current_profiles` but not read:
// the getters take exactly one documented profile.
std::expected<PolicyState, FirewallError> read_policy_state(INetFwPolicy2* policy);

}  // namespace orvane::firewall
