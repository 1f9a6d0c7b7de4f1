// SPDX-License-Identifier: GPL-3.0-or-later
// A window's analysis written as the documented input file and read back to the same
// request and notes, and the files a window refuses, each with its reason: the cases that
// the window tests (test_gui_analysis_files) leave out.
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

// What a window can hold that the window tests do not type: names with JSON's special
// characters, line ends and non-ASCII letters; figures left empty (a partly typed window
// saves and opens as it was); notes with CR LF, a tab and quotes.
TEST(AnalysisFile, WrittenFileReadsBackToTheSameAnalysis) {
  const tAnalysis_file file{
      Make(tAnalysis_kind::Deficit,
           {{"\xC3\x82ge \"at test\"", "65", "8", "78"}, {"Edu\\years\n", "", ".5", "-9"}},
           {{"Naming", "-1.5", "3", ""}}, {{}, {"0.3"}, {"", "-.45"}}),
      "first line\r\nsecond\tline \"quoted\"\n"};
  const std::string text = Analysis_file_json(file);
  const auto read = Read_analysis_file(text, tAnalysis_kind::Deficit);
  ASSERT_EQ(read.index(), 0u) << std::get<1>(read) << "\n" << text;
  Expect_same(std::get<tAnalysis_file>(read), file);
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
        tRefusal{"misspelt_member", tAnalysis_kind::Deficit,
                 R"({"n": 30, "tasks": [TASK], "optoins": {"tail": "one"}})",
                 "unknown member \"optoins\""},
        tRefusal{"two_tasks_for_a_deficit", tAnalysis_kind::Deficit,
                 R"({"n": 30, "tasks": [TASK, TASK], "correlations": [[1], [0.5, 1]]})",
                 "it holds 2 tasks; the deficit takes one."},
        tRefusal{"seven_characters", tAnalysis_kind::Deficit,
                 R"({"n": "1234567", "tasks": [TASK]})", "Maximum length of input is 6 characters."},
        tRefusal{"notes_a_number", tAnalysis_kind::Deficit, R"({"n": 30, "tasks": [TASK], "notes": 5})",
                 "\"notes\" must be a text or an array of lines."}),
    [](const auto& info) { return std::string(info.param.name); });

// (A dissociation with covariates: the window tests.)
TEST(WorksheetAnalysis, RefusesTheUnstandardizedDifferenceTest) {
  tAnalysis_request with_udt = Worksheet_request({}, {});
  with_udt.With_udt = true;
  const auto read = Worksheet_texts_of(with_udt);
  ASSERT_EQ(read.index(), 1u);
  EXPECT_NE(std::get<std::string>(read).find("its dissociation also runs the unstandardized difference test"),
            std::string::npos);
}

}  // namespace
