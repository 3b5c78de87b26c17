#include "firewall_policy_state.h"

#include <string_view>

#include "controls.h"
#include "faults.h"
#include "trace.h"

namespace fwsim::detail {
namespace {

constexpr std::string_view kNames[] = {
    "INetFwPolicy2::get_CurrentProfileTypes",    "INetFwPolicy2::get_FirewallEnabled",
    "INetFwPolicy2::get_BlockAllInboundTraffic", "INetFwPolicy2::get_DefaultInboundAction",
    "INetFwPolicy2::get_DefaultOutboundAction",  "INetFwPolicy2::get_LocalPolicyModifyState",
};

// The index of a single profile in PolicyState's per-profile settings. Windows does not document
// what it answers for a combination or an unknown bit (a conformance fact); fwsim refuses them.
std::optional<std::size_t> profile_index(LONG profile) {
  if (profile == NET_FW_PROFILE2_DOMAIN) return 0;
  if (profile == NET_FW_PROFILE2_PRIVATE) return 1;
  if (profile == NET_FW_PROFILE2_PUBLIC) return 2;
  return std::nullopt;
}

// Unless set, NET_FW_MODIFY_STATE_INBOUND_BLOCKED while a current profile blocks all inbound
// traffic (its rules then have no effect), else NET_FW_MODIFY_STATE_OK (Microsoft's
// NET_FW_MODIFY_STATE documentation).
std::int32_t modify_state(const PolicyState& state) {
  if (state.modify_state >= 0) return state.modify_state;
  for (std::size_t p = 0; p < 3; ++p) {
    if ((state.current_profiles & (1 << p)) != 0 && state.block_all_inbound[p] != VARIANT_FALSE) {
      return NET_FW_MODIFY_STATE_INBOUND_BLOCKED;
    }
  }
  return NET_FW_MODIFY_STATE_OK;
}

std::int32_t read(const PolicyState& state, PolicyGet get, std::size_t p) {
  switch (get) {
    case PolicyGet::CurrentProfileTypes:
      return state.current_profiles;
    case PolicyGet::FirewallEnabled:
      return state.firewall_enabled[p];
    case PolicyGet::BlockAllInboundTraffic:
      return state.block_all_inbound[p];
    case PolicyGet::DefaultInboundAction:
      return state.default_inbound[p];
    case PolicyGet::DefaultOutboundAction:
      return state.default_outbound[p];
    case PolicyGet::LocalPolicyModifyState:
      break;
  }
  return modify_state(state);
}

}  // namespace

// A standard user reads them as an administrator does (a conformance fact).
HRESULT get_policy_value(PolicyGet get, const std::string& object, std::optional<LONG> profile,
                         bool null_out, std::int32_t& value) {
  const std::string_view name = kNames[static_cast<std::size_t>(get)];
  const std::optional<std::size_t> index = profile ? profile_index(*profile) : 0;
  HRESULT hr = S_OK;
  bool got = false;
  value = 0;
  if (auto fault = take_fault(name)) {
    leave_error_info(*fault);
    hr = fault_result(*fault);
  } else if (null_out) {
    hr = E_POINTER;
  } else if (!index) {
    clear_error_info();
    hr = E_INVALIDARG;
  } else {
    value = read(policy_state(), get, *index);
    got = true;
  }
  if (tracing()) {
    trace(name, object + (profile ? " " + std::to_string(*profile) : ""),
          hresult_text(hr) + (got ? " " + std::to_string(value) : ""));
  }
  return hr;
}

}  // namespace fwsim::detail
