// SPDX-License-Identifier: GPL-3.0-or-later
// `kestrum-cli power` and `merge`: shards 1..4 merged give the unsharded output byte for
// byte (simulated and covariate-averaged runs, every format), whatever the threads; the
// merge refuses missing, repeated and foreign shards; the searches report a target that is
// never reached with the limit instead of an N.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/cli_capture.h"

namespace {

using tRun = tCli_result;
constexpr auto Cli = Run_cli_captured;

std::string Temp_dir() {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("kestrum_power_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  return dir.string();
}

std::vector<std::string> Shard_files(std::vector<std::string> args, int shards, const std::string& tag) {
  std::vector<std::string> files;
  for (int k = 1; k <= shards; ++k) {
    std::vector<std::string> a = args;
    a.push_back("--shard");
    a.push_back(std::to_string(k) + "/" + std::to_string(shards));
    a.push_back("--threads");
    a.push_back(std::to_string(1 + k % 2));
    const tRun r = Cli(a);
    EXPECT_EQ(r.Status, 0) << r.Err;
    const std::string path = Temp_dir() + "/" + tag + std::to_string(k) + ".shard";
    std::ofstream(path) << r.Out;
    files.push_back(path);
  }
  return files;
}

// Removes the shard files of this process when the tests end.
class tTemp_cleanup : public ::testing::Environment {
 public:
  void TearDown() override { std::filesystem::remove_all(Temp_dir()); }
};
const auto* const kCleanup = ::testing::AddGlobalTestEnvironment(new tTemp_cleanup);

TEST(PowerCli, MergedShardsEqualTheWholeRun) {
  const std::vector<std::vector<std::string>> runs = {
      {"power", "dissociation", "--effect", "-3,-1", "--n", "6,12", "--r", "0.6",
       "--replications", "700", "--iterations", "200", "--prior", "jeffreys", "--format", "csv"},
      {"power", "dissociation", "--test", "classification", "--effect", "-3", "--effect-y",
       "-0.5", "--n", "8", "--covariate", "age", "--matrix", "0.5,0.3,0.6", "--distance", "1",
       "--replications", "600", "--iterations", "100", "--case", "random", "--format", "json"},
      {"power", "deficit", "--effect", "-2", "--n", "9:13:2", "--covariate", "a",
       "--covariate", "b", "--distance", "1.5", "--replications", "1300"},
      {"power", "deficit", "--test", "bayesian", "--effect", "-2.5", "--n", "7",
       "--replications", "520", "--iterations", "100", "--tail", "one"}};
  int tag = 0;
  for (const auto& args : runs) {
    const tRun whole = Cli(args);
    ASSERT_EQ(whole.Status, 0) << whole.Err;
    std::vector<std::string> merge = {"merge"};
    for (const auto& f : Shard_files(args, 4, "r" + std::to_string(tag++) + "_")) merge.push_back(f);
    const tRun merged = Cli(merge);
    ASSERT_EQ(merged.Status, 0) << merged.Err;
    EXPECT_EQ(merged.Out, whole.Out) << args[1];
  }
}

TEST(PowerCli, MergeRefusesIncompleteOrForeignShards) {
  const std::vector<std::string> a = {"power", "dissociation", "--effect", "-2", "--n", "8",
                                      "--r", "0.5", "--replications", "300", "--iterations", "50"};
  auto files = Shard_files(a, 3, "m_");
  EXPECT_EQ(Cli({"merge", files[0], files[1]}).Status, 2);  // shard 3 missing
  EXPECT_EQ(Cli({"merge", files[0], files[1], files[1]}).Status, 2);  // shard 2 twice
  std::vector<std::string> b = a;
  b[3] = "-1";
  const auto other = Shard_files(b, 3, "o_");
  const tRun r = Cli({"merge", files[0], files[1], other[2]});
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Err.find("different runs"), std::string::npos) << r.Err;
  std::ofstream(files[2], std::ios::trunc) << "kestrum-power-shard 1\narg power\n";
  EXPECT_EQ(Cli({"merge", files[0], files[1], files[2]}).Status, 2);  // cut short
}

TEST(PowerCli, SearchesSayWhenTheTargetIsNeverReached) {
  const tRun r = Cli({"power", "deficit", "--effect", "-1,-3", "--find", "n", "--case", "random",
                      "--tail", "one", "--format", "csv"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  // effect -1: the limit Phi(1 - 1.6449) = 0.2595 lies below 0.8; effect -3 reaches it.
  EXPECT_NE(r.Out.find("-1,0.8000,no,,"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find(",0.259511\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("-3,0.8000,yes,"), std::string::npos) << r.Out;
}

TEST(PowerCli, RefusesBadSettings) {
  EXPECT_EQ(Cli({"power", "deficit", "--n", "10"}).Status, 1);                  // no effect
  EXPECT_EQ(Cli({"power", "dissociation", "--effect", "-2", "--n", "10"}).Status, 1);  // no r
  EXPECT_EQ(Cli({"power", "deficit", "--effect", "-2", "--n", "10", "--alpha", "1"}).Status, 1);
  EXPECT_EQ(Cli({"power", "deficit", "--effect", "-2", "--n", "10", "--find", "n", "--shard", "1/2"}).Status, 1);
  // The calibrated prior needs N of at least 4.
  EXPECT_EQ(Cli({"power", "dissociation", "--effect", "-2", "--n", "3", "--r", "0.5"}).Status, 2);
}

}  // namespace
