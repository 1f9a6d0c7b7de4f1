// SPDX-License-Identifier: GPL-3.0-or-later
// Batches in shards: shards 1..N merged give the unsharded batch's output, messages and
// exit status byte for byte (the worksheet's batch and the toolkit's, CSV and JSON, N = 1,
// 3, 4 and more shards than cases, the shard files given in any order); the merge refuses
// missing, repeated, foreign, mixed, changed and damaged shards.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/batch_shard.h"
#include "tests/support/cli_capture.h"

namespace {

using tRun = tCli_result;
constexpr auto Cli = Run_cli_captured;

std::string Temp_path(const std::string& name) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("kestrum_batch_shard_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

std::string Write(const std::string& name, const std::string& text) {
  const std::string path = Temp_path(name);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  return path;
}

class tTemp_cleanup : public ::testing::Environment {
 public:
  void TearDown() override { std::filesystem::remove_all(Temp_path("").c_str()); }
};
const auto* const kCleanup = ::testing::AddGlobalTestEnvironment(new tTemp_cleanup);

// Runs shards N..1 of the command (the files later given to merge in that order) and
// returns the merge's arguments.
std::vector<std::string> Shards(std::vector<std::string> args, int n, const std::string& tag) {
  std::vector<std::string> merge = {"merge"};
  for (int k = n; k >= 1; --k) {
    std::vector<std::string> a = args;
    a.push_back("--shard=" + std::to_string(k) + "/" + std::to_string(n));
    const tRun r = Cli(a);
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    merge.push_back(Write(tag + "_" + std::to_string(k) + ".shard", r.Out));
  }
  return merge;
}

const std::vector<std::string> kWorksheet = {"--mean-x", "100", "--sd-x", "15", "--mean-y", "50",
                                             "--sd-y", "10", "--r", "0.6", "--n", "20",
                                             "--iterations", "2000"};
// Cases with refused rows (a letter, a field too many), a quoted id over two lines and a
// semicolon file's decimal commas.
const std::string kWorksheet_cases =
    "id,case_x,case_y\na,80,40\nb,70,45\nc,100,50\n\"d\nx\",60,30\ne,abc,40\nf,90,20,5\ng,95,55\n";
const std::string kSemicolon_cases = "case_x;case_y\n80,5;40\n71;44,5\n";
const std::vector<std::string> kDeficit = {"deficit", "--mean", "100", "--sd", "15", "--n", "20",
                                           "--case", "0", "--covariate", "age=50,10,50",
                                           "--iterations", "2000", "--correlations"};
const std::string kDeficit_cases = "id,case,age\na,80,40\nb,70,45\nc,,50\nd,60,30\ne,75,60\n";
const std::vector<std::string> kDissociation = {"dissociation", "--mean-x", "100", "--sd-x", "15",
                                                "--mean-y", "50", "--sd-y", "10", "--r", "0.5",
                                                "--n", "12", "--iterations", "2000", "--udt"};

struct tBatch_case {
  std::string Name;
  std::vector<std::string> Args;  // before --batch FILE
  std::string Cases;
  bool Json;
};

TEST(BatchShard, MergedShardsEqualTheWholeBatch) {
  const std::string corr = Write("corr.csv", ",age,Task\nage,1,\nTask,0.4,1\n");
  std::vector<std::string> deficit = kDeficit;
  deficit.push_back(corr);
  const std::vector<tBatch_case> cases = {
      {"worksheet_csv", kWorksheet, kWorksheet_cases, false},
      {"worksheet_json", kWorksheet, kWorksheet_cases, true},
      {"worksheet_semicolons", kWorksheet, kSemicolon_cases, false},
      {"deficit_json", deficit, kDeficit_cases, true},
      {"deficit_csv", deficit, kDeficit_cases, false},
      {"dissociation_csv", kDissociation, "case_x,case_y\n70,50\n80,30\n", false},
      {"worksheet_no_cases_json", kWorksheet, "case_x,case_y\n", true},
  };
  for (const tBatch_case& c : cases) {
    std::vector<std::string> args = c.Args;
    args.insert(args.end(), {"--batch", Write(c.Name + ".csv", c.Cases)});
    if (c.Json) args.insert(args.end(), {"--format", "json"});
    const tRun whole = Cli(args);
    ASSERT_LE(whole.Status, 2) << c.Name << whole.Err;
    for (const int n : {1, 3, 4, 11}) {
      const tRun merged = Cli(Shards(args, n, c.Name + std::to_string(n)));
      EXPECT_EQ(merged.Status, whole.Status) << c.Name << " in " << n << merged.Err;
      EXPECT_EQ(merged.Out, whole.Out) << c.Name << " in " << n;
      EXPECT_EQ(merged.Err, whole.Err) << c.Name << " in " << n;
    }
  }
}

// Warnings, a case that could not be computed and a file read only in part: the merge
// writes the messages the unsharded runner writes, in the file's order.
TEST(BatchShard, MergeWritesTheMessagesInTheFilesOrder) {
  tBatch_shard one, two;
  one.Frame = {{"--batch", "x.csv"}, 1, 2};
  two.Frame = {{"--batch", "x.csv"}, 2, 2};
  for (tBatch_shard* s : {&one, &two}) {
    s->Json = true;
    s->Begin = "[";
    s->Cases = 3;
    s->Digest = "d";
    s->Read_error = "kestrum-cli: the case file x.csv was read only to row 3: too long\n";
  }
  one.Rows = {{0, "a", 0, "", {"Too many steps"}, "{A}"}, {2, "c", 3, "Not\nenough", {}, "{C}"}};
  two.Rows = {{1, "b", 2, "bad", {"w1", "w2"}, "{B}"}};
  const std::string text = Batch_shard_text(two);
  std::string output;
  const tText_batch m = Merge_batch_shards({Read_batch_shard(text), Read_batch_shard(Batch_shard_text(one))},
                                           [&output](const std::string& t) { output += t; });
  EXPECT_EQ(output, "[\n{A},\n{B},\n{C}\n]\n");
  EXPECT_EQ(m.Messages,
            "kestrum-cli: case a: warning: Too many steps\n"
            "kestrum-cli: case b: warning: w1\nkestrum-cli: case b: warning: w2\n" + one.Read_error +
            "kestrum-cli: 1 case could not be computed (the first, id c: Not enough); the rows "
            "carry the error.\n");
  EXPECT_EQ(m.Status, 3);
}

struct tRefusal {
  std::string Name;
  std::vector<int> Files;  // indices into the files below
  std::string Message;     // part of the message
};

TEST(BatchShard, MergeRefusesIncompleteForeignOrDamagedShards) {
  std::vector<std::string> args = kWorksheet;
  const std::string cases = Write("refusal.csv", kWorksheet_cases);
  args.insert(args.end(), {"--batch", cases});
  const auto three = Shards(args, 3, "r");  // merge, shard 3, 2, 1
  std::vector<std::string> other_args = args;
  other_args[1] = "101";
  const auto other = Shards(other_args, 3, "o");
  // Shard 1 again after a case's score has changed.
  std::string edited = kWorksheet_cases;
  edited.replace(edited.find("a,80"), 4, "a,81");
  Write("refusal.csv", edited);
  const auto changed = Shards(args, 3, "c");
  const auto power = Shards({"power", "deficit", "--effect", "-2", "--n", "10", "--case", "random",
                             "--replications", "50", "--covariate", "a", "--matrix", "0.3"},
                            3, "p");
  std::string text;
  {
    std::ifstream in(three[2], std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), {});
  }
  const std::string cut = Write("cut.shard", text.substr(0, text.size() - 30));
  std::string moved = text;
  moved.replace(moved.find("index 1\n"), 8, "index 2\n");  // shard 2's row 1 as row 2
  const std::string misplaced = Write("moved.shard", moved);
  const std::string foreign = Write("foreign.txt", "id,case_x,case_y\n");
  // 0..2: shards 3, 2, 1; 3: another run's shard 1; 4: shard 1 of the changed file;
  // 5: a power run's shard 1; 6: shard 2 cut short; 7: shard 2 with a row out of place;
  // 8: not a shard file.
  const std::vector<std::string> files = {three[1], three[2], three[3], other[3], changed[3],
                                          power[3], cut, misplaced, foreign};
  const std::vector<tRefusal> refusals = {
      {"missing", {0, 1}, "shard 1 of 3 is missing"},
      {"twice", {0, 1, 2, 2}, "shard 1 is given twice"},
      {"other_run", {0, 1, 3}, "different runs"},
      {"changed_cases", {0, 1, 4}, "different cases or inputs"},
      {"power_and_batch", {0, 1, 5}, "a power run's and a batch's"},
      {"cut_short", {0, 6, 2}, "not a batch shard file"},
      {"row_out_of_place", {0, 7, 2}, "out of place"},
      {"not_a_shard", {0, 1, 8}, "not a shard file"},
  };
  for (const tRefusal& r : refusals) {
    std::vector<std::string> merge = {"merge"};
    for (const int f : r.Files) merge.push_back(files[static_cast<std::size_t>(f)]);
    const tRun m = Cli(merge);
    EXPECT_EQ(m.Status, 2) << r.Name;
    EXPECT_EQ(m.Out, "") << r.Name;
    EXPECT_NE(m.Err.find(r.Message), std::string::npos) << r.Name << ": " << m.Err;
  }
}

TEST(BatchShard, ShardIsRefusedOutsideABatch) {
  std::vector<std::string> single = kWorksheet;
  single.insert(single.end(), {"--case-x", "80", "--case-y", "40"});
  const std::vector<std::vector<std::string>> refused = {
      {"--example", "--shard", "1/2"},
      {"deficit", "--mean", "1", "--sd", "1", "--n", "5", "--case", "0", "--shard", "1/2"},
      {"--batch", "x.csv", "--shard", "3/2"},
      {"--batch", "x.csv", "--shard", "0/2"},
      {"udt", "--batch", "x.csv", "--shard", "1/2/3"},
  };
  for (const auto& a : refused) EXPECT_EQ(Cli(a).Status, 1) << a[0] << ' ' << a.back();
  single.insert(single.end(), {"--shard", "1/1"});
  EXPECT_EQ(Cli(single).Status, 1);
}

}  // namespace

namespace {

// A shard stopped by a signal leaves a file that the merge refuses rather than take for a
// whole shard.
TEST(BatchShard, InterruptedShardIsRefused) {
  std::vector<std::string> args = kWorksheet;
  args.insert(args.end(), {"--batch", Write("stopped.csv", kWorksheet_cases)});
  auto merge = Shards(args, 2, "stopped");  // merge, shard 2, shard 1
  args.insert(args.end(), {"--shard", "1/2"});
  tInterrupt interrupt;
  interrupt.Signal = SIGTERM;
  interrupt.Requested = true;
  std::ostringstream out, err;
  EXPECT_EQ(Run_cli(args, out, err, false, &interrupt), 143);
  EXPECT_NE(err.str().find("the shard file is incomplete"), std::string::npos) << err.str();
  merge[2] = Write("stopped_1.shard", out.str());
  const tRun m = Cli(merge);
  EXPECT_EQ(m.Status, 2);
  EXPECT_NE(m.Err.find("incomplete"), std::string::npos) << m.Err;
}

}  // namespace
