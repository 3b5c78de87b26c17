#include "firewall/rule_changes.h"

#include <optional>
#include <utility>

#include "firewall/bstr_conversion.h"
#include "firewall/build_com_rule.h"
#include "firewall/com_result.h"

namespace orvane::firewall {

std::expected<void, FirewallError> add_rule(INetFwRules* rules, const FirewallRule& rule) {
  auto built = build_com_rule(rule);
  if (!built) return std::unexpected(std::move(built.error()));
  if (auto failure = call_failure(rules->Add(built->get()))) {
    return std::unexpected(std::move(*failure));
  }
  return {};
}

std::expected<void, FirewallError> remove_rule(INetFwRules* rules, INetFwRule* rule,
                                               std::string_view own_name) {
  const platform::OwnedBstr name = from_text(own_name);
  std::optional<FirewallError> failure = call_failure(rule->put_Name(name.get()));
  if (!failure) failure = call_failure(rules->Remove(name.get()));
  if (failure) return std::unexpected(std::move(*failure));
  return {};
}

std::expected<void, FirewallError> disable_rule(INetFwRule* rule) {
  if (auto failure = call_failure(rule->put_Enabled(VARIANT_FALSE))) {
    return std::unexpected(std::move(*failure));
  }
  return {};
}

}  // namespace orvane::firewall
