#include "firewall_rule_enum.h"

#include <string>
#include <string_view>
#include <utility>

#include "com_object.h"
#include "faults.h"
#include "firewall_rule.h"
#include "trace.h"

namespace fwsim::detail {
namespace {

// Microsoft's IEnumVARIANT documentation: Next gives each element as a VARIANT the caller clears;
// a collection of objects gives each as VT_DISPATCH. The walk is over the rules as they stood when
// get__NewEnum was called, so later adds and removals do not show (Windows does not document
// whether they would); each rule object it gives reads and changes its rule as it stands now.
class NetFwRulesEnum final : public Object<IEnumVARIANT, IID_IEnumVARIANT> {
 public:
  NetFwRulesEnum(std::shared_ptr<const StoredRules> rules, std::size_t position)
      : Object("NetFwRulesEnum"), rules_(std::move(rules)), position_(position) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* elements, ULONG* fetched) override {
    constexpr std::string_view kName = "IEnumVARIANT::Next";
    HRESULT hr = S_OK;
    ULONG filled = 0;
    std::string shown;
    if (auto fault = take_fault(kName)) {
      // `null`: S_OK with nothing given, so that a caller who trusts S_OK alone is caught.
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else if (elements == nullptr && celt != 0) {
      hr = E_POINTER;
    } else if (fetched == nullptr && celt != 1) {
      // "pCeltFetched ... can be NULL if celt is one"; Windows does not document the answer
      // otherwise.
      hr = E_INVALIDARG;
    } else {
      for (; filled < celt && position_ < rules_->rules.size(); ++filled, ++position_) {
        auto* rule = new NetFwRule(StoredRule{rules_, position_});
        elements[filled] = VARIANT{};
        V_VT(&elements[filled]) = VT_DISPATCH;
        V_DISPATCH(&elements[filled]) = rule;
        if (tracing()) shown += (filled == 0 ? " " : ",") + rule->id();
      }
      hr = filled == celt ? S_OK : S_FALSE;
    }
    if (fetched != nullptr) *fetched = filled;
    trace(kName, id() + " " + std::to_string(celt),
          hresult_text(hr) + " " + std::to_string(filled) + shown);
    return hr;
  }

  HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
    constexpr std::string_view kName = "IEnumVARIANT::Skip";
    HRESULT hr = S_OK;
    if (auto fault = take_fault(kName)) {
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else {
      const std::size_t left = rules_->rules.size() - position_;
      hr = celt <= left ? S_OK : S_FALSE;
      position_ += celt <= left ? celt : left;
    }
    trace(kName, id() + " " + std::to_string(celt), hresult_text(hr));
    return hr;
  }

  HRESULT STDMETHODCALLTYPE Reset() override {
    constexpr std::string_view kName = "IEnumVARIANT::Reset";
    HRESULT hr = S_OK;
    if (auto fault = take_fault(kName)) {
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else {
      position_ = 0;
    }
    trace(kName, id(), hresult_text(hr));
    return hr;
  }

  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** enumerator) override {
    constexpr std::string_view kName = "IEnumVARIANT::Clone";
    HRESULT hr = S_OK;
    NetFwRulesEnum* made = nullptr;
    if (auto fault = take_fault(kName)) {
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else if (enumerator == nullptr) {
      hr = E_POINTER;
    } else {
      made = new NetFwRulesEnum(rules_, position_);
    }
    if (enumerator != nullptr) *enumerator = made;
    trace(kName, id(), hresult_text(hr) + " " + (made ? made->id() : "null"));
    return hr;
  }

 private:
  std::shared_ptr<const StoredRules> rules_;
  std::size_t position_;
};

}  // namespace

IEnumVARIANT* new_rule_enum(std::shared_ptr<const StoredRules> rules, std::size_t position) {
  return new NetFwRulesEnum(std::move(rules), position);
}

}  // namespace fwsim::detail
