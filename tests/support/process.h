#pragma once

#include <map>
#include <string>
#include <vector>

namespace orvane::testing {

// How a child process ended and what it wrote.
struct ProcessResult {
  int exit_code = -1;  // when it exited
  int signal = 0;      // when a signal ended it
  std::string out;
  std::string err;
};

// Runs `program` with `args`, in this process's environment without any FWSIM_* variable, plus
// `env`, and waits for it. Standard input holds `input`, then ends.
ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& env,
                          const std::string& input = "");

}  // namespace orvane::testing
