// SPDX-License-Identifier: GPL-3.0-or-later
// What the command-line tests share: kestrum-cli run in the test's process with its
// status, standard output and standard error captured, and a fixture holding a scratch
// directory for each test (named for the process and the test, removed after it), with
// the control-data file inside it so that no test touches the user's.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_run.h"

struct tCli_result {
  int Status;
  std::string Out, Err;
};

inline tCli_result Run_cli_captured(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = Run_cli(args, out, err, false);
  return {status, out.str(), err.str()};
}

class tScratch_test : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("kestrum_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    ::setenv("KESTRUM_DATA_FILE", (dir_ / "kestrum.txt").c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("KESTRUM_DATA_FILE");
    std::filesystem::remove_all(dir_);
  }
  // Writes a file of the test's directory; its path.
  std::string Write(const std::string& name, const std::string& content) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  std::filesystem::path dir_;
};
