// SPDX-License-Identifier: GPL-3.0-or-later
// The engine interface against the command line it must agree with: a run's record and
// report equal kestrum-cli's --format json and report for the same request, its refusals
// carry the command line's message, and a batch's output, messages and status equal
// kestrum-cli --batch's for the same case file, with its progress in cases and a stop.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/engine_interface.h"
#include "app/json_reader.h"
#include "app/plot_geometry.h"
#include "app/safe_text.h"
#include "tests/support/cli_capture.h"

namespace fs = std::filesystem;

namespace {

class EngineInterface : public tScratch_test {
 protected:
  // kestrum-cli's status, standard output and standard error.
  static tCli_result Cli(const std::vector<std::string>& args) { return Run_cli_captured(args); }
};

// A member's value as text (a string's value, else the JSON text of a number or a bool).
std::string Member(const tJson_value& doc, const std::string& name) {
  const tJson_value* v = doc.Find(name);
  if (v == nullptr) return "<none>";
  if (v->Kind == tJson_value::tKind::Bool) return v->Bool ? "true" : "false";
  return v->Text;
}

// The record's JSON as the answer holds it: the text between "record": and ,"report".
std::string Record_text(const std::string& answer) {
  const std::size_t from = answer.find("\"record\":");
  const std::size_t to = answer.rfind(",\"report\":");
  if (from == std::string::npos || to == std::string::npos) return "<no record>";
  return answer.substr(from + 9, to - from - 9);
}

const char kDeficit_covariates[] = R"({"analysis": "deficit", "n": 30,
  "covariates": [{"name": "Age", "mean": 65, "sd": 8, "case": 78}],
  "tasks": [{"name": "Naming", "mean": 50, "sd": 10, "case": 31}],
  "correlations": [[1], [0.4, 1]], "options": {"iterations": 3000, "tail": "one"}})";
const char kDissociation[] = R"({"analysis": "dissociation", "n": 20,
  "tasks": [{"name": "Naming", "mean": 50, "sd": 10, "case": 28},
            {"name": "Reading", "mean": 40, "sd": 8, "case": 39}],
  "correlations": [[1], [0.6, 1]], "options": {"iterations": 3000, "criteria": "combined"}})";
const char kUdt[] = R"({"analysis": "udt", "n": 20,
  "tasks": [{"name": "Naming", "mean": 50, "sd": 10, "case": 28},
            {"name": "Reading", "mean": 40, "sd": 8, "case": 39}],
  "correlations": [[1], [0.6, 1]]})";

// The worksheet's example controls and options as the command line's options.
const std::vector<std::string> kExample = {
    "--mean-x", "100", "--sd-x", "15", "--mean-y", "50", "--sd-y", "10", "--r", "0.6",
    "--n", "20", "--iterations", "3000", "--criteria", "combined"};
const char kExample_request[] =
    R"({"analysis": "worksheet", "fields": [100, "15", 50, 10, "0,6", 20, 70, 52],
        "options": {"iterations": 3000, "criteria": "combined"}, "notes": "Patient AB\nsession 1"})";

TEST_F(EngineInterface, RunGivesTheCommandLinesRecordAndReport) {
  const std::string deficit = Write("deficit.json", kDeficit_covariates);
  const std::string dissociation = Write("dissociation.json", kDissociation);
  const std::string udt = Write("udt.json", kUdt);
  std::vector<std::string> example = kExample;
  example.insert(example.end(), {"--case-x", "70", "--case-y", "52", "--notes", "Patient AB\nsession 1"});
  const struct {
    const char* Name;
    std::string Request;
    std::vector<std::string> Args;  // without --format
    const char* Posterior_title;      // the posterior panel's x axis (app/plot_geometry.h); "": none
  } cases[] = {
      {"worksheet example with notes", kExample_request, example, "Z-DCC"},
      {"deficit with a covariate", kDeficit_covariates, {"deficit", "--input", deficit}, "Z-CCC"},
      {"dissociation without covariates", kDissociation, {"dissociation", "--input", dissociation},
       "Z-DCC"},
      {"unstandardized difference test", kUdt, {"udt", "--input", udt}, ""},
  };
  for (const auto& c : cases) {
    const std::string answer = Engine_run(c.Request);
    const tJson_value doc = Parse_json(answer);
    ASSERT_EQ(Member(doc, "ok"), "true") << c.Name << ": " << answer;
    std::vector<std::string> args = c.Args;
    const tCli_result report = Cli(args);
    ASSERT_EQ(report.Status, 0) << c.Name << ": " << report.Err;
    EXPECT_EQ(Member(doc, "report"), report.Out) << c.Name;
    args.insert(args.end(), {"--format", "json"});
    const tCli_result json = Cli(args);
    EXPECT_EQ(Record_text(answer) + "\n", json.Out) << c.Name;
    // The pictures: the plot geometry's panels, the toolkit's too; none for the
    // unstandardized difference test.
    const tJson_value* plots = doc.Find("plots");
    if (*c.Posterior_title == '\0') {
      EXPECT_EQ(plots->Kind, tJson_value::tKind::Null) << c.Name;
    } else {
      ASSERT_EQ(plots->Kind, tJson_value::tKind::Object) << c.Name;
      EXPECT_EQ(Member(*plots->Find("posterior"), "x_title"), c.Posterior_title) << c.Name;
      // Two tasks: the three ellipses; one task: the case on one distribution.
      const bool one_task = plots->Find("task") != nullptr;
      EXPECT_EQ(one_task, c.Args[0] == "deficit") << c.Name;
      if (!one_task)
        EXPECT_EQ(plots->Find("case")->Find("ellipses")->Items.size(), 3u) << c.Name;
      else
        EXPECT_EQ(plots->Find("task")->Find("density")->Items.size(),
                  static_cast<std::size_t>(kDensity_points)) << c.Name;
    }
  }
}

TEST_F(EngineInterface, RefusalsNameTheFieldAndCarryTheCommandLinesMessage) {
  std::vector<std::string> example = kExample;
  const struct {
    const char* Name;
    std::string Request;
    std::vector<std::string> Args;  // the same request on the command line; empty: none
    int Field;
  } cases[] = {
      // Case X is refused by the worksheet's typing rules: field 6.
      {"worksheet text", R"({"analysis": "worksheet", "fields": [100, 15, 50, 10, 0.6, 20, "7a", 52]})",
       {"--mean-x", "100", "--sd-x", "15", "--mean-y", "50", "--sd-y", "10", "--r", "0.6",
        "--n", "20", "--case-x", "7a", "--case-y", "52"}, 6},
      // An SD of 0 is refused by the checks: field 1.
      {"worksheet range", R"({"analysis": "worksheet", "fields": [100, 0, 50, 10, 0.6, 20, 70, 52]})",
       {"--mean-x", "100", "--sd-x", "0", "--mean-y", "50", "--sd-y", "10", "--r", "0.6",
        "--n", "20", "--case-x", "70", "--case-y", "52"}, 1},
      {"toolkit check", R"({"analysis": "deficit", "n": 2, "tasks": [{"name": "T", "mean": 5, "sd": 1, "case": 3}]})",
       {"deficit", "--n", "2", "--mean", "5", "--sd", "1", "--case", "3"}, -1},
      {"unknown analysis", R"({"analysis": "regression"})", {}, -1},
      {"not JSON", "{\"analysis\": ", {}, -1},
  };
  for (const auto& c : cases) {
    const tJson_value doc = Parse_json(Engine_run(c.Request));
    EXPECT_EQ(Member(doc, "ok"), "false") << c.Name;
    EXPECT_EQ(Member(doc, "field"), std::to_string(c.Field)) << c.Name;
    EXPECT_FALSE(Member(doc, "message").empty()) << c.Name;
    if (c.Args.empty()) continue;
    const tCli_result cli = Cli(c.Args);
    EXPECT_EQ(cli.Status, 2) << c.Name;
    // The command line shows the message with its CRs as line ends.
    std::string message = Member(doc, "message");
    for (char& ch : message)
      if (ch == '\r') ch = '\n';
    EXPECT_NE(cli.Err.find(message), std::string::npos) << c.Name << ": " << cli.Err;
  }
}

TEST_F(EngineInterface, BatchGivesTheCommandLinesOutput) {
  // A bad row, a decimal comma, a semicolon-free file with a quoted field and an id.
  const std::string cases = "id,case_x,case_y\na,70,52\nbad,7-0,52\nc,\"85,5\",49.25\nd,130,20\n";
  const std::string file = Write("cases.csv", cases);
  const std::string toolkit_cases = "id,case_x,case_y\nP1,28,39\nP2,45,30\n";
  const std::string toolkit_file = Write("toolkit.csv", toolkit_cases);
  const std::string dissociation = Write("dissociation.json", kDissociation);
  const std::string worksheet =
      R"({"analysis": "worksheet", "fields": [100, 15, 50, 10, 0.6, 20],
          "options": {"iterations": 3000, "criteria": "combined"}})";
  for (const std::string format : {"csv", "json"}) {
    // The command line writes CSV unless --format json is given.
    const std::vector<std::string> as = format == "json" ? std::vector<std::string>{"--format", "json"}
                                                         : std::vector<std::string>{};
    std::vector<std::string> args = kExample;
    args.insert(args.end(), {"--batch", file});
    args.insert(args.end(), as.begin(), as.end());
    const tCli_result cli = Cli(args);
    const tJson_value doc = Parse_json(Engine_batch(worksheet, cases, format, file));
    EXPECT_EQ(Member(doc, "status"), std::to_string(cli.Status)) << format;
    EXPECT_EQ(Member(doc, "output"), cli.Out) << format;
    EXPECT_EQ(Member(doc, "messages"), cli.Err) << format;
    std::vector<std::string> toolkit_args = {"dissociation", "--input", dissociation, "--batch", toolkit_file};
    toolkit_args.insert(toolkit_args.end(), as.begin(), as.end());
    const tCli_result toolkit = Cli(toolkit_args);
    const tJson_value t = Parse_json(Engine_batch(kDissociation, toolkit_cases, format, toolkit_file));
    EXPECT_EQ(Member(t, "status"), std::to_string(toolkit.Status)) << format;
    EXPECT_EQ(Member(t, "output"), toolkit.Out) << format;
  }
  // A bad control figure refuses the batch once, before any case, with no rows written,
  // as on the command line, for the worksheet and the toolkit alike.
  const std::string bad_sd_json = R"({"analysis": "dissociation", "n": 20,
      "covariates": [{"name": "Age", "mean": 50, "sd": 10, "case": 45}],
      "tasks": [{"name": "X", "mean": 100, "sd": 0, "case": 70}, {"name": "Y", "mean": 50, "sd": 10, "case": 40}],
      "correlations": [[1, 0.3, 0.2], [0.3, 1, 0.6], [0.2, 0.6, 1]]})";
  const std::string bad_sd = Write("bad_sd.json", bad_sd_json);
  const struct {
    const char* Name;
    std::string Request, Cases, File;
    std::vector<std::string> Args;
    const char* Field;  // the field Engine_check_controls names (-1: none)
  } bad_controls[] = {
      {"worksheet r 1.5", R"({"analysis": "worksheet", "fields": [100, 15, 50, 10, 1.5, 20]})",
       cases, file,
       {"--mean-x", "100", "--sd-x", "15", "--mean-y", "50", "--sd-y", "10", "--r", "1.5",
        "--n", "20", "--batch", file}, "4"},
      {"toolkit sd 0", bad_sd_json, toolkit_cases, toolkit_file,
       {"dissociation", "--input", bad_sd, "--batch", toolkit_file}, "-1"},
  };
  for (const auto& c : bad_controls) {
    const tCli_result cli = Cli(c.Args);
    const tJson_value doc = Parse_json(Engine_batch(c.Request, c.Cases, "csv", c.File));
    EXPECT_EQ(cli.Status, 2) << c.Name;
    EXPECT_EQ(cli.Out, "") << c.Name;
    EXPECT_EQ(cli.Err.find("INPUT ERROR"), 0u) << c.Name << cli.Err;
    EXPECT_EQ(cli.Err.find("INPUT ERROR", 1), std::string::npos) << c.Name << cli.Err;
    EXPECT_EQ(Member(doc, "status"), "2") << c.Name;
    EXPECT_EQ(Member(doc, "output"), cli.Out) << c.Name;
    EXPECT_EQ(Member(doc, "messages"), cli.Err) << c.Name;
    // The same refusal before any case file is read, with the field to correct.
    const tJson_value check = Parse_json(Engine_check_controls(c.Request));
    EXPECT_EQ(Member(check, "ok"), "false") << c.Name;
    EXPECT_EQ(Member(check, "field"), c.Field) << c.Name;
    EXPECT_EQ(Message_for_terminal(Member(check, "message")) + '\n', Member(doc, "messages")) << c.Name;
  }
  EXPECT_EQ(Engine_check_controls(R"({"analysis": "worksheet", "fields": [100, 15, 50, 10, 0.6, 20]})"),
            R"({"ok":true})");
}

TEST_F(EngineInterface, BatchReportsProgressInCasesAndStops) {
  const std::string cases = "id,case_x,case_y\na,70,52\nb,60,52\nc,80,40\n";
  const std::string worksheet =
      R"({"analysis": "worksheet", "fields": [100, 15, 50, 10, 0.6, 20], "options": {"iterations": 3000}})";
  std::vector<std::pair<std::int64_t, std::int64_t>> seen;
  tEngine_hooks hooks;
  hooks.Progress = [&seen](std::int64_t done, std::int64_t total) { seen.emplace_back(done, total); };
  const tJson_value all = Parse_json(Engine_batch(worksheet, cases, "csv", "cases.csv", hooks));
  EXPECT_EQ(Member(all, "cancelled"), "false");
  const std::vector<std::pair<std::int64_t, std::int64_t>> expected = {{1, 3}, {2, 3}, {3, 3}};
  EXPECT_EQ(seen, expected);

  // Stopped after the first case: its row is kept whole, the JSON array closed.
  std::atomic<bool> stop{false};
  hooks.Cancel = &stop;
  hooks.Progress = [&stop](std::int64_t, std::int64_t) { stop = true; };
  const tJson_value some = Parse_json(Engine_batch(worksheet, cases, "json", "cases.csv", hooks));
  EXPECT_EQ(Member(some, "cancelled"), "true");
  const tJson_value rows = Parse_json(Member(some, "output"));
  ASSERT_EQ(rows.Items.size(), 1u);
  EXPECT_EQ(Member(rows.Items[0], "id"), "a");
  EXPECT_NE(Member(some, "messages").find("after 1 of 3 cases"), std::string::npos);

  // A run stopped before it starts answers as cancelled.
  stop = true;
  std::string request = kExample_request;
  const tJson_value run = Parse_json(Engine_run(request, hooks));
  EXPECT_EQ(Member(run, "cancelled"), "true");
}

}  // namespace
