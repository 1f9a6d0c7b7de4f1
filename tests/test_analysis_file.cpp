// SPDX-License-Identifier: GPL-3.0-or-later
// A window's analysis written as the documented input file and read back to the same
// request and notes; hand-written files read as the documentation allows; the files a
// window refuses, each with its reason; the worksheet's fields as its dissociation.
#include <gtest/gtest.h>

#include "app/analysis_file.h"

namespace {

tAnalysis_request Make(tAnalysis_kind kind, std::vector<tVariable_texts> covariates,
                       std::vector<tVariable_texts> tasks, std::vector<std::vector<std::string>> correlations) {
  tAnalysis_request r;
  r.Kind = kind;
  r.N = "30";
  r.Covariates = std::move(covariates);
  r.Tasks = std::move(tasks);
  r.Correlations = std::move(correlations);
  return r;
}

void Expect_same(const tAnalysis_file& got, const tAnalysis_file& want) {
  const tAnalysis_request &g = got.Request, &w = want.Request;
  EXPECT_EQ(g.Kind, w.Kind);
  EXPECT_EQ(g.N, w.N);
  const auto same_list = [](const std::vector<tVariable_texts>& a, const std::vector<tVariable_texts>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
      EXPECT_EQ(a[i].Name, b[i].Name);
      EXPECT_EQ(a[i].Mean, b[i].Mean);
      EXPECT_EQ(a[i].Sd, b[i].Sd);
      EXPECT_EQ(a[i].Case, b[i].Case);
    }
  };
  same_list(g.Covariates, w.Covariates);
  same_list(g.Tasks, w.Tasks);
  EXPECT_EQ(g.Correlations, w.Correlations);
  EXPECT_EQ(g.Options.Tail, w.Options.Tail);
  EXPECT_EQ(g.Options.Prior, w.Options.Prior);
  EXPECT_EQ(g.Options.Criteria, w.Options.Criteria);
  EXPECT_EQ(g.Options.Iterations, w.Options.Iterations);
  EXPECT_EQ(g.With_udt, w.With_udt);
  EXPECT_EQ(got.Notes, want.Notes);
}

struct tRound_trip {
  const char* name;
  tAnalysis_file file;
};

// What a window can hold: names with JSON's special characters, line ends and non-ASCII
// letters; figures left empty (a partly typed window saves and opens as it was); every
// option away from its default; the notes over several lines.
std::vector<tRound_trip> Round_trips() {
  std::vector<tRound_trip> cases;
  {
    tAnalysis_file f{Make(tAnalysis_kind::Deficit, {}, {{"", "100", "15", "70"}}, {{}}), ""};
    f.Request.Options.Tail = tTail::One;
    f.Request.Options.Iterations = 21;
    cases.push_back({"deficit without covariates or names", f});
  }
  {
    tAnalysis_file f{Make(tAnalysis_kind::Deficit,
                          {{"\xC3\x82ge \"at test\"", "65", "8", "78"}, {"Edu\\years\n", "", ".5", "-9"}},
                          {{"Naming", "-1.5", "3", ""}}, {{}, {"0.3"}, {"", "-.45"}}),
                     "first line\r\nsecond\tline \"quoted\"\n"};
    cases.push_back({"deficit with two covariates, empty figures", f});
  }
  {
    tAnalysis_file f{Make(tAnalysis_kind::Dissociation, {{"Age", "65", "8", "78"}},
                          {{"X", "50", "10", "28"}, {"Y", "40", "8", "39"}},
                          {{}, {"0.5"}, {"0.4", "0.6"}}),
                     "notes"};
    f.Request.Options = {tCriteria::Bayesian, tTail::One, tPrior::Standard, 100000000, 0};
    f.Request.With_udt = true;
    cases.push_back({"dissociation with covariate and udt", f});
  }
  {
    tAnalysis_file f{Make(tAnalysis_kind::Dissociation, {}, {{"", "1", "2", "3"}, {"", "4", "5", "6"}},
                          {{}, {"0.7"}}),
                     ""};
    f.Request.Options.Criteria = tCriteria::Combined;
    cases.push_back({"worksheet's dissociation, combined criteria", f});
  }
  return cases;
}

TEST(AnalysisFile, WrittenFileReadsBackToTheSameAnalysis) {
  for (const tRound_trip& c : Round_trips()) {
    SCOPED_TRACE(c.name);
    const std::string text = Analysis_file_json(c.file);
    const auto read = Read_analysis_file(text, c.file.Request.Kind);
    ASSERT_EQ(read.index(), 0u) << std::get<1>(read) << "\n" << text;
    Expect_same(std::get<tAnalysis_file>(read), c.file);
  }
}

// Hand-written files in the documented forms: figures as numbers or texts, a comma typed
// as a point, the square matrix, the notes as lines.
TEST(AnalysisFile, HandWrittenFileReadsAsTheFieldsTypeIt) {
  const char* text = R"({"n": 20, "tasks": [{"mean": 50, "sd": "10", "case": "2,5"},
    {"name": "Y", "mean": -4.5, "sd": 8, "case": 39}],
    "correlations": [[1, 0.25], [0.25, 1]], "notes": ["one", "two"]})";
  const auto read = Read_analysis_file(text, tAnalysis_kind::Dissociation);
  ASSERT_EQ(read.index(), 0u) << std::get<1>(read);
  tAnalysis_file want{Make(tAnalysis_kind::Dissociation, {},
                           {{"", "50", "10", "2.5"}, {"Y", "-4.5", "8", "39"}}, {{}, {"0.25"}}),
                      "one\ntwo"};
  want.Request.N = "20";
  Expect_same(std::get<tAnalysis_file>(read), want);
}

struct tRefusal {
  const char* name;
  tAnalysis_kind kind;
  const char* text;
  const char* message;  // a part of the message
};

const char kTask[] = R"({"mean": 1, "sd": 1, "case": 1})";

class AnalysisFileRefusal : public ::testing::TestWithParam<tRefusal> {};

TEST_P(AnalysisFileRefusal, SaysWhy) {
  const tRefusal& c = GetParam();
  std::string text = c.text;
  for (std::size_t at; (at = text.find("TASK")) != std::string::npos;) text.replace(at, 4, kTask);
  const auto read = Read_analysis_file(text, c.kind);
  ASSERT_EQ(read.index(), 1u);
  EXPECT_NE(std::get<std::string>(read).find(c.message), std::string::npos) << std::get<std::string>(read);
}

// Each message from the reader or the typing rules (app/input_checks.h).
INSTANTIATE_TEST_SUITE_P(
    Files, AnalysisFileRefusal,
    ::testing::Values(
        tRefusal{"not_json", tAnalysis_kind::Deficit, "{\"n\": 30,", "it is not valid JSON"},
        tRefusal{"another_analysis", tAnalysis_kind::Deficit,
                 R"({"analysis": "dissociation", "n": 30, "tasks": [TASK, TASK], "correlations": [[1], [0.5, 1]]})",
                 "\"analysis\" is \"dissociation\", not \"deficit\""},
        tRefusal{"misspelt_member", tAnalysis_kind::Deficit,
                 R"({"n": 30, "tasks": [TASK], "optoins": {"tail": "one"}})",
                 "unknown member \"optoins\""},
        tRefusal{"two_tasks_for_a_deficit", tAnalysis_kind::Deficit,
                 R"({"n": 30, "tasks": [TASK, TASK], "correlations": [[1], [0.5, 1]]})",
                 "it holds 2 tasks; the deficit takes one."},
        tRefusal{"six_covariates", tAnalysis_kind::Dissociation,
                 R"({"n": 30, "covariates": [TASK, TASK, TASK, TASK, TASK, TASK], "tasks": [TASK, TASK],
                    "correlations": [[1], [0, 1], [0, 0, 1], [0, 0, 0, 1], [0, 0, 0, 0, 1],
                    [0, 0, 0, 0, 0, 1], [0, 0, 0, 0, 0, 0, 1], [0, 0, 0, 0, 0, 0, 0, 1]]})",
                 "it holds 6 covariates; at most 5 are allowed."},
        tRefusal{"exponent", tAnalysis_kind::Deficit,
                 R"({"n": 30, "tasks": [{"mean": 1e3, "sd": 1, "case": 1}]})",
                 "a figure is not one that a field takes:\r\rINPUT ERROR"},
        tRefusal{"seven_characters", tAnalysis_kind::Deficit,
                 R"({"n": "1234567", "tasks": [TASK]})", "Maximum length of input is 6 characters."},
        tRefusal{"notes_a_number", tAnalysis_kind::Deficit, R"({"n": 30, "tasks": [TASK], "notes": 5})",
                 "\"notes\" must be a text or an array of lines."},
        tRefusal{"notes_holding_a_number", tAnalysis_kind::Deficit,
                 R"({"n": 30, "tasks": [TASK], "notes": ["a", 5]})", "\"notes\" must hold texts."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WorksheetAnalysis, FieldsMakeTheDissociationAndBack) {
  const tWorksheet_texts fields{"1", "2", "3", "4", "0.5", "30", "7", "8"};
  tRun_options options;
  options.Tail = tTail::One;
  const tAnalysis_request r = Worksheet_request(fields, options);
  // The worksheet's order: Mean_x, Sd_x, Mean_y, Sd_y, R_xy, N, Case_x, Case_y.
  EXPECT_EQ(r.Tasks.at(0).Mean + r.Tasks.at(0).Sd + r.Tasks.at(0).Case, "127");
  EXPECT_EQ(r.Tasks.at(1).Mean + r.Tasks.at(1).Sd + r.Tasks.at(1).Case, "348");
  EXPECT_EQ(r.Correlations.at(1).at(0), "0.5");
  EXPECT_EQ(r.N, "30");
  EXPECT_EQ(r.Options.Tail, tTail::One);
  const auto back = Worksheet_texts_of(r);
  ASSERT_EQ(back.index(), 0u);
  EXPECT_EQ(std::get<tWorksheet_texts>(back), fields);
}

TEST(WorksheetAnalysis, RefusesWhatTheWorksheetCannotHold) {
  tAnalysis_request with_covariate = Worksheet_request({}, {});
  with_covariate.Covariates.push_back({"Age", "1", "1", "1"});
  tAnalysis_request with_udt = Worksheet_request({}, {});
  with_udt.With_udt = true;
  const std::pair<tAnalysis_request, const char*> cases[] = {
      {with_covariate, "it holds a dissociation allowing for 1 covariate; the worksheet allows for none"},
      {with_udt, "its dissociation also runs the unstandardized difference test"}};
  for (const auto& [request, message] : cases) {
    const auto read = Worksheet_texts_of(request);
    ASSERT_EQ(read.index(), 1u);
    EXPECT_NE(std::get<std::string>(read).find(message), std::string::npos) << std::get<std::string>(read);
  }
}

}  // namespace
