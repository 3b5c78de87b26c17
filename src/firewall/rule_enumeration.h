#pragma once

#include <cstddef>
#include <expected>
#include <memory>
#include <utility>

#include "firewall/firewall_error.h"
#include "platform/com_ptr.h"
#include "platform/owned_variant.h"

namespace orvane::firewall {

// One walk over a rule collection, in the collection's order, through its enumerator
// (INetFwRules::get__NewEnum, then IEnumVARIANT), which hands out the rules in batches, each a
// VT_DISPATCH VARIANT. Use it on the thread, and within the apartment, of the collection.
class RuleEnumeration {
 public:
  static std::expected<RuleEnumeration, FirewallError> begin(INetFwRules* rules);

  // The next rule, or null after the last. A failed call of the enumerator, an element that is no
  // rule, or a count the enumerator cannot have filled, is an error; stop at the first.
  std::expected<platform::ComPtr<INetFwRule>, FirewallError> next();

 private:
  static constexpr std::size_t kBatch = 64;

  explicit RuleEnumeration(platform::ComPtr<IEnumVARIANT> enumerator)
      : enumerator_(std::move(enumerator)) {}
  std::expected<void, FirewallError> fetch();

  platform::ComPtr<IEnumVARIANT> enumerator_;
  // Heap-held, so that moving the walk moves no VARIANT.
  std::unique_ptr<platform::OwnedVariants<kBatch>> batch_ =
      std::make_unique<platform::OwnedVariants<kBatch>>();
  std::size_t fetched_ = 0;  // elements of the batch filled by the last Next
  std::size_t taken_ = 0;    // of those, handed out
  bool last_batch_ = false;  // the enumerator said no more were left
};

}  // namespace orvane::firewall
