// The vtable slot of every COM method the program calls, as the Windows headers it is built with
// lay the interfaces out, against the numbers in Microsoft's SDK headers (netfw.h, oaidl.h,
// restrictederrorinfo.h), counting IUnknown's three and IDispatch's four methods first. A header
// that ever moved a method would make the program call another one on a user's machine; here it
// fails the build's tests instead.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <utility>

#include "platform/win32.h"

namespace {

// An object whose vtable's every slot answers with its own number: calling a method through an
// interface pointer to it tells which slot the header's declaration uses. On x64 every method
// has the same calling convention and the caller cleans up, so one signature serves every slot.
constexpr std::size_t kSlots = 64;

template <std::size_t I>
HRESULT STDMETHODCALLTYPE answer(void*) {
  return static_cast<HRESULT>(I);
}

template <std::size_t... I>
std::array<void*, kSlots> make_vtable(std::index_sequence<I...>) {
  return {reinterpret_cast<void*>(&answer<I>)...};
}

struct SlotObject {
  const void* const* vtable;
};

template <class Interface>
Interface* slot_object() {
  static const std::array<void*, kSlots> vtable = make_vtable(std::make_index_sequence<kSlots>());
  static SlotObject object{vtable.data()};
  return reinterpret_cast<Interface*>(&object);
}

TEST(VtableSlots, EveryMethodTheProgramCallsIsWhereTheSdkPutsIt) {
  auto* unknown = slot_object<IUnknown>();
  auto* policy = slot_object<INetFwPolicy2>();
  auto* rules = slot_object<INetFwRules>();
  auto* rule = slot_object<INetFwRule>();
  auto* error_info = slot_object<IErrorInfo>();
  auto* restricted = slot_object<IRestrictedErrorInfo>();
  auto* walk = slot_object<IEnumVARIANT>();
  auto* products = slot_object<INetFwProducts>();
  auto* product = slot_object<INetFwProduct>();
  const auto profile = NET_FW_PROFILE2_PRIVATE;
  const BSTR text = nullptr;
  VARIANT value{};
  const struct {
    const char* method;
    HRESULT slot;
    HRESULT called;
  } cases[] = {
      {"IUnknown::QueryInterface", 0, unknown->QueryInterface(IID_IUnknown, nullptr)},
      {"IUnknown::Release", 2, static_cast<HRESULT>(unknown->Release())},
      {"INetFwPolicy2::get_CurrentProfileTypes", 7, policy->get_CurrentProfileTypes(nullptr)},
      {"INetFwPolicy2::get_FirewallEnabled", 8, policy->get_FirewallEnabled(profile, nullptr)},
      {"INetFwPolicy2::get_BlockAllInboundTraffic", 12,
       policy->get_BlockAllInboundTraffic(profile, nullptr)},
      {"INetFwPolicy2::get_Rules", 18, policy->get_Rules(nullptr)},
      {"INetFwPolicy2::get_DefaultInboundAction", 23,
       policy->get_DefaultInboundAction(profile, nullptr)},
      {"INetFwPolicy2::get_DefaultOutboundAction", 25,
       policy->get_DefaultOutboundAction(profile, nullptr)},
      {"INetFwPolicy2::get_LocalPolicyModifyState", 28,
       policy->get_LocalPolicyModifyState(nullptr)},
      {"INetFwProducts::get_Count", 7, products->get_Count(nullptr)},
      {"INetFwProducts::Item", 9, products->Item(0, nullptr)},
      {"INetFwProducts::get__NewEnum", 10, products->get__NewEnum(nullptr)},
      {"INetFwProduct::get_RuleCategories", 7, product->get_RuleCategories(nullptr)},
      {"INetFwProduct::get_DisplayName", 9, product->get_DisplayName(nullptr)},
      {"INetFwProduct::get_PathToSignedProductExe", 11,
       product->get_PathToSignedProductExe(nullptr)},
      {"INetFwRules::Add", 8, rules->Add(nullptr)},
      {"INetFwRules::Remove", 9, rules->Remove(text)},
      {"INetFwRules::Item", 10, rules->Item(text, nullptr)},
      {"INetFwRules::get__NewEnum", 11, rules->get__NewEnum(nullptr)},
      {"INetFwRule::get_Name", 7, rule->get_Name(nullptr)},
      {"INetFwRule::get_ApplicationName", 11, rule->get_ApplicationName(nullptr)},
      {"INetFwRule::get_Protocol", 15, rule->get_Protocol(nullptr)},
      {"INetFwRule::get_ServiceName", 13, rule->get_ServiceName(nullptr)},
      {"INetFwRule::get_LocalPorts", 17, rule->get_LocalPorts(nullptr)},
      {"INetFwRule::get_RemotePorts", 19, rule->get_RemotePorts(nullptr)},
      {"INetFwRule::get_LocalAddresses", 21, rule->get_LocalAddresses(nullptr)},
      {"INetFwRule::get_RemoteAddresses", 23, rule->get_RemoteAddresses(nullptr)},
      {"INetFwRule::get_Direction", 27, rule->get_Direction(nullptr)},
      {"INetFwRule::get_Interfaces", 29, rule->get_Interfaces(nullptr)},
      {"INetFwRule::get_InterfaceTypes", 31, rule->get_InterfaceTypes(nullptr)},
      {"INetFwRule::get_Enabled", 33, rule->get_Enabled(nullptr)},
      {"INetFwRule::get_Profiles", 37, rule->get_Profiles(nullptr)},
      {"INetFwRule::get_Action", 41, rule->get_Action(nullptr)},
      {"IEnumVARIANT::Next", 3, walk->Next(0, nullptr, nullptr)},
      {"IEnumVARIANT::Skip", 4, walk->Skip(0)},
      {"IEnumVARIANT::Reset", 5, walk->Reset()},
      {"IEnumVARIANT::Clone", 6, walk->Clone(nullptr)},
      {"INetFwRule::put_Name", 8, rule->put_Name(text)},
      {"INetFwRule::put_Description", 10, rule->put_Description(text)},
      {"INetFwRule::put_ApplicationName", 12, rule->put_ApplicationName(text)},
      {"INetFwRule::put_ServiceName", 14, rule->put_ServiceName(text)},
      {"INetFwRule::put_Protocol", 16, rule->put_Protocol(17)},
      {"INetFwRule::put_LocalPorts", 18, rule->put_LocalPorts(text)},
      {"INetFwRule::put_RemotePorts", 20, rule->put_RemotePorts(text)},
      {"INetFwRule::put_LocalAddresses", 22, rule->put_LocalAddresses(text)},
      {"INetFwRule::put_RemoteAddresses", 24, rule->put_RemoteAddresses(text)},
      {"INetFwRule::put_IcmpTypesAndCodes", 26, rule->put_IcmpTypesAndCodes(text)},
      {"INetFwRule::put_Direction", 28, rule->put_Direction(NET_FW_RULE_DIR_IN)},
      {"INetFwRule::put_Interfaces", 30, rule->put_Interfaces(value)},
      {"INetFwRule::put_InterfaceTypes", 32, rule->put_InterfaceTypes(text)},
      {"INetFwRule::put_Enabled", 34, rule->put_Enabled(VARIANT_TRUE)},
      {"INetFwRule::put_Grouping", 36, rule->put_Grouping(text)},
      {"INetFwRule::put_Profiles", 38, rule->put_Profiles(NET_FW_PROFILE2_ALL)},
      {"INetFwRule::put_EdgeTraversal", 40, rule->put_EdgeTraversal(VARIANT_FALSE)},
      {"INetFwRule::put_Action", 42, rule->put_Action(NET_FW_ACTION_ALLOW)},
      {"IErrorInfo::GetDescription", 5, error_info->GetDescription(nullptr)},
      {"IRestrictedErrorInfo::GetErrorDetails", 3,
       restricted->GetErrorDetails(nullptr, nullptr, nullptr, nullptr)},
  };
  for (const auto& c : cases) EXPECT_EQ(c.called, c.slot) << c.method;
}

}  // namespace
