#include "driver/check_findings.h"

#include <algorithm>
#include <string_view>

#include "firewall/firewall_rule.h"
#include "text/quote.h"
#include "text/utf16.h"

namespace orvane::driver {
namespace {

constexpr LONG kEveryProfile =
    NET_FW_PROFILE2_DOMAIN | NET_FW_PROFILE2_PRIVATE | NET_FW_PROFILE2_PUBLIC;

// What mends every finding about the six rules and the block rules naming Orvane's programs.
constexpr std::string_view kRunRepair =
    "To fix: run orvane-firewall-repair.exe, in the Orvane folder, as an administrator.\n";
constexpr std::string_view kOnceOn = "Once the firewall is on again: ";

void append_shown(WideView units, std::string& out) {
  text::show_text(text::wide_to_wtf8(units), out);
}

void append_shown(std::string_view text, std::string& out) { text::show_text(text, out); }

// Whether cmd passes `name` inside double quotes to netsh exactly: not when it holds a double
// quote (no way to escape one there) or a percent sign (cmd expands %NAME% even inside quotes, and
// has no escape for it on its command line), nor a character that does not show as itself, which
// nobody could check or type.
bool typable_in_cmd(WideView name) {
  const std::string text = text::wide_to_wtf8(name);
  return text::shows_as_itself(text) && text.find_first_of("\"%") == std::string::npos;
}

void append_delete_command(WideView name, std::string& out) {
  out += "netsh advfirewall firewall delete rule name=\"";
  out += text::wide_to_text(name);
  out += '"';
}

std::string_view direction_word(LONG direction) {
  if (direction == NET_FW_RULE_DIR_IN) return "inbound";
  if (direction == NET_FW_RULE_DIR_OUT) return "outbound";
  return "unknown-direction";
}

std::string protocol_words(LONG protocol) {
  if (protocol == NET_FW_IP_PROTOCOL_TCP) return "TCP";
  if (protocol == NET_FW_IP_PROTOCOL_UDP) return "UDP";
  if (protocol == NET_FW_IP_PROTOCOL_ANY) return "every protocol";
  return "protocol " + std::to_string(protocol);
}

struct ProfileWords {
  LONG bit;
  std::string_view word;
  std::string_view setting;  // as Windows Security names the network
};
constexpr ProfileWords kProfiles[] = {{NET_FW_PROFILE2_DOMAIN, "domain", "Domain network"},
                                      {NET_FW_PROFILE2_PRIVATE, "private", "Private network"},
                                      {NET_FW_PROFILE2_PUBLIC, "public", "Public network"}};

// "domain", "private and public", "domain, private or public": the profiles of `mask`.
std::string profile_words(LONG mask, std::string_view last_joint = " and ") {
  std::string words;
  std::size_t left = 0;
  for (const auto& p : kProfiles) left += (mask & p.bit) != 0;
  for (const auto& p : kProfiles) {
    if ((mask & p.bit) == 0) continue;
    words += p.word;
    --left;
    if (left > 1) words += ", ";
    if (left == 1) words += last_joint;
  }
  return words;
}

// Whether a condition's text sets no limit: empty, or `any` (lower case ASCII) in any letter case.
bool is_any(WideView value, std::u16string_view any) {
  if (value.empty()) return true;
  if (value.size() != any.size()) return false;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char16_t unit = static_cast<char16_t>(value[i]);
    const char16_t lower = unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 0x20) : unit;
    if (lower != any[i]) return false;
  }
  return true;
}

// The conditions that narrow a rule, as `local ports "3000", remote addresses "LocalSubnet"`;
// empty when it applies to all traffic of its program.
std::string condition_words(const firewall::RuleConditions& c) {
  std::string words;
  const auto add = [&words](std::string_view what, const WideString& value) {
    if (!words.empty()) words += ", ";
    words += what;
    append_shown(value, words);
  };
  if (!c.service.empty()) add("the service ", c.service);
  if (!is_any(c.local_ports, u"*")) add("local ports ", c.local_ports);
  if (!is_any(c.remote_ports, u"*")) add("remote ports ", c.remote_ports);
  if (!is_any(c.local_addresses, u"*")) add("local addresses ", c.local_addresses);
  if (!is_any(c.remote_addresses, u"*")) add("remote addresses ", c.remote_addresses);
  if (!is_any(c.interface_types, u"all")) add("interface types ", c.interface_types);
  if (c.some_interfaces) {
    if (!words.empty()) words += ", ";
    words += "some network interfaces";
  }
  return words;
}

// Where the check stands: the profiles Windows is on now, and of those, the ones whose firewall
// is on. With no documented profile among CurrentProfileTypes, every profile is taken as current
// and on, so that nothing is passed over.
struct Network {
  LONG current = kEveryProfile;
  LONG filtering = kEveryProfile;
  explicit Network(const firewall::PolicyState& policy) {
    if ((policy.current_profiles & kEveryProfile) == 0) return;
    current = policy.current_profiles & kEveryProfile;
    filtering = 0;
    for (std::size_t i = 0; i < policy.current_count; ++i) {
      if (policy.current[i].firewall_enabled) filtering |= policy.current[i].profile;
    }
  }
  bool all_off() const { return filtering == 0; }
};

// The lines being written: the findings, then after the verdict the notes.
struct Lines {
  std::string findings;
  std::size_t count = 0;
  std::string notes;

  std::string& finding() {
    ++count;
    return findings;
  }
  // What would stop Orvane on a current network whose firewall is off now.
  std::string& once_on() {
    notes += kOnceOn;
    return notes;
  }
  // A rule that is not as the adder makes it: a finding whatever the network, marked when the
  // firewall filters nothing now.
  std::string& wrong(const Network& network) {
    if (network.all_off()) findings += kOnceOn;
    return finding();
  }
};

// What is wrong with one rule of one of the six names, as a list of short clauses; empty when the
// rule is as orvane-firewall makes it.
std::string problems_of(const ReadRule& rule, const OrvaneRule& wanted, const WideString& path,
                        const Network& network) {
  std::string problems;
  const auto add = [&problems](std::string_view clause) {
    if (!problems.empty()) problems += ", ";
    problems += clause;
  };
  const firewall::RuleSettings& s = rule.settings;
  if (!s.enabled) add("disabled");
  if (s.action != NET_FW_ACTION_ALLOW) add("a block rule instead of an allow rule");
  const LONG direction = firewall::to_net_fw(wanted.direction);
  if (s.direction != direction) {
    add("for " + std::string(direction_word(s.direction)) + " instead of " +
        std::string(direction_word(direction)) + " traffic");
  }
  if (s.protocol != NET_FW_IP_PROTOCOL_UDP)
    add("for " + protocol_words(s.protocol) + " instead of UDP");
  if (const LONG missing = kEveryProfile & ~s.profiles; missing != 0) {
    std::string clause = "only for some network profiles (not " + profile_words(missing, " or ");
    if ((missing & network.current) != 0) {
      clause += "; Windows is on a " + profile_words(missing & network.current) + " network now";
    }
    add(clause + ")");
  }
  if (const std::string conditions = condition_words(rule.conditions); !conditions.empty()) {
    add("only for " + conditions);
  }
  if (!rule.right_program) {
    std::string clause = "for ";
    if (rule.application.empty()) {
      clause += "every program";
    } else {
      append_shown(rule.application, clause);
    }
    clause += " instead of ";
    append_shown(path, clause);
    add(clause);
  }
  return problems;
}

void describe_name(const NameReading& name, const OrvaneRule& wanted, const WideString& path,
                   const Network& network, Lines& lines) {
  if (name.rules.empty()) {
    std::string& out = lines.wrong(network);
    out += wanted.name;
    out += ": missing. ";
    out += kRunRepair;
    return;
  }
  for (std::size_t i = 0; i < name.rules.size(); ++i) {
    const std::string problems = problems_of(name.rules[i], wanted, path, network);
    if (problems.empty()) continue;
    std::string& out = lines.wrong(network);
    out += wanted.name;
    if (name.rules.size() > 1) {
      out += " (rule " + std::to_string(i + 1) + " of " + std::to_string(name.rules.size()) +
             " of this name)";
    }
    out += ": " + problems + ". ";
    out += kRunRepair;
  }
}

void describe_block(const BlockRule& block, const Network& network, Lines& lines) {
  const LONG profiles = block.settings.profiles & kEveryProfile;
  const bool now = (profiles & network.current) != 0;
  std::string& out = (profiles & network.filtering) != 0 ? lines.finding()
                     : now                               ? lines.once_on()
                                                         : lines.notes;
  const std::string conditions = condition_words(block.conditions);
  out += "Block rule ";
  append_shown(block.identity.name, out);
  out += conditions.empty() ? " stops " : " may stop ";
  out += direction_word(block.settings.direction);
  out += block.settings.protocol == NET_FW_IP_PROTOCOL_ANY ? " traffic" : " UDP";
  if (block.every_program) {
    out += " of every program (Orvane's too)";
  } else {
    out += " of ";
    append_shown(block.identity.application, out);
  }
  if (!now) {
    out += " on " + profile_words(profiles) + " networks, not on the " +
           profile_words(network.current) + " network Windows is on now";
  }
  if (!conditions.empty()) out += ": it applies only to " + conditions;
  out += ". ";
  if (!block.every_program) {
    out += kRunRepair;  // it disables the rule, which keeps the person's decision on record
  } else if (typable_in_cmd(block.identity.name)) {
    // Not the product's to change: it may be the PC's owner's wish. Support gets the one command.
    out += "To fix, if nothing needs it, as an administrator: ";
    append_delete_command(block.identity.name, out);
    out += ".\n";
  } else {
    out +=
        "Its name cannot be typed safely in a command: if nothing needs it, as an administrator, "
        "delete it in Windows Defender Firewall with Advanced Security (wf.msc).\n";
  }
}

void describe_policy(const firewall::PolicyState& policy, const Network& network, Lines& lines) {
  for (std::size_t i = 0; i < policy.current_count; ++i) {
    const firewall::CurrentProfile& p = policy.current[i];
    const auto& words = *std::ranges::find(kProfiles, p.profile, &ProfileWords::bit);
    if (!p.firewall_enabled) {
      lines.notes += "The Windows Firewall is off for the " + std::string(words.word) +
                     " network Windows is on now: it stops nothing there.\n";
    }
    if (!p.blocks_all_inbound) continue;
    std::string& out = p.firewall_enabled ? lines.finding() : lines.once_on();
    out += "Windows blocks all incoming connections on the " + std::string(words.word) +
           " network it is on now, whatever the rules say. To fix: in Windows Security, open "
           "Firewall & network protection, then " +
           std::string(words.setting) +
           ", and turn off \"Block all incoming connections, including those in the list of "
           "allowed apps\".\n";
  }
  if (policy.local_rules_ignored) {
    (network.all_off() ? lines.once_on() : lines.finding()) +=
        "Group policy makes Windows ignore this PC's own firewall rules, Orvane's among them. To "
        "fix: only the PC's administrator can change that; ask them to allow Orvane's three "
        "programs by group policy.\n";
  }
}

void describe_other_firewall(const WideString& product, const ApplicationPaths& paths,
                             Lines& lines) {
  std::string& out = lines.findings;
  ++lines.count;
  out += "Another firewall, ";
  append_shown(product, out);
  out +=
      ", filters traffic too, and its settings cannot be read from here. To fix: in its settings, "
      "allow ";
  append_shown(paths.lobby, out);
  out += ", ";
  append_shown(paths.halvic, out);
  out += " and ";
  append_shown(paths.pendrel, out);
  out += ".\n";
}

}  // namespace

Findings describe_findings(const FirewallReading& reading, const ApplicationPaths& paths) {
  const Network network(reading.policy);
  Lines lines;
  for (const WideString& product : reading.other_firewalls)
    describe_other_firewall(product, paths, lines);
  describe_policy(reading.policy, network, lines);
  for (std::size_t i = 0; i < reading.names.size(); ++i) {
    const OrvaneRule& wanted = kOrvaneRules[i];
    describe_name(reading.names[i], wanted, text::text_to_wide(paths.*wanted.application), network,
                  lines);
  }
  for (const BlockRule& block : reading.blocks) describe_block(block, network, lines);

  Findings findings{std::move(lines.findings), lines.count};
  if (findings.count == 0 && lines.notes.empty()) {
    findings.text =
        "The Windows Firewall lets Orvane through: its six rules are in place and no block rule "
        "stops its programs.\n";
  } else if (findings.count == 0) {
    findings.text =
        "The Windows Firewall lets Orvane through on the network Windows is on now: its six rules "
        "are in place.\n";
  } else {
    findings.text += std::to_string(findings.count) +
                     (findings.count == 1 ? " problem" : " problems") +
                     " found: the Windows Firewall may stop Orvane until fixed as said above.\n";
  }
  findings.text += lines.notes;
  return findings;
}

std::string rule_problems(const ReadRule& rule, std::size_t name, const ApplicationPaths& paths,
                          const firewall::PolicyState& policy) {
  const OrvaneRule& wanted = kOrvaneRules[name];
  return problems_of(rule, wanted, text::text_to_wide(paths.*wanted.application), Network(policy));
}

std::string_view service_down_text() {
  return "The Windows Firewall service does not answer, so its rules cannot be read. To fix: "
         "restart the PC; if this stays, start the service \"Windows Defender Firewall\" in "
         "Services (services.msc) as an administrator, then run this program again.\n"
         "1 problem found: the Windows Firewall may stop Orvane until fixed as said above.\n";
}

}  // namespace orvane::driver
