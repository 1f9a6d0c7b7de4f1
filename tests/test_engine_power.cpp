// SPDX-License-Identifier: GPL-3.0-or-later
// Engine_power: its report, CSV and JSON are the bytes `kestrum-cli power` writes for the
// same settings (exact grids and searches, simulated tests run here on the calling thread
// alone against the command line's thread pool, covariates from a full matrix against
// --matrix); the curves hold the grid's rows; refusals, Cancel and progress.
#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <string>
#include <vector>

#include "app/engine_power.h"
#include "app/json_reader.h"
#include "cli/cli_run.h"

namespace {

std::string Cli(std::vector<std::string> args, const std::string& format) {
  args.insert(args.end(), {"--format", format});
  std::ostringstream out, err;
  EXPECT_EQ(Run_cli(args, out, err, false), 0) << err.str();
  return out.str();
}

tJson_value Answer(const std::string& request, const tEngine_hooks& hooks = {}) {
  return Parse_json(Engine_power(request, hooks));
}

TEST(EnginePower, TextsEqualTheCommandLines) {
  struct tCase {
    const char* Request;
    std::vector<std::string> Args;
  };
  const tCase cases[] = {
      {R"({"analysis": "deficit", "effect": [-3, -2], "n": "5:20:5", "tail": "one"})",
       {"power", "deficit", "--effect", "-3,-2", "--n", "5:20:5", "--tail", "one"}},
      {R"({"analysis": "deficit", "effect": "-1,-3", "find": "n", "case": "random", "target_power": 0.9})",
       {"power", "deficit", "--effect", "-1,-3", "--find", "n", "--case", "random", "--target-power", "0.9"}},
      {R"({"analysis": "udt", "n": [8, 16], "effect": -2, "find": "effect", "alpha": 0.01})",
       {"power", "udt", "--n", "8,16", "--effect", "-2", "--find", "effect", "--alpha", "0.01"}},
      {R"({"analysis": "dissociation", "effect": [-3, -1], "n": [6, 10], "r": 0.5,
           "replications": 600, "iterations": 60, "seed": 7, "find": "power"})",
       {"power", "dissociation", "--effect", "-3,-1", "--n", "6,10", "--r", "0.5",
        "--replications", "600", "--iterations", "60", "--seed", "7"}},
      {R"({"analysis": "deficit", "effect": -2, "n": [9, 12], "covariates": ["age"],
           "correlations": [[1, 0.4], [0.4, 1]], "distance": 1.5, "replications": 700})",
       {"power", "deficit", "--effect", "-2", "--n", "9,12", "--covariate", "age", "--matrix",
        "0.4", "--distance", "1.5", "--replications", "700"}},
  };
  tEngine_hooks one_thread;
  one_thread.Engine_threads = 1;
  for (const tCase& c : cases) {
    const tJson_value a = Answer(c.Request, one_thread);
    ASSERT_TRUE(a.Find("ok")->Bool) << c.Request << Engine_power(c.Request);
    EXPECT_EQ(a.Find("report")->Text, Cli(c.Args, "report")) << c.Request;
    EXPECT_EQ(a.Find("csv")->Text, Cli(c.Args, "csv")) << c.Request;
    EXPECT_EQ(a.Find("json")->Text, Cli(c.Args, "json")) << c.Request;
  }
}

TEST(EnginePower, CurvesHoldTheGridsRows) {
  const tJson_value a = Answer(R"({"analysis": "deficit", "effect": [-3, -1], "n": [5, 10, 20]})");
  const tJson_value& curves = *a.Find("curves");
  ASSERT_EQ(curves.Kind, tJson_value::tKind::Object);
  EXPECT_EQ(curves.Find("target")->Text, "0.8");
  // Against N: one curve per effect over the three N; against the effect: one per N.
  const tJson_value& by_n = *curves.Find("against_n")->Find("curves");
  const tJson_value& by_effect = *curves.Find("against_effect")->Find("curves");
  ASSERT_EQ(by_n.Items.size(), 2u);
  ASSERT_EQ(by_effect.Items.size(), 3u);
  EXPECT_EQ(by_n.Items[1].Find("label")->Text, "effect -1");
  EXPECT_EQ(by_effect.Items[2].Find("label")->Text, "N = 20");
  // The point (N 20, effect -1) is the grid's last row in both families and in the CSVs.
  const std::string csv = a.Find("csv")->Text;
  const std::string last = csv.substr(csv.rfind("20,-1,"));
  EXPECT_EQ(by_n.Items[1].Find("points")->Items[2].Items[0].Text, "20");
  EXPECT_EQ(by_effect.Items[2].Find("points")->Items[1].Items[0].Text, "-1");
  EXPECT_NEAR(std::stod(by_n.Items[1].Find("points")->Items[2].Items[1].Text),
              std::stod(last.substr(6, 8)), 5e-7);  // the CSV's 6 decimals
  EXPECT_EQ(by_effect.Items[2].Find("csv")->Text,
            "n,effect,power,se,replications,limit\n" + csv.substr(csv.find("20,-3,"), csv.find('\n', csv.find("20,-3,")) - csv.find("20,-3,") + 1) + last);
  // A search draws no curves.
  EXPECT_EQ(Answer(R"({"analysis": "deficit", "effect": -2, "find": "n"})").Find("curves")->Kind,
            tJson_value::tKind::Null);
}

TEST(EnginePower, RefusalsAnswerAMessage) {
  struct tCase {
    const char* Request;
    const char* In_message;
  };
  const tCase cases[] = {
      {R"({"analysis": "deficit", "n": 10})", "\"effect\""},
      {R"({"analysis": "dissociation", "effect": -2, "n": 10})", "\"r\""},
      {R"({"analysis": "deficit", "effect": -2, "n": 10, "alpha": 1})", "\"alpha\""},
      {R"({"analysis": "deficit", "effect": -2, "n": 10, "format": "csv"})", "unknown member"},
      {R"({"analysis": "deficit", "effect": -2, "n": 10, "covariates": ["a"],
           "correlations": [[1, 0.5]]})", "2 rows of 2"},
      {R"({"analysis": "dissociation", "effect": -2, "n": 3, "r": 0.5})", "4"},  // calibrated prior: N >= 4
      {R"({"analysis": "deficit", "effect": -2, "n": {"a": 1}})", "\"n\""},
      {R"({"analysis": "planning"})", "analysis"},
      {R"([1, 2])", "object"},
      {R"({"analysis": )", "not valid JSON"},
  };
  for (const tCase& c : cases) {
    const tJson_value a = Answer(c.Request);
    EXPECT_FALSE(a.Find("ok")->Bool) << c.Request;
    EXPECT_NE(a.Find("message")->Text.find(c.In_message), std::string::npos)
        << c.Request << " -> " << a.Find("message")->Text;
  }
}

TEST(EnginePower, ProgressReachesTheTotalAndCancelStops) {
  const std::string request = R"({"analysis": "deficit", "test": "bayesian", "effect": -2,
      "n": [6, 8], "replications": 500, "iterations": 50})";
  std::int64_t last = 0, total = 0;
  tEngine_hooks hooks;
  hooks.Engine_threads = 1;
  hooks.Progress = [&](std::int64_t done, std::int64_t of) {
    EXPECT_GE(done, last);  // never backwards across the grid's points
    last = done;
    total = of;
  };
  ASSERT_TRUE(Answer(request, hooks).Find("ok")->Bool);
  EXPECT_EQ(last, 1000);
  EXPECT_EQ(total, 1000);
  hooks.Progress = nullptr;
  for (const int threads : {1, 0}) {
    std::atomic<bool> stop{true};
    hooks.Cancel = &stop;
    hooks.Engine_threads = threads;
    const tJson_value a = Answer(request, hooks);
    EXPECT_FALSE(a.Find("ok")->Bool);
    ASSERT_NE(a.Find("cancelled"), nullptr) << threads;
    EXPECT_TRUE(a.Find("cancelled")->Bool);
  }
}

}  // namespace
