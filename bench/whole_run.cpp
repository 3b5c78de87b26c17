// Times whole runs of the program against a process that does nothing, taking turns so that
// both see the same machine: whole_run RUNS EMPTY_PROCESS PROGRAM FOLDER.
//
// Each round runs the empty process, then the program with a store that already holds its six
// rules, then the program with an empty store (emptied before the run, untimed). Prints a
// Markdown table of median wall times and their ratio to the empty process's.
//
// whole_run check RUNS EMPTY_PROCESS CHECK ADDER FOLDER times orvane-firewall-check the same way,
// against the six rules the adder (run once, from the same folder) leaves, beside 0, 1,000 and
// 10,000 other rules: allow rules for other programs, of which a fresh Windows holds hundreds.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// This process's environment without any FWSIM_ setting, plus the store to use.
std::vector<std::string> child_environment(const std::string& store) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (std::strncmp(*entry, "FWSIM_", 6) != 0) env.emplace_back(*entry);
  }
  env.push_back("FWSIM_STORE=" + store);
  return env;
}

// Runs `program` with standard output and error on /dev/null; returns its wall time in
// microseconds, from just before the spawn to just after the wait. Exits on a failed run.
double timed_run(const std::string& program, const std::vector<std::string>& env) {
  std::vector<char*> argv{const_cast<char*>(program.c_str()), nullptr};
  std::vector<char*> envp;
  for (const std::string& entry : env) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

  const Clock::time_point start = Clock::now();
  pid_t pid = 0;
  const int spawned =
      posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  int status = 0;
  if (spawned == 0) {
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  const Clock::time_point end = Clock::now();
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "whole_run: %s did not run and exit with 0\n", program.c_str());
    std::exit(1);
  }
  return std::chrono::duration<double, std::micro>(end - start).count();
}

struct Summary {
  double median, p10, p90;
};

Summary summarise(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  auto at = [&](double q) { return times[static_cast<std::size_t>(q * (times.size() - 1) + 0.5)]; };
  return {at(0.5), at(0.1), at(0.9)};
}

std::size_t rule_lines(const fs::path& store) {
  std::ifstream in(store);
  std::size_t count = 0;
  for (std::string line; std::getline(in, line);) count += !line.empty() && line[0] != '#';
  return count;
}

// The check's table: the store of the six rules, then copies with `extra` other rules appended.
int time_check(int runs, const std::string& empty_process, const std::string& check,
               const std::string& adder, const fs::path& folder) {
  fs::create_directories(folder);
  const fs::path six = folder / "check-0";
  fs::remove(six);
  timed_run(adder, child_environment(six.string()));
  if (rule_lines(six) != 6) {
    std::fprintf(stderr, "whole_run: the adder did not leave six rules in its store\n");
    return 1;
  }
  const int extras[] = {0, 1000, 10000};
  std::vector<std::vector<std::string>> envs;
  for (const int extra : extras) {
    const fs::path store = folder / ("check-" + std::to_string(extra));
    if (extra != 0) {
      fs::copy_file(six, store, fs::copy_options::overwrite_existing);
      std::ofstream out(store, std::ios::app);
      for (int i = 0; i < extra; ++i) {
        out << "Name=\"Other program " << i << "\" Direction=" << 1 + i % 2
            << " Enabled=-1 Action=1 ApplicationName=\"C:\\\\Program Files\\\\Other " << i
            << "\\\\other.exe\" Protocol=" << (i % 3 == 0 ? 17 : 6) << "\n";
      }
    }
    envs.push_back(child_environment(store.string()));
  }
  std::vector<double> empty_times;
  std::vector<std::vector<double>> check_times(std::size(extras));
  for (int i = 0; i < runs; ++i) {
    empty_times.push_back(timed_run(empty_process, envs[0]));
    for (std::size_t e = 0; e < std::size(extras); ++e) {
      check_times[e].push_back(timed_run(check, envs[e]));
    }
  }
  const Summary empty = summarise(empty_times);
  std::printf("| Process (%d runs each, taking turns) | median | p10 | p90 | median / empty |\n",
              runs);
  std::printf("|---|---:|---:|---:|---:|\n");
  std::printf("| empty process (static, returns 0) | %.0f µs | %.0f µs | %.0f µs | 1.0× |\n",
              empty.median, empty.p10, empty.p90);
  std::vector<double> medians;
  for (std::size_t e = 0; e < std::size(extras); ++e) {
    const Summary s = summarise(check_times[e]);
    medians.push_back(s.median);
    std::printf(
        "| orvane-firewall-check, six rules and %d others | %.0f µs | %.0f µs | %.0f µs | "
        "%.1f× |\n",
        extras[e], s.median, s.p10, s.p90, s.median / empty.median);
  }
  std::printf("\nPer other rule: %.2f µs from 0 to 1,000, %.2f µs from 1,000 to 10,000.\n",
              (medians[1] - medians[0]) / 1000, (medians[2] - medians[1]) / 9000);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 7 && std::string_view(argv[1]) == "check") {
    return time_check(std::atoi(argv[2]), argv[3], argv[4], argv[5], argv[6]);
  }
  if (argc != 5) {
    std::fprintf(stderr,
                 "usage: whole_run RUNS EMPTY_PROCESS PROGRAM FOLDER\n"
                 "       whole_run check RUNS EMPTY_PROCESS CHECK ADDER FOLDER\n");
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  const std::string empty_process = argv[2];
  const std::string program = argv[3];
  const fs::path folder = argv[4];
  fs::create_directories(folder);
  const fs::path full_store = folder / "six-rules";
  const fs::path empty_store = folder / "empty";
  fs::remove(full_store);

  const std::vector<std::string> full_env = child_environment(full_store.string());
  const std::vector<std::string> empty_env = child_environment(empty_store.string());
  // The first run fills the store that every later full-store run finds complete.
  timed_run(program, full_env);
  if (rule_lines(full_store) != 6) {
    std::fprintf(stderr, "whole_run: the program did not leave six rules in its store\n");
    return 1;
  }

  std::vector<double> empty_times, full_times, adding_times;
  for (int i = 0; i < runs; ++i) {
    empty_times.push_back(timed_run(empty_process, empty_env));
    full_times.push_back(timed_run(program, full_env));
    fs::remove(empty_store);
    adding_times.push_back(timed_run(program, empty_env));
  }
  if (rule_lines(full_store) != 6 || rule_lines(empty_store) != 6) {
    std::fprintf(stderr, "whole_run: a store does not hold exactly the six rules\n");
    return 1;
  }

  const Summary empty = summarise(empty_times);
  std::printf("| Process (%d runs each, taking turns) | median | p10 | p90 | median / empty |\n",
              runs);
  std::printf("|---|---:|---:|---:|---:|\n");
  auto row = [&](const char* what, const std::vector<double>& times) {
    const Summary s = summarise(times);
    std::printf("| %s | %.0f µs | %.0f µs | %.0f µs | %.1f× |\n", what, s.median, s.p10, s.p90,
                s.median / empty.median);
  };
  row("empty process (static, returns 0)", empty_times);
  row("orvane-firewall, six rules already there", full_times);
  row("orvane-firewall, empty store (adds six)", adding_times);
  return 0;
}
