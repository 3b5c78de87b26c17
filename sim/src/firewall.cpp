#include "firewall.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "com_object.h"
#include "controls.h"
#include "faults.h"
#include "firewall_enum.h"
#include "firewall_policy_state.h"
#include "firewall_products.h"
#include "firewall_rule.h"
#include "firewall_rule_checks.h"
#include "firewall_store.h"
#include "oleaut32.h"
#include "text.h"
#include "trace.h"

namespace fwsim::detail {

bool may_change_rules() { return user() == User::Admin; }

HRESULT store_failure(const std::string& description) {
  leave_error_info(utf8_to_utf16("fwsim: " + description));
  return E_FAIL;
}

namespace {

// ----- The collection and the policy ------------------------------------------------------------

// The policy that made a collection keeps it without a reference of its own, so that the counts
// a caller sees (and the trace shows) are the caller's: the collection lives while a caller holds
// it or its policy lives.
class NetFwRules final : public Object<INetFwRules, kIidINetFwRules> {
 public:
  NetFwRules() : Object("NetFwRules") {}

  ULONG STDMETHODCALLTYPE Release() override {
    std::unique_lock guard(hold_mutex_);
    const ULONG count = --refs_;
    const bool last = count == 0 && !held_by_policy_;
    guard.unlock();
    if (tracing()) trace("IUnknown::Release", id(), std::to_string(count));
    if (last) delete this;
    return count;
  }

  // One more reference, which the policy hands out (not a call of the caller's, so not traced).
  void hand_out() {
    std::lock_guard guard(hold_mutex_);
    ++refs_;
  }

  // Its policy is gone.
  void let_go() {
    std::unique_lock guard(hold_mutex_);
    held_by_policy_ = false;
    const bool unused = refs_ == 0;
    guard.unlock();
    if (unused) delete this;
  }

  HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
    constexpr std::string_view kName = "INetFwRules::get_Count";
    HRESULT hr = S_OK;
    std::string shown;
    if (auto fault = take_fault(kName)) {
      clear_out(count);
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else if (count == nullptr) {
      hr = E_POINTER;
    } else if (auto n = rule_store().count(); !n) {
      *count = 0;
      hr = store_failure(n.error());
    } else {
      *count = static_cast<LONG>(*n);
      shown = " " + std::to_string(*count);
    }
    trace(kName, id(), hresult_text(hr) + shown);
    return hr;
  }

  HRESULT STDMETHODCALLTYPE Add(INetFwRule* rule) override {
    constexpr std::string_view kName = "INetFwRules::Add";
    const std::string args = id() + " " + object_label(rule);
    HRESULT hr = S_OK;
    auto* ours = dynamic_cast<NetFwRule*>(rule);
    if (auto fault = take_fault(kName)) {
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else if (rule == nullptr) {
      hr = E_POINTER;
    } else if (ours == nullptr) {
      // Windows' collection takes only its own rule objects.
      clear_error_info();
      hr = E_INVALIDARG;
    } else if (!may_change_rules()) {
      clear_error_info();
      hr = E_ACCESSDENIED;
    } else if (auto readable = rule_store().check(); !readable) {
      hr = store_failure(readable.error());
    } else if (Rule properties = ours->properties(); add_refusal(properties)) {
      // The rule checks the firewall service makes of every rule it is given
      // (firewall_rule_checks.cpp).
      clear_error_info();
      hr = E_INVALIDARG;
    } else if (auto added = rule_store().append(properties); !added) {
      hr = store_failure(added.error());
    }
    trace(kName, args, hresult_text(hr));
    return hr;
  }

  // Removes the first rule of the name; Windows does not document which of several goes. A name
  // with no rule is no failure: "the Remove method has no effect" (Microsoft's INetFwRules::Remove
  // documentation).
  HRESULT STDMETHODCALLTYPE Remove(BSTR name) override {
    constexpr std::string_view kName = "INetFwRules::Remove";
    const std::string args = id() + " " + bstr_label(name);
    HRESULT hr = S_OK;
    if (auto fault = take_fault(kName)) {
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else if (!may_change_rules()) {
      clear_error_info();
      hr = E_ACCESSDENIED;
    } else if (auto removed = rule_store().remove(bstr_view(name), false); !removed) {
      hr = store_failure(removed.error());
    }
    trace(kName, args, hresult_text(hr));
    return hr;
  }

  HRESULT STDMETHODCALLTYPE Item(BSTR name, INetFwRule** rule) override {
    constexpr std::string_view kName = "INetFwRules::Item";
    const std::string args = id() + " " + bstr_label(name);
    HRESULT hr = S_OK;
    NetFwRule* found = nullptr;
    if (auto fault = take_fault(kName)) {
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else if (rule == nullptr) {
      hr = E_POINTER;
    } else if (auto stored = rule_store().find(bstr_view(name)); !stored) {
      hr = store_failure(stored.error());
    } else if (!*stored) {
      clear_error_info();
      hr = static_cast<HRESULT>(0x80070002);  // HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)
    } else {
      found = new NetFwRule(std::move(**stored));  // it stands for the stored rule
    }
    if (rule != nullptr) *rule = found;
    trace(kName, args, hresult_text(hr) + " " + (found ? found->id() : "null"));
    return hr;
  }

  // The enumerator is handed out as IUnknown, as the collection's type library says; the caller
  // asks it for IEnumVARIANT. It walks a copy of the rules as they stand now, in store order.
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** new_enum) override {
    constexpr std::string_view kName = "INetFwRules::get__NewEnum";
    HRESULT hr = S_OK;
    IEnumVARIANT* made = nullptr;
    if (auto fault = take_fault(kName)) {
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else if (new_enum == nullptr) {
      hr = E_POINTER;
    } else if (auto rules = rule_store().rules(); !rules) {
      hr = store_failure(rules.error());
    } else {
      made = new_rule_enum(std::move(*rules), 0);
    }
    if (new_enum != nullptr) *new_enum = made;
    trace(kName, id(), hresult_text(hr) + " " + object_label(made));
    return hr;
  }

 private:
  std::mutex hold_mutex_;
  bool held_by_policy_ = true;
};

class NetFwPolicy2 final : public Object<INetFwPolicy2, kIidINetFwPolicy2> {
 public:
  NetFwPolicy2() : Object("NetFwPolicy2") {}
  ~NetFwPolicy2() override {
    if (rules_ != nullptr) rules_->let_go();
  }

  HRESULT STDMETHODCALLTYPE get_CurrentProfileTypes(LONG* profile_types) override {
    return policy_get(PolicyGet::CurrentProfileTypes, std::nullopt, profile_types);
  }
  HRESULT STDMETHODCALLTYPE get_FirewallEnabled(NET_FW_PROFILE_TYPE2 profile,
                                                VARIANT_BOOL* enabled) override {
    return policy_get(PolicyGet::FirewallEnabled, profile, enabled);
  }
  HRESULT STDMETHODCALLTYPE get_BlockAllInboundTraffic(NET_FW_PROFILE_TYPE2 profile,
                                                       VARIANT_BOOL* block) override {
    return policy_get(PolicyGet::BlockAllInboundTraffic, profile, block);
  }
  HRESULT STDMETHODCALLTYPE get_DefaultInboundAction(NET_FW_PROFILE_TYPE2 profile,
                                                     NET_FW_ACTION* action) override {
    return policy_get(PolicyGet::DefaultInboundAction, profile, action);
  }
  HRESULT STDMETHODCALLTYPE get_DefaultOutboundAction(NET_FW_PROFILE_TYPE2 profile,
                                                      NET_FW_ACTION* action) override {
    return policy_get(PolicyGet::DefaultOutboundAction, profile, action);
  }
  HRESULT STDMETHODCALLTYPE get_LocalPolicyModifyState(NET_FW_MODIFY_STATE* state) override {
    return policy_get(PolicyGet::LocalPolicyModifyState, std::nullopt, state);
  }

  // The same collection on every call, with one more reference, as Windows answers (Wine's
  // conformance test of the policy object, whose ok() states Windows' answer: rules == rules2).
  HRESULT STDMETHODCALLTYPE get_Rules(INetFwRules** rules) override {
    constexpr std::string_view kName = "INetFwPolicy2::get_Rules";
    HRESULT hr = S_OK;
    NetFwRules* made = nullptr;
    if (auto fault = take_fault(kName)) {
      leave_error_info(*fault);
      hr = fault_result(*fault);
    } else if (rules == nullptr) {
      hr = E_POINTER;
    } else if (auto readable = rule_store().check(); !readable) {
      hr = store_failure(readable.error());
    } else {
      std::lock_guard guard(mutex_);
      if (rules_ != nullptr) {
        rules_->hand_out();
      } else {
        rules_ = new NetFwRules();
      }
      made = rules_;
    }
    if (rules != nullptr) *rules = made;
    trace(kName, id(), hresult_text(hr) + " " + (made ? made->id() : "null"));
    return hr;
  }

 private:
  std::mutex mutex_;
  NetFwRules* rules_ = nullptr;  // its collection, once asked for
  template <class T>
  HRESULT policy_get(PolicyGet get, std::optional<LONG> profile, T* out) {
    std::int32_t value = 0;
    const HRESULT hr = get_policy_value(get, id(), profile, out == nullptr, value);
    if (out != nullptr) store_number(out, value);
    return hr;
  }
};

}  // namespace

std::string object_label(IUnknown* object) {
  if (object == nullptr) return "null";
  if (auto* ours = dynamic_cast<ObjectBase*>(object)) return ours->id();
  return "foreign";
}

bool is_firewall_class(REFCLSID clsid) {
  return clsid == kClsidNetFwPolicy2 || clsid == kClsidNetFwRule || clsid == kClsidNetFwProducts;
}

HRESULT create_firewall_object(REFCLSID clsid, REFIID iid, void** object) {
  *object = nullptr;
  // Each new object holds the one reference it is handed out with; Release deletes it.
  if (clsid == kClsidNetFwPolicy2 && (iid == IID_IUnknown || iid == kIidINetFwPolicy2)) {
    *object = static_cast<INetFwPolicy2*>(new NetFwPolicy2());
  } else if (clsid == kClsidNetFwRule && (iid == IID_IUnknown || iid == kIidINetFwRule)) {
    *object = static_cast<INetFwRule*>(new NetFwRule());
  } else if (clsid == kClsidNetFwProducts && (iid == IID_IUnknown || iid == kIidINetFwProducts)) {
    *object = new_products();
  } else {
    return E_NOINTERFACE;
  }
  return S_OK;
}

}  // namespace fwsim::detail
