// The `fwsim` command, run as a person runs it from a shell, against a store of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/text_files.h"

namespace {

namespace fs = std::filesystem;
using orvane::testing::read_file;

struct Outcome {
  int status = -1;  // the exit status, or -1 when the command did not exit normally
  std::string out;
  std::string err;
};

// Starts the command with exactly this environment and its output sent to two files, in folder
// `cwd` when one is given.
pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const fs::path& out, const fs::path& err, const fs::path& cwd = {}) {
  std::vector<char*> argv{const_cast<char*>(FWSIM_COMMAND)};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = -1;
  if (posix_spawn(&pid, FWSIM_COMMAND, &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int exit_status(pid_t pid) {
  int wstatus = 0;
  if (pid < 0 || waitpid(pid, &wstatus, 0) != pid || !WIFEXITED(wstatus)) return -1;
  return WEXITSTATUS(wstatus);
}

class FwsimCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("fwsim-command-" + std::to_string(::getpid()) + "-" + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    env_ = {"FWSIM_STORE=" + store().string()};
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path store() const { return dir_ / "rules"; }

  Outcome run(const std::vector<std::string>& args) const { return run_with(args, env_); }
  Outcome run_with(const std::vector<std::string>& args, const std::vector<std::string>& env,
                   const fs::path& cwd = {}) const {
    Outcome o;
    o.status = exit_status(spawn(args, env, dir_ / "out", dir_ / "err", cwd));
    o.out = read_file(dir_ / "out");
    o.err = read_file(dir_ / "err");
    return o;
  }
  void write_store(const std::string& text) const { std::ofstream(store()) << text; }

  // A refusal is exit status 2 and exactly one line on standard error, and nothing else.
  static void expect_refused(const Outcome& o, const std::string& what) {
    EXPECT_EQ(o.status, 2) << what;
    EXPECT_TRUE(o.err.starts_with("fwsim: ")) << what << ": " << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << what << ": " << o.err;
    EXPECT_TRUE(o.err.ends_with('\n')) << what;
    EXPECT_EQ(o.out, "") << what;
  }

  fs::path dir_;
  std::vector<std::string> env_;
};

TEST_F(FwsimCommandTest, AddsRulesAndListsThemAsStored) {
  Outcome added = run({"add", "Name=\"Orvane Lobby In\"", "Direction=1", "Enabled=-1", "Action=1",
                       R"(ApplicationName="Z:\\games\\orvane\\orvane-lobby.exe")", "Protocol=17"});
  EXPECT_EQ(added.status, 0) << added.err;
  EXPECT_EQ(added.out + added.err, "");
  ASSERT_EQ(run({"add", "Protocol=6", "LocalPorts=\"80\"", "Name=\"quote \\\" \\u{1f}\""}).status,
            0);
  const std::string first = R"(Name="Orvane Lobby In" Direction=1 Enabled=-1 Action=1 )"
                            R"(ApplicationName="Z:\\games\\orvane\\orvane-lobby.exe" Protocol=17)";
  const std::string second = R"(Protocol=6 LocalPorts="80" Name="quote \" \u{1f}")";
  EXPECT_EQ(read_file(store()), first + "\n" + second + "\n");
  std::ofstream(store(), std::ios::app) << "# a note\n";
  Outcome listed = run({"list"});
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(listed.out, first + "\n" + second + "\n");
  EXPECT_EQ(listed.err, "");
}

TEST_F(FwsimCommandTest, BadArgumentsAndRefusedRulesChangeNothing) {
  write_store("Name=\"kept\"\n");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frob"},
      {"list", "extra"},
      {"clear", "now"},
      {"add"},
      {"add", "Colour=3"},
      {"add", "Name=unquoted"},
      {"add", "Name=\"a\" Direction=1"},  // two properties in one argument
      {"add", "Name=\"a\"", "Name=\"b\""},
      {"add", "Name=\"a\"", "LocalPorts=\"80\""},
      {"remove"},
      {"remove", "a", "b"},
      {"add", "Name=\"a\"", "LocalPorts=\"80\"", "Protocol=6"},
  };
  for (const auto& args : cases) {
    std::string what;
    for (const auto& a : args) what += a + " ";
    expect_refused(run(args), what);
  }
  // What the firewall's checks refuse: exit status 1 and one line naming the property.
  const std::vector<std::vector<std::string>> refused_by_the_firewall = {
      {"Name=\"\""},
      {"Name=\"ALL\""},
      {"Name=\"a|b\""},
      {"Name=\"a\"", "Description=\"x|y\""},
      {"Name=\"a\"", R"(ApplicationName="\\\\?\\C:\\a.exe")"},
      {"Name=\"a\"", "ApplicationName=\"C:/a.exe\""},
      {"Name=\"a\"", R"(ApplicationName="C:\\)" + std::string(257, 'x') + "\""},
      {"Name=\"a\"", "serviceName=\"a\\\\b\""},
      {"Name=\"a\"", "Profiles=0"},
      {"Name=\"a\"", "Direction=2", "EdgeTraversal=-1"},
      {"Name=\"a\"", "Direction=3"},
      {"Name=\"a\"", "Action=2"},
      {"Name=\"a\"", "Protocol=257"},
  };
  for (auto args : refused_by_the_firewall) {
    const std::string what = args.back();
    args.insert(args.begin(), "add");
    const Outcome o = run(args);
    EXPECT_EQ(o.status, 1) << what;
    EXPECT_TRUE(o.err.starts_with("fwsim: the firewall refuses this rule: " +
                                  what.substr(0, what.find('='))))
        << what << ": " << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
  }
  EXPECT_EQ(read_file(store()), "Name=\"kept\"\n");
}

TEST_F(FwsimCommandTest, DamagedStoreIsReportedAndKept) {
  const std::string damaged = "Name=\"a\"\nName=\"b\" Protocol=udp\n";
  write_store(damaged);
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"list"}, {"add", "Name=\"c\""}, {"clear"}}) {
    Outcome o = run(args);
    expect_refused(o, args.front());
    EXPECT_NE(o.err.find("line 2"), std::string::npos) << o.err;
  }
  EXPECT_EQ(read_file(store()), damaged);
}

TEST_F(FwsimCommandTest, ClearRemovesEveryRule) {
  ASSERT_EQ(run({"add", "Name=\"a\""}).status, 0);
  ASSERT_EQ(run({"add", "Name=\"a\""}).status, 0);  // a second rule of one name is kept too
  EXPECT_EQ(run({"list"}).out, "Name=\"a\"\nName=\"a\"\n");
  EXPECT_EQ(run({"clear"}).status, 0);
  Outcome listed = run({"list"});
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(listed.out, "");
  EXPECT_EQ(run({"clear"}).status, 0);  // clearing an empty store is fine
}

TEST_F(FwsimCommandTest, RemoveTakesEveryRuleOfTheNameAndNoOther) {
  write_store("# note\nName=\"a\" Protocol=6\nName=\"b\"\nName=\"a\"\nName=\"A\"\n");
  const Outcome removed = run({"remove", "a"});
  EXPECT_EQ(removed.status, 0) << removed.err;
  EXPECT_EQ(removed.out + removed.err, "");
  EXPECT_EQ(read_file(store()), "# note\nName=\"b\"\nName=\"A\"\n");
  EXPECT_EQ(run({"remove", "a"}).status, 0);  // none left is fine
  EXPECT_EQ(read_file(store()), "# note\nName=\"b\"\nName=\"A\"\n");
}

TEST_F(FwsimCommandTest, StoreDefaultsToTheUsersStateFolder) {
  const fs::path home = dir_ / "home";
  ASSERT_EQ(run_with({"add", "Name=\"h\""}, {"HOME=" + home.string()}).status, 0);
  EXPECT_EQ(read_file(home / ".local/state/fwsim/rules"), "Name=\"h\"\n");
  const fs::path state = dir_ / "state";
  ASSERT_EQ(
      run_with({"add", "Name=\"x\""}, {"HOME=" + home.string(), "XDG_STATE_HOME=" + state.string()})
          .status,
      0);
  EXPECT_EQ(read_file(state / "fwsim/rules"), "Name=\"x\"\n");
  // Without HOME, the current folder stands for the home folder.
  const fs::path cwd = dir_ / "cwd";
  fs::create_directories(cwd);
  ASSERT_EQ(run_with({"add", "Name=\"c\""}, {}, cwd).status, 0);
  EXPECT_EQ(read_file(cwd / ".local/state/fwsim/rules"), "Name=\"c\"\n");
}

TEST_F(FwsimCommandTest, ReadsTheControlsButLeavesTheTraceAlone) {
  const std::string store_env = "FWSIM_STORE=" + store().string();
  Outcome o = run_with({"add", "Name=\"a\""}, {store_env, "FWSIM_FAIL=Item#x=oops"});
  EXPECT_EQ(o.status, 3);
  EXPECT_FALSE(fs::exists(store()));
  const fs::path trace = dir_ / "trace";
  ASSERT_EQ(run_with({"add", "Name=\"a\""}, {store_env, "FWSIM_TRACE=" + trace.string()}).status,
            0);
  EXPECT_FALSE(fs::exists(trace));
}

TEST_F(FwsimCommandTest, ControlsAndStoreLinesWithLineBreaksAreRefusedOnOneLine) {
  const std::string store_env = "FWSIM_STORE=" + store().string();
  for (const std::string control :
       {"FWSIM_FAIL=INetFwRules::Item\n#1=5", "FWSIM_FAIL=VariantClear=\r1",
        "FWSIM_STDERR=console:\n437", "FWSIM_POLICY=CurrentProfileTypes=\n2",
        "FWSIM_PRODUCTS=Contoso\r=9", "FWSIM_CONSOLE_PROCESSES=\n1"}) {
    Outcome o = run_with({"list"}, {store_env, control});
    EXPECT_EQ(o.status, 3) << control;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << control << ": " << o.err;
    EXPECT_TRUE(o.err.ends_with('\n')) << control;
    EXPECT_EQ(o.err.find('\r'), std::string::npos) << control << ": " << o.err;
  }
  write_store("Name=\"a\"\r\n\rName=\"b\"\n");
  Outcome o = run({"list"});
  expect_refused(o, "a store with carriage returns");
  EXPECT_EQ(o.err.find('\r'), std::string::npos) << o.err;
}

TEST_F(FwsimCommandTest, ConcurrentAddsLoseNoRuleAndReadersSeeOnlyWholeStores) {
  constexpr int kWorkers = 8;
  constexpr int kAddsEach = 10;
  constexpr int kReaders = 2;
  constexpr int kListsEach = 15;
  std::vector<pid_t> workers;
  for (int w = 0; w < kWorkers; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      // Each worker adds its rules one process after another, all workers at once.
      const fs::path out = dir_ / ("out" + std::to_string(w));
      for (int i = 0; i < kAddsEach; ++i) {
        std::string name = "Name=\"w" + std::to_string(w) + " r" + std::to_string(i) + "\"";
        if (exit_status(spawn({"add", name, "Protocol=17"}, env_, out, out)) != 0) _exit(1);
      }
      _exit(0);
    }
    workers.push_back(pid);
  }
  // Meanwhile, readers list the store over and over. Writers replace the file whole and only ever
  // append, so every listing must read and must begin with the whole of the one before it.
  std::vector<pid_t> readers;
  for (int r = 0; r < kReaders; ++r) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      const fs::path out = dir_ / ("list" + std::to_string(r));
      const fs::path err = dir_ / ("list-err" + std::to_string(r));
      std::string before;
      for (int i = 0; i < kListsEach; ++i) {
        if (exit_status(spawn({"list"}, env_, out, err)) != 0) _exit(1);
        const std::string now = read_file(out);
        if (!now.starts_with(before) || (!now.empty() && !now.ends_with('\n'))) _exit(2);
        before = now;
      }
      _exit(0);
    }
    readers.push_back(pid);
  }
  for (pid_t pid : workers) EXPECT_EQ(exit_status(pid), 0);
  for (pid_t pid : readers) EXPECT_EQ(exit_status(pid), 0);

  Outcome listed = run({"list"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  std::set<std::string> lines;
  std::size_t count = 0;
  for (std::size_t start = 0, end; (end = listed.out.find('\n', start)) != std::string::npos;
       start = end + 1) {
    lines.insert(listed.out.substr(start, end - start));
    ++count;
  }
  EXPECT_EQ(count, kWorkers * kAddsEach);
  for (int w = 0; w < kWorkers; ++w) {
    for (int i = 0; i < kAddsEach; ++i) {
      EXPECT_EQ(
          lines.count("Name=\"w" + std::to_string(w) + " r" + std::to_string(i) + "\" Protocol=17"),
          1u);
    }
  }
  // No writer left a temporary file behind.
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
  }
}

}  // namespace
