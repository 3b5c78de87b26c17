#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvane::testing {

// The six rules in the order both programs handle them: the name, the words their failure messages
// use for it, and the line of its failure site in each program, `src\main:LINE:10` for
// orvane-firewall and `src\remove_main:LINE:3` for orvane-firewall-remove.
struct ProgramRule {
  std::string_view name;
  std::string_view words;
  int add_line;
  int remove_line;
};
inline constexpr ProgramRule kProgramRules[] = {
    {"Orvane Lobby In", "lobby in", 48, 26},
    {"Orvane Lobby Out", "lobby out", 61, 27},
    {"Orvane Lobby Halvic In", "halvic in", 74, 28},
    {"Orvane Lobby Halvic Out", "halvic out", 87, 30},
    {"Orvane Lobby Pendrel In", "pendrel in", 100, 32},
    {"Orvane Lobby Pendrel Out", "pendrel out", 113, 34},
};

enum class Program { Add, Remove, Check, Repair };

// The three lines either program writes when it stops: an empty line, where it stopped, and why.
inline std::string failure_report(std::string_view site, std::string_view message) {
  return "\nthread 'main' panicked at " + std::string(site) + ":\n" + std::string(message) + "\n";
}

// The three-line report of `program` failing at rule `rule` (1 to 6) with the error whose detailed
// form is `detail`.
inline std::string rule_report(Program program, int rule, std::string_view detail) {
  const ProgramRule& r = kProgramRules[rule - 1];
  const bool add = program == Program::Add;
  return failure_report(add ? "src\\main:" + std::to_string(r.add_line) + ":10"
                            : "src\\remove_main:" + std::to_string(r.remove_line) + ":3",
                        "Failed to " + std::string(add ? "add " : "remove ") +
                            std::string(r.words) + (add ? " rule if not exists: " : " rule: ") +
                            std::string(detail));
}

// The store lines of the six rules a clean run adds, in the order it adds them, for an installation
// folder `dir` written as fwsim's text form writes it (backslashes doubled).
inline std::vector<std::string> six_rules(const std::string& dir) {
  const auto line = [](const char* name, int direction, const std::string& application) {
    return "Name=\"" + std::string(name) + "\" Direction=" + std::to_string(direction) +
           " Enabled=-1 Action=1 ApplicationName=\"" + application + "\" Protocol=17";
  };
  const std::string lobby = dir + R"(\\orvane-lobby.exe)";
  const std::string halvic = dir + R"(\\emulator\\halvic-orvane\\halvic.exe)";
  const std::string pendrel = dir + R"(\\emulator\\pendrel-orvane\\pendrel.exe)";
  return {
      line("Orvane Lobby In", 1, lobby),           line("Orvane Lobby Out", 2, lobby),
      line("Orvane Lobby Halvic In", 1, halvic),   line("Orvane Lobby Halvic Out", 2, halvic),
      line("Orvane Lobby Pendrel In", 1, pendrel), line("Orvane Lobby Pendrel Out", 2, pendrel)};
}

}  // namespace orvane::testing
