#include "firewall/add_if_not_exists.h"

#include "firewall/bstr_conversion.h"
#include "firewall/build_com_rule.h"
#include "firewall/com_result.h"
#include "firewall/rule_collection.h"

namespace orvane::firewall {

// Everything obtained here is released in the reverse order it was obtained (the new or found
// rule, the name, the collection, the policy), and the apartment is closed last. A look-up that
// fails for another reason than a missing name leaves the verdict to Add, whose own failure is
// reported: its error is dropped here, having taken the thread's error information.
std::expected<bool, FirewallError> add_if_not_exists(const FirewallRule& rule) {
  auto collection = open_rule_collection();
  if (!collection) return std::unexpected(std::move(collection.error()));
  INetFwRules* rules = collection->rules.get();

  const platform::OwnedBstr name = from_text(std::string_view(rule.name));
  if (const auto found = look_up_rule(rules, name.get()); found && *found) return false;

  auto built = build_com_rule(rule);
  if (!built) return std::unexpected(std::move(built.error()));
  if (auto failure = call_failure(rules->Add(built->get()))) {
    return std::unexpected(std::move(*failure));
  }
  return true;
}

}  // namespace orvane::firewall
