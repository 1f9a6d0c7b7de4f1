// SPDX-License-Identifier: GPL-3.0-or-later
// kestrum-cli through its library: argument parsing, the batch file reader, and whole
// runs with their output and exit statuses (no process is started).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "app/control_data.h"
#include "app/input_checks.h"
#include "app/report.h"
#include "app/text_format.h"
#include "app/batch_rows.h"
#include "tests/support/batch_table.h"
#include "cli/cli_args.h"
#include "cli/cli_run.h"

namespace fs = std::filesystem;

namespace {

using tArgs = std::vector<std::string>;

// ---------------------------------------------------------------------------------------
// Parsing

TEST(ParseArguments, AcceptedCommandLines) {
  {
    const auto o = std::get<tCli_options>(Parse_arguments(
        {"--mean-x", "100", "--sd-x=15", "--mean-y", "50", "--sd-y", "10", "--r", "0.6",
         "--n", "20", "--case-x", "80", "--case-y", "-4"}));
    EXPECT_EQ(o.Mode, tCli_mode::Single);
    const std::array<std::string, 8> fields = {"100", "15", "50", "10", "0.6", "20", "80", "-4"};
    EXPECT_EQ(o.Fields, fields);
    // The worksheet's defaults.
    EXPECT_EQ(o.Run.Criteria, tCriteria::Bayesian);
    EXPECT_EQ(o.Run.Tail, tTail::Two);
    EXPECT_EQ(o.Run.Prior, tPrior::Calibrated);
    EXPECT_EQ(o.Run.Iterations, 1000000);
    EXPECT_EQ(o.Format, tOutput_format::Report);
    EXPECT_FALSE(o.Save_controls);
    EXPECT_FALSE(o.Use_controls);
  }
  {
    const auto o = std::get<tCli_options>(Parse_arguments(
        {"--controls", "--case-x", "1", "--case-y", "2", "--criteria", "combined", "--tail=one",
         "--prior", "jeffreys", "--iterations", "100000000", "--format", "json", "--notes",
         "first\r\nsecond\nthird", "--save-controls"}));
    EXPECT_TRUE(o.Use_controls);
    EXPECT_TRUE(o.Save_controls);
    EXPECT_EQ(o.Run.Criteria, tCriteria::Combined);
    EXPECT_EQ(o.Run.Tail, tTail::One);
    EXPECT_EQ(o.Run.Prior, tPrior::Standard);
    EXPECT_EQ(o.Run.Iterations, 100000000);
    EXPECT_EQ(o.Format, tOutput_format::Json);
    EXPECT_EQ(o.Notes_lines, (std::vector<std::string>{"first", "second", "third"}));
  }
  EXPECT_EQ(std::get<tCli_options>(Parse_arguments({"--example"})).Mode, tCli_mode::Example);
  EXPECT_EQ(std::get<tCli_options>(Parse_arguments({"--version"})).Mode, tCli_mode::Version);
  EXPECT_EQ(std::get<tCli_options>(Parse_arguments({"--example", "--iterations=21"})).Run.Iterations,
            21);
  EXPECT_EQ(std::get<tCli_options>(Parse_arguments({"--batch", "f.csv", "--controls"})).Mode,
            tCli_mode::Batch);
  EXPECT_EQ(std::get<tCli_options>(Parse_arguments({"--example", "--help"})).Mode,
            tCli_mode::Help);
  // Only some fields given: the others are empty fields, refused later by the input checks.
  const auto partial = std::get<tCli_options>(Parse_arguments({"--mean-x", "5"}));
  EXPECT_EQ(partial.Fields[1], "");
  // A value may begin with "-" (a negative score) or "--".
  EXPECT_EQ(std::get<tCli_options>(Parse_arguments({"--case-x", "-5"})).Fields[6], "-5");
  // Empty notes give no notes lines (and so no notes block in the report).
  EXPECT_TRUE(std::get<tCli_options>(Parse_arguments({"--example", "--notes", ""})).Notes_lines.empty());
  EXPECT_EQ(std::get<tCli_options>(Parse_arguments({"--example", "--notes", "a\tb\x1b[0m"})).Notes_lines,
            (std::vector<std::string>{"a b\xEF\xBF\xBD[0m"}));
}

TEST(ParseArguments, UsageErrors) {
  const tArgs refused[] = {
      {},
      {"--mean-x"},
      {"--unknown"},
      {"stray"},
      {"--criteria", "frequentist"},
      {"--tail", "both"},
      {"--prior", "flat"},
      {"--format", "xml"},
      {"--iterations", "0"},
      {"--iterations", "-5"},
      {"--iterations", "1e6"},
      {"--iterations", "2147483648"},
      {"--iterations", "1"},
      {"--iterations", "20"},
      {"--iterations", "100000001"},
      {"--iterations", "1000000000"},
      {"--iterations", "99999999999999999999999"},
      // Every option at most once, in either form.
      {"--example", "--criteria", "combined", "--criteria=bayesian"},
      {"--example", "--iterations", "100", "--iterations", "100"},
      {"--example", "--tail", "one", "--tail", "one"},
      {"--example", "--prior", "jeffreys", "--prior", "jeffreys"},
      {"--example", "--format", "json", "--format=json"},
      {"--example", "--notes", "a", "--notes", "b"},
      {"--example", "--example"},
      {"--controls", "--controls", "--case-x", "1", "--case-y", "2"},
      {"--example", "--save-controls", "--save-controls"},
      {"--help", "-h"},
      {"--version", "--version"},
      {"--iterations", ""},
      {"--iterations", "10x"},
      {"--mean-x", "1", "--mean-x", "2"},
      {"--example", "--mean-x", "1"},
      {"--example", "--controls"},
      {"--example", "--batch", "a.csv"},
      {"--controls", "--n", "20"},
      {"--batch", "a.csv", "--case-x", "1"},
      {"--batch", ""},
      {"--batch", "a.csv", "--batch", "b.csv"},
      {"--controls=yes"},
      {"--format"},
  };
  for (const tArgs& args : refused) {
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    const auto parsed = Parse_arguments(args);
    ASSERT_TRUE(std::holds_alternative<tUsage_error>(parsed)) << joined;
    EXPECT_FALSE(std::get<tUsage_error>(parsed).Message.empty()) << joined;
  }
}

TEST(UsageText, ListsEveryOption) {
  const std::string usage = Usage_text();
  for (const char* option :
       {"--mean-x", "--sd-x", "--mean-y", "--sd-y", "--r ", "--n ", "--case-x", "--case-y",
        "--criteria", "--tail", "--prior", "--notes", "--iterations", "--format", "--controls",
        "--save-controls", "--batch", "--example", "--help", "KESTRUM_DATA_FILE"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
}

// ---------------------------------------------------------------------------------------
// Batch file reader

TEST(ReadBatchCsv, Tables) {
  struct Row {
    std::string id, x, y, error = {};  // error: the start of the row's error message
  };
  struct Case {
    const char* name;
    std::string content;
    std::vector<Row> rows;  // empty with error
    bool error;
  };
  const Case cases[] = {
      {"plain", "case_x,case_y\n80,40\n70,52\n", {{"1", "80", "40"}, {"2", "70", "52"}}, false},
      {"with id, other columns, CR LF, BOM, no final line end",
       "\xEF\xBB\xBFnote, ID ,Case_Y,case_x\r\nx,p1,40,80\r\ny,p2,52,70",
       {{"p1", "80", "40"}, {"p2", "70", "52"}}, false},
      {"quoted fields and blank lines",
       "id,case_x,case_y\n\n\"a,b\",\" 80 \",\"4\"\"0\"\n  \n\"multi\nline\",1,2\n",
       {{"a,b", "80", "4\"0"}, {"multi\nline", "1", "2"}}, false},
      // A row with more or fewer fields than the header is that row's error: unquoted
      // decimal commas would shift the scores (80,5 and 40,2 read as 80 and 5).
      {"decimal commas", "id,case_x,case_y\nP1,80,5,40,2\nP2,80,40\n",
       {{"P1", "", "", "line 2: the row has 5 fields and the header 3; decimal commas must be "
                       "quoted or use a semicolon-separated file"},
        {"P2", "80", "40"}},
       false},
      {"short rows", "id,case_x,case_y\nonly\n7,5\n",
       {{"only", "", "", "line 2: the row has 1 fields"}, {"7", "", "", "line 3: the row has 2 fields"}},
       false},
      {"quoted decimal commas", "id,case_x,case_y\nP1,\"80,5\",\"40,2\"\n", {{"P1", "80,5", "40,2"}}, false},
      {"semicolons", "id;case_x;case_y\r\nP1;80,5;40,2\r\n\"a;b\";1;2\r\nP3;1\r\n",
       {{"P1", "80,5", "40,2"}, {"a;b", "1", "2"}, {"P3", "", "", "line 4: the row has 2 fields"}}, false},
      {"semicolons after blank lines, commas quoted", "\n\nid;\"case_x\";\"case,y\";case_y\nq;1;2;3\n",
       {{"q", "1", "3"}}, false},
      {"commas and semicolons in the header: commas", "id,case_x,case_y;z\n1,2,3\n", {}, true},
      {"UTF-16 little-endian", std::string("\xFF\xFEi\0d\0,\0c\0", 10), {}, true},
      {"UTF-16 without a mark", std::string("c\0a\0s\0e\0_\0x\0", 12), {}, true},
      {"header only", "case_x,case_y\n", {}, false},
      {"missing case_y column", "id,case_x\n1,2\n", {}, true},
      {"column named twice", "case_x,case_y,case_x\n1,2,3\n", {}, true},
      {"empty file", "", {}, true},
      {"only blank lines", "\n\r\n  \n", {}, true},
      // A row that cannot be read is that row's error, with its line; the rest stand.
      {"unterminated quote", "case_x,case_y\n1,2\n\"80,40\n",
       {{"1", "1", "2", ""}, {"2", "", "", "line 3: the quoted field opened on line 3 is never closed"}},
       false},
      // A row over the length limit ends the reading: a line may have no end (/dev/zero).
      {"over-long row", "id,case_x,case_y\na," + std::string(70000, ',') + "\nb,1,2\n",
       {{"", "", "", "line 2: the row is longer than 65536 characters; the file is read no further"}},
       false},
      {"over-long quoted row over lines",
       "id,case_x,case_y\n\"" + std::string(40000, '\n') + std::string(40000, 'x') + "\",1,2\nc,3,4\n",
       {{"", "", "", "line 2: the row is longer"}}, false},
      {"over-long field", "id,case_x,case_y\n" + std::string(2000, 'i') + ",1,2\n",
       {{"", "", "", "line 2: a field is longer than 1024 characters"}}, false},
      {"over-long header", std::string(70000, ',') + "\n1,2\n", {}, true},
  };
  for (const Case& c : cases) {
    const auto parsed = Read_batch_csv(c.content);
    if (c.error) {
      ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << c.name;
      if (std::string(c.name).rfind("UTF-16", 0) == 0) {
        EXPECT_EQ(std::get<std::string>(parsed), "UTF-16 is not supported: save the file as UTF-8");
      }
      continue;
    }
    ASSERT_TRUE(std::holds_alternative<tBatch_table>(parsed)) << c.name << ": " << std::get<std::string>(parsed);
    const auto& rows = std::get<tBatch_table>(parsed).Rows;
    ASSERT_EQ(rows.size(), c.rows.size()) << c.name;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(rows[i].Id, c.rows[i].id) << c.name;
      EXPECT_EQ(rows[i].Case_x, c.rows[i].x) << c.name;
      EXPECT_EQ(rows[i].Case_y, c.rows[i].y) << c.name;
      EXPECT_EQ(rows[i].Error.rfind(c.rows[i].error, 0), 0u) << c.name << ": " << rows[i].Error;
      EXPECT_EQ(rows[i].Error.empty(), c.rows[i].error.empty()) << c.name;
    }
  }
}

TEST(OutputEscaping, CsvFieldsAndJsonStrings) {
  EXPECT_EQ(Csv_field("plain"), "plain");
  EXPECT_EQ(Csv_field("a,b"), "\"a,b\"");
  EXPECT_EQ(Csv_field("say \"x\""), "\"say \"\"x\"\"\"");
  EXPECT_EQ(Csv_field(" lead"), "\" lead\"");
  // No control character copied from the input reaches the output.
  EXPECT_EQ(Csv_field("two\nlines"), "two lines");
  EXPECT_EQ(Csv_field(std::string("n\0l\x1b[2J\x7f", 8)), "n\xEF\xBF\xBDl\xEF\xBF\xBD[2J\xEF\xBF\xBD");
  EXPECT_EQ(Csv_field("\tx"), "\" x\"");
  // Every field written reads back unchanged.
  for (const std::string id : {"a,b", "q\"q", " x ", "l  m", ""}) {
    const auto parsed = Read_batch_csv("id,case_x,case_y\n" + Csv_field(id) + ",1,2\n");
    ASSERT_TRUE(std::holds_alternative<tBatch_table>(parsed)) << id;
    const auto& rows = std::get<tBatch_table>(parsed).Rows;
    ASSERT_EQ(rows.size(), 1u) << id;
    // Surrounding blanks of a quoted field are data; Read trims only unquoted blanks.
    EXPECT_EQ(rows[0].Id, id == " x " ? "x" : id) << id;
  }
  EXPECT_EQ(Json_string("a\"b\\c\n\t\x01"), "\"a\\\"b\\\\c\\u000a\\u0009\\u0001\"");
  EXPECT_EQ(Json_string("caf\xC3\xA9"), "\"caf\xC3\xA9\"");          // valid UTF-8 kept
  EXPECT_EQ(Json_string("bad\xFF\xC3"), "\"bad\\ufffd\\ufffd\"");     // invalid bytes replaced
  EXPECT_EQ(Json_string("\xED\xA0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");  // a surrogate half
  // C1 controls (U+0080 to U+009F, also as a raw 0x9B byte), invalid UTF-8 and the
  // bidirectional embeddings, overrides and isolates become U+FFFD in every output: CSV
  // fields, JSON strings, messages and the report's notes.
  const std::string fffd = "\xEF\xBF\xBD";
  const struct {
    std::string in, printable;
  } unsafe[] = {
      {"a\xC2\x80" "b\xC2\x9F" "c", "a" + fffd + "b" + fffd + "c"},  // U+0080, U+009F
      {"x\x9B" "2J", "x" + fffd + "2J"},                             // a raw CSI byte
      {"evil\xE2\x80\xAEtxt.exe", "evil" + fffd + "txt.exe"},      // U+202E
      {"\xE2\x80\xAA\xE2\x80\xAD\xE2\x81\xA6\xE2\x81\xA9", fffd + fffd + fffd + fffd},
      {"ok \xC2\xA0\xE2\x80\x8F\xD7\x90", "ok \xC2\xA0\xE2\x80\x8F\xD7\x90"},  // NBSP, RLM, alef kept
      {"\xC0\xAF\xF5\x80", fffd + fffd + fffd + fffd},  // an overlong form, beyond U+10FFFF
      {"line\xE2\x80\xA8next", "line next"},             // U+2028
  };
  for (const auto& u : unsafe) {
    EXPECT_EQ(Printable_text(u.in), u.printable) << u.in;
    EXPECT_EQ(Csv_field(u.in), u.printable) << u.in;
    const std::string json = Json_string(u.in);
    EXPECT_EQ(json.find("\xC2\x80"), std::string::npos) << json;
    EXPECT_EQ(json.find("\xE2\x80\xAE"), std::string::npos) << json;
    EXPECT_EQ(json.find('\x9B'), std::string::npos) << json;
    const auto notes = std::get<tCli_options>(Parse_arguments({"--example", "--notes", u.in})).Notes_lines;
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], u.printable);
  }
  EXPECT_EQ(Json_string("evil\xE2\x80\xAEtxt\xC2\x85\xE2\x81\xA6"), "\"evil\\ufffdtxt\\ufffd\\ufffd\"");
  EXPECT_EQ(Message_for_terminal("INPUT ERROR\r\rEnter numeric data only."),
            "INPUT ERROR\n\nEnter numeric data only.");
  EXPECT_EQ(Message_for_terminal("A\r(  x\x1b]0;t\x07\n  )"), "A\n(  x\xEF\xBF\xBD]0;t\xEF\xBF\xBD   )");
}

// ---------------------------------------------------------------------------------------
// Whole runs

class CliRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kestrum_cli_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    data_file_ = (dir_ / "kestrum.txt").string();
    ::setenv("KESTRUM_DATA_FILE", data_file_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("KESTRUM_DATA_FILE");
    fs::remove_all(dir_);
  }
  int Run(const tArgs& args) {
    out_.str("");
    err_.str("");
    return Run_cli(args, out_, err_, false);
  }
  std::string Write(const std::string& name, const std::string& content) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  fs::path dir_;
  std::string data_file_;
  std::ostringstream out_, err_;
};

const tArgs kControls = {"--mean-x", "100", "--sd-x", "15", "--mean-y", "50",
                         "--sd-y",   "10",  "--r",    "0.6", "--n",     "20"};

tArgs Args(std::initializer_list<tArgs> parts) {
  tArgs all;
  for (const tArgs& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::string Data_file(const std::string& name) {
  std::ifstream in(std::string(KESTRUM_TEST_DATA_DIR) + "/outputs/" + name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The report, the JSON and the CSV are written from the figure table; their bytes are
// those written before the table existed (tests/data/outputs/README.md).
TEST_F(CliRun, OutputsKeepTheirBytes) {
  if (std::numeric_limits<Extended>::digits != 64)
    GTEST_SKIP() << "x87 only: the outputs were written by the x87 build";
  const tArgs single = Args({kControls, {"--iterations", "20000", "--notes", "hello"}});
  const struct {
    tArgs args;
    const char* file;
  } cases[] = {
      {Args({single, {"--case-x", "70", "--case-y", "52", "--criteria", "combined", "--prior",
                      "calibrated", "--format", "json"}}),
       "combined_calibrated.json"},
      {Args({single, {"--case-x", "70", "--case-y", "52", "--criteria", "bayesian", "--prior",
                      "jeffreys", "--tail", "one", "--format", "json"}}),
       "bayesian_jeffreys_one_tailed.json"},
      {Args({single, {"--case-x", "40", "--case-y", "52", "--criteria", "combined", "--tail",
                      "one", "--prior", "jeffreys", "--format", "report"}}),
       "combined_jeffreys_one_tailed.txt"},
      {Args({kControls, {"--criteria", "combined", "--iterations", "20000", "--batch",
                         std::string(KESTRUM_TEST_DATA_DIR) + "/outputs/cases.csv"}}),
       "batch.csv"},
  };
  for (const auto& c : cases) {
    const std::string expected = Data_file(c.file);
    ASSERT_FALSE(expected.empty()) << c.file;
    Run(c.args);
    EXPECT_EQ(out_.str(), expected) << c.file << "\n" << err_.str();
  }
}

TEST_F(CliRun, HelpAndUsageErrors) {
  EXPECT_EQ(Run({"--help"}), kExit_success);
  EXPECT_EQ(out_.str(), Usage_text());
  EXPECT_EQ(Run({"--tail", "three", "--example"}), kExit_usage);
  EXPECT_EQ(out_.str(), "");
  EXPECT_NE(err_.str().find("--tail"), std::string::npos);
  EXPECT_EQ(Run({}), kExit_usage);
}

TEST_F(CliRun, InputErrorsGiveTheWorksheetMessageAndStatusTwo) {
  struct Case { tArgs args; const char* message; };
  const Case cases[] = {
      {Args({kControls, {"--case-x", "80"}}),
       "INPUT ERROR\n\n(  Case's test score on Task Y:  )\n\nData have not been entered in this field.\n"},
      {Args({kControls, {"--case-x", "-", "--case-y", "40"}}),
       "INPUT ERROR\n(  Case's test score on Task X:  -  )\n\nEnter numeric data only.\n"},
      {{"--mean-x", "100", "--sd-x", "0", "--mean-y", "5"},
       "INPUT ERROR\n(  Standard deviation for the normative sample on Task X:  0.000  )\n"
       "Standard deviations must have a positive value.\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.args), kExit_input);
    EXPECT_EQ(err_.str(), c.message);
    EXPECT_EQ(out_.str(), "");
  }
  // N = 3 with the calibrated prior is refused before anything is saved or computed.
  tArgs n3 = Args({kControls, {"--case-x", "80", "--case-y", "40", "--save-controls"}});
  n3[11] = "3";
  EXPECT_EQ(Run(n3), kExit_input);
  EXPECT_NE(err_.str().find("(  Sample size of the normative sample:  3.000  )"), std::string::npos) << err_.str();
  EXPECT_NE(err_.str().find("at least 4"), std::string::npos);
  EXPECT_FALSE(fs::exists(data_file_));
  n3.insert(n3.end(), {"--prior", "jeffreys", "--iterations", "1000"});
  EXPECT_EQ(Run(n3), kExit_success) << err_.str();
}

TEST_F(CliRun, ReportIsTheFirstReportOfASession) {
  const tArgs args = Args({kControls, {"--case-x", "80", "--case-y", "40", "--iterations",
                                       "2000", "--criteria", "combined", "--notes", "AB\nCD"}});
  ASSERT_EQ(Run(args), kExit_success) << err_.str();
  const auto checked = Check_inputs({"100", "15", "50", "10", "0.6", "20", "80", "40"}, {});
  const tRun_options options{tCriteria::Combined, tTail::Two, tPrior::Calibrated, 2000};
  std::string expected;
  for (const std::string& line :
       Report_lines(Compute_analysis(std::get<tChecked_inputs>(checked), options),
                    {"AB", "CD"}, false)) {
    expected += line + "\n";
  }
  EXPECT_EQ(out_.str(), expected);
  EXPECT_EQ(out_.str().substr(0, 1), "\n");  // no separator before the first report
  // The data file is written only when asked.
  EXPECT_FALSE(fs::exists(data_file_));
}

TEST_F(CliRun, JsonObjectHasEveryField) {
  ASSERT_EQ(Run({"--example", "--format", "json", "--iterations", "2000"}), kExit_success);
  const std::string json = out_.str();
  for (const char* key :
       {"\"inputs\": {\"mean_x\": 100, \"sd_x\": 15, \"mean_y\": 50, \"sd_y\": 10, \"r\": 0.6, \"n\": 20, \"case_x\": 80, \"case_y\": 40, \"criteria\": \"bayesian\", \"tail\": \"two\", \"prior\": \"calibrated\", \"iterations\": 2000}",
        "\"z_x\": -1.3333333333333333", "\"deficit_x\": {\"t_value\": ", "\"df\": 19",
        "\"p_one_tailed\"", "\"p_two_tailed\"", "\"pct_below\"", "\"pct_lower\"", "\"pct_upper\"",
        "\"zcc\"", "\"zcc_lower\"", "\"zcc_upper\"", "\"deficit\": false", "\"deficit_y\"",
        "\"bsdt\": {", "\"pct_more_extreme\"", "\"zdcc\"", "\"zdcc_lower\"", "\"zdcc_upper\"",
        "\"significant\": false", "\"p_one_tailed_mc_se\": ", "\"p_two_tailed_mc_se\": ",
        "\"zdcc_histogram\": {\"lower\": ", ", \"upper\": ", ", \"below\": ", ", \"above\": ",
        ", \"counts\": [", "\"rsdt\": null", "\"classification\": \"neither\"}"}) {
    EXPECT_NE(json.find(key), std::string::npos) << key << "\n" << json;
  }
  EXPECT_EQ(json.back(), '\n');
  ASSERT_EQ(Run({"--example", "--format", "json", "--iterations", "2000", "--criteria", "combined"}),
            kExit_success);
  EXPECT_NE(out_.str().find("\"rsdt\": {\"t_value\": "), std::string::npos);
}

TEST_F(CliRun, SaveControlsThenRunWithControls) {
  const tArgs case_args = {"--case-x", "80", "--case-y", "40", "--iterations", "2000", "--format", "json"};
  // Without a data file --controls has nothing to read.
  EXPECT_EQ(Run(Args({{"--controls"}, case_args})), kExit_input);
  EXPECT_NE(err_.str().find(data_file_), std::string::npos);

  ASSERT_EQ(Run(Args({kControls, case_args, {"--save-controls"}})), kExit_success);
  const std::string direct = out_.str();
  std::ifstream in(data_file_, std::ios::binary);
  std::stringstream saved;
  saved << in.rdbuf();
  EXPECT_EQ(saved.str(), "100 15 50 10 0.6 20 80 40 ");

  ASSERT_EQ(Run(Args({{"--controls"}, case_args})), kExit_success) << err_.str();
  EXPECT_EQ(out_.str(), direct);

  std::ofstream(data_file_, std::ios::binary) << "100 15 oops";
  EXPECT_EQ(Run(Args({{"--controls"}, case_args})), kExit_input);
  EXPECT_NE(err_.str().find("Invalid numeric input"), std::string::npos);
}

TEST_F(CliRun, UnwritableDataFileIsAnErrorBeforeAnyComputation) {
  ::setenv("KESTRUM_DATA_FILE", (dir_ / "missing_dir" / "kestrum.txt").c_str(), 1);
  EXPECT_EQ(Run({"--example", "--save-controls"}), kExit_computation);
  EXPECT_EQ(out_.str(), "");
  EXPECT_NE(err_.str().find("Cannot save the control data"), std::string::npos);
}

// A case 10^5 SD out once ended the run (the interval searches cannot reach its limits);
// the run completes, and the report and the JSON mark the limits beyond reach.
TEST_F(CliRun, FarCaseCompletesWithLimitsMarkedBeyondReach) {
  const tArgs args = {"--mean-x", "0",     "--sd-x",   "1", "--mean-y", "0", "--sd-y", "1",
                      "--r",      "0.5",   "--n",      "4", "--case-x", "99999",
                      "--case-y", "0",     "--iterations", "1000"};
  EXPECT_EQ(Run(args), kExit_success) << err_.str();
  EXPECT_NE(out_.str().find("(>2048.000  to >2048.000 )"), std::string::npos) << out_.str();
  tArgs json = args;
  json.insert(json.end(), {"--format", "json"});
  EXPECT_EQ(Run(json), kExit_success) << err_.str();
  EXPECT_NE(out_.str().find("\"zcc_lower\": \">2048\""), std::string::npos) << out_.str();
}

TEST_F(CliRun, BatchRowsMatchSingleRunsAndBadRowsGetTheirMessage) {
  const std::string csv = Write("cases.csv",
                                "id,case_x,case_y\n"
                                "p1,80,40\n"
                                "p2,70,52\n"
                                "bad,7-0,52\n"
                                "p4,60,49.5\n"
                                "p5,95,30\n");
  const tArgs common = Args({kControls, {"--iterations", "3000", "--criteria", "combined"}});
  ASSERT_EQ(Run(Args({common, {"--batch", csv, "--format", "json"}})), kExit_input) << err_.str();
  const std::string batch_json = out_.str();
  EXPECT_NE(batch_json.find("{\"id\": \"bad\", \"case_x\": \"7-0\", \"case_y\": \"52\", \"error\": "
                            "\"INPUT ERROR (  Case's test score on Task X:  7-0  ) Enter numeric data only.\", \"results\": null}"),
            std::string::npos)
      << batch_json;
  // Each computed row is exactly its single run, whatever thread ran it.
  const std::pair<const char*, const char*> singles[] = {{"80", "40"}, {"70", "52"}, {"60", "49.5"}, {"95", "30"}};
  for (const auto& [x, y] : singles) {
    ASSERT_EQ(Run(Args({common, {"--case-x", x, "--case-y", y, "--format", "json"}})), kExit_success);
    std::string single = out_.str();
    single.pop_back();  // line end
    EXPECT_NE(batch_json.find("\"results\": " + single + "}"), std::string::npos) << x << " " << y;
  }

  // CSV: a header, one row per case with as many columns as the header.
  ASSERT_EQ(Run(Args({common, {"--batch", csv}})), kExit_input);
  std::istringstream lines(out_.str());
  std::string header, row;
  std::getline(lines, header);
  EXPECT_EQ(header.rfind("id,case_x,case_y,z_x,z_y,x_t_value,", 0), 0u) << header;
  EXPECT_NE(header.find(",classification,error,bsdt_p_one_tailed_mc_se,bsdt_p_two_tailed_mc_se"),
            std::string::npos);
  const auto columns = std::count(header.begin(), header.end(), ',');
  int rows = 0;
  while (std::getline(lines, row)) {
    ++rows;
    EXPECT_EQ(std::count(row.begin(), row.end(), ','), columns) << row;
  }
  EXPECT_EQ(rows, 5);
  EXPECT_NE(out_.str().find("\nbad,7-0,52,"), std::string::npos);
}

TEST_F(CliRun, BatchStopsOnBadControlsOrABadFile) {
  const std::string csv = Write("cases.csv", "case_x,case_y\n80,40\n");
  tArgs bad_controls = Args({kControls, {"--batch", csv}});
  bad_controls[3] = "0";  // --sd-x 0
  EXPECT_EQ(Run(bad_controls), kExit_input);
  EXPECT_NE(err_.str().find("Standard deviations must have a positive value."), std::string::npos);
  EXPECT_EQ(out_.str(), "");

  EXPECT_EQ(Run(Args({kControls, {"--batch", (dir_ / "none.csv").string()}})), kExit_input);
  const std::string no_header = Write("bad.csv", "x,y\n1,2\n");
  EXPECT_EQ(Run(Args({kControls, {"--batch", no_header}})), kExit_input);
  EXPECT_NE(err_.str().find("case_x and case_y"), std::string::npos);

  // All rows valid: status 0.
  EXPECT_EQ(Run(Args({kControls, {"--batch", csv, "--iterations", "1000"}})), kExit_success);
}

// Files that are not what they should be: each gets one message that names the problem,
// and nothing is computed from a figure that was changed or a row that was shifted.
TEST_F(CliRun, UnusableFilesGetOneMessageEach) {
  const tArgs with_controls = {"--controls", "--case-x", "80", "--case-y", "40", "--iterations", "1000"};
  const tArgs batch = Args({kControls, {"--iterations", "1000", "--batch"}});
  struct Case {
    const char* name;
    std::function<tArgs()> setup;
    int status;
    const char* message;  // once on standard error, or in the output when `in_output`
    bool in_output = false;
  };
  const Case cases[] = {
      {"a directory as control-data file",
       [&] { fs::create_directory(data_file_); return with_controls; }, kExit_input,
       "it is a directory, not a regular file"},
      {"a FIFO as control-data file (no wait for a writer)",
       [&] { ::mkfifo(data_file_.c_str(), 0600); return with_controls; }, kExit_input,
       "it is a FIFO (named pipe), not a regular file"},
      {"--save-controls to a FIFO",
       [&] { ::mkfifo(data_file_.c_str(), 0600); return Args({kControls, {"--case-x", "8", "--case-y", "4", "--save-controls"}}); },
       kExit_computation, "Cannot save the control data to"},
      {"a control figure that a field would round",
       [&] { Write("kestrum.txt", "100.12345 15 50 10 0.6 20 "); return with_controls; }, kExit_input,
       "figure 100.12345 (Mean of the control or normative sample on Task X) does not fit"},
      {"a UTF-16 control-data file",
       [&] { Write("kestrum.txt", std::string("\xFF\xFE" "1\0" "0\0", 6)); return with_controls; }, kExit_input,
       "UTF-16 is not supported: save the file as UTF-8"},
      {"a UTF-16 case file",
       [&] { return Args({batch, {Write("u.csv", std::string("\xFF\xFEi\0d\0", 6))}}); }, kExit_input,
       "UTF-16 is not supported: save the file as UTF-8"},
      {"a directory as case file", [&] { return Args({batch, {dir_.string()}}); }, kExit_input,
       "it is a directory"},
      {"unquoted decimal commas",
       [&] { return Args({batch, {Write("c.csv", "id,case_x,case_y\nP1,80,5,40,2\n")}}); }, kExit_input,
       ",line 2: the row has 5 fields and the header 3; decimal commas must be quoted or use a "
       "semicolon-separated file,",
       true},
  };
  for (const Case& c : cases) {
    std::error_code ec;
    fs::remove_all(data_file_, ec);
    const tArgs args = c.setup();
    EXPECT_EQ(Run(args), c.status) << c.name << ": " << err_.str();
    const std::string where = c.in_output ? out_.str() : err_.str();
    const std::size_t at = where.find(c.message);
    EXPECT_NE(at, std::string::npos) << c.name << ": " << where;
    if (at != std::string::npos) {
      EXPECT_EQ(where.find(c.message, at + 1), std::string::npos) << c.name << ": twice";
    }
    // A message about the file names it once.
    if (!c.in_output && where.find(data_file_) != std::string::npos) {
      EXPECT_EQ(where.find(data_file_, where.find(data_file_) + 1), std::string::npos) << c.name << ": " << where;
    }
    if (!c.in_output) {
      EXPECT_EQ(out_.str(), "") << c.name;
    }
  }
  // A semicolon-separated file with decimal commas gives the scores as meant.
  ASSERT_EQ(Run(Args({batch, {Write("s.csv", "id;case_x;case_y\nP1;80,5;40,2\n"), "--format", "json"}})),
            kExit_success)
      << err_.str();
  EXPECT_NE(out_.str().find("\"case_x\": 80.5, \"case_y\": 40.2"), std::string::npos) << out_.str();
}

TEST(ShortestNumber, ShortestTextThatReadsBackTheSameDouble) {
  struct Case { double value; const char* text; };
  const Case cases[] = {
      {0.6, "0.6"},      {0.2, "0.2"},   {0.1 + 0.2, "0.30000000000000004"},
      {100, "100"},      {-1, "-1"},     {1e-05, "1e-05"},
      {-4.0 / 3, "-1.3333333333333333"}, {1e21, "1e+21"},
      {5e-324, "5e-324"}, {0, "0"},      {123456789012, "123456789012"},
  };
  for (const Case& c : cases) EXPECT_EQ(Shortest_number(c.value), c.text) << c.text;
  std::mt19937_64 random(20261208);
  for (int i = 0; i < 20000; ++i) {
    const std::uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isfinite(value)) continue;
    const std::string text = Shortest_number(value);
    double back = 0;
    std::from_chars(text.data(), text.data() + text.size(), back);
    ASSERT_EQ(back, value) << text;
    char g17[64];
    const auto g17_end =
        std::to_chars(g17, g17 + sizeof g17, value, std::chars_format::general, 17).ptr;
    EXPECT_LE(text.size(), static_cast<std::size_t>(g17_end - g17)) << text;
  }
}

TEST_F(CliRun, TextsFollowTheWorksheetTypingRules) {
  const auto with = [](int field, const std::string& text) {
    tArgs args = Args({kControls, {"--case-x", "80", "--case-y", "40", "--iterations", "1000",
                                   "--save-controls", "--format", "json"}});
    args[static_cast<std::size_t>(field) * 2 + 1] = text;
    return args;
  };
  struct Case {
    tArgs args;
    int status;
    const char* message;  // the end of standard error, or the saved file when accepted
  };
  const Case cases[] = {
      {with(0, "100.000"), kExit_input,
       "(  Mean of the control or normative sample on Task X:  100.000  )\n\n"
       "Maximum length of input is 6 characters.\n"},
      {with(4, "0.9999999"), kExit_input, "Maximum length of input is 6 characters.\n"},
      {with(0, "1234.567"), kExit_input, "Maximum length of input is 6 characters.\n"},
      {with(7, "1e5"), kExit_input, "1e5  )\n\nEnter numeric data only.\n"},
      {with(6, "8 0"), kExit_input, "8 0  )\n\nEnter numeric data only.\n"},
      {with(6, "+80"), kExit_input, "Enter numeric data only.\n"},
      {with(1, std::string("1\x1b[2J", 5)), kExit_input,
       "1\xEF\xBF\xBD[2J  )\n\nEnter numeric data only.\n"},
      // The first refused field in worksheet order, before any range check.
      {Args({with(1, "0"), {}}), kExit_input, "Standard deviations must have a positive value.\n"},
      // A comma is typed as a point; six characters fit; the file gets the typed texts.
      {with(4, "0,6"), kExit_success, "100 15 50 10 0.6 20 80 40 "},
      {with(0, "-123.4"), kExit_success, "-123.4 15 50 10 0.6 20 80 40 "},
      {with(4, ".99999"), kExit_success, "100 15 50 10 .99999 20 80 40 "},
  };
  for (const Case& c : cases) {
    fs::remove(data_file_);
    const int status = Run(c.args);
    EXPECT_EQ(status, c.status) << c.message << err_.str();
    if (c.status == kExit_success) {
      std::ifstream in(data_file_, std::ios::binary);
      std::stringstream saved;
      saved << in.rdbuf();
      EXPECT_EQ(saved.str(), c.message);
      // The saved figures read back exactly as they were given.
      const tLoaded_controls loaded = Load_control_data(data_file_);
      for (std::size_t i = 0; i < 6; ++i) {
        const std::string given = c.args[i * 2 + 1] == "0,6" ? "0.6" : c.args[i * 2 + 1];
        EXPECT_EQ(Read_number(loaded.Texts[i], "c").Value, Read_number(given, "c").Value);
      }
      continue;
    }
    const std::string err = err_.str();
    const std::string end = c.message;
    ASSERT_GE(err.size(), end.size()) << err;
    EXPECT_EQ(err.substr(err.size() - end.size()), end);
    EXPECT_FALSE(fs::exists(data_file_));
    EXPECT_EQ(out_.str(), "");
  }

  // A case file: the same rules on each row; nothing from the input reaches the output as
  // a control character.
  const std::string csv =
      Write("cases.csv", "id,case_x,case_y\np1,80,40\np\x1b]2;x\x07," + std::string("8\0", 2) +
                             ",40\np3,100.000,40\np4,\"7,5\",40\n");
  for (const char* format : {"report", "json"}) {
    ASSERT_EQ(Run(Args({kControls, {"--iterations", "1000", "--batch", csv, "--format", format}})),
              kExit_input);
    const std::string out = out_.str();
    EXPECT_EQ(std::count_if(out.begin(), out.end(),
                            [](char c) { return (c >= 0 && c < 0x20 && c != '\n') || c == 0x7f; }),
              0)
        << format;
    EXPECT_NE(out.find("Maximum length of input is 6 characters."), std::string::npos);
    EXPECT_NE(out.find("Enter numeric data only."), std::string::npos);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), std::string(format) == "json" ? 6 : 5);
  }
  // "7,5" is typed as 7.5: the row is computed.
  EXPECT_NE(out_.str().find("\"id\": \"p4\", \"case_x\": \"7,5\", \"case_y\": \"40\", \"error\": null"),
            std::string::npos)
      << out_.str();
}

}  // namespace
