#include "driver/firewall_reading.h"

#include <algorithm>
#include <utility>

#include "firewall/bstr_conversion.h"
#include "firewall/firewall_products.h"
#include "firewall/program_path.h"
#include "firewall/rule_enumeration.h"
#include "text/upper_case.h"
#include "text/utf16.h"

namespace orvane::driver {
namespace {

using Applications = std::array<WideString, 3>;
using PerName = std::array<WideString, std::size(kOrvaneRules)>;
using Found = std::array<platform::ComPtr<INetFwRule>, std::size(kOrvaneRules)>;

// Windows' firewall matches a rule's program without letter case, as Windows compares paths.
bool names_one_of(WideView program, const Applications& applications) {
  return std::ranges::any_of(applications, [&](const WideString& path) {
    return text::equal_ignoring_case(program, path);
  });
}

bool stops_traffic(const firewall::RuleSettings& settings) {
  return settings.enabled && settings.action == NET_FW_ACTION_BLOCK &&
         (settings.protocol == NET_FW_IP_PROTOCOL_UDP ||
          settings.protocol == NET_FW_IP_PROTOCOL_ANY);
}

// A rule of one of the six names, as it stands.
std::expected<ReadRule, firewall::FirewallError> read_named(INetFwRule* rule,
                                                            const firewall::RuleIdentity& identity,
                                                            const WideString& path,
                                                            WideString& program) {
  auto expanded = firewall::expand_program_path(identity.application, program);
  if (!expanded) return std::unexpected(std::move(expanded.error()));
  const bool right_program = text::equal_ignoring_case(*expanded, path);
  auto settings = firewall::read_settings(rule);
  if (!settings) return std::unexpected(std::move(settings.error()));
  auto conditions = firewall::read_conditions(rule);
  if (!conditions) return std::unexpected(std::move(conditions.error()));
  return ReadRule{identity.application, right_program, *settings, std::move(*conditions)};
}

// One walk over the collection, then the look-ups' rules that the walk did not meet.
std::expected<void, firewall::FirewallError> walk_rules(INetFwRules* rules,
                                                        const Applications& applications,
                                                        const PerName& wanted, Found& found,
                                                        FirewallReading& reading, LiveRules* live) {
  PerName names;
  PerName leftovers;  // the names of rules whose removal by the repair failed half-way
  const WideString being_removed = text::text_to_wide(kBeingRemoved);
  for (std::size_t i = 0; i < names.size(); ++i) {
    names[i] = text::text_to_wide(kOrvaneRules[i].name);
    leftovers[i] = names[i] + being_removed;
  }

  auto walk = firewall::RuleEnumeration::begin(rules);
  if (!walk) return std::unexpected(std::move(walk.error()));
  // One identity and one expanded path for the whole walk: most rules are read and let go, and
  // reusing their room spares allocations. The few rules kept are copied out.
  firewall::RuleIdentity identity;
  WideString program;
  while (true) {
    auto rule = walk->next();
    if (!rule) return std::unexpected(std::move(rule.error()));
    if (!*rule) break;
    if (auto read = firewall::read_identity(rule->get(), identity); !read) {
      return std::unexpected(std::move(read.error()));
    }
    auto named = std::ranges::find(names, identity.name);
    if (named == names.end() && identity.name.ends_with(being_removed)) {
      named = names.begin() + (std::ranges::find(leftovers, identity.name) - leftovers.begin());
    }
    if (named != names.end()) {
      const auto i = static_cast<std::size_t>(named - names.begin());
      auto read = read_named(rule->get(), identity, wanted[i], program);
      if (!read) return std::unexpected(std::move(read.error()));
      reading.names[i].rules.push_back(std::move(*read));
      if (live != nullptr) live->named[i].push_back(std::move(*rule));
      continue;
    }
    const bool every_program = identity.application.empty();
    if (!every_program) {
      auto expanded = firewall::expand_program_path(identity.application, program);
      if (!expanded) return std::unexpected(std::move(expanded.error()));
      if (!names_one_of(*expanded, applications)) continue;
    }
    auto settings = firewall::read_settings(rule->get());
    if (!settings) return std::unexpected(std::move(settings.error()));
    if (!stops_traffic(*settings)) continue;
    auto conditions = firewall::read_conditions(rule->get());
    if (!conditions) return std::unexpected(std::move(conditions.error()));
    // A rule for one service (or, with "*", for services only) does not reach Orvane's programs.
    if (every_program && !conditions->service.empty()) continue;
    reading.blocks.push_back({identity, *settings, std::move(*conditions), every_program});
    if (live != nullptr) live->blocks.push_back(std::move(*rule));
  }

  for (std::size_t i = 0; i < found.size(); ++i) {
    if (!found[i] || !reading.names[i].rules.empty()) continue;
    if (auto read = firewall::read_identity(found[i].get(), identity); !read) {
      return std::unexpected(std::move(read.error()));
    }
    auto read = read_named(found[i].get(), identity, wanted[i], program);
    if (!read) return std::unexpected(std::move(read.error()));
    reading.names[i].rules.push_back(std::move(*read));
    if (live != nullptr) live->named[i].push_back(std::move(found[i]));
  }
  return {};
}

}  // namespace

std::expected<FirewallReading, ReadingFailure> read_firewall(
    const firewall::RuleCollection& collection, const ApplicationPaths& paths,
    const ReadingSites& sites, LiveRules* live) {
  const auto failed = [](firewall::FirewallError error, const ReadingStep& step) {
    return std::unexpected(ReadingFailure{std::move(error), step.message, step.site});
  };
  Found found;
  for (std::size_t i = 0; i < found.size(); ++i) {
    const platform::OwnedBstr name = firewall::from_text(kOrvaneRules[i].name);
    auto rule = firewall::look_up_rule(collection.rules.get(), name.get());
    if (!rule)
      return failed(std::move(rule.error()), {kOrvaneRules[i].look_up_failure, sites.look_up});
    found[i] = std::move(*rule);
  }

  FirewallReading reading;
  const Applications applications = {text::text_to_wide(paths.lobby),
                                     text::text_to_wide(paths.halvic),
                                     text::text_to_wide(paths.pendrel)};
  PerName wanted;
  for (std::size_t i = 0; i < wanted.size(); ++i)
    wanted[i] = text::text_to_wide(paths.*kOrvaneRules[i].application);
  if (auto walked = walk_rules(collection.rules.get(), applications, wanted, found, reading, live);
      !walked) {
    return failed(std::move(walked.error()), sites.walk);
  }
  auto policy = firewall::read_policy_state(collection.policy.get());
  if (!policy) return failed(std::move(policy.error()), sites.policy);
  reading.policy = *policy;
  auto products = firewall::firewall_products();
  if (!products) return failed(std::move(products.error()), sites.products);
  reading.other_firewalls = std::move(*products);
  return reading;
}

std::expected<FirewallReading, ReadingFailure> read_firewall(const ApplicationPaths& paths,
                                                             const ReadingSites& sites) {
  auto collection = firewall::open_rule_collection();
  if (!collection) {
    return std::unexpected(
        ReadingFailure{std::move(collection.error()), sites.open.message, sites.open.site});
  }
  return read_firewall(*collection, paths, sites, nullptr);
}

bool firewall_service_down(const firewall::FirewallError& error) {
  const auto* windows = std::get_if<firewall::WindowsError>(&error);
  if (windows == nullptr) return false;
  const HRESULT code = windows->error.code();
  return code == static_cast<HRESULT>(0x800706BA) || code == static_cast<HRESULT>(0x800706D9);
}

}  // namespace orvane::driver
