#include "firewall/rule_enumeration.h"

#include <utility>

#include "firewall/com_result.h"

namespace orvane::firewall {

std::expected<RuleEnumeration, FirewallError> RuleEnumeration::begin(INetFwRules* rules) {
  platform::ComPtr<IUnknown> object;
  HRESULT hr = rules->get__NewEnum(object.put());
  if (auto failure = object_failure(hr, object)) return std::unexpected(std::move(*failure));
  platform::ComPtr<IEnumVARIANT> enumerator;
  hr = object->QueryInterface(kIidIEnumVARIANT, enumerator.put_void());
  if (auto failure = object_failure(hr, enumerator)) return std::unexpected(std::move(*failure));
  return RuleEnumeration(std::move(enumerator));
}

// Next answers S_OK when it filled the whole batch and S_FALSE when fewer were left (Microsoft's
// IEnumVARIANT::Next documentation). A success that claims more than asked for, or S_OK with
// fewer, is reported with code 0, as a call that gave back nothing.
std::expected<void, FirewallError> RuleEnumeration::fetch() {
  ULONG fetched = 0;
  const HRESULT hr = enumerator_->Next(static_cast<ULONG>(kBatch), batch_->put(), &fetched);
  if (auto failure = call_failure(hr)) return std::unexpected(std::move(*failure));
  if (fetched > kBatch || (hr == S_OK && fetched != kBatch)) {
    return std::unexpected(WindowsError{platform::HresultError(S_OK)});
  }
  fetched_ = fetched;
  taken_ = 0;
  last_batch_ = hr != S_OK;
  return {};
}

std::expected<platform::ComPtr<INetFwRule>, FirewallError> RuleEnumeration::next() {
  if (taken_ == fetched_) {
    if (last_batch_) return platform::ComPtr<INetFwRule>();
    if (auto fetched = fetch(); !fetched) return std::unexpected(std::move(fetched.error()));
    if (fetched_ == 0) return platform::ComPtr<INetFwRule>();
  }
  const platform::ComPtr<IDispatch> element = batch_->take_dispatch(taken_++);
  if (!element) return std::unexpected(WindowsError{platform::HresultError(S_OK)});
  platform::ComPtr<INetFwRule> rule;
  const HRESULT hr = element->QueryInterface(kIidINetFwRule, rule.put_void());
  if (auto failure = object_failure(hr, rule)) return std::unexpected(std::move(*failure));
  return rule;
}

}  // namespace orvane::firewall
