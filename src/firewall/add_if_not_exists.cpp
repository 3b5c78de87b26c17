#include "firewall/add_if_not_exists.h"

#include "firewall/bstr_conversion.h"
#include "firewall/build_com_rule.h"
#include "firewall/com_result.h"
#include "platform/com_apartment.h"

namespace orvane::firewall {
namespace {

// Whether the collection holds a rule of this name. The firewall answers a missing name with an
// error; a look-up that fails for any other reason is treated the same and leaves the verdict to
// Add. The discarded error takes its error information with it, before anything is built.
bool rule_exists(INetFwRules* rules, BSTR name) {
  platform::ComPtr<INetFwRule> found;
  const HRESULT hr = rules->Item(name, found.put());
  if (FAILED(hr)) {
    (void)platform::HresultError::from_hresult(hr);
    return false;
  }
  return static_cast<bool>(found);
}

}  // namespace

// Everything obtained here is released in the reverse order it was obtained (the new or found
// rule, the name, the collection, the policy), and the apartment is closed last.
std::expected<bool, firewall::FirewallError> add_if_not_exists(const FirewallRule& rule) {
  auto apartment = platform::ComApartment::enter();
  if (!apartment) return std::unexpected(apartment_failure(apartment.error()));

  platform::ComPtr<INetFwPolicy2> policy;
  HRESULT hr = CoCreateInstance(kClsidNetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER,
                                kIidINetFwPolicy2, policy.put_void());
  if (auto failure = object_failure(hr, policy)) return std::unexpected(std::move(*failure));

  platform::ComPtr<INetFwRules> rules;
  hr = policy->get_Rules(rules.put());
  if (auto failure = object_failure(hr, rules)) return std::unexpected(std::move(*failure));

  const platform::OwnedBstr name = firewall::from_text(std::string_view(rule.name));
  if (rule_exists(rules.get(), name.get())) return false;

  auto built = build_com_rule(rule);
  if (!built) return std::unexpected(std::move(built.error()));
  if (auto failure = call_failure(rules->Add(built->get()))) {
    return std::unexpected(std::move(*failure));
  }
  return true;
}

}  // namespace orvane::firewall
