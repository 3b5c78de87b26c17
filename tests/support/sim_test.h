#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <unistd.h>

#include <fwsim/testing.h>

namespace orvane::testing {

// Each test starts from a clean simulated platform with a rule store of its own.
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fwsim::reset();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    store_ = std::filesystem::temp_directory_path() /
             ("orvane-test-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "." +
              info->name() + ".rules");
    std::filesystem::remove(store_);
    fwsim::set_store_path(store_.string());
  }
  void TearDown() override {
    fwsim::reset();
    std::filesystem::remove(store_);
    std::filesystem::remove(store_.string() + ".lock");  // the store's writers lock beside it
  }

  const std::filesystem::path& store() const { return store_; }

 private:
  std::filesystem::path store_;
};

}  // namespace orvane::testing
