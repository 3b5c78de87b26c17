// fwsim's firewall objects: the rule property bag, the rule collection and the store behind it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fwsim/testing.h>
#include <fwsim/win32.h>

#include "support/sim_test.h"

namespace {

using fwsim::kClsidNetFwPolicy2;
using fwsim::kClsidNetFwRule;
using fwsim::kIidINetFwPolicy2;
using fwsim::kIidINetFwRule;
constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80070002);

// One reference, released when the test lets go of it.
template <class T>
class Ref {
 public:
  Ref() = default;
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { reset(); }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T** put() {
    reset();
    return &p_;
  }
  void reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }

 private:
  T* p_ = nullptr;
};

class Bstr {
 public:
  explicit Bstr(std::u16string_view text)
      : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  Bstr() = default;
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(b_); }
  BSTR get() const { return b_; }
  BSTR* put() {
    SysFreeString(std::exchange(b_, nullptr));
    return &b_;
  }
  std::u16string text() const { return std::u16string(b_, SysStringLen(b_)); }

 private:
  BSTR b_ = nullptr;
};

std::u16string error_description() {
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || info == nullptr) return u"<none>";
  Bstr description;
  info->GetDescription(description.put());
  info->Release();
  return description.text();
}

class FirewallTest : public orvane::testing::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    ASSERT_EQ(CoCreateInstance(kClsidNetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER, kIidINetFwPolicy2,
                               reinterpret_cast<void**>(policy_.put())),
              S_OK);
  }
  void TearDown() override {
    policy_.reset();
    CoUninitialize();
    // Every object, string and array the firewall handed out has been given back.
    EXPECT_EQ(fwsim::balance(), fwsim::Balance{});
    SimTest::TearDown();
  }

  void new_rule(Ref<INetFwRule>& rule) {
    ASSERT_EQ(CoCreateInstance(kClsidNetFwRule, nullptr, CLSCTX_INPROC_SERVER, kIidINetFwRule,
                               reinterpret_cast<void**>(rule.put())),
              S_OK);
  }
  void rules(Ref<INetFwRules>& out) { ASSERT_EQ(policy_->get_Rules(out.put()), S_OK); }
  // A rule from Item, or (at `place` 0 or more) from the enumerator.
  void stored_rule(INetFwRules* all, std::u16string_view name, int place, Ref<INetFwRule>& out) {
    if (place < 0) {
      ASSERT_EQ(all->Item(Bstr(name).get(), out.put()), S_OK);
      return;
    }
    Ref<IUnknown> object;
    Ref<IEnumVARIANT> walk;
    ASSERT_EQ(all->get__NewEnum(object.put()), S_OK);
    ASSERT_EQ(object->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(walk.put())), S_OK);
    VARIANT element{};
    ASSERT_EQ(walk->Skip(static_cast<ULONG>(place)), S_OK);
    ASSERT_EQ(walk->Next(1, &element, nullptr), S_OK);
    V_DISPATCH(&element)->QueryInterface(kIidINetFwRule, reinterpret_cast<void**>(out.put()));
    VariantClear(&element);
  }
  HRESULT add_named(std::u16string_view name) {
    Ref<INetFwRule> rule;
    new_rule(rule);
    Bstr text(name);
    rule->put_Name(text.get());
    Ref<INetFwRules> all;
    rules(all);
    return all->Add(rule.get());
  }
  std::string store_text() const {
    std::ifstream in(store(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void write_store(const std::string& text) const {
    // Like any writer of the store: a new file renamed over the old one.
    std::filesystem::path temp = store().string() + ".test";
    std::ofstream(temp, std::ios::binary) << text;
    std::filesystem::rename(temp, store());
  }

  Ref<INetFwPolicy2> policy_;
};

TEST_F(FirewallTest, NewRuleReadsBackWindowsDefaults) {
  Ref<INetFwRule> rule;
  new_rule(rule);
  LONG number = -5;
  NET_FW_RULE_DIRECTION direction{};
  NET_FW_ACTION action{};
  VARIANT_BOOL flag = 7;
  EXPECT_EQ(rule->get_Protocol(&number), S_OK);
  EXPECT_EQ(number, 256);
  EXPECT_EQ(rule->get_Profiles(&number), S_OK);
  EXPECT_EQ(number, 0x7FFFFFFF);
  EXPECT_EQ(rule->get_Direction(&direction), S_OK);
  EXPECT_EQ(direction, NET_FW_RULE_DIR_IN);
  EXPECT_EQ(rule->get_Action(&action), S_OK);
  EXPECT_EQ(action, NET_FW_ACTION_ALLOW);
  EXPECT_EQ(rule->get_Enabled(&flag), S_OK);
  EXPECT_EQ(flag, VARIANT_FALSE);
  flag = 7;
  EXPECT_EQ(rule->get_EdgeTraversal(&flag), S_OK);
  EXPECT_EQ(flag, VARIANT_FALSE);

  using Getter = HRESULT (INetFwRule::*)(BSTR*);
  const std::vector<std::pair<Getter, const char16_t*>> texts = {
      {&INetFwRule::get_InterfaceTypes, u"All"}, {&INetFwRule::get_LocalAddresses, u"*"},
      {&INetFwRule::get_RemoteAddresses, u"*"},  {&INetFwRule::get_Name, nullptr},
      {&INetFwRule::get_Description, nullptr},   {&INetFwRule::get_ApplicationName, nullptr},
      {&INetFwRule::get_ServiceName, nullptr},   {&INetFwRule::get_LocalPorts, nullptr},
      {&INetFwRule::get_RemotePorts, nullptr},   {&INetFwRule::get_IcmpTypesAndCodes, nullptr},
      {&INetFwRule::get_Grouping, nullptr}};
  for (const auto& [getter, expected] : texts) {
    Bstr value;
    EXPECT_EQ((rule.get()->*getter)(value.put()), S_OK);
    if (expected == nullptr) {
      EXPECT_EQ(value.get(), nullptr);
    } else {
      EXPECT_EQ(value.text(), expected);
    }
  }
  VARIANT interfaces;
  interfaces.vt = VT_BSTR;
  EXPECT_EQ(rule->get_Interfaces(&interfaces), S_OK);
  EXPECT_EQ(interfaces.vt, VT_EMPTY);
  EXPECT_EQ(fwsim::call_log().back(), "INetFwRule::get_Interfaces NetFwRule#1 -> 0x00000000 empty");
}

TEST_F(FirewallTest, RuleKeepsFirstPutOrderAndReplacesInPlace) {
  Ref<INetFwRule> rule;
  new_rule(rule);
  Bstr first(u"first"), second(u"Orvane Lobby In"), path(u"Z:\\games\\orvane\\orvane-lobby.exe");
  ASSERT_EQ(rule->put_Protocol(17), S_OK);
  ASSERT_EQ(rule->put_Name(first.get()), S_OK);
  ASSERT_EQ(rule->put_Enabled(VARIANT_TRUE), S_OK);
  ASSERT_EQ(rule->put_Description(nullptr), S_OK);
  ASSERT_EQ(rule->put_Name(second.get()), S_OK);
  ASSERT_EQ(rule->put_ApplicationName(path.get()), S_OK);
  Bstr name, description;
  EXPECT_EQ(rule->get_Name(name.put()), S_OK);
  EXPECT_EQ(name.text(), u"Orvane Lobby In");
  // A null BSTR is put as the empty text, which then reads back as a string.
  EXPECT_EQ(rule->get_Description(description.put()), S_OK);
  ASSERT_NE(description.get(), nullptr);
  EXPECT_EQ(description.text(), u"");

  Ref<INetFwRules> all;
  rules(all);
  ASSERT_EQ(all->Add(rule.get()), S_OK);
  EXPECT_EQ(store_text(),
            "Protocol=17 Name=\"Orvane Lobby In\" Enabled=-1 Description=\"\" "
            "ApplicationName=\"Z:\\\\games\\\\orvane\\\\orvane-lobby.exe\"\n");
}

struct PortsCase {
  std::optional<LONG> protocol;
  const char16_t* ports;
  HRESULT expected;
};

TEST_F(FirewallTest, PortsNeedTcpOrUdpAsTheProtocolFirst) {
  const std::vector<PortsCase> cases = {
      {std::nullopt, u"80", E_INVALIDARG}, {std::nullopt, u"", S_OK}, {1, u"80", E_INVALIDARG},
      {256, u"80", E_INVALIDARG},          {6, u"80", S_OK},          {17, u"5000-5010", S_OK},
  };
  for (const PortsCase& c : cases) {
    for (auto put : {&INetFwRule::put_LocalPorts, &INetFwRule::put_RemotePorts}) {
      Ref<INetFwRule> rule;
      new_rule(rule);
      if (c.protocol) {
        ASSERT_EQ(rule->put_Protocol(*c.protocol), S_OK);
      }
      Bstr ports(c.ports);
      EXPECT_EQ((rule.get()->*put)(ports.get()), c.expected);
      Bstr local, remote;
      rule->get_LocalPorts(local.put());
      rule->get_RemotePorts(remote.put());
      // A refused put leaves nothing behind.
      EXPECT_EQ(local.get() != nullptr || remote.get() != nullptr, SUCCEEDED(c.expected));
    }
  }
}

TEST_F(FirewallTest, InterfacesAreKeptAsACopyAndReadBackAsOne) {
  Ref<INetFwRule> rule;
  new_rule(rule);
  VARIANT names{};
  names.vt = VT_ARRAY | VT_VARIANT;
  names.parray = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  for (LONG i = 0; i < 2; ++i) {
    Bstr name(i == 0 ? u"eth0" : u"wlan0");
    VARIANT element{};
    element.vt = VT_BSTR;
    element.bstrVal = name.get();
    ASSERT_EQ(SafeArrayPutElement(names.parray, &i, &element), S_OK);
  }
  ASSERT_EQ(rule->put_Interfaces(names), S_OK);
  EXPECT_EQ(fwsim::call_log().back(),
            "INetFwRule::put_Interfaces NetFwRule#1 [\"eth0\",\"wlan0\"] -> 0x00000000");
  ASSERT_EQ(VariantClear(&names), S_OK);  // the rule does not lean on the caller's array

  VARIANT back{};
  ASSERT_EQ(rule->get_Interfaces(&back), S_OK);
  ASSERT_EQ(back.vt, VT_ARRAY | VT_VARIANT);
  ASSERT_EQ(back.parray->rgsabound[0].cElements, 2u);
  const auto* elements = static_cast<const VARIANT*>(back.parray->pvData);
  EXPECT_EQ(std::u16string(elements[1].bstrVal, SysStringLen(elements[1].bstrVal)), u"wlan0");
  ASSERT_EQ(VariantClear(&back), S_OK);

  VARIANT wrong{};
  wrong.vt = VT_I4;
  EXPECT_EQ(rule->put_Interfaces(wrong), E_INVALIDARG);
  VARIANT none{};
  EXPECT_EQ(rule->put_Interfaces(none), S_OK);
  Bstr name(u"x");
  rule->put_Name(name.get());
  Ref<INetFwRules> all;
  rules(all);
  ASSERT_EQ(all->Add(rule.get()), S_OK);
  EXPECT_EQ(store_text(), "Interfaces=empty Name=\"x\"\n");
}

TEST_F(FirewallTest, AddRefusesNamesWindowsRefuses) {
  for (const char16_t* name : {u"", u"a|b", u"|", u"all", u"ALL", u"aLl"}) {
    EXPECT_EQ(add_named(name), E_INVALIDARG) << fwsim::call_log().back();
  }
  Ref<INetFwRule> unnamed;
  new_rule(unnamed);
  Ref<INetFwRules> all;
  rules(all);
  EXPECT_EQ(all->Add(unnamed.get()), E_INVALIDARG);
  EXPECT_FALSE(std::filesystem::exists(store()));
  for (const char16_t* name : {u"all ", u"alle", u" all", u"Orvane Lobby In"}) {
    EXPECT_EQ(add_named(name), S_OK);
  }
  LONG count = 0;
  EXPECT_EQ(all->get_Count(&count), S_OK);
  EXPECT_EQ(count, 4);
}

TEST_F(FirewallTest, ItemFindsTheFirstRuleOfANameAndStandsForIt) {
  write_store(
      "# two rules of one name\n"
      "Name=\"dup\" Direction=2 LocalAddresses=\"10.0.0.1\"\n"
      "Name=\"other\"\n"
      "Name=\"dup\" Direction=1\n");
  Ref<INetFwRules> all;
  rules(all);
  Bstr dup(u"dup");
  Ref<INetFwRule> found, again;
  ASSERT_EQ(all->Item(dup.get(), found.put()), S_OK);
  ASSERT_EQ(all->Item(dup.get(), again.put()), S_OK);
  ASSERT_NE(found.get(), again.get());
  NET_FW_RULE_DIRECTION direction{};
  ASSERT_EQ(found->get_Direction(&direction), S_OK);
  EXPECT_EQ(direction, NET_FW_RULE_DIR_OUT);
  // A put through one object is stored at once and read through the other; the name is found anew.
  Bstr renamed(u"renamed");
  ASSERT_EQ(found->put_Name(renamed.get()), S_OK);
  Bstr name;
  ASSERT_EQ(again->get_Name(name.put()), S_OK);
  EXPECT_EQ(name.text(), u"renamed");
  EXPECT_TRUE(store_text().starts_with("# two rules of one name\nName=\"renamed\" Direction=2"));
  ASSERT_EQ(all->Item(dup.get(), again.put()), S_OK);
  ASSERT_EQ(again->get_Direction(&direction), S_OK);
  EXPECT_EQ(direction, NET_FW_RULE_DIR_IN);
  // Added again, it is a copy with its properties in their stored order.
  ASSERT_EQ(all->Add(found.get()), S_OK);
  EXPECT_TRUE(store_text().ends_with("Name=\"renamed\" Direction=2 LocalAddresses=\"10.0.0.1\"\n"));
  LONG count = 0;
  ASSERT_EQ(all->get_Count(&count), S_OK);
  EXPECT_EQ(count, 4);
}

// A put on a rule from Item or the enumerator changes its line at once, in place or at its end, or
// is refused as the firewall refuses it: the store byte-identical, no error information.
TEST_F(FirewallTest, APutOnAStoredRuleChangesItsLineAtOnceOrNothing) {
  const std::string kStore = "#\nName=\"a\" Direction=2\nName=\"b\" Protocol=6\nName=\"c\"\n";
  const auto enable = [](INetFwRule* r) { return r->put_Enabled(VARIANT_TRUE); };
  const struct {
    const char16_t* rule;
    int place;                // in the enumerator's walk, or -1: from Item
    const char16_t* removed;  // after the object was got, or null
    bool standard;            // a standard user's put
    std::function<HRESULT(INetFwRule*)> put;
    HRESULT hr;
    const char* after;  // null: as before
  } cases[] = {
      {u"b", -1, nullptr, false, enable, S_OK,
       "#\nName=\"a\" Direction=2\nName=\"b\" Protocol=6 Enabled=-1\nName=\"c\"\n"},
      {u"c", 2, u"a", false, [](INetFwRule* r) { return r->put_Name(Bstr(u"d").get()); }, S_OK,
       "#\nName=\"b\" Protocol=6\nName=\"d\"\n"},
      {u"a", -1, nullptr, false, [](INetFwRule* r) { return r->put_EdgeTraversal(VARIANT_TRUE); },
       E_INVALIDARG, nullptr},
      {u"c", 2, nullptr, false, [](INetFwRule* r) { return r->put_LocalPorts(Bstr(u"80").get()); },
       E_INVALIDARG, nullptr},
      {u"b", 1, nullptr, true, enable, E_ACCESSDENIED, nullptr},
      {u"b", -1, u"b", false, enable, kNotFound, "#\nName=\"a\" Direction=2\nName=\"c\"\n"},
  };
  for (const auto& c : cases) {
    write_store(kStore);
    Ref<INetFwRules> all;
    rules(all);
    Ref<INetFwRule> rule;
    stored_rule(all.get(), c.rule, c.place, rule);
    ASSERT_EQ(c.removed ? all->Remove(Bstr(c.removed).get()) : S_OK, S_OK);
    const std::string before = store_text();
    fwsim::set_user(c.standard ? fwsim::User::Standard : fwsim::User::Admin);
    EXPECT_EQ(c.put(rule.get()), c.hr) << fwsim::call_log().back();
    fwsim::set_user(fwsim::User::Admin);
    EXPECT_EQ(store_text(), c.after ? c.after : before) << fwsim::call_log().back();
    EXPECT_EQ(fwsim::balance().errorinfo, 0);
  }
}

TEST_F(FirewallTest, RemoveTakesTheFirstRuleOfANameAndAStandardUserChangesNothing) {
  write_store("Name=\"dup\" Direction=2\nName=\"other\"\nName=\"dup\" Direction=1\n");
  Ref<INetFwRules> all;
  rules(all);
  Bstr dup(u"dup"), missing(u"missing");
  ASSERT_TRUE(fwsim::add_faults("INetFwRules::get_Count#1=0x80070005|desc=stale"));
  LONG count = 0;
  ASSERT_EQ(all->get_Count(&count), E_ACCESSDENIED);
  // A standard user may look but not change: Add and Remove are denied, with no error information.
  fwsim::set_user(fwsim::User::Standard);
  EXPECT_EQ(all->Remove(dup.get()), E_ACCESSDENIED);
  EXPECT_EQ(fwsim::balance().errorinfo, 0);
  EXPECT_EQ(add_named(u"new"), E_ACCESSDENIED);
  Ref<INetFwRule> found;
  EXPECT_EQ(all->Item(dup.get(), found.put()), S_OK);
  found.reset();
  fwsim::set_user(fwsim::User::Admin);
  const std::string before = store_text();
  EXPECT_EQ(all->Remove(missing.get()), S_OK);  // "the Remove method has no effect"
  EXPECT_EQ(store_text(), before);
  EXPECT_EQ(all->Remove(dup.get()), S_OK);
  EXPECT_EQ(store_text(), "Name=\"other\"\nName=\"dup\" Direction=1\n");
  EXPECT_EQ(fwsim::call_log().back(), "INetFwRules::Remove NetFwRules#1 \"dup\" -> 0x00000000");
  ASSERT_TRUE(fwsim::add_faults("INetFwRules::Remove#4=0x80070005"));
  EXPECT_EQ(all->Remove(dup.get()), E_ACCESSDENIED);
  EXPECT_EQ(all->Remove(dup.get()), S_OK);
  EXPECT_EQ(store_text(), "Name=\"other\"\n");
}

TEST_F(FirewallTest, ItemOfAMissingNameGivesNotFoundAndNoErrorInfo) {
  ASSERT_EQ(add_named(u"Orvane Lobby In"), S_OK);
  ASSERT_TRUE(fwsim::add_faults("INetFwRules::get_Count#1=0x80070005|desc=stale"));
  Ref<INetFwRules> all;
  rules(all);
  LONG count = 0;
  ASSERT_EQ(all->get_Count(&count), E_ACCESSDENIED);
  ASSERT_EQ(fwsim::balance().errorinfo, 1);
  // Names compare exactly.
  for (const char16_t* name : {u"orvane lobby in", u"Orvane Lobby In ", u"Orvane"}) {
    Bstr text(name);
    Ref<INetFwRule> found;
    EXPECT_EQ(all->Item(text.get(), found.put()), kNotFound);
    EXPECT_EQ(found.get(), nullptr);
  }
  EXPECT_EQ(fwsim::balance().errorinfo, 0);
  const std::vector<std::string> log = fwsim::call_log();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "INetFwRules::Item NetFwRules#1 \"Orvane\" -> 0x80070002 null"),
            log.end());
}

TEST_F(FirewallTest, ItemSeesRulesAnotherWriterAdded) {
  ASSERT_EQ(add_named(u"mine"), S_OK);
  Ref<INetFwRules> all;
  rules(all);
  Bstr mine(u"mine"), theirs(u"theirs");
  Ref<INetFwRule> found;
  ASSERT_EQ(all->Item(mine.get(), found.put()), S_OK);
  // A rule whose line the other writer left as it was is still the one the object stands for.
  write_store("Name=\"theirs\"\n" + store_text());
  EXPECT_EQ(found->put_Enabled(VARIANT_TRUE), S_OK);
  EXPECT_EQ(store_text(), "Name=\"theirs\"\nName=\"mine\" Enabled=-1\n");
  write_store("Name=\"theirs\"\nName=\"third\"\n");
  EXPECT_EQ(all->Item(theirs.get(), found.put()), S_OK);
  EXPECT_EQ(all->Item(mine.get(), found.put()), kNotFound);
  LONG count = 0;
  ASSERT_EQ(all->get_Count(&count), S_OK);
  EXPECT_EQ(count, 2);
}

TEST_F(FirewallTest, DamagedStoreFailsEveryCallAndIsNeverOverwritten) {
  Ref<INetFwRules> all;
  rules(all);
  Ref<INetFwRule> rule;
  new_rule(rule);
  Bstr name(u"x");
  rule->put_Name(name.get());
  const std::string damaged = "Name=\"good\"\nName=\"bad\" Colour=3\n";
  write_store(damaged);

  Ref<INetFwRules> more;
  EXPECT_EQ(policy_->get_Rules(more.put()), E_FAIL);
  EXPECT_EQ(more.get(), nullptr);
  const std::u16string description = error_description();
  EXPECT_NE(description.find(u"line 2"), std::u16string::npos) << fwsim::call_log().back();
  EXPECT_NE(description.find(u"Colour"), std::u16string::npos);
  Ref<INetFwRule> found;
  EXPECT_EQ(all->Item(name.get(), found.put()), E_FAIL);
  EXPECT_EQ(found.get(), nullptr);
  EXPECT_EQ(all->Add(rule.get()), E_FAIL);
  LONG count = 9;
  EXPECT_EQ(all->get_Count(&count), E_FAIL);
  EXPECT_EQ(fwsim::balance().errorinfo, 1);
  EXPECT_NE(error_description(), u"<none>");
  EXPECT_EQ(store_text(), damaged);
}

TEST_F(FirewallTest, FaultsSkipTheEffectAndLeaveTheirErrorInfo) {
  ASSERT_TRUE(fwsim::add_faults("INetFwRule::put_Name#1=0x80070005|desc=no rights"));
  ASSERT_TRUE(fwsim::add_faults("INetFwPolicy2::get_Rules#1=null"));
  Ref<INetFwRule> rule;
  new_rule(rule);
  Bstr name(u"x");
  EXPECT_EQ(rule->put_Name(name.get()), E_ACCESSDENIED);
  EXPECT_EQ(error_description(), u"no rights");
  Bstr back;
  ASSERT_EQ(rule->get_Name(back.put()), S_OK);
  EXPECT_EQ(back.get(), nullptr);
  Ref<INetFwRules> all;
  EXPECT_EQ(policy_->get_Rules(all.put()), S_OK);
  EXPECT_EQ(all.get(), nullptr);
  EXPECT_EQ(fwsim::balance().objects, 2);
}

TEST_F(FirewallTest, ReferencesAreCountedAndTraced) {
  Ref<INetFwRules> all, again;
  rules(all);
  rules(again);  // the same collection, as Windows gives it
  EXPECT_EQ(again.get(), all.get());
  again.reset();
  policy_.reset();  // the collection does not lean on the policy
  LONG count = -1;
  EXPECT_EQ(all->get_Count(&count), S_OK);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(all->AddRef(), 2u);
  IUnknown* unknown = nullptr;
  EXPECT_EQ(all->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(unknown, static_cast<IUnknown*>(all.get()));
  EXPECT_EQ(all->QueryInterface(kIidINetFwRule, reinterpret_cast<void**>(&unknown)), E_NOINTERFACE);
  EXPECT_EQ(unknown, nullptr);
  EXPECT_EQ(all->Release(), 2u);
  EXPECT_EQ(all->Release(), 1u);
  all.reset();
  EXPECT_EQ(fwsim::call_log(),
            (std::vector<std::string>{
                "CoInitializeEx null 2 -> 0x00000000",
                "CoCreateInstance NetFwPolicy2 null 1 INetFwPolicy2 -> 0x00000000 NetFwPolicy2#1",
                "INetFwPolicy2::get_Rules NetFwPolicy2#1 -> 0x00000000 NetFwRules#1",
                "INetFwPolicy2::get_Rules NetFwPolicy2#1 -> 0x00000000 NetFwRules#1",
                "IUnknown::Release NetFwRules#1 -> 1",
                "IUnknown::Release NetFwPolicy2#1 -> 0",
                "INetFwRules::get_Count NetFwRules#1 -> 0x00000000 0",
                "IUnknown::AddRef NetFwRules#1 -> 2",
                "IUnknown::QueryInterface NetFwRules#1 IUnknown -> 0x00000000 NetFwRules#1",
                "IUnknown::QueryInterface NetFwRules#1 INetFwRule -> 0x80004002 null",
                "IUnknown::Release NetFwRules#1 -> 2",
                "IUnknown::Release NetFwRules#1 -> 1",
                "IUnknown::Release NetFwRules#1 -> 0",
            }));
  EXPECT_EQ(fwsim::balance().objects, 0);
}

TEST_F(FirewallTest, TraceShowsPutsAndGetsWithTheirValues) {
  Ref<INetFwRule> rule;
  new_rule(rule);
  Bstr name(u"Orvane \"Lobby\" In");
  LONG protocol = 0;
  VARIANT_BOOL enabled = 0;
  rule->put_Name(name.get());
  rule->put_Direction(NET_FW_RULE_DIR_OUT);
  rule->put_Enabled(VARIANT_TRUE);
  rule->put_ApplicationName(nullptr);
  rule->get_Protocol(&protocol);
  rule->get_Enabled(&enabled);
  Ref<INetFwRules> all;
  rules(all);
  all->Add(rule.get());
  const std::vector<std::string> log = fwsim::call_log();
  const std::vector<std::string> tail(log.end() - 8, log.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "INetFwRule::put_Name NetFwRule#1 \"Orvane \\\"Lobby\\\" In\" -> 0x00000000",
                      "INetFwRule::put_Direction NetFwRule#1 2 -> 0x00000000",
                      "INetFwRule::put_Enabled NetFwRule#1 -1 -> 0x00000000",
                      "INetFwRule::put_ApplicationName NetFwRule#1 null -> 0x00000000",
                      "INetFwRule::get_Protocol NetFwRule#1 -> 0x00000000 256",
                      "INetFwRule::get_Enabled NetFwRule#1 -> 0x00000000 -1",
                      "INetFwPolicy2::get_Rules NetFwPolicy2#1 -> 0x00000000 NetFwRules#1",
                      "INetFwRules::Add NetFwRules#1 NetFwRule#1 -> 0x00000000",
                  }));
}

// The policy's state on one line: the current profiles, the modify state, then each profile's four
// gets; a failed get as its HRESULT and the value it left (`0x80070057=0`).
std::string policy_reads(INetFwPolicy2* policy, std::initializer_list<LONG> profiles) {
  std::string line;
  // `value` is read after the get has run.
  const auto show = [&](HRESULT hr, const auto& value, char after) {
    line += (hr == S_OK ? "" : fwsim::hresult_text(hr) + "=") +
            std::to_string(static_cast<LONG>(value)) + after;
  };
  LONG current = -9;
  auto modify = static_cast<NET_FW_MODIFY_STATE>(3);  // no answer, yet a value of the type
  show(policy->get_CurrentProfileTypes(&current), current, ' ');
  show(policy->get_LocalPolicyModifyState(&modify), modify, ' ');
  for (const LONG p : profiles) {
    const auto profile = static_cast<NET_FW_PROFILE_TYPE2>(p);
    VARIANT_BOOL enabled = 7, block = 7;
    NET_FW_ACTION in = NET_FW_ACTION_MAX, out = NET_FW_ACTION_MAX;
    show(policy->get_FirewallEnabled(profile, &enabled), enabled, ',');
    show(policy->get_BlockAllInboundTraffic(profile, &block), block, ',');
    show(policy->get_DefaultInboundAction(profile, &in), in, ',');
    show(policy->get_DefaultOutboundAction(profile, &out), out, ' ');
  }
  line.pop_back();
  return line;
}

// FWSIM_POLICY over the defaults, the modify state derived unless set, read by a standard user;
// a profile argument that is not exactly one profile is refused and its value cleared.
TEST_F(FirewallTest, PolicyStateFollowsTheControlForEachProfile) {
  const struct {
    std::string_view control, reads;  // domain, private, public
  } cases[] = {
      {"", "2 0 -1,0,0,1 -1,0,0,1 -1,0,0,1"},
      {"BlockAllInboundTraffic.Public=-1", "2 0 -1,0,0,1 -1,0,0,1 -1,-1,0,1"},
      {"CurrentProfileTypes=5;BlockAllInboundTraffic.Public=-1;;",
       "5 2 -1,0,0,1 -1,0,0,1 -1,-1,0,1"},
      {"BlockAllInboundTraffic.Private=-1;LocalPolicyModifyState=1",
       "2 1 -1,0,0,1 -1,-1,0,1 -1,0,0,1"},
      {"FirewallEnabled.Domain=0;DefaultInboundAction.Public=1;DefaultOutboundAction.Private=0",
       "2 0 0,0,0,1 -1,0,0,0 -1,0,1,1"},
  };
  fwsim::set_user(fwsim::User::Standard);
  for (const auto& c : cases) {
    ASSERT_TRUE(fwsim::set_policy(c.control));
    EXPECT_EQ(policy_reads(policy_.get(), {1, 2, 4}), c.reads) << c.control;
  }
  const std::string refused = "0x80070057=0,0x80070057=0,0x80070057=0,0x80070057=0";
  EXPECT_EQ(policy_reads(policy_.get(), {0, 3, 8, 0x7FFFFFFF}),
            "2 0 " + refused + " " + refused + " " + refused + " " + refused);
  EXPECT_EQ(fwsim::call_log().back(),
            "INetFwPolicy2::get_DefaultOutboundAction NetFwPolicy2#1 2147483647 -> 0x80070057");
  ASSERT_TRUE(fwsim::add_faults("INetFwPolicy2::get_CurrentProfileTypes=0x80070005|desc=off"));
  EXPECT_EQ(policy_reads(policy_.get(), {}), "0x80070005=0 0");
  EXPECT_EQ(error_description(), u"off");
}

// A product as its gets answer it: its name, its categories and the path of its program.
std::string product_reads(INetFwProduct* product) {
  Bstr name, path;
  VARIANT categories{};
  const HRESULT answers[] = {product->get_DisplayName(name.put()),
                             product->get_RuleCategories(&categories),
                             product->get_PathToSignedProductExe(path.put())};
  std::string line;
  for (const HRESULT hr : answers) line += fwsim::hresult_text(hr) + " ";
  line += fwsim::text_form(name.text()) + " [";
  const bool array = V_VT(&categories) == (VT_ARRAY | VT_VARIANT);
  for (ULONG e = 0; array && e < V_ARRAY(&categories)->rgsabound[0].cElements; ++e) {
    const VARIANT& element = static_cast<const VARIANT*>(V_ARRAY(&categories)->pvData)[e];
    line += (V_VT(&element) == VT_I4 ? "" : "vt?") + std::to_string(V_I4(&element)) + ",";
  }
  EXPECT_EQ(VariantClear(&categories), S_OK);
  return line + "] " + fwsim::text_form(path.text());
}

// The products of FWSIM_PRODUCTS, in order, by Item and by a walk, for a standard user too.
TEST_F(FirewallTest, ProductsGiveTheControlsNamesAndCategories) {
  const std::string_view expected[] = {
      "0x00000000 0x00000000 0x00000000 \"Contoso; Shield\" [2,0,] \"\"",
      "0x00000000 0x00000000 0x00000000 \"Other\" [] \"\"",
      "0x00000000 0x00000000 0x00000000 \"Fab=Wall|\u00e9\" [3,] \"\""};
  fwsim::set_user(fwsim::User::Standard);
  Ref<INetFwProducts> products;
  LONG count = -1;
  INetFwProduct* none = reinterpret_cast<INetFwProduct*>(&count);
  for (const auto& [control, n] :
       {std::pair("", 0), std::pair("Contoso\\; Shield=2,0;Other=;Fab=Wall\\|\\u{e9}=3", 3)}) {
    ASSERT_TRUE(fwsim::set_products(control));
    ASSERT_EQ(CoCreateInstance(fwsim::kClsidNetFwProducts, nullptr, CLSCTX_INPROC_SERVER,
                               fwsim::kIidINetFwProducts, reinterpret_cast<void**>(products.put())),
              S_OK);
    EXPECT_EQ(products->get_Count(&count), S_OK);
    EXPECT_EQ(count, n);
    EXPECT_EQ(products->Item(count, &none), E_INVALIDARG);  // no product, or past the last
    EXPECT_EQ(none, nullptr);
  }
  Ref<IUnknown> object;
  Ref<IEnumVARIANT> walk;
  ASSERT_EQ(products->get__NewEnum(object.put()), S_OK);
  ASSERT_EQ(object->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(walk.put())), S_OK);
  VARIANT walked[4] = {};
  ULONG fetched = 0;
  EXPECT_EQ(walk->Next(4, walked, &fetched), S_FALSE);
  EXPECT_EQ(fwsim::call_log().back(),
            "IEnumVARIANT::Next NetFwProductsEnum#1 4 -> 0x00000001 3 "
            "NetFwProduct#1,NetFwProduct#2,NetFwProduct#3");
  ASSERT_EQ(fetched, 3u);
  for (LONG i = 0; i < 3; ++i) {
    Ref<INetFwProduct> product, same;
    ASSERT_EQ(products->Item(i, product.put()), S_OK);
    ASSERT_EQ(V_DISPATCH(&walked[i])
                  ->QueryInterface(fwsim::kIidINetFwProduct, reinterpret_cast<void**>(same.put())),
              S_OK);
    EXPECT_EQ(product_reads(product.get()), expected[i]);
    EXPECT_EQ(product_reads(same.get()), expected[i]);
    EXPECT_EQ(VariantClear(&walked[i]), S_OK);
  }
}

}  // namespace

// IEnumVARIANT as Microsoft documents it, over the rules as they stood when get__NewEnum was
// called, for a standard user too: S_OK when Next filled or Skip passed all it was asked for,
// S_FALSE when fewer were left; Reset starts again; Clone goes on from the same place on its own.
TEST_F(FirewallTest, EnumeratorWalksTheRulesAsTheyStoodInStoreOrder) {
  write_store("Name=\"a\"\nName=\"b\"\n# c\nName=\"c\"\nName=\"d\"\nName=\"a\" Direction=2\n");
  fwsim::set_user(fwsim::User::Standard);
  Ref<INetFwRules> all;
  rules(all);
  Ref<IUnknown> object;
  ASSERT_EQ(all->get__NewEnum(object.put()), S_OK);
  Ref<IEnumVARIANT> walk, clone;
  ASSERT_EQ(object->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(walk.put())), S_OK);
  write_store("Name=\"later\"\n");  // not seen by a walk already begun
  const struct {
    char op;  // Next, Skip, Reset, Clone (and walk the clone), Walk the original again
    ULONG n;
    HRESULT hr;
    std::vector<std::u16string> names;
  } steps[] = {
      {'N', 2, S_OK, {u"a", u"b"}}, {'S', 1, S_OK, {}},
      {'C', 0, S_OK, {}},           {'N', 4, S_FALSE, {u"d", u"a"}},
      {'N', 1, S_FALSE, {}},        {'S', 1, S_FALSE, {}},
      {'N', 1, S_FALSE, {}},        {'S', 7, S_FALSE, {}},
      {'N', 1, S_FALSE, {}},  // a Skip past the end stays there
      {'R', 0, S_OK, {}},           {'S', 4, S_OK, {}},
      {'N', 1, S_OK, {u"a"}},       {'W', 0, S_OK, {}},
      {'N', 2, S_OK, {u"d", u"a"}},
  };
  IEnumVARIANT* current = walk.get();
  for (const auto& step : steps) {
    VARIANT elements[4] = {};
    ULONG fetched = 99;
    HRESULT hr = S_OK;
    if (step.op == 'N') hr = current->Next(step.n, elements, step.n == 1 ? nullptr : &fetched);
    if (step.op == 'S') hr = current->Skip(step.n);
    if (step.op == 'R') hr = current->Reset();
    if (step.op == 'C') hr = current->Clone(clone.put());
    current = step.op == 'C' ? clone.get() : step.op == 'W' ? walk.get() : current;
    EXPECT_EQ(hr, step.hr) << step.op << step.n;
    EXPECT_EQ(fetched, step.op == 'N' && step.n != 1 ? step.names.size() : 99) << step.op;
    for (std::size_t i = 0; i < step.names.size(); ++i) {
      ASSERT_EQ(V_VT(&elements[i]), VT_DISPATCH);
      Ref<INetFwRule> rule;
      ASSERT_EQ(V_DISPATCH(&elements[i])
                    ->QueryInterface(kIidINetFwRule, reinterpret_cast<void**>(rule.put())),
                S_OK);
      Bstr name;
      EXPECT_EQ(rule->get_Name(name.put()), S_OK);
      EXPECT_EQ(name.text(), step.names[i]) << step.op << step.n << " " << i;
      EXPECT_EQ(VariantClear(&elements[i]), S_OK);
    }
  }
  VARIANT elements[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(walk->Next(2, elements, nullptr), E_INVALIDARG);  // only celt 1 may omit the count
  ASSERT_TRUE(fwsim::add_faults("IEnumVARIANT::Next=0x80070005|desc=stopped"));
  ASSERT_EQ(walk->Reset(), S_OK);
  EXPECT_EQ(walk->Next(2, elements, &fetched), E_ACCESSDENIED);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(error_description(), u"stopped");
  const std::vector<std::string> log = fwsim::call_log();
  for (const char* line :
       {"INetFwRules::get__NewEnum NetFwRules#1 -> 0x00000000 NetFwRulesEnum#1",
        "IEnumVARIANT::Next NetFwRulesEnum#1 2 -> 0x00000000 2 NetFwRule#1,NetFwRule#2",
        "IEnumVARIANT::Clone NetFwRulesEnum#1 -> 0x00000000 NetFwRulesEnum#2"}) {
    EXPECT_NE(std::ranges::find(log, line), log.end()) << line;
  }
}
