#include "driver/check_findings.h"

#include <string_view>

#include "firewall/firewall_rule.h"
#include "text/quote.h"
#include "text/upper_case.h"
#include "text/utf16.h"

namespace orvane::driver {
namespace {

constexpr LONG kEveryProfile =
    NET_FW_PROFILE2_DOMAIN | NET_FW_PROFILE2_PRIVATE | NET_FW_PROFILE2_PUBLIC;

constexpr std::string_view kReinstall = "run the Orvane installer again as an administrator";

// A name or path in double quotes as it is, or, when it holds a character that would not show as
// itself (a control or bidirectional character, a lone surrogate) or a double quote, in the
// escaped form the failure reports use.
void append_shown(WideView units, std::string& out) {
  const std::string text = text::wide_to_wtf8(units);
  if (text::shows_as_itself(text) && text.find('"') == std::string::npos) {
    out += '"';
    out += text;
    out += '"';
  } else {
    text::quote_text(text, out);
  }
}

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

// What is wrong with one rule of one of the six names, as a list of short clauses; empty when the
// rule is as orvane-firewall makes it.
std::string problems_of(const ReadRule& rule, const OrvaneRule& wanted, const WideString& path) {
  std::string problems;
  const auto add = [&problems](std::string_view clause) {
    if (!problems.empty()) problems += ", ";
    problems += clause;
  };
  const firewall::RuleSettings& s = rule.settings;
  if (!s.enabled) add("disabled");
  if (s.action != NET_FW_ACTION_ALLOW) add("blocks instead of allowing");
  const LONG direction = firewall::to_net_fw(wanted.direction);
  if (s.direction != direction) {
    add("for " + std::string(direction_word(s.direction)) + " instead of " +
        std::string(direction_word(direction)) + " traffic");
  }
  if (s.protocol != NET_FW_IP_PROTOCOL_UDP)
    add("for " + protocol_words(s.protocol) + " instead of UDP");
  if ((s.profiles & kEveryProfile) != kEveryProfile) add("only for some network profiles");
  if (!text::equal_ignoring_case(rule.application, path)) {
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
                   Findings& findings) {
  std::string& out = findings.text;
  if (name.rules.empty()) {
    out += wanted.name;
    out += ": missing. To fix: ";
    out += kReinstall;
    out += ".\n";
    ++findings.count;
    return;
  }
  for (std::size_t i = 0; i < name.rules.size(); ++i) {
    const std::string problems = problems_of(name.rules[i], wanted, path);
    if (problems.empty()) continue;
    out += wanted.name;
    if (name.rules.size() > 1) {
      out += " (rule " + std::to_string(i + 1) + " of " + std::to_string(name.rules.size()) +
             " of this name)";
    }
    out += ": " + problems + ". To fix, as an administrator: ";
    append_delete_command(text::text_to_wide(wanted.name), out);
    out += ", then run the Orvane installer again.\n";
    ++findings.count;
  }
}

void describe_block(const BlockRule& block, Findings& findings) {
  std::string& out = findings.text;
  out += "Block rule ";
  append_shown(block.identity.name, out);
  out += " stops ";
  out += direction_word(block.settings.direction);
  out += block.settings.protocol == NET_FW_IP_PROTOCOL_ANY ? " traffic" : " UDP";
  out += " of ";
  append_shown(block.identity.application, out);
  if (typable_in_cmd(block.identity.name)) {
    out += ". To fix, as an administrator: ";
    append_delete_command(block.identity.name, out);
    out += ".\n";
  } else {
    out +=
        ". Its name cannot be typed safely in a command: as an administrator, delete it in Windows "
        "Defender Firewall with Advanced Security (wf.msc).\n";
  }
  ++findings.count;
}

}  // namespace

Findings describe_findings(const FirewallReading& reading, const ApplicationPaths& paths) {
  Findings findings;
  for (std::size_t i = 0; i < reading.names.size(); ++i) {
    const OrvaneRule& wanted = kOrvaneRules[i];
    describe_name(reading.names[i], wanted, text::text_to_wide(paths.*wanted.application),
                  findings);
  }
  for (const BlockRule& block : reading.blocks) describe_block(block, findings);
  if (findings.count == 0) {
    findings.text =
        "The Windows Firewall lets Orvane through: its six rules are in place and no block rule "
        "names its programs.\n";
  } else {
    findings.text += std::to_string(findings.count) +
                     (findings.count == 1 ? " problem" : " problems") +
                     " found: the Windows Firewall may stop Orvane until "
                     "fixed as said above.\n";
  }
  return findings;
}

}  // namespace orvane::driver
