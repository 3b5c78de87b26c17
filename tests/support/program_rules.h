#pragma once

#include <string>
#include <vector>

namespace orvane::testing {

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
