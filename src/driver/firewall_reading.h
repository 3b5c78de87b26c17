#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <iterator>
#include <string_view>
#include <vector>

#include "driver/install_paths.h"
#include "driver/orvane_rules.h"
#include "firewall/firewall_error.h"
#include "firewall/policy_state.h"
#include "firewall/rule_collection.h"
#include "firewall/rule_properties.h"
#include "platform/com_ptr.h"
#include "report/source_location.h"

namespace orvane::driver {

// What orvane-firewall-check reads of the firewall.
struct ReadRule {
  WideString application;  // as the rule gives it
  bool right_program;      // it names the program of its name, as the firewall reads the path
  firewall::RuleSettings settings;
  firewall::RuleConditions conditions;
};
struct NameReading {
  std::vector<ReadRule> rules;  // the rules of exactly this name, in the collection's order
};
// An enabled block rule, for UDP or every protocol, of another name, that names one of the three
// programs (after expanding its environment variables, letter case aside) or no program and no
// service at all, in any direction and profile.
struct BlockRule {
  firewall::RuleIdentity identity;
  firewall::RuleSettings settings;
  firewall::RuleConditions conditions;
  bool every_program;  // it names no program: it blocks all of them
};
struct FirewallReading {
  std::array<NameReading, std::size(kOrvaneRules)> names;  // in kOrvaneRules' order
  std::vector<BlockRule> blocks;                           // in the collection's order
  firewall::PolicyState policy;
  std::vector<WideString> other_firewalls;  // registered products owning the firewall category
};

// Where each step of the reading is reported when it fails.
struct ReadingStep {
  std::string_view message;
  report::SourceLocation site;
};
struct ReadingSites {
  ReadingStep open;
  report::SourceLocation look_up;  // with each rule's look_up_failure
  ReadingStep walk;
  ReadingStep policy;
  ReadingStep products;
};
struct ReadingFailure {
  firewall::FirewallError error;
  std::string_view message;
  report::SourceLocation site;
};

// The live rule objects behind a reading, for changing the rules themselves: each of the six
// names' rules and each block rule, in the reading's order. Release them before the collection.
struct LiveRules {
  std::array<std::vector<platform::ComPtr<INetFwRule>>, std::size(kOrvaneRules)> named;
  std::vector<platform::ComPtr<INetFwRule>> blocks;
};

// Reads everything the check judges through `collection`, keeping the rules' objects in `live`
// unless it is null. The same reading as the other overload's, but for opening the collection.
std::expected<FirewallReading, ReadingFailure> read_firewall(
    const firewall::RuleCollection& collection, const ApplicationPaths& paths,
    const ReadingSites& sites, LiveRules* live);

// Reads everything the check judges, in one apartment: each of the six names looked up (only
// 0x80070002 means missing), every rule walked once, the policy's state of the current network,
// and the registered firewall products. Only the name and program of a rule that concerns none of
// that are read. A name that the look-up found but the walk did not (the firewall changed in
// between, or its look-up compares names another way) is judged by the rule the look-up gave.
std::expected<FirewallReading, ReadingFailure> read_firewall(const ApplicationPaths& paths,
                                                             const ReadingSites& sites);

// Whether the failure is the firewall service not answering: RPC_S_SERVER_UNAVAILABLE
// (0x800706BA) or EPT_S_NOT_REGISTERED (0x800706D9), as the policy and its collection answer when
// the service is stopped.
bool firewall_service_down(const firewall::FirewallError& error);

}  // namespace orvane::driver
