// SPDX-License-Identifier: GPL-3.0-or-later
// The worksheet's command and the toolkit's subcommands run the same analysis through the
// same criteria, record writers and batch runner: each table below gives the same input
// to both commands (where both take it) and expects the same behaviour. Faults that the
// toolkit's command once had on its own path are named in the cases.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/criteria.h"
#include "app/warning_collector.h"
#include "cli/cli_run.h"

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kControls = {"--mean-x", "100", "--sd-x", "15", "--mean-y", "50",
                                            "--sd-y", "10", "--r", "0.6", "--n", "20"};

std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The main command and the toolkit's dissociation with the same arguments.
struct tCommand {
  const char* Name;
  std::vector<std::string> Prefix;
};
const tCommand kBoth[] = {{"main", {}}, {"dissociation", {"dissociation"}}};

class OnePath : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kestrum_one_path_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Write(const std::string& name, const std::string& content) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  int Run(const std::vector<std::string>& args) {
    out_.str("");
    err_.str("");
    return Run_cli(args, out_, err_, false);
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(out_.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  fs::path dir_;
  std::ostringstream out_, err_;
};

// Row 1: every criterion compares with the extended alpha, strictly. The double 0.05 lies
// above 0.05L, so a p of exactly the double 0.05 is not significant (the toolkit once
// compared with the double and let it pass where the worksheet did not).
TEST(Criteria, ExtendedAlphaDecidesForEveryAnalysis) {
  struct tCase {
    const char* name;
    Extended p, t;
    bool deficit, significant;
  };
  const tCase cases[] = {
      {"p of the double 0.05", static_cast<Extended>(0.05), -2, false, false},
      {"p of exactly 0.05L", 0.05L, -2, false, false},
      {"p just below alpha", std::nextafter(kAlpha, Extended{0}), -2, true, true},
      {"below alpha, case above the mean", 0.001L, 0.5L, false, true},
      {"below alpha, t of 0", 0.001L, 0, false, true},
  };
  for (const tCase& c : cases) {
    tDeficit_results d;
    d.P_one_tailed = c.p;
    d.T_value = c.t;
    EXPECT_EQ(Meets_deficit(d), c.deficit) << c.name;
    EXPECT_EQ(Significant(c.p), c.significant) << c.name;
  }
  EXPECT_EQ(Classify(2, true), tClassification::Strong);
  EXPECT_EQ(Classify(1, true), tClassification::Classical);
  EXPECT_EQ(Classify(0, true), tClassification::Neither);
  EXPECT_EQ(Classify(2, false), tClassification::Neither);
}

// Row 2: the statistics' warnings of a run are collected into its record, and a front
// end's own hook still sees them (the toolkit once dropped them).
TEST(Warnings, CollectedIntoTheRecordAndPassedOn) {
  std::vector<std::string> seen_by_front_end;
  Set_warning_hook([&](const std::string& w) { seen_by_front_end.push_back(w); });
  std::vector<std::string> record;
  {
    const tWarning_collector collector(record);
    (void)Simpson_integral(0, 99999);  // every refinement: "Too many steps"
  }
  EXPECT_EQ(record, std::vector<std::string>{"Too many steps"});
  EXPECT_EQ(seen_by_front_end, std::vector<std::string>{"Too many steps"});
  (void)Simpson_integral(0, 99999);  // the front end's hook is back in place
  EXPECT_EQ(seen_by_front_end.size(), 2u);
  EXPECT_EQ(record.size(), 1u);
  Set_warning_hook(nullptr);
}

// Row 3: names and notes copied from the command line or an input file never reach the
// report as control characters, C1 controls or bidirectional overrides.
TEST_F(OnePath, ReportsHoldNoControlCharactersFromInputs) {
  const std::string nasty = "Naming\r Deficit\x1b[2J\xc2\x9b\xe2\x80\xae";
  const std::string input = Write("input.json", "{\"n\": 20, \"tasks\": [{\"name\": \"Nam\\u001b[2Jing\\r\", \"mean\": 50, \"sd\": 10, \"case\": 28}]}");
  const std::vector<std::vector<std::string>> runs = {
      With(kControls, {"--case-x", "70", "--case-y", "52", "--iterations", "2000", "--notes", nasty}),
      With({"dissociation"}, With(kControls, {"--case-x", "70", "--case-y", "52", "--iterations", "2000",
                                              "--name-x", nasty, "--name-y", nasty, "--notes", nasty})),
      {"deficit", "--mean", "50", "--sd", "10", "--case", "28", "--n", "20", "--iterations", "2000",
       "--name", nasty},
      {"deficit", "--input", input, "--iterations", "2000"},
      {"deficit", "--mean", "50", "--sd", "10", "--case", "28", "--n", "20", "--iterations", "2000",
       "--covariate", nasty + "=60,8,70", "--correlations", Write("r.csv", "1,0.3\n0.3,1\n")},
  };
  for (const auto& args : runs) {
    ASSERT_EQ(Run(args), kExit_success) << args.front() << ": " << err_.str();
    const std::string report = out_.str();
    EXPECT_EQ(report.find('\r'), std::string::npos) << args.front();
    EXPECT_EQ(report.find('\x1b'), std::string::npos) << args.front();
    EXPECT_EQ(report.find("\xc2\x9b"), std::string::npos) << args.front();
    EXPECT_EQ(report.find("\xe2\x80\xae"), std::string::npos) << args.front();
  }
}

// Row 4: a row with unquoted decimal commas is that row's error in both commands, and a
// semicolon-separated file is read by both.
TEST_F(OnePath, DecimalCommasAndSemicolonFiles) {
  const std::string commas = Write("commas.csv", "id,case_x,case_y\nP1,80,5,40,2\nP2,80,40\n");
  const std::string semicolons = Write("semi.csv", "id;case_x;case_y\nP1;80,5;40,2\n");
  for (const tCommand& c : kBoth) {
    EXPECT_EQ(Run(With(c.Prefix, With(kControls, {"--iterations", "2000", "--batch", commas}))),
              kExit_input) << c.Name;
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 3u) << c.Name << out_.str();
    EXPECT_NE(lines[1].find("the row has 5 fields and the header 3"), std::string::npos) << c.Name;
    EXPECT_EQ(lines[2].rfind("P2,80,40,-1.33", 0), 0u) << c.Name;

    EXPECT_EQ(Run(With(c.Prefix, With(kControls, {"--iterations", "2000", "--batch", semicolons}))),
              kExit_success) << c.Name << err_.str();
    ASSERT_EQ(Lines().size(), 2u) << c.Name;
    // The case texts as given, the figures read with a decimal point.
    EXPECT_EQ(Lines()[1].rfind("P1,\"80,5\",\"40,2\",-1.3,", 0), 0u) << c.Name << Lines()[1];
  }
}

// Row 7: a failing row keeps the full header and puts its message in the error column,
// also when it is the first row.
TEST_F(OnePath, FailingRowsKeepTheColumns) {
  const std::string cases = Write("cases.csv", "id,case_x,case_y\nbad,7x,40\ngood,80,40\n");
  for (const tCommand& c : kBoth) {
    EXPECT_EQ(Run(With(c.Prefix, With(kControls, {"--iterations", "2000", "--batch", cases}))),
              kExit_input) << c.Name;
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 3u) << c.Name;
    const auto count = [](const std::string& s) { return std::count(s.begin(), s.end(), ','); };
    EXPECT_EQ(lines[0].rfind("id,case_x,case_y,z_x,", 0), 0u) << c.Name;
    EXPECT_EQ(count(lines[1]), count(lines[0])) << c.Name;
    EXPECT_EQ(count(lines[2]), count(lines[0])) << c.Name;
    // The error column holds the message; the analysis columns are empty.
    EXPECT_NE(lines[1].find(",INPUT ERROR"), std::string::npos) << c.Name << lines[1];
    EXPECT_EQ(lines[1].find("strong"), std::string::npos) << c.Name;
  }
}

// Row 9: covariate columns are matched without regard to case; a column that names no
// covariate (a misspelling) or a column given twice is refused, not silently ignored.
TEST_F(OnePath, CovariateColumnsAreCheckedByName) {
  const std::string r = Write("r.csv", "1,0.3\n0.3,1\n");
  const std::vector<std::string> deficit = {"deficit", "--mean", "50", "--sd", "10", "--case", "28",
                                            "--n", "20", "--covariate", "Age=65,8,78",
                                            "--correlations", r, "--iterations", "2000", "--batch"};
  struct tCase {
    const char* name;
    const char* file;
    int status;
    const char* message;
  };
  const tCase cases[] = {
      {"the covariate's name in another case", "id,case,age\na,28,60\n", kExit_success, ""},
      {"a misspelt covariate", "id,case,agee\na,28,60\n", kExit_input, "the column agee"},
      {"a covariate twice", "id,case,Age,AGE\na,28,60,61\n", kExit_input, "twice"},
  };
  for (const tCase& c : cases) {
    EXPECT_EQ(Run(With(deficit, {Write("cases.csv", c.file)})), c.status) << c.name << err_.str();
    EXPECT_NE(err_.str().find(c.message), std::string::npos) << c.name << err_.str();
  }
  // The column's score is used: the prediction differs from the --covariate score's.
  ASSERT_EQ(Run(With(deficit, {Write("a.csv", "id,case,age\na,28,60\nb,28,78\n")})), kExit_success);
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1].rfind("a,28,60,", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2].rfind("b,28,78,", 0), 0u) << lines[2];
  EXPECT_NE(lines[1].substr(8, 60), lines[2].substr(8, 60));
}

// Row 10: --iterations takes a whole decimal number only, in every command and in an
// input file.
TEST_F(OnePath, IterationsAreAWholeDecimalNumber) {
  for (const char* text : {"0x100", "1e3", "100.0", " 100", "20"}) {
    for (const tCommand& c : kBoth) {
      EXPECT_EQ(Run(With(c.Prefix, With(kControls, {"--case-x", "70", "--case-y", "52",
                                                    "--iterations", text}))),
                kExit_usage) << c.Name << " " << text;
    }
    EXPECT_EQ(Run({"deficit", "--mean", "50", "--sd", "10", "--case", "28", "--n", "20",
                   "--iterations", text}),
              kExit_usage) << text;
  }
  const std::string input = Write("in.json", "{\"n\": 20, \"tasks\": [{\"mean\": 50, \"sd\": 10, \"case\": 28}],"
                                             " \"options\": {\"iterations\": 1e3}}");
  EXPECT_EQ(Run({"deficit", "--input", input}), kExit_input);
  EXPECT_NE(err_.str().find("\"iterations\" must be a whole number"), std::string::npos) << err_.str();
}

// A dissociation without covariates through the toolkit's command is the worksheet's
// analysis: its JSON (single run and batch) is the main command's, byte for byte.
TEST_F(OnePath, DissociationWithoutCovariatesIsTheWorksheet) {
  // (Refused figures are named as each command names them, so the rows here are all valid.)
  const std::string cases = Write("cases.csv", "id,case_x,case_y\na,70,52\nb,40,52\nd,130,20\n");
  const std::vector<std::vector<std::string>> option_sets = {
      {"--criteria", "bayesian", "--prior", "calibrated", "--tail", "two"},
      {"--criteria", "combined", "--prior", "calibrated", "--tail", "one"},
      {"--criteria", "combined", "--prior", "jeffreys", "--tail", "two"},
      {"--criteria", "bayesian", "--prior", "jeffreys", "--tail", "one"},
  };
  for (const auto& options : option_sets) {
    const std::string label = options[1] + " " + options[3] + " " + options[5];
    for (const auto& run : {With(options, {"--case-x", "70", "--case-y", "52", "--format", "json"}),
                            With(options, {"--case-x", "40", "--case-y", "52", "--format", "json"}),
                            With(options, {"--batch", cases, "--format", "json"}),
                            With(options, {"--batch", cases})}) {
      const std::vector<std::string> args = With(kControls, With({"--iterations", "5000"}, run));
      const int main_status = Run(args);
      const std::string main_out = out_.str();
      EXPECT_EQ(Run(With({"dissociation"}, args)), main_status) << label;
      EXPECT_EQ(out_.str(), main_out) << label << " " << run.back();
    }
  }
}

}  // namespace
