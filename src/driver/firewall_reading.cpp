#include "driver/firewall_reading.h"

#include <algorithm>
#include <utility>

#include "firewall/rule_enumeration.h"
#include "text/upper_case.h"
#include "text/utf16.h"

namespace orvane::driver {
namespace {

// Windows' firewall matches a rule's program without letter case, as Windows compares paths.
bool names_one_of(const WideString& application, const std::array<WideString, 3>& paths) {
  return std::ranges::any_of(
      paths, [&](const WideString& path) { return text::equal_ignoring_case(application, path); });
}

bool stops_traffic(const firewall::RuleSettings& settings) {
  return settings.enabled && settings.action == NET_FW_ACTION_BLOCK &&
         (settings.protocol == NET_FW_IP_PROTOCOL_UDP ||
          settings.protocol == NET_FW_IP_PROTOCOL_ANY);
}

}  // namespace

std::expected<void, firewall::FirewallError> read_firewall(INetFwRules* rules,
                                                           const ApplicationPaths& paths,
                                                           FirewallReading& reading) {
  std::array<WideString, std::size(kOrvaneRules)> names;
  for (std::size_t i = 0; i < names.size(); ++i)
    names[i] = text::text_to_wide(kOrvaneRules[i].name);
  const std::array<WideString, 3> applications = {text::text_to_wide(paths.lobby),
                                                  text::text_to_wide(paths.halvic),
                                                  text::text_to_wide(paths.pendrel)};

  auto walk = firewall::RuleEnumeration::begin(rules);
  if (!walk) return std::unexpected(std::move(walk.error()));
  // One identity for the whole walk: most rules are read and let go, and reusing its strings'
  // room spares two allocations a rule. The few rules kept are copied out of it.
  firewall::RuleIdentity identity;
  while (true) {
    auto rule = walk->next();
    if (!rule) return std::unexpected(std::move(rule.error()));
    if (!*rule) break;
    if (auto read = firewall::read_identity(rule->get(), identity); !read) {
      return std::unexpected(std::move(read.error()));
    }
    const auto named = std::ranges::find(names, identity.name);
    const bool ours = named != names.end();
    if (!ours && !names_one_of(identity.application, applications)) continue;
    auto settings = firewall::read_settings(rule->get());
    if (!settings) return std::unexpected(std::move(settings.error()));
    if (ours) {
      reading.names[static_cast<std::size_t>(named - names.begin())].rules.push_back(
          {identity.application, *settings});
    } else if (stops_traffic(*settings)) {
      reading.blocks.push_back({identity, *settings});
    }
  }

  for (NameReading& name : reading.names) {
    if (!name.found || !name.rules.empty()) continue;
    if (auto read = firewall::read_identity(name.found.get(), identity); !read) {
      return std::unexpected(std::move(read.error()));
    }
    auto settings = firewall::read_settings(name.found.get());
    if (!settings) return std::unexpected(std::move(settings.error()));
    name.rules.push_back({identity.application, *settings});
  }
  return {};
}

}  // namespace orvane::driver
