#include "support/process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "support/text_files.h"

extern char** environ;

namespace orvane::testing {

ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& env, const std::string& input) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    if (std::strncmp(*entry, "FWSIM_", 6) == 0) continue;
    const std::string text = *entry;
    if (env.contains(text.substr(0, text.find('=')))) continue;
    environment.push_back(text);
  }
  for (const auto& [name, value] : env) environment.push_back(name + "=" + value);

  std::vector<std::string> argv_text = {program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  // Files rather than pipes: nothing to drain while waiting, whatever the child writes.
  const std::string temp = std::filesystem::temp_directory_path().string();
  std::string out_path = temp + "/orvane-out-XXXXXX";
  std::string err_path = temp + "/orvane-err-XXXXXX";
  std::string in_path = temp + "/orvane-in-XXXXXX";
  const int out_fd = mkstemp(out_path.data());
  const int err_fd = mkstemp(err_path.data());
  const int in_fd = mkstemp(in_path.data());
  if (out_fd < 0 || err_fd < 0 || in_fd < 0) throw std::runtime_error("cannot make capture files");
  if (write(in_fd, input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
    throw std::runtime_error("cannot write standard input");
  }
  lseek(in_fd, 0, SEEK_SET);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_fd, 0);
  posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
  posix_spawn_file_actions_adddup2(&actions, err_fd, 2);
  pid_t pid = 0;
  const int spawned =
      posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out_fd);
  close(err_fd);
  close(in_fd);
  std::remove(in_path.c_str());

  ProcessResult result;
  if (spawned == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  }
  result.out = read_file(out_path);
  result.err = read_file(err_path);
  std::remove(out_path.c_str());
  std::remove(err_path.c_str());
  if (spawned != 0) throw std::runtime_error("cannot start " + program);
  return result;
}

}  // namespace orvane::testing
