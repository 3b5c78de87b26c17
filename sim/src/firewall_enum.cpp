#include "firewall_enum.h"

#include <string>
#include <string_view>
#include <utility>

#include "com_object.h"
#include "faults.h"
#include "firewall.h"
#include "firewall_rule.h"
#include "trace.h"

namespace fwsim::detail {
namespace {

// Microsoft's IEnumVARIANT documentation: Next gives each element as a VARIANT the caller clears;
// a collection of objects gives each as VT_DISPATCH. The walk is over the elements as they stood
// when get__NewEnum was called, so later adds and removals do not show (Windows does not document
// whether they would); each rule object it gives reads and changes its rule as it stands now.
class DispatchEnum final : public Object<IEnumVARIANT, IID_IEnumVARIANT> {
 public:
  DispatchEnum(std::string_view class_name, std::size_t count,
               std::shared_ptr<const MakeElement> make, std::size_t position)
      : Object(class_name),
        class_name_(class_name),
        count_(count),
        make_(std::move(make)),
        position_(position) {}

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
      for (; filled < celt && position_ < count_; ++filled, ++position_) {
        IDispatch* element = (*make_)(position_);
        elements[filled] = VARIANT{};
        V_VT(&elements[filled]) = VT_DISPATCH;
        V_DISPATCH(&elements[filled]) = element;
        if (tracing()) shown += (filled == 0 ? " " : ",") + object_label(element);
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
      const std::size_t left = count_ - position_;
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
    DispatchEnum* made = nullptr;
    if (auto fault = take_fault(kName)) {
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else if (enumerator == nullptr) {
      hr = E_POINTER;
    } else {
      made = new DispatchEnum(class_name_, count_, make_, position_);
    }
    if (enumerator != nullptr) *enumerator = made;
    trace(kName, id(), hresult_text(hr) + " " + (made ? made->id() : "null"));
    return hr;
  }

 private:
  std::string_view class_name_;
  std::size_t count_;
  std::shared_ptr<const MakeElement> make_;
  std::size_t position_;
};

}  // namespace

IEnumVARIANT* new_dispatch_enum(std::string_view class_name, std::size_t count,
                                std::shared_ptr<const MakeElement> make, std::size_t position) {
  return new DispatchEnum(class_name, count, std::move(make), position);
}

IEnumVARIANT* new_rule_enum(std::shared_ptr<const StoredRules> rules, std::size_t position) {
  const std::size_t count = rules->rules.size();
  auto make = std::make_shared<const MakeElement>([rules = std::move(rules)](std::size_t i) {
    return static_cast<IDispatch*>(new NetFwRule(StoredRule{rules, i}));
  });
  return new_dispatch_enum("NetFwRulesEnum", count, std::move(make), position);
}

}  // namespace fwsim::detail
