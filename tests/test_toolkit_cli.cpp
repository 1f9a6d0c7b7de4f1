// SPDX-License-Identifier: GPL-3.0-or-later
// The toolkit's subcommands of kestrum-cli through the library: correlation files, the
// JSON input schema, the input rules, and whole runs (no process is started).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/toolkit_analysis.h"
#include "cli/cli_run.h"
#include "app/json_reader.h"
#include "cli/toolkit_cli.h"

namespace fs = std::filesystem;

namespace {

using tLower = std::vector<std::vector<std::string>>;

const std::vector<std::string> kNames = {"age", "edu", "Naming"};

// Correlation files: CSV or JSON, square or lower triangle, names in any order.
struct tMatrix_case {
  const char* Name;
  const char* Text;
  tLower Expected;  // empty: refused
  const char* Message_part;
};
class CorrelationFile : public ::testing::TestWithParam<tMatrix_case> {};
TEST_P(CorrelationFile, GivesTheLowerTriangleOrAMessage) {
  const tMatrix_case c = GetParam();
  const auto got = Correlations_from_text(c.Text, kNames);
  if (c.Expected.empty()) {
    ASSERT_TRUE(std::holds_alternative<std::string>(got));
    EXPECT_NE(std::get<std::string>(got).find(c.Message_part), std::string::npos)
        << std::get<std::string>(got);
  } else {
    ASSERT_TRUE(std::holds_alternative<tLower>(got)) << std::get<std::string>(got);
    EXPECT_EQ(std::get<tLower>(got), c.Expected);
  }
}
const tLower kLower = {{}, {"0.3"}, {"0.5", "0.4"}};
INSTANTIATE_TEST_SUITE_P(
    Cases, CorrelationFile,
    ::testing::Values(
        tMatrix_case{"CsvSquare", "1,0.3,0.5\n0.3,1,0.4\n0.5,0.4,1\n", kLower, ""},
        tMatrix_case{"CsvLowerTriangle", "1\r\n0.3,1\r\n0.5,0.4,1\r\n", kLower, ""},
        tMatrix_case{"CsvHeaderInOtherOrder",
                     ",Naming,age,edu\nNaming,1,0.5,0.4\nage,0.5,1,0.3\nedu,0.4,0.3,1\n",
                     kLower, ""},
        tMatrix_case{"JsonRows", "[[1, 0.3, 0.5], [0.3, 1, 0.4], [0.5, 0.4, 1]]", kLower, ""},
        tMatrix_case{"JsonNamed",
                     "{\"names\": [\"edu\", \"age\", \"Naming\"], \"matrix\": [[1], [0.3, 1], [0.4, 0.5, 1]]}",
                     kLower, ""},
        tMatrix_case{"Asymmetric", "1,0.3,0.5\n0.2,1,0.4\n0.5,0.4,1\n", {}, "not symmetric"},
        tMatrix_case{"DiagonalNotOne", "1,0.3,0.5\n0.3,2,0.4\n0.5,0.4,1\n", {}, "diagonal"},
        tMatrix_case{"TooFewRows", "1,0.3\n0.3,1\n", {}, "rows"},
        tMatrix_case{"UnknownName", ",a,b,c\na,1,0,0\nb,0,1,0\nc,0,0,1\n", {}, "no variable named"},
        tMatrix_case{"BadJson", "[[1, 0.3], [0.3, 1]", {}, "not valid JSON"}),
    [](const ::testing::TestParamInfo<tMatrix_case>& info) { return std::string(info.param.Name); });

tAnalysis_request Deficit_request(const std::string& n, const tLower& r) {
  tAnalysis_request q;
  q.Kind = tAnalysis_kind::Deficit;
  q.N = n;
  q.Covariates = {{"age", "65", "8", "78"}, {"edu", "12", "3", "9"}};
  q.Tasks = {{"Naming", "100", "15", "70"}};
  q.Correlations = r;
  return q;
}

// The input rules: every refusal has its message, and nothing is computed.
struct tRule_case {
  const char* Name;
  tAnalysis_request Request;
  const char* Message_part;
};
class ToolkitInputRules : public ::testing::TestWithParam<tRule_case> {};
TEST_P(ToolkitInputRules, RefuseWithAMessage) {
  const auto checked = Check_request(GetParam().Request);
  ASSERT_TRUE(std::holds_alternative<std::string>(checked));
  EXPECT_NE(std::get<std::string>(checked).find(GetParam().Message_part), std::string::npos)
      << std::get<std::string>(checked);
}
tAnalysis_request With(tAnalysis_request q, const std::function<void(tAnalysis_request&)>& f) {
  f(q);
  return q;
}
INSTANTIATE_TEST_SUITE_P(
    Cases, ToolkitInputRules,
    ::testing::Values(
        tRule_case{"NotPositiveDefinite", Deficit_request("30", {{}, {"0.9"}, {"0.9", "-0.9"}}),
                   "not positive definite"},
        tRule_case{"CorrelationOfOne", Deficit_request("30", {{}, {"1"}, {"0.5", "0.4"}}),
                   "must lie between"},
        tRule_case{"SdZero", With(Deficit_request("30", kLower), [](auto& q) { q.Covariates[1].Sd = "0"; }),
                   "edu: SD"},
        tRule_case{"SevenCharacters", With(Deficit_request("30", kLower), [](auto& q) { q.Tasks[0].Mean = "100.125"; }),
                   "Maximum length"},
        tRule_case{"NotANumber", With(Deficit_request("30", kLower), [](auto& q) { q.Covariates[0].Case = "7x"; }),
                   "numeric data only"},
        tRule_case{"TooFewControls", Deficit_request("4", kLower), "at least 5"},
        tRule_case{"CalibratedNeedsFourResidual",
                   [] {
                     tAnalysis_request q;
                     q.Kind = tAnalysis_kind::Dissociation;
                     q.N = "5";
                     q.Covariates = {{"age", "65", "8", "78"}, {"edu", "12", "3", "9"}};
                     q.Tasks = {{"X", "10", "2", "6"}, {"Y", "20", "4", "21"}};
                     q.Correlations = {{}, {"0.3"}, {"0.5", "0.4"}, {"0.2", "0.1", "0.5"}};
                     return q;
                   }(),
                   "at least 6"},
        tRule_case{"CombinedCriteriaWithCovariates",
                   [] {
                     tAnalysis_request q;
                     q.Kind = tAnalysis_kind::Dissociation;
                     q.N = "30";
                     q.Covariates = {{"age", "65", "8", "78"}};
                     q.Tasks = {{"X", "10", "2", "6"}, {"Y", "20", "4", "21"}};
                     q.Correlations = {{}, {"0.3"}, {"0.5", "0.4"}};
                     q.Options.Criteria = tCriteria::Combined;
                     return q;
                   }(),
                   "RSDT"}),
    [](const ::testing::TestParamInfo<tRule_case>& info) { return std::string(info.param.Name); });

// The run options as the command line and the input file give them: one reader, so the
// same words pass and fail in both; allowed names the words with the caller's quotes.
TEST(RunOptions, SameWordsForEveryFrontEnd) {
  const struct {
    const char* Key;
    const char* Text;
    bool Ok;
    const char* Allowed;  // with quote "\""
  } cases[] = {
      {"tail", "one", true, ""},
      {"tail", "two", true, ""},
      {"tail", "One", false, "\"two\" or \"one\""},
      {"prior", "jeffreys", true, ""},
      {"prior", "standard", false, "\"calibrated\" or \"jeffreys\""},
      {"criteria", "combined", true, ""},
      {"criteria", "", false, "\"bayesian\" or \"combined\""},
      {"iterations", "21", true, ""},
      {"iterations", "20", false, "a whole number from 21 to 100000000"},
      {"iterations", "0x100", false, "a whole number from 21 to 100000000"},
      {"iterations", "1e3", false, "a whole number from 21 to 100000000"},
  };
  for (const auto& c : cases) {
    tRun_options options;
    std::string allowed;
    EXPECT_EQ(Set_run_option(options, c.Key, c.Text, "\"", allowed), c.Ok) << c.Key << " " << c.Text;
    EXPECT_EQ(allowed, c.Allowed) << c.Key << " " << c.Text;
  }
  tRun_options options;
  std::string allowed;
  ASSERT_TRUE(Set_run_option(options, "tail", "one", "", allowed));
  ASSERT_TRUE(Set_run_option(options, "prior", "jeffreys", "", allowed));
  ASSERT_TRUE(Set_run_option(options, "criteria", "combined", "", allowed));
  ASSERT_TRUE(Set_run_option(options, "iterations", "100000000", "", allowed));
  EXPECT_EQ(options.Tail, tTail::One);
  EXPECT_EQ(options.Prior, tPrior::Standard);
  EXPECT_EQ(options.Criteria, tCriteria::Combined);
  EXPECT_EQ(options.Iterations, 100000000);
  // The command line's message and the input file's, from the same words.
  EXPECT_EQ(std::get<tUsage_error>(Parse_toolkit_arguments({"udt", "--tail", "both"})).Message,
            "invalid value 'both' for --tail (expected two or one)");
  EXPECT_EQ(std::get<tUsage_error>(Parse_arguments({"--prior", "flat"})).Message,
            "invalid value 'flat' for --prior (expected calibrated or jeffreys)");
  const auto from_file = Request_from_json(
      Parse_json(R"({"n": 20, "tasks": [{"mean": 1, "sd": 1, "case": 1}], "options": {"tail": "both"}})"),
      tAnalysis_kind::Deficit);
  EXPECT_EQ(std::get<std::string>(from_file), "\"tail\" must be \"two\" or \"one\".");
  for (const tAnalysis_kind kind :
       {tAnalysis_kind::Deficit, tAnalysis_kind::Dissociation, tAnalysis_kind::Udt})
    EXPECT_EQ(Analysis_of(Analysis_word(kind)), kind);
  EXPECT_FALSE(Analysis_of("Deficit").has_value());
  EXPECT_EQ(Trim_blanks(" \t a b\t "), "a b");
}

// The JSON input schema.
TEST(ToolkitInputFile, ReadsTheDocumentedSchema) {
  const std::string text = R"({
    "analysis": "dissociation", "n": 25,
    "covariates": [{"name": "age", "mean": 65, "sd": "8", "case": 78}],
    "tasks": [{"name": "Naming", "mean": 50, "sd": 10, "case": 32},
              {"name": "Reading", "mean": 40, "sd": 8, "case": 39}],
    "correlations": [[1, 0.4, 0.3], [0.4, 1, 0.6], [0.3, 0.6, 1]],
    "options": {"prior": "jeffreys", "tail": "one", "iterations": 20000, "udt": true}})";
  const auto r = Request_from_json(Parse_json(text), tAnalysis_kind::Dissociation);
  ASSERT_TRUE(std::holds_alternative<tAnalysis_request>(r)) << std::get<std::string>(r);
  const tAnalysis_request& q = std::get<tAnalysis_request>(r);
  EXPECT_EQ(q.N, "25");
  EXPECT_EQ(q.Covariates.at(0).Sd, "8");
  EXPECT_EQ(q.Tasks.at(1).Name, "Reading");
  EXPECT_EQ(q.Correlations, (tLower{{}, {"0.4"}, {"0.3", "0.6"}}));
  EXPECT_EQ(q.Options.Prior, tPrior::Standard);
  EXPECT_EQ(q.Options.Tail, tTail::One);
  EXPECT_EQ(q.Options.Iterations, 20000);
  EXPECT_TRUE(q.With_udt);

  for (const char* bad : {R"({"analysis": "udt", "n": 20})", R"({"tasks": []})",
                          R"({"n": 20, "tasks": [{"name": "X", "colour": 1}]})",
                          R"({"n": 20, "tasks": [{"mean": 1, "sd": 1, "case": 0}], "options": {"prior": "flat"}})"}) {
    const auto e = Request_from_json(Parse_json(bad), tAnalysis_kind::Dissociation);
    EXPECT_TRUE(std::holds_alternative<std::string>(e)) << bad;
  }
  EXPECT_THROW((void)Parse_json("{\"n\": 20,}"), std::runtime_error);
  EXPECT_THROW((void)Parse_json(std::string(200, '[')), std::runtime_error);
}

class ToolkitRun : public ::testing::Test {
 protected:
  int Run(const std::vector<std::string>& args) {
    out_.str("");
    err_.str("");
    return Run_cli(args, out_, err_, false);
  }
  std::string Write(const std::string& name, const std::string& text) {
    const fs::path p = fs::path(::testing::TempDir()) / name;
    std::ofstream(p) << text;
    return p.string();
  }
  // The value of "key" inside the JSON object "group" of the output.
  std::string Value(const std::string& group, const std::string& key) {
    const std::string text = out_.str();
    const auto at = text.find("\"" + group + "\": {");
    if (at == std::string::npos) return "";
    const std::string needle = "\"" + key + "\": ";
    const auto from = text.find(needle, at);
    if (from == std::string::npos) return "";
    const auto begin = from + needle.size();
    return text.substr(begin, text.find_first_of(",}", begin) - begin);
  }
  std::ostringstream out_, err_;
};

// A deficit without covariates through the command line gives the worksheet's figures
// for that task, digit for digit.
TEST_F(ToolkitRun, DeficitWithoutCovariatesGivesTheWorksheetsFigures) {
  ASSERT_EQ(Run({"--mean-x", "100", "--sd-x", "15", "--mean-y", "50", "--sd-y", "10", "--r",
                 "0.6", "--n", "20", "--case-x", "80", "--case-y", "40", "--iterations", "21",
                 "--format", "json"}), 0);
  std::vector<std::string> worksheet;
  for (const char* key : {"t_value", "p_one_tailed", "pct_lower", "pct_upper", "zcc_lower", "zcc_upper"})
    worksheet.push_back(Value("deficit_x", key));
  ASSERT_EQ(Run({"deficit", "--mean", "100", "--sd", "15", "--case", "80", "--n", "20",
                 "--iterations", "10000", "--format", "json"}), 0) << err_.str();
  std::size_t k = 0;
  for (const char* key : {"t_value", "p_one_tailed", "pct_lower", "pct_upper", "zcc_lower", "zcc_upper"})
    EXPECT_EQ(Value("deficit", key), worksheet[k++]) << key;
}

// Inputs at the edges of what the checks accept once ended the run in a distribution
// function ("Argument too large", "lies beyond +/-100000"): every one completes.
TEST_F(ToolkitRun, EdgesOfLegalInputComplete) {
  const std::string r2 = Write("edge_r2.json", "[[1],[0.3,1]]");
  std::string r7 = "[";
  for (int i = 0; i < 7; ++i) {
    r7 += i ? ",[" : "[";
    for (int j = 0; j <= i; ++j) r7 += std::string(j ? "," : "") + (i == j ? "1" : "0.3");
    r7 += "]";
  }
  const std::string r7_file = Write("edge_r7.json", r7 + "]");
  std::vector<std::string> five = {"dissociation", "--n", "9", "--mean-x", "50", "--sd-x", "10",
                                   "--case-x", "40", "--mean-y", "50", "--sd-y", "10",
                                   "--case-y", "55", "--correlations", r7_file,
                                   "--iterations", "2000", "--prior", "jeffreys"};
  for (int i = 1; i <= 5; ++i)
    five.insert(five.end(), {"--covariate", "C" + std::to_string(i) + "=0.0001,0.0001,99999"});
  const std::vector<std::string> runs[] = {
      {"--n", "4", "--r", "0.9999", "--mean-x", "0", "--sd-x", "1", "--case-x", "700",
       "--mean-y", "0", "--sd-y", "1", "--case-y", "-700", "--prior", "jeffreys",
       "--iterations", "2000"},
      {"--n", "4", "--r", "0.9999", "--mean-x", "0", "--sd-x", "1", "--case-x", "700",
       "--mean-y", "0", "--sd-y", "1", "--case-y", "-700", "--prior", "calibrated",
       "--iterations", "2000"},
      {"deficit", "--n", "10", "--mean", "50", "--sd", "10", "--case", "40", "--covariate",
       "Age=0.0001,0.0001,99999", "--correlations", r2, "--iterations", "2000"},
      five,
  };
  for (const auto& args : runs) {
    EXPECT_EQ(Run(args), 0) << args[0] << " " << args[2] << ": " << err_.str();
    EXPECT_NE(out_.str().find("OUTPUTS:"), std::string::npos);
  }
}

// The report names the covariates only when there are some.
TEST_F(ToolkitRun, DeficitReportSaysWhatWasRun) {
  ASSERT_EQ(Run({"deficit", "--mean", "100", "--sd", "15", "--case", "80", "--n", "20",
                 "--iterations", "1000"}), 0) << err_.str();
  EXPECT_EQ(out_.str().find("allowing for covariates"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("Quarrin & Orlund (1998): the modified t-test"), std::string::npos);
  EXPECT_NE(out_.str().find(" Bayesian test for a deficit: the posterior"), std::string::npos);
  const std::string r = Write("one_covariate.json", "[[1],[0.3,1]]");
  ASSERT_EQ(Run({"deficit", "--mean", "100", "--sd", "15", "--case", "80", "--n", "20",
                 "--covariate", "age=65,8,78", "--correlations", r, "--iterations", "1000"}), 0)
      << err_.str();
  EXPECT_NE(out_.str().find("Test for a deficit allowing for covariates"), std::string::npos);
}

// A saved analysis's User's Notes reach the report, unless --notes gives others; notes
// that are not a text are refused.
TEST_F(ToolkitRun, InputFileNotesGoInTheReport) {
  const auto file = [&](const std::string& notes) {
    return Write("notes.json", R"({"n": 20, "tasks": [{"mean": 100, "sd": 15, "case": 80}],
                                   "options": {"iterations": 1000}, "notes": )" + notes + "}");
  };
  struct tCase {
    std::string Notes, Option;
    int Status;
    std::vector<std::string> Shown, Hidden;
  };
  const tCase cases[] = {
      {R"("Patient AB\nsession 2")", "", 0, {"Patient AB", "session 2"}, {}},
      {R"("Patient AB")", "Other notes", 0, {"Other notes"}, {"Patient AB"}},
      {R"(["line one", "line two"])", "", 0, {"line one", "line two"}, {}},
      {"5", "", kExit_input, {}, {}},
  };
  for (const tCase& c : cases) {
    std::vector<std::string> args = {"deficit", "--input", file(c.Notes)};
    if (!c.Option.empty()) args.insert(args.end(), {"--notes", c.Option});
    EXPECT_EQ(Run(args), c.Status) << c.Notes << ": " << err_.str();
    for (const auto& t : c.Shown) EXPECT_NE(out_.str().find(t), std::string::npos) << t;
    for (const auto& t : c.Hidden) EXPECT_EQ(out_.str().find(t), std::string::npos) << t;
  }
}

TEST_F(ToolkitRun, RefusedInputWritesNothing) {
  const std::string r = Write("bad_r.csv", "1,0.9,0.9\n0.9,1,-0.9\n0.9,-0.9,1\n");
  EXPECT_EQ(Run({"deficit", "--mean", "100", "--sd", "15", "--case", "70", "--n", "30",
                 "--covariate", "age=65,8,78", "--covariate", "edu=12,3,9", "--correlations", r}),
            kExit_input);
  EXPECT_EQ(out_.str(), "");
  EXPECT_NE(err_.str().find("not positive definite"), std::string::npos) << err_.str();
  EXPECT_EQ(Run({"deficit", "--mean", "100", "--covariate", "age=65,8,78"}), kExit_usage);
  EXPECT_NE(err_.str().find("--correlations"), std::string::npos);
  EXPECT_EQ(Run({"udt", "--covariate", "age=65,8,78"}), kExit_usage);
}

}  // namespace
