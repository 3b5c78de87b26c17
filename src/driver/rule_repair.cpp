#include "driver/rule_repair.h"

#include <string_view>
#include <utility>
#include <vector>

#include "driver/check_findings.h"
#include "driver/udp_allow_rule.h"
#include "firewall/rule_changes.h"
#include "report/failure_report.h"
#include "text/quote.h"
#include "text/utf16.h"

namespace orvane::driver {
namespace {

// The name a wrong rule is given just before it is removed. Rule names allow it (no `|`, not
// "all").
std::string own_name(const OrvaneRule& rule) {
  return std::string(rule.name) + std::string(kBeingRemoved);
}

// "Block rule "X" for inbound UDP: disabled."
std::string disabled_line(const BlockRule& block) {
  std::string line = "Block rule ";
  text::show_text(text::wide_to_wtf8(block.identity.name), line);
  line += block.settings.direction == NET_FW_RULE_DIR_OUT ? " for outbound " : " for inbound ";
  line += block.settings.protocol == NET_FW_IP_PROTOCOL_ANY ? "traffic" : "UDP";
  return line + ": disabled.\n";
}

class Repair {
 public:
  Repair(const firewall::RuleCollection& collection, const ApplicationPaths& paths,
         const RepairSites& sites)
      : rules_(collection.rules.get()), paths_(paths), sites_(sites) {}

  // The rules of kOrvaneRules[i]'s name: false when a change failed.
  bool name(std::size_t i, const NameReading& name, const std::vector<std::string>& problems,
            const std::vector<platform::ComPtr<INetFwRule>>& live) {
    const OrvaneRule& wanted = kOrvaneRules[i];
    bool any_right = false;
    for (const std::string& p : problems) any_right = any_right || p.empty();
    const std::string words(wanted.words);
    std::string replaced;  // what the removed rules were, for a replacement's line
    for (std::size_t j = 0; j < name.rules.size(); ++j) {
      if (problems[j].empty()) continue;
      const bool duplicate = any_right;
      auto removed = firewall::remove_rule(rules_, live[j].get(), own_name(wanted));
      if (!removed) {
        return fail(std::move(removed.error()),
                    duplicate ? "Failed to remove a duplicate " + words + " rule"
                              : "Failed to replace " + words + " rule",
                    duplicate ? sites_.duplicate : sites_.replace);
      }
      if (duplicate) {
        change(std::string(wanted.name) + ": removed a duplicate: it was " + problems[j] + ".\n");
      } else {
        replaced +=
            (replaced.empty() ? "it was " : "; another rule of this name was ") + problems[j];
      }
    }
    if (any_right) return true;
    auto added = firewall::add_rule(
        rules_,
        udp_allow_rule(std::string(wanted.name), paths_.*wanted.application, wanted.direction));
    if (!added) {
      return replaced.empty()
                 ? fail(std::move(added.error()), "Failed to add " + words + " rule", sites_.add)
                 : fail(std::move(added.error()), "Failed to replace " + words + " rule",
                        sites_.replace);
    }
    change(std::string(wanted.name) +
           (replaced.empty() ? ": added.\n" : ": replaced: " + replaced + ".\n"));
    return true;
  }

  bool block(const BlockRule& block, INetFwRule* live) {
    if (auto disabled = firewall::disable_rule(live); !disabled) {
      return fail(std::move(disabled.error()), "Failed to disable block rule", sites_.disable);
    }
    change(disabled_line(block));
    return true;
  }

  RepairOutcome outcome() { return std::move(outcome_); }

 private:
  // Said at once, so that a run stopped later by a failure has said every change it made.
  void change(const std::string& line) {
    report::write_stdout(line);
    ++outcome_.changes;
  }
  bool fail(firewall::FirewallError error, std::string message,
            const report::SourceLocation& site) {
    outcome_.failure = RepairFailure{std::move(error), std::move(message), site};
    return false;
  }

  INetFwRules* rules_;
  const ApplicationPaths& paths_;
  const RepairSites& sites_;
  RepairOutcome outcome_;
};

}  // namespace

RepairOutcome repair_rules(const firewall::RuleCollection& collection,
                           const FirewallReading& reading, const LiveRules& live,
                           const ApplicationPaths& paths, const RepairSites& sites) {
  Repair repair(collection, paths, sites);
  for (std::size_t i = 0; i < reading.names.size(); ++i) {
    std::vector<std::string> problems;
    for (const ReadRule& rule : reading.names[i].rules)
      problems.push_back(rule_problems(rule, i, paths, reading.policy));
    if (!repair.name(i, reading.names[i], problems, live.named[i])) return repair.outcome();
  }
  for (std::size_t k = 0; k < reading.blocks.size(); ++k) {
    // A block rule for every program may be a person's or an administrator's wish for the PC:
    // not the product's to change.
    if (reading.blocks[k].every_program) continue;
    if (!repair.block(reading.blocks[k], live.blocks[k].get())) break;
  }
  return repair.outcome();
}

}  // namespace orvane::driver
