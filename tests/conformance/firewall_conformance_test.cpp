// What the programs stand on in Windows' firewall, one test per fact, each asserting the answer
// fwsim models. The suite talks to the firewall through the programs' platform header: under fwsim
// here (the store is FWSIM_STORE's, as for the programs), and against the real firewall in the
// Windows build, run there as an administrator. Where Windows answers otherwise, the test that
// names the fact fails, and fwsim, and whatever relied on it, must follow Windows. Several facts
// are documented nowhere; docs/ci.md, "What a first Windows run settles", lists them.
//
// Every rule the suite makes is named with a prefix of its own and the process id, and each test
// removes every rule of the names it used when it ends, passed or failed. No other rule is ever
// touched (the one name that cannot carry the prefix, "ALL", is removed only from a rule that
// carries it as its description).
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/com_apartment.h"
#include "platform/com_ptr.h"
#include "platform/owned_bstr.h"
#include "platform/owned_variant.h"
#include "platform/win32.h"
#include "text/utf16.h"

#if defined(ORVANE_WITH_FWSIM)
#include <fwsim/testing.h>
#endif
#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

namespace {

using orvane::WideString;
using orvane::platform::ComApartment;
using orvane::platform::ComPtr;
using orvane::platform::OwnedBstr;
using orvane::platform::OwnedVariant;
using orvane::platform::OwnedVariants;
using orvane::text::text_to_wide;
using orvane::text::wide_to_text;

// Microsoft's INetFwRules::Item documentation: HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND).
constexpr HRESULT kNoSuchRule = static_cast<HRESULT>(0x80070002);
// The lobby's path in a folder of the usual shape.
constexpr const char* kLobby = "C:\\Games\\Orvane\\orvane-lobby.exe";
// The clean-up gives a name up after this many tries.
constexpr int kSweepAttempts = 64;

std::string hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

OwnedBstr bstr(const WideString& text) {
  return OwnedBstr::adopt(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

// The suite's own names begin with this, the process id included, so that two runs never meet.
const WideString& prefix() {
#if defined(_WIN32)
  const int pid = _getpid();
#else
  const int pid = ::getpid();
#endif
  static const WideString value = text_to_wide("orvane-conformance-" + std::to_string(pid) + " ");
  return value;
}

// An application path of exactly `units` UTF-16 units, of the shape the programs ask for.
WideString path_of_length(std::size_t units) {
  const std::string head = "C:\\Games\\";
  const std::string tail = "\\orvane-lobby.exe";
  return text_to_wide(head + std::string(units - head.size() - tail.size(), 'x') + tail);
}

#if defined(_WIN32)
bool running_elevated() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
  const std::unique_ptr<void, decltype(&CloseHandle)> token(raw, &CloseHandle);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  return GetTokenInformation(token.get(), TokenElevation, &elevation,
                             static_cast<DWORD>(sizeof elevation), &size) &&
         elevation.TokenIsElevated != 0;
}
#endif

struct Lookup {
  HRESULT hr;
  ComPtr<INetFwRule> rule;
};

Lookup item(INetFwRules* rules, const WideString& name) {
  Lookup found{S_OK, {}};
  found.hr = rules->Item(bstr(name).get(), found.rule.put());
  return found;
}

// What a look-up finds, for tests of other facts than Item's answer for a missing name (that is
// its own test): "a rule", "no rule" (a failure and a null rule, whatever the code), or the odd
// answer as it was.
std::string finds(INetFwRules* rules, const WideString& name) {
  const Lookup lookup = item(rules, name);
  if (SUCCEEDED(lookup.hr) && lookup.rule) return "a rule";
  if (FAILED(lookup.hr) && !lookup.rule) return "no rule";
  return hex(lookup.hr) + (lookup.rule ? " and a rule" : " and no rule");
}

// A rule collection from a policy object of its own; empty when either call fails.
ComPtr<INetFwRules> open_rules() {
  ComPtr<INetFwPolicy2> policy;
  ComPtr<INetFwRules> rules;
  if (SUCCEEDED(CoCreateInstance(orvane::kClsidNetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER,
                                 orvane::kIidINetFwPolicy2, policy.put_void())) &&
      policy) {
    (void)policy->get_Rules(rules.put());
  }
  return rules;
}

using GetText = HRESULT (STDMETHODCALLTYPE INetFwRule::*)(BSTR*);

WideString text_of(INetFwRule* rule, GetText get) {
  OwnedBstr value;
  EXPECT_EQ(hex((rule->*get)(value.put())), hex(S_OK));
  return WideString(value.view());
}

template <class T>
T number_of(INetFwRule* rule, HRESULT (STDMETHODCALLTYPE INetFwRule::*get)(T*)) {
  T value{};
  EXPECT_EQ(hex((rule->*get)(&value)), hex(S_OK));
  return value;
}

// Checks that a rule reads back what the programs put on it.
void expect_as_added(INetFwRule* rule, const WideString& rule_name, const WideString& application,
                     NET_FW_RULE_DIRECTION direction) {
  EXPECT_EQ(text_of(rule, &INetFwRule::get_Name), rule_name);
  EXPECT_EQ(number_of(rule, &INetFwRule::get_Direction), direction);
  EXPECT_EQ(number_of(rule, &INetFwRule::get_Enabled), VARIANT_TRUE);
  EXPECT_EQ(number_of(rule, &INetFwRule::get_Action), NET_FW_ACTION_ALLOW);
  EXPECT_EQ(text_of(rule, &INetFwRule::get_ApplicationName), application);
  EXPECT_EQ(number_of(rule, &INetFwRule::get_Protocol), LONG{NET_FW_IP_PROTOCOL_UDP});
}

// get__NewEnum's object, asked for IEnumVARIANT; null when either call fails.
ComPtr<IEnumVARIANT> enumerate(INetFwRules* rules) {
  ComPtr<IUnknown> unknown;
  ComPtr<IEnumVARIANT> walker;
  EXPECT_EQ(hex(rules->get__NewEnum(unknown.put())), hex(S_OK));
  if (unknown) {
    EXPECT_EQ(hex(unknown->QueryInterface(orvane::kIidIEnumVARIANT, walker.put_void())), hex(S_OK));
  }
  return walker;
}

// Walks on to the end, one Next at a time. An element that is a VT_DISPATCH whose QueryInterface
// gives INetFwRule is kept as that rule, any other as null. The limit stops a faulty enumerator.
std::vector<ComPtr<INetFwRule>> walk(IEnumVARIANT* walker) {
  std::vector<ComPtr<INetFwRule>> seen;
  while (walker && seen.size() < 1'000'000) {
    OwnedVariants<1> element;
    ULONG fetched = 99;
    if (walker->Next(1, element.put(), &fetched) != S_OK || fetched != 1) break;
    const ComPtr<IDispatch> dispatch = element.take_dispatch(0);
    ComPtr<INetFwRule> rule;
    if (dispatch) (void)dispatch->QueryInterface(orvane::kIidINetFwRule, rule.put_void());
    seen.push_back(std::move(rule));
  }
  return seen;
}

// The names of the walked rules that carry the suite's prefix, in the order walked.
std::vector<WideString> own_names(const std::vector<ComPtr<INetFwRule>>& walked) {
  std::vector<WideString> names;
  for (const auto& rule : walked) {
    if (!rule) continue;
    WideString rule_name = text_of(rule.get(), &INetFwRule::get_Name);
    if (rule_name.starts_with(prefix())) names.push_back(std::move(rule_name));
  }
  return names;
}

// The first walked rule of a name, or null.
INetFwRule* walked_rule(const std::vector<ComPtr<INetFwRule>>& walked, const WideString& wanted) {
  for (const auto& rule : walked) {
    if (rule && text_of(rule.get(), &INetFwRule::get_Name) == wanted) return rule.get();
  }
  return nullptr;
}

class Conformance : public ::testing::Test {
 protected:
  void SetUp() override {
    auto apartment = ComApartment::enter();
    ASSERT_TRUE(apartment) << hex(apartment.error());
    apartment_.emplace(std::move(*apartment));
    rules_ = open_rules();
    ASSERT_TRUE(rules_) << "no rule collection";
  }

  void TearDown() override {
#if defined(ORVANE_WITH_FWSIM)
    fwsim::set_user(fwsim::User::Admin);
#endif
    for (const auto& [used, marked] : used_) sweep(used, marked);
    rules_.reset();
    apartment_.reset();
  }

  // A name of the suite's own, swept when the test ends.
  WideString name(std::string_view suffix) {
    WideString full = prefix() + text_to_wide(suffix);
    used_.emplace_back(full, false);
    return full;
  }

  // A name without the prefix: swept only where the rule's description is the prefix.
  WideString foreign_name(std::string_view text) {
    WideString full = text_to_wide(text);
    used_.emplace_back(full, true);
    return full;
  }

  // A new rule object with the properties the programs put, in their order (no ApplicationName
  // for an empty `application`); the first put that fails ends it, and its answer is `put_result`
  // (or the creation's, when there is no rule).
  struct NewRule {
    ComPtr<INetFwRule> rule;
    HRESULT put_result;
  };
  static NewRule new_rule(const WideString& rule_name, const WideString& application,
                          NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_IN) {
    NewRule made{{}, S_OK};
    HRESULT hr = CoCreateInstance(orvane::kClsidNetFwRule, nullptr, CLSCTX_INPROC_SERVER,
                                  orvane::kIidINetFwRule, made.rule.put_void());
    if (SUCCEEDED(hr) && !made.rule) hr = E_POINTER;
    EXPECT_EQ(hex(hr), hex(S_OK)) << "no rule object";
    if (FAILED(hr)) {
      made.put_result = hr;
      return made;
    }
    INetFwRule* rule = made.rule.get();
    hr = rule->put_Name(bstr(rule_name).get());
    if (SUCCEEDED(hr)) hr = rule->put_Direction(direction);
    if (SUCCEEDED(hr)) hr = rule->put_Enabled(VARIANT_TRUE);
    if (SUCCEEDED(hr)) hr = rule->put_Action(NET_FW_ACTION_ALLOW);
    if (SUCCEEDED(hr) && !application.empty()) {
      hr = rule->put_ApplicationName(bstr(application).get());
    }
    if (SUCCEEDED(hr)) hr = rule->put_Protocol(NET_FW_IP_PROTOCOL_UDP);
    made.put_result = hr;
    return made;
  }

  // Adds a rule of the programs' shape through the test's collection.
  HRESULT add(const WideString& rule_name, const WideString& application,
              NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_IN) {
    NewRule made = new_rule(rule_name, application, direction);
    if (FAILED(made.put_result)) return made.put_result;
    return rules_->Add(made.rule.get());
  }

  // Rules of the suite's own for the lobby, named "Walk <first>", "Walk <first + 1>", ..., added
  // in that order; their names.
  std::vector<WideString> add_walked(std::size_t how_many, std::size_t first = 1) {
    std::vector<WideString> names;
    for (std::size_t i = first; i < first + how_many; ++i) {
      names.push_back(name("Walk " + std::to_string(i)));
      EXPECT_EQ(hex(add(names.back(), text_to_wide(kLobby))), hex(S_OK));
    }
    return names;
  }

  LONG count() {
    LONG n = -1;
    EXPECT_EQ(hex(rules_->get_Count(&n)), hex(S_OK));
    return n;
  }

  std::optional<ComApartment> apartment_;
  ComPtr<INetFwRules> rules_;

 private:
  // Removes every rule of `swept` until a removal takes nothing: the count, read in a new
  // collection each time, stays as it was before the last Remove ("the Remove method has no effect"
  // for a name with no rule). So the sweep rests neither on Item nor on how many rules one Remove
  // takes, nor on whether a collection sees later changes; a call that fails is tried again. A
  // `marked` name is removed only while Item finds a rule of it that carries the prefix as its
  // description.
  static void sweep(const WideString& swept, bool marked) {
    HRESULT last = S_OK;
    LONG before = -1;  // the count before the last removal, or -1
    for (int attempt = 0; attempt < kSweepAttempts; ++attempt) {
      ComPtr<INetFwRules> rules = open_rules();
      LONG now = -1;
      if (!rules || FAILED(last = rules->get_Count(&now))) continue;
      if (now == before) return;
      before = -1;
      if (marked) {
        const Lookup found = item(rules.get(), swept);
        if (FAILED(found.hr) || !found.rule ||
            text_of(found.rule.get(), &INetFwRule::get_Description) != prefix()) {
          return;
        }
      }
      if (SUCCEEDED(last = rules->Remove(bstr(swept).get()))) before = now;
    }
    ADD_FAILURE() << "rules named \"" << wide_to_text(swept)
                  << "\" may be left in the firewall; the last call answered " << hex(last);
  }

  std::vector<std::pair<WideString, bool>> used_;
};

// A parameterised case's name: its label.
struct ByLabel {
  template <class Param>
  std::string operator()(const ::testing::TestParamInfo<Param>& param) const {
    return param.param.label;
  }
};

// ----- Looking a name up ------------------------------------------------------------------------

TEST_F(Conformance, ItemOfANameWithNoRuleAnswers0x80070002AndANullRule) {
  static char marker;
  INetFwRule* const untouched = reinterpret_cast<INetFwRule*>(&marker);
  INetFwRule* found = untouched;
  const HRESULT hr = rules_->Item(bstr(name("Missing")).get(), &found);
  ASSERT_NE(found, untouched) << "Item left its out-pointer as it was";
  const ComPtr<INetFwRule> owner = ComPtr<INetFwRule>::adopt(found);
  EXPECT_EQ(hex(hr), hex(kNoSuchRule));
  EXPECT_EQ(found, nullptr);
}

// fwsim compares names exactly; Microsoft does not document how Windows compares them.
TEST_F(Conformance, ItemFindsANameOnlyInTheLetterCaseItWasAddedIn) {
  const WideString added = name("Letter Case");
  ASSERT_EQ(hex(add(added, text_to_wide("C:\\Games\\Orvane\\orvane-lobby.exe"))), hex(S_OK));
  ASSERT_EQ(finds(rules_.get(), added), "a rule");
  std::string upper = wide_to_text(added);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  EXPECT_EQ(finds(rules_.get(), text_to_wide(upper)), "no rule");
}

// ----- A rule as the programs make it -----------------------------------------------------------

TEST_F(Conformance, ARuleOfTheProgramsShapeReadsBackAsPutAndTheRestAsDefaults) {
  const WideString rule_name = name("Shape");
  const WideString application =
      text_to_wide("C:\\Games\\Orvane\\emulator\\halvic-orvane\\halvic.exe");
  ASSERT_EQ(hex(add(rule_name, application, NET_FW_RULE_DIR_OUT)), hex(S_OK));
  const Lookup found = item(rules_.get(), rule_name);
  ASSERT_EQ(hex(found.hr), hex(S_OK));
  ASSERT_TRUE(found.rule);
  INetFwRule* rule = found.rule.get();
  expect_as_added(rule, rule_name, application, NET_FW_RULE_DIR_OUT);

  // Never put. A null BSTR and an empty one are the same text to COM, and to the programs.
  EXPECT_EQ(number_of(rule, &INetFwRule::get_Profiles), LONG{0x7FFFFFFF});  // NET_FW_PROFILE2_ALL
  EXPECT_EQ(number_of(rule, &INetFwRule::get_EdgeTraversal), VARIANT_FALSE);
  const struct {
    const char* property;
    GetText get;
    const char* value;
  } texts[] = {
      {"LocalPorts", &INetFwRule::get_LocalPorts, ""},
      {"RemotePorts", &INetFwRule::get_RemotePorts, ""},
      {"LocalAddresses", &INetFwRule::get_LocalAddresses, "*"},
      {"RemoteAddresses", &INetFwRule::get_RemoteAddresses, "*"},
      {"InterfaceTypes", &INetFwRule::get_InterfaceTypes, "All"},
      {"Grouping", &INetFwRule::get_Grouping, ""},
      {"Description", &INetFwRule::get_Description, ""},
      {"ServiceName", &INetFwRule::get_ServiceName, ""},
  };
  for (const auto& t : texts) {
    EXPECT_EQ(wide_to_text(text_of(rule, t.get)), t.value) << t.property;
  }
  OwnedVariant interfaces;
  EXPECT_EQ(hex(rule->get_Interfaces(interfaces.put())), hex(S_OK));
  EXPECT_EQ(V_VT(&interfaces.get()), VT_EMPTY) << "Interfaces";
}

// ----- Names are not unique ---------------------------------------------------------------------

TEST_F(Conformance, ASecondRuleOfANameIsAddedAndTheCountGrowsByOne) {
  const WideString twice = name("Twice");
  ASSERT_EQ(hex(add(twice, text_to_wide("C:\\Games\\Orvane\\orvane-lobby.exe"))), hex(S_OK));
  const LONG before = count();
  EXPECT_EQ(hex(add(twice, text_to_wide("D:\\Orvane\\orvane-lobby.exe"))), hex(S_OK));
  EXPECT_EQ(count(), before + 1);
}

// Microsoft does not document whether Remove takes one rule of a name or every one; fwsim takes
// the first. Which one stayed is written to the test's properties (--gtest_output=xml).
TEST_F(Conformance, RemoveTakesOneOfTwoRulesOfANameAndTheOtherIsStillFound) {
  const WideString twice = name("Remove One");
  ASSERT_EQ(hex(add(twice, text_to_wide("C:\\Games\\Orvane\\orvane-lobby.exe"))), hex(S_OK));
  ASSERT_EQ(hex(add(twice, text_to_wide("D:\\Orvane\\orvane-lobby.exe"))), hex(S_OK));
  const LONG before = count();
  EXPECT_EQ(hex(rules_->Remove(bstr(twice).get())), hex(S_OK));
  EXPECT_EQ(count(), before - 1);
  const Lookup left = item(rules_.get(), twice);
  ASSERT_EQ(hex(left.hr), hex(S_OK)) << "no rule of the name is left";
  ASSERT_TRUE(left.rule);
  RecordProperty("remaining_application",
                 wide_to_text(text_of(left.rule.get(), &INetFwRule::get_ApplicationName)));
}

// "The Remove method has no effect" (Microsoft's INetFwRules::Remove documentation).
TEST_F(Conformance, RemoveOfANameWithNoRuleAnswersS_OKAndChangesNothing) {
  const LONG before = count();
  EXPECT_EQ(hex(rules_->Remove(bstr(name("Never Added")).get())), hex(S_OK));
  EXPECT_EQ(count(), before);
}

// The remover looks a name up again after each removal through one collection: were a collection a
// snapshot, it would never see its removals and would stop at its limit on every run.
TEST_F(Conformance, OneCollectionAndAnotherPolicysCollectionSeeAnAddAndARemove) {
  const ComPtr<INetFwRules> second = open_rules();
  ASSERT_TRUE(second);
  const WideString seen = name("Seen");
  ASSERT_EQ(hex(add(seen, text_to_wide("C:\\Games\\Orvane\\orvane-lobby.exe"))), hex(S_OK));
  EXPECT_EQ(finds(rules_.get(), seen), "a rule") << "the same collection, after Add";
  EXPECT_EQ(finds(second.get(), seen), "a rule") << "the second collection, after Add";
  ASSERT_EQ(hex(rules_->Remove(bstr(seen).get())), hex(S_OK));
  EXPECT_EQ(finds(rules_.get(), seen), "no rule") << "the same collection, after Remove";
  EXPECT_EQ(finds(second.get(), seen), "no rule") << "the second collection, after Remove";
}

// ----- Walking the rules -----------------------------------------------------------------------
// The check reads every rule through get__NewEnum. A real firewall holds hundreds of other rules:
// these tests look for the suite's own among them.

// IEnumVARIANT::Next gives VARIANTs; Microsoft's firewall samples walk the rules with For Each and
// use each element as a rule object, which fwsim gives as a VT_DISPATCH. Microsoft documents no
// order; fwsim walks in store order, the order of Add.
TEST_F(Conformance, AWalkGivesEveryRuleOnceAsAnINetFwRuleTheSuitesAsAddedAndInOrder) {
  const std::vector<WideString> added = add_walked(3);
  const auto walked = walk(enumerate(rules_.get()).get());
  for (std::size_t i = 0; i < walked.size(); ++i) {
    EXPECT_TRUE(walked[i]) << "element " << i << " is no VT_DISPATCH that gives INetFwRule";
  }
  EXPECT_EQ(static_cast<LONG>(walked.size()), count());
  EXPECT_EQ(own_names(walked), added);
  for (const WideString& n : added) {
    if (INetFwRule* rule = walked_rule(walked, n)) {
      expect_as_added(rule, n, text_to_wide(kLobby), NET_FW_RULE_DIR_IN);
    }
  }
}

// As IEnumVARIANT's documentation has them: Next and Skip answer S_FALSE when fewer than asked
// for were left (Next with the count it gave); Clone copies the position, then moves on its own.
TEST_F(Conformance, NextSkipResetAndCloneAnswerAsDocumented) {
  add_walked(5);
  const auto total = static_cast<ULONG>(count());
  const ComPtr<IEnumVARIANT> walker = enumerate(rules_.get());
  ASSERT_TRUE(walker);
  const auto next3 = [](IEnumVARIANT* from) {
    OwnedVariants<3> batch;
    ULONG fetched = 99;
    const HRESULT hr = from->Next(3, batch.put(), &fetched);
    return hex(hr) + " " + std::to_string(fetched);
  };
  EXPECT_EQ(next3(walker.get()), "0x00000000 3") << "Next(3) at the start";
  EXPECT_EQ(hex(walker->Skip(total - 5)), hex(S_OK)) << "Skip to two before the end";
  ComPtr<IEnumVARIANT> clone;
  ASSERT_EQ(hex(walker->Clone(clone.put())), hex(S_OK));
  ASSERT_TRUE(clone);
  EXPECT_EQ(hex(walker->Skip(2)), hex(S_OK)) << "Skip(2) with two left, after Clone";
  EXPECT_EQ(hex(walker->Skip(1)), hex(S_FALSE)) << "Skip(1) at the end";
  EXPECT_EQ(next3(walker.get()), "0x00000001 0") << "Next(3) after Skip past the end";
  EXPECT_EQ(next3(clone.get()), "0x00000001 2") << "Next(3) of the clone, with two left";
  EXPECT_EQ(hex(walker->Reset()), hex(S_OK));
  EXPECT_EQ(static_cast<ULONG>(walk(walker.get()).size()), total) << "a walk after Reset";
}

// Microsoft does not document whether a walk sees a later Add; fwsim walks the rules as they stood
// when the enumerator was made.
TEST_F(Conformance, AWalkSeesTheRulesAsTheyStoodWhenItsEnumeratorWasMade) {
  const std::vector<WideString> before = add_walked(1);
  const ComPtr<IEnumVARIANT> walker = enumerate(rules_.get());
  const std::vector<WideString> after = add_walked(1, 2);
  EXPECT_EQ(own_names(walk(walker.get())), before);
  EXPECT_EQ(own_names(walk(enumerate(rules_.get()).get())),
            (std::vector<WideString>{before[0], after[0]}))
      << "a new enumerator";
}

// Microsoft's INetFwRule::get_ApplicationName: the text is optional. The check compares it with
// the programs' paths, so a rule for every program must read as no path: fwsim gives a null BSTR,
// which COM takes as the empty text.
TEST_F(Conformance, ARuleAddedWithoutAnApplicationReadsANullApplicationName) {
  const WideString rule_name = name("No Application");
  ASSERT_EQ(hex(add(rule_name, WideString())), hex(S_OK));
  const auto walked = walk(enumerate(rules_.get()).get());
  INetFwRule* rule = walked_rule(walked, rule_name);
  ASSERT_TRUE(rule);
  OwnedBstr application;
  ASSERT_EQ(hex(rule->get_ApplicationName(application.put())), hex(S_OK));
  EXPECT_EQ(application.get(), nullptr);
}

// ----- Changing a rule -------------------------------------------------------------------------
// The repair changes rules through the objects a walk or Item gives; each fact is read back
// through another policy object's collection. Microsoft's reference says none of them.

TEST_F(Conformance, APutOnAnEnumeratedRuleChangesTheFirewallAtOnce) {
  const WideString rule_name = add_walked(1).front();
  const auto walked = walk(enumerate(rules_.get()).get());
  INetFwRule* rule = walked_rule(walked, rule_name);
  ASSERT_TRUE(rule);
  ASSERT_EQ(hex(rule->put_Enabled(VARIANT_FALSE)), hex(S_OK));
  const Lookup fresh = item(open_rules().get(), rule_name);
  ASSERT_TRUE(fresh.rule);
  EXPECT_EQ(number_of(fresh.rule.get(), &INetFwRule::get_Enabled), VARIANT_FALSE);
}

// Not documented: the repair gives a rule a name of its own before it removes that name.
TEST_F(Conformance, PutNameRenamesTheRule) {
  const WideString from = name("Rename From"), to = name("Rename To");
  ASSERT_EQ(hex(add(from, text_to_wide(kLobby))), hex(S_OK));
  const Lookup found = item(rules_.get(), from);
  ASSERT_TRUE(found.rule);
  ASSERT_EQ(hex(found.rule->put_Name(bstr(to).get())), hex(S_OK));
  EXPECT_EQ(finds(open_rules().get(), from), "no rule");
  EXPECT_EQ(finds(open_rules().get(), to), "a rule");
}

// Not documented; fwsim answers what Item answers for a name with no rule, and adds nothing.
TEST_F(Conformance, APutOnARemovedRuleAnswers0x80070002) {
  const WideString gone = name("Removed");
  ASSERT_EQ(hex(add(gone, text_to_wide(kLobby))), hex(S_OK));
  const Lookup found = item(rules_.get(), gone);
  ASSERT_TRUE(found.rule);
  ASSERT_EQ(hex(rules_->Remove(bstr(gone).get())), hex(S_OK));
  EXPECT_EQ(hex(found.rule->put_Enabled(VARIANT_FALSE)), hex(kNoSuchRule));
  EXPECT_EQ(finds(open_rules().get(), gone), "no rule");
}

// ----- The firewall's checks --------------------------------------------------------------------

// Each rule the firewall refuses that the programs can meet (MS-FASP 2.2.37; see fwsim's
// firewall_rule_checks.cpp). The INetFwRule remarks say a rule is checked as its properties change,
// so the refusal may come at the put or at Add: either passes. fwsim refuses at Add. Where the
// refusal came is written to the test's properties.
struct Refusal {
  const char* label;
  const char* name;     // after the prefix, or null for
  const char* foreign;  // a name without it
  WideString application;
};

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.label; }

class RefusedRule : public Conformance, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusedRule, IsRefusedWithE_INVALIDARGAndNothingIsStored) {
  const Refusal& r = GetParam();
  const WideString rule_name = r.name ? name(r.name) : foreign_name(r.foreign);
  const LONG before = count();
  NewRule made = new_rule(rule_name, r.application);
  ASSERT_TRUE(made.rule);
  HRESULT hr = made.put_result;
  // A rule without the prefix carries it as its description, so that the sweep knows it.
  if (SUCCEEDED(hr) && !r.name) hr = made.rule->put_Description(bstr(prefix()).get());
  const char* where = "put";
  if (SUCCEEDED(hr)) {
    where = "Add";
    hr = rules_->Add(made.rule.get());
  }
  RecordProperty("refused_at", where);
  EXPECT_EQ(hex(hr), hex(E_INVALIDARG)) << "at " << where;
  EXPECT_EQ(finds(rules_.get(), rule_name), "no rule");
  EXPECT_EQ(count(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Conformance, RefusedRule,
    ::testing::Values(Refusal{"QuestionMarkInThePath", "Question Mark", nullptr,
                              text_to_wide("\\\\?\\C:\\Games\\Orvane\\orvane-lobby.exe")},
                      Refusal{"PathOf260Units", "Path 260", nullptr, path_of_length(260)},
                      Refusal{"BarInTheName", "Bar|Name", nullptr,
                              text_to_wide("C:\\Games\\Orvane\\orvane-lobby.exe")},
                      Refusal{"NameAll", nullptr, "ALL",
                              text_to_wide("C:\\Games\\Orvane\\orvane-lobby.exe")}),
    ByLabel());

// Paths the programs may ask for that the firewall takes, and keeps exactly as given.
struct Accepted {
  const char* label;
  WideString application;
};

void PrintTo(const Accepted& accepted, std::ostream* out) { *out << accepted.label; }

class AcceptedPath : public Conformance, public ::testing::WithParamInterface<Accepted> {};

TEST_P(AcceptedPath, IsAddedAndReadsBackExactly) {
  const WideString rule_name = name(GetParam().label);
  ASSERT_EQ(hex(add(rule_name, GetParam().application)), hex(S_OK));
  const Lookup found = item(rules_.get(), rule_name);
  ASSERT_EQ(hex(found.hr), hex(S_OK));
  ASSERT_TRUE(found.rule);
  EXPECT_EQ(text_of(found.rule.get(), &INetFwRule::get_ApplicationName), GetParam().application);
}

INSTANTIATE_TEST_SUITE_P(
    Conformance, AcceptedPath,
    ::testing::Values(Accepted{"PathOf259Units", path_of_length(259)},
                      Accepted{"PathOnAShare",
                               text_to_wide("\\\\srv\\share\\Orvane\\orvane-lobby.exe")},
                      Accepted{"PathWithNonAsciiFolder",
                               text_to_wide("C:\\Spiele Orvané 游戏\\orvane-lobby.exe")}),
    ByLabel());

// ----- Rights -----------------------------------------------------------------------------------

// Windows answers a standard user's Add with E_ACCESSDENIED and no error information of the
// firewall's own. Under fwsim the user is switched; on Windows the test runs only unelevated.
TEST_F(Conformance, AStandardUserMayLookButNotAddOrRemove) {
#if defined(ORVANE_WITH_FWSIM)
  fwsim::set_user(fwsim::User::Standard);
#elif defined(_WIN32)
  if (running_elevated()) GTEST_SKIP() << "runs only without administrator rights";
#endif
  const WideString rule_name = name("Standard User");
  const LONG before = count();
  EXPECT_EQ(hex(add(rule_name, text_to_wide("C:\\Games\\Orvane\\orvane-lobby.exe"))),
            hex(E_ACCESSDENIED));
  EXPECT_EQ(finds(rules_.get(), rule_name), "no rule");
  EXPECT_EQ(hex(rules_->Remove(bstr(rule_name).get())), hex(E_ACCESSDENIED));
  EXPECT_EQ(count(), before);
}

// The check reads the policy's state as whoever runs it: so may a standard user, every profile's.
TEST_F(Conformance, AStandardUserMayReadThePolicysStateForEachProfile) {
#if defined(ORVANE_WITH_FWSIM)
  fwsim::set_user(fwsim::User::Standard);
#elif defined(_WIN32)
  if (running_elevated()) GTEST_SKIP() << "runs only without administrator rights";
#endif
  ComPtr<INetFwPolicy2> policy;
  ASSERT_EQ(hex(CoCreateInstance(orvane::kClsidNetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER,
                                 orvane::kIidINetFwPolicy2, policy.put_void())),
            hex(S_OK));
  LONG current = 0;
  NET_FW_MODIFY_STATE modify{};
  EXPECT_EQ(hex(policy->get_CurrentProfileTypes(&current)), hex(S_OK));
  EXPECT_EQ(hex(policy->get_LocalPolicyModifyState(&modify)), hex(S_OK));
  for (const auto profile :
       {NET_FW_PROFILE2_DOMAIN, NET_FW_PROFILE2_PRIVATE, NET_FW_PROFILE2_PUBLIC}) {
    VARIANT_BOOL flag = 0;
    NET_FW_ACTION action{};
    EXPECT_EQ(hex(policy->get_FirewallEnabled(profile, &flag)), hex(S_OK)) << profile;
    EXPECT_EQ(hex(policy->get_BlockAllInboundTraffic(profile, &flag)), hex(S_OK)) << profile;
    EXPECT_EQ(hex(policy->get_DefaultInboundAction(profile, &action)), hex(S_OK)) << profile;
    EXPECT_EQ(hex(policy->get_DefaultOutboundAction(profile, &action)), hex(S_OK)) << profile;
  }
}

// The profile argument is documented as one profile; what others answer is not documented.
TEST_F(Conformance, AProfileArgumentThatIsNotOneProfileAnswersE_INVALIDARG) {
  ComPtr<INetFwPolicy2> policy;
  ASSERT_EQ(hex(CoCreateInstance(orvane::kClsidNetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER,
                                 orvane::kIidINetFwPolicy2, policy.put_void())),
            hex(S_OK));
  for (const LONG profile : {0, 3, 8}) {
    VARIANT_BOOL flag = 0;
    const auto bad = static_cast<NET_FW_PROFILE_TYPE2>(profile);
    EXPECT_EQ(hex(policy->get_FirewallEnabled(bad, &flag)), hex(E_INVALIDARG)) << profile;
  }
}

// A standard user may read the registered products, their categories an array of VT_I4, and Item
// past the last answers E_INVALIDARG. None of it is documented.
TEST_F(Conformance, AStandardUserMayReadTheRegisteredFirewallProducts) {
#if defined(ORVANE_WITH_FWSIM)
  ASSERT_TRUE(fwsim::set_products("Contoso Shield=2,3"));
  fwsim::set_user(fwsim::User::Standard);
#elif defined(_WIN32)
  if (running_elevated()) GTEST_SKIP() << "runs only without administrator rights";
#endif
  ComPtr<INetFwProducts> products;
  ASSERT_EQ(hex(CoCreateInstance(orvane::kClsidNetFwProducts, nullptr, CLSCTX_INPROC_SERVER,
                                 orvane::kIidINetFwProducts, products.put_void())),
            hex(S_OK));
  LONG n = -1;
  ASSERT_EQ(hex(products->get_Count(&n)), hex(S_OK));
  for (LONG i = 0; i < n; ++i) {
    ComPtr<INetFwProduct> product;
    ASSERT_EQ(hex(products->Item(i, product.put())), hex(S_OK)) << i;
    OwnedVariant categories;
    EXPECT_EQ(hex(product->get_DisplayName(OwnedBstr().put())), hex(S_OK)) << i;
    ASSERT_EQ(hex(product->get_RuleCategories(categories.put())), hex(S_OK)) << i;
    ASSERT_EQ(V_VT(&categories.get()), VT_ARRAY | VT_VARIANT) << i;
    const SAFEARRAY* array = V_ARRAY(&categories.get());
    for (ULONG e = 0; e < array->rgsabound[0].cElements; ++e)
      EXPECT_EQ(V_VT(&static_cast<const VARIANT*>(array->pvData)[e]), VT_I4) << i << " " << e;
  }
  ComPtr<INetFwProduct> past;
  EXPECT_EQ(hex(products->Item(n, past.put())) + (past ? " and a product" : ""), hex(E_INVALIDARG));
}

// Reading rules needs no administrator rights, so a player may run the check: a standard user may
// walk the rules and read every property the check reads.
TEST_F(Conformance, AStandardUserMayWalkTheRulesAndReadEachProperty) {
#if defined(ORVANE_WITH_FWSIM)
  add_walked(1);
  fwsim::set_user(fwsim::User::Standard);
#elif defined(_WIN32)
  if (running_elevated()) GTEST_SKIP() << "runs only without administrator rights";
#endif
  const auto walked = walk(enumerate(rules_.get()).get());
  ASSERT_FALSE(walked.empty());
  EXPECT_EQ(static_cast<LONG>(walked.size()), count());
  const char* const properties[] = {"Name",    "ApplicationName", "Protocol", "Direction",
                                    "Enabled", "Profiles",        "Action"};
  for (const auto& rule : walked) {
    ASSERT_TRUE(rule);
    LONG protocol = 0, profiles = 0;
    NET_FW_RULE_DIRECTION direction{};
    VARIANT_BOOL enabled = 0;
    NET_FW_ACTION action{};
    const HRESULT answers[] = {
        rule->get_Name(OwnedBstr().put()), rule->get_ApplicationName(OwnedBstr().put()),
        rule->get_Protocol(&protocol),     rule->get_Direction(&direction),
        rule->get_Enabled(&enabled),       rule->get_Profiles(&profiles),
        rule->get_Action(&action)};
    for (std::size_t i = 0; i < std::size(answers); ++i) {
      EXPECT_EQ(hex(answers[i]), hex(S_OK)) << properties[i];
    }
  }
}

}  // namespace
