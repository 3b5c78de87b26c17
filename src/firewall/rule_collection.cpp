#include "firewall/rule_collection.h"

#include <utility>

#include "firewall/com_result.h"

namespace orvane::firewall {

std::expected<RuleCollection, FirewallError> open_rule_collection() {
  auto apartment = platform::ComApartment::enter();
  if (!apartment) return std::unexpected(apartment_failure(apartment.error()));

  platform::ComPtr<INetFwPolicy2> policy;
  HRESULT hr = CoCreateInstance(kClsidNetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER,
                                kIidINetFwPolicy2, policy.put_void());
  if (auto failure = object_failure(hr, policy)) return std::unexpected(std::move(*failure));

  platform::ComPtr<INetFwRules> rules;
  hr = policy->get_Rules(rules.put());
  if (auto failure = object_failure(hr, rules)) return std::unexpected(std::move(*failure));
  return RuleCollection{std::move(*apartment), std::move(policy), std::move(rules)};
}

std::expected<platform::ComPtr<INetFwRule>, FirewallError> look_up_rule(INetFwRules* rules,
                                                                        BSTR name) {
  constexpr HRESULT kNameNotFound = static_cast<HRESULT>(0x80070002);
  platform::ComPtr<INetFwRule> found;
  const HRESULT hr = rules->Item(name, found.put());
  if (hr == kNameNotFound) {
    // Whatever error information the answer left goes with the dropped error.
    (void)platform::HresultError::from_hresult(hr);
    return platform::ComPtr<INetFwRule>();
  }
  if (auto failure = object_failure(hr, found)) return std::unexpected(std::move(*failure));
  return found;
}

}  // namespace orvane::firewall
