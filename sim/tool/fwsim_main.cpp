// `fwsim`: look at and change the simulated firewall's rule store from a shell.
//
//   fwsim list                       the rule lines, as stored
//   fwsim add PROPERTY=VALUE ...     add one rule, each argument one property in the store's syntax
//   fwsim remove NAME                remove every rule of that name (none is fine)
//   fwsim clear                      remove every rule
//
// Exit status 0 on success; 1, with a one-line message on standard error, for a rule the
// firewall's checks refuse; 2, with such a message, on bad arguments or a store that cannot be
// read or written.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "../src/controls.h"
#include "../src/firewall_rule_checks.h"
#include "../src/firewall_rule_line.h"
#include "../src/firewall_store.h"
#include "../src/text.h"

namespace {

using fwsim::Rule;

constexpr int kRefused = 1;
constexpr int kFailure = 2;
constexpr std::string_view kUsage =
    "usage: fwsim list | fwsim add PROPERTY=VALUE... | fwsim remove NAME | fwsim clear";

int fail(std::string_view message, int status = kFailure) {
  std::string line = "fwsim: " + std::string(message) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  return status;
}

int list() {
  auto lines = fwsim::detail::rule_store().rule_lines();
  if (!lines) return fail(lines.error());
  std::string out;
  for (const std::string& line : *lines) {
    out += line;
    out += '\n';
  }
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
    return fail("cannot write the list to standard output");
  }
  return 0;
}

// Builds the rule as a program would, one put per argument, with the check the firewall makes of
// each put.
std::expected<Rule, std::string> rule_from(const std::vector<std::string_view>& arguments) {
  using namespace fwsim::detail;
  Rule rule;
  for (std::string_view argument : arguments) {
    std::string_view rest = argument;
    auto property = read_property(rest);
    if (!property) return std::unexpected(property.error());
    if (!rest.empty()) {
      return std::unexpected("unexpected text after the value in \"" + std::string(argument) +
                             "\"");
    }
    const std::string name(prop_name(property->prop));
    if (find_property(rule, property->prop)) return std::unexpected(name + " given twice");
    if (!ports_allowed(rule, property->prop, property->value)) {
      return std::unexpected(name + " needs Protocol=6 or Protocol=17 before it");
    }
    put_property(rule, property->prop, std::move(property->value));
  }
  return rule;
}

int add(const std::vector<std::string_view>& arguments) {
  auto rule = rule_from(arguments);
  if (!rule) return fail(rule.error());
  if (auto refusal = fwsim::add_refusal(*rule)) {
    return fail("the firewall refuses this rule: " + *refusal, kRefused);
  }
  if (auto added = fwsim::detail::rule_store().append(*rule); !added) return fail(added.error());
  return 0;
}

// The name as the shell gives it, UTF-8, compared exactly as INetFwRules::Item compares.
int remove(std::string_view name) {
  auto removed = fwsim::detail::rule_store().remove(fwsim::detail::utf8_to_utf16(name), true);
  if (!removed) return fail(removed.error());
  return 0;
}

int clear() {
  if (auto cleared = fwsim::detail::rule_store().clear(); !cleared) return fail(cleared.error());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // The same controls as a program under fwsim, FWSIM_STORE above all; but the command makes no
  // simulated call, so it must not append a balance line to the trace of the program whose
  // environment it shares.
  ::unsetenv("FWSIM_TRACE");
  fwsim::detail::start();
  std::vector<std::string_view> arguments(argv + 1, argv + argc);
  if (arguments.empty()) return fail(kUsage);
  const std::string_view command = arguments.front();
  arguments.erase(arguments.begin());
  if (command == "list" && arguments.empty()) return list();
  if (command == "clear" && arguments.empty()) return clear();
  if (command == "remove" && arguments.size() == 1) return remove(arguments.front());
  if (command == "add" && !arguments.empty()) return add(arguments);
  return fail(kUsage);
}
