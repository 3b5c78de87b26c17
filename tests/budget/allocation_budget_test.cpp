// A whole run of the program allocates only what it needs: the program's own heap allocations,
// counted by a build of the program whose allocation functions count (fwsim's are counted apart
// and not charged to it), stay within a budget for each way a run can go.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "support/process.h"

namespace {

// Measured with GCC 12 and libstdc++ on Debian 12 (see docs/performance.md): 26
// allocations when the six rules are there (the folder, three paths, the six records, each
// name's UTF-16 form for the look-up) and 38 when all six are added (each new rule's name and
// path converted once more). About a fifth more is allowed, so that a small honest change fits
// and a careless one (a copy of every record, a text grown a character at a time) does not.
constexpr std::uint64_t kRulesPresentBudget = 32;
constexpr std::uint64_t kAddingSixBudget = 46;

// A fixed installation folder, so that path lengths, and with them the allocations, are the same
// on every machine.
constexpr const char* kModulePath = "C:\\Games\\Orvane\\orvane-firewall.exe";

struct Counts {
  std::uint64_t program = 0, program_bytes = 0, platform = 0, platform_bytes = 0;
};

// Reads `allocations program=N program_bytes=B platform=M platform_bytes=C`.
bool parse_counts(const std::string& out, Counts& counts) {
  std::istringstream in(out);
  std::string word;
  if (!(in >> word) || word != "allocations") return false;
  std::map<std::string, std::uint64_t*> fields = {{"program", &counts.program},
                                                  {"program_bytes", &counts.program_bytes},
                                                  {"platform", &counts.platform},
                                                  {"platform_bytes", &counts.platform_bytes}};
  while (in >> word) {
    const auto equals = word.find('=');
    const auto field = fields.find(word.substr(0, equals));
    if (equals == std::string::npos || field == fields.end()) return false;
    *field->second = std::stoull(word.substr(equals + 1));
    fields.erase(field);
  }
  return fields.empty();
}

std::size_t rule_lines(const std::filesystem::path& store) {
  std::ifstream in(store);
  std::size_t count = 0;
  for (std::string line; std::getline(in, line);) count += !line.empty() && line[0] != '#';
  return count;
}

class AllocationBudgetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    store_ = std::filesystem::temp_directory_path() /
             ("orvane-alloc-" + std::to_string(::getpid()) + "-" + info->name() + ".rules");
    std::filesystem::remove(store_);
  }
  void TearDown() override {
    std::filesystem::remove(store_);
    std::filesystem::remove(store_.string() + ".lock");
  }

  // One whole run; fails the test unless it succeeded and reported its counts.
  Counts run() {
    const orvane::testing::ProcessResult result = orvane::testing::run_process(
        ORVANE_COUNTED_PROGRAM, {},
        {{"FWSIM_STORE", store_.string()}, {"FWSIM_MODULE_PATH", kModulePath}});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.err, "");
    Counts counts;
    EXPECT_TRUE(parse_counts(result.out, counts)) << result.out;
    // A split that found no allocation of fwsim's would charge all of them to the program, or
    // none: either way the counts would mean nothing.
    EXPECT_GT(counts.platform, 0u);
    EXPECT_GT(counts.program, 0u);
    return counts;
  }

  std::filesystem::path store_;
};

TEST_F(AllocationBudgetTest, RunThatFindsAllSixRulesStaysWithinBudget) {
  (void)run();
  ASSERT_EQ(rule_lines(store_), 6u);
  const Counts counts = run();
  EXPECT_LE(counts.program, kRulesPresentBudget)
      << "program_bytes=" << counts.program_bytes << " platform=" << counts.platform;
}

TEST_F(AllocationBudgetTest, RunThatAddsAllSixRulesStaysWithinBudget) {
  const Counts counts = run();
  ASSERT_EQ(rule_lines(store_), 6u);
  EXPECT_LE(counts.program, kAddingSixBudget)
      << "program_bytes=" << counts.program_bytes << " platform=" << counts.platform;
}

// The same run twice makes the same allocations: the budget is a count, not a sample.
TEST_F(AllocationBudgetTest, CountsAreTheSameFromRunToRun) {
  (void)run();
  const Counts first = run();
  const Counts second = run();
  EXPECT_EQ(first.program, second.program);
  EXPECT_EQ(first.program_bytes, second.program_bytes);
}

}  // namespace
