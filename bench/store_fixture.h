// The rule stores the store benchmarks read: written once per size in a folder of the process's
// own, and put back between iterations without copying.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>

#include "driver/udp_allow_rule.h"
#include "firewall/firewall_rule.h"

namespace orvane::bench {

namespace fs = std::filesystem;
using firewall::FirewallRule;
using firewall::RuleDirection;

inline constexpr std::string_view kExistingName = "Orvane Lobby In";
inline constexpr std::string_view kNewName = "Orvane Lobby Bench In";

inline FirewallRule udp_allow(std::string_view name) {
  return driver::udp_allow_rule(std::string(name), "C:\\Games\\Orvane\\orvane-lobby.exe",
                                RuleDirection::In);
}

// A store line as fwsim writes the program's rules (backslashes doubled in its text form).
inline std::string store_line(std::string_view name, int direction, std::string_view application) {
  std::ostringstream line;
  line << "Name=\"" << name << "\" Direction=" << direction
       << " Enabled=-1 Action=1 ApplicationName=\"" << application << "\" Protocol=17";
  return line.str();
}

// The stores the benchmarks read, each written once per size, in a folder of this process's own
// that is removed at exit. A store holds `others` rules of other applications, then the
// program's six, so the rule looked up is the last-but-five line whatever the size.
class Stores {
 public:
  static Stores& instance() {
    static Stores stores;
    return stores;
  }
  Stores(const Stores&) = delete;
  Stores& operator=(const Stores&) = delete;
  ~Stores() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  const fs::path& folder() const { return folder_; }

  const fs::path& pristine(std::int64_t others) {
    auto [entry, made] = pristine_.try_emplace(others);
    if (!made) return entry->second;
    entry->second = folder_ / ("pristine-" + std::to_string(others));
    std::ofstream out(entry->second, std::ios::binary);
    out << "# " << others << " other rules and the program's six\n";
    for (std::int64_t i = 0; i < others; ++i) {
      const std::string n = std::to_string(i);
      out << store_line("Vendor Tool " + n + (i % 2 ? " Out" : " In"), i % 2 ? 2 : 1,
                        "C:\\\\Program Files\\\\Vendor\\\\Tool " + n + "\\\\tool.exe")
          << '\n';
    }
    const std::string_view kDirections[] = {"In", "Out"};
    const std::string_view kApplications[] = {"Lobby", "Lobby Halvic", "Lobby Pendrel"};
    for (std::string_view application : kApplications) {
      for (int d = 0; d < 2; ++d) {
        out << store_line("Orvane " + std::string(application) + " " + std::string(kDirections[d]),
                          d + 1, "C:\\\\Games\\\\Orvane\\\\app.exe")
            << '\n';
      }
    }
    return entry->second;
  }

 private:
  Stores() {
    folder_ = fs::temp_directory_path() / ("orvane-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder_);
  }

  fs::path folder_;
  std::map<std::int64_t, fs::path> pristine_;
};

// Puts the pristine store back at `store` without copying it: fwsim never writes a store file in
// place (it renames a new one over it), so a hard link to the pristine file is safe.
inline void restore(const fs::path& pristine, const fs::path& store) {
  fs::path link = store;
  link += ".restore";
  fs::remove(link);
  fs::create_hard_link(pristine, link);
  fs::rename(link, store);
}

// A quarter of a second of timed calls each: the untimed set-up (putting the store back and
// reading it) costs more than the call itself, up to a fifth of a second with 100,000 rules.
inline void store_sizes(benchmark::internal::Benchmark* b) {
  b->Arg(0)->Arg(1'000)->Arg(100'000)->Unit(benchmark::kMicrosecond)->MinTime(0.25);
}

}  // namespace orvane::bench
