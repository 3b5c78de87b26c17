#include "firewall/remove_if_exists.h"

#include <utility>
#include <variant>

#include "firewall/bstr_conversion.h"
#include "firewall/com_result.h"
#include "firewall/rule_collection.h"

namespace orvane::firewall {
namespace {

// Whether a rule of this name is there; the rule found is released at once. Wine's firewall
// answers every look-up with E_NOTIMPL and keeps no rule at all: it has no look-up by name, rather
// than one that failed, and nothing a look-up could find. Windows' firewall implements Item and
// never answers so.
std::expected<bool, FirewallError> rule_exists(INetFwRules* rules, BSTR name) {
  auto found = look_up_rule(rules, name);
  if (found) return static_cast<bool>(*found);
  const auto* windows = std::get_if<WindowsError>(&found.error());
  if (windows != nullptr && windows->error.code() == E_NOTIMPL) return false;
  return std::unexpected(std::move(found.error()));
}

}  // namespace

// Everything obtained here is released in the reverse order it was obtained (each found rule at
// once after its look-up, then the name, the collection, the policy), and the apartment is closed
// last. Removal goes by name, and a name may have several rules (Add accepts a second one);
// Microsoft's INetFwRules::Remove documentation does not say whether one call takes one of them,
// and which, or all. Looking again after each removal is right either way. A look-up that fails for
// another reason than a missing name stops the removal: the rules may still be there.
std::expected<std::size_t, FirewallError> remove_if_exists(std::string_view name) {
  auto collection = open_rule_collection();
  if (!collection) return std::unexpected(std::move(collection.error()));
  INetFwRules* rules = collection->rules.get();

  const platform::OwnedBstr bstr = from_text(name);
  std::size_t removed = 0;
  for (;;) {
    auto exists = rule_exists(rules, bstr.get());
    if (!exists) return std::unexpected(std::move(exists.error()));
    if (!*exists) return removed;
    if (removed == kMaxRemovalsPerName) return std::unexpected(RuleStillExists{});
    if (auto failure = call_failure(rules->Remove(bstr.get()))) {
      return std::unexpected(std::move(*failure));
    }
    ++removed;
  }
}

}  // namespace orvane::firewall
