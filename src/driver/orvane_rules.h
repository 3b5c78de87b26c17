#pragma once

#include <string>
#include <string_view>

#include "driver/install_paths.h"
#include "firewall/firewall_rule.h"
#include "report/source_location.h"

namespace orvane::driver {

// One of the six rules the product's programs look after, with what each program's failure report
// says of it and where. The sites are part of the reports that installers and support read, so
// they are data here, kept as the programs have always printed them.
struct OrvaneRule {
  std::string_view name;
  std::string ApplicationPaths::*application;
  firewall::RuleDirection direction;
  std::string_view add_failure;
  report::SourceLocation add_site;
  std::string_view remove_failure;
  report::SourceLocation remove_site;
  // orvane-firewall-check's, when looking the name up fails (one site for all six, its loop's).
  std::string_view look_up_failure;
  // How orvane-firewall-repair's reports name the rule ("Failed to replace lobby in rule").
  std::string_view words;
};

// What orvane-firewall-repair appends to the name of a rule it is about to remove, so that the
// firewall's Remove, which takes a name, takes that rule and no other. Should the removal fail, the
// rule stays under that name: it is still read as a rule of its first name, so that the check
// reports it and a later repair removes it.
inline constexpr std::string_view kBeingRemoved = " (being removed by orvane-firewall-repair)";

// In the order orvane-firewall adds them and orvane-firewall-remove removes them.
inline constexpr OrvaneRule kOrvaneRules[] = {
    {"Orvane Lobby In",
     &ApplicationPaths::lobby,
     firewall::RuleDirection::In,
     "Failed to add lobby in rule if not exists",
     {"src\\main", 48, 10},
     "Failed to remove lobby in rule",
     {"src\\remove_main", 26, 3},
     "Failed to look up lobby in rule",
     "lobby in"},
    {"Orvane Lobby Out",
     &ApplicationPaths::lobby,
     firewall::RuleDirection::Out,
     "Failed to add lobby out rule if not exists",
     {"src\\main", 61, 10},
     "Failed to remove lobby out rule",
     {"src\\remove_main", 27, 3},
     "Failed to look up lobby out rule",
     "lobby out"},
    {"Orvane Lobby Halvic In",
     &ApplicationPaths::halvic,
     firewall::RuleDirection::In,
     "Failed to add halvic in rule if not exists",
     {"src\\main", 74, 10},
     "Failed to remove halvic in rule",
     {"src\\remove_main", 28, 3},
     "Failed to look up halvic in rule",
     "halvic in"},
    {"Orvane Lobby Halvic Out",
     &ApplicationPaths::halvic,
     firewall::RuleDirection::Out,
     "Failed to add halvic out rule if not exists",
     {"src\\main", 87, 10},
     "Failed to remove halvic out rule",
     {"src\\remove_main", 30, 3},
     "Failed to look up halvic out rule",
     "halvic out"},
    {"Orvane Lobby Pendrel In",
     &ApplicationPaths::pendrel,
     firewall::RuleDirection::In,
     "Failed to add pendrel in rule if not exists",
     {"src\\main", 100, 10},
     "Failed to remove pendrel in rule",
     {"src\\remove_main", 32, 3},
     "Failed to look up pendrel in rule",
     "pendrel in"},
    {"Orvane Lobby Pendrel Out",
     &ApplicationPaths::pendrel,
     firewall::RuleDirection::Out,
     "Failed to add pendrel out rule if not exists",
     {"src\\main", 113, 10},
     "Failed to remove pendrel out rule",
     {"src\\remove_main", 34, 3},
     "Failed to look up pendrel out rule",
     "pendrel out"},
};

}  // namespace orvane::driver
