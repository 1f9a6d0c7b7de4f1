// SPDX-License-Identifier: GPL-3.0-or-later
// The report text, line by line. The results are built by hand, so these goldens test the
// layout and the wording, not the numerics.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "app/control_data.h"
#include "app/input_checks.h"
#include "app/report.h"
#include "app/safe_text.h"
#include "app/text_format.h"

namespace {

using tLines = std::vector<std::string>;

// A classical pattern: a deficit on X only, the BSDT significant (two-tailed 0.02469,
// one-tailed 0.012346), the RSDT (when computed) not significant one-tailed.
tRun_results Hand_built_results(const tRun_options& options) {
  tRun_results r;
  r.Inputs = {100, 15, 50, 10, 0.6, 25, 70, 52, 25};
  r.Options = options;
  r.Z_x = -2.0;
  r.Z_y = 0.2;
  r.Deficit_x_results = {-1.9604L, 24, 0.030826L, 0.061652L, 3.0826L, 0.4129L, 9.8765L,
                         -2.0L, -2.7021L, -1.2863L};
  r.Deficit_y_results = {0.19604L, 24, 0.42312L, 0.84624L, 57.688L, 41.234L, 72.3456L,
                         0.2L, -0.2087L, 0.6012L};
  r.Bsdt = {0.012346L, 0.02469L, 1.2346L, 0.0254L, 6.0656L, -2.2361L, -3.2401L, -1.2299L};
  if (options.Criteria == tCriteria::Combined) {
    r.Rsdt_computed = true;
    r.Rsdt_t = 1.6123L;
    r.Rsdt_p_one_tailed = 0.0612345;
    r.Rsdt_p_two_tailed = 0.122469;
  }
  Apply_criteria(r);
  Fill_figures(r);
  return r;
}

// The fixed opening: title and references.
tLines Opening() {
  return {
      "",
      "Kestrum.EXE: Bayesian criteria for dissociations in single-case studies",
      "",
      " THIS PROGRAM IMPLEMENTS STATISTICAL METHODS DEVELOPED IN THE FOLLOWING PAPERS:",
      "",
      " Quarrin & Orlund (1998): the modified t-test comparing a single case's score with a",
      " small control sample, used here as the test for a deficit on each task, and the",
      " estimated percentage of the control population scoring below the case.",
      "",
      " The Bayesian Standardized Difference Test (BSDT) on the difference between a case's",
      " standardized scores on two tasks, with its calibrated prior conferring frequentist",
      " properties, and the Bayesian criteria for a dissociation applied here.",
      "",
      " Point and interval estimates of the effect sizes for single-case comparisons: Z-CC for",
      " the case's score on one task and Z-DCC for the difference between two tasks.",
      "",
      "",
      "",
  };
}

// Everything from the input values to the BSDT verdict that does not depend on the options.
tLines Middle() {
  return {
      "",
      " Mean of the control or normative sample on Task X =       100.00",
      " Standard deviation for the normative sample on Task X =    15.00",
      " Mean of the control or normative sample on Task Y =        50.00",
      " Standard deviation for the normative sample on Task Y =    10.00",
      " Correlation between Tests X and Y in normative sample =     0.60",
      " Sample size of the normative sample =                         25",
      "",
      " Case's test score on Task X =                              70.00",
      " Case's test score on Task Y =                              52.00",
      "",
      " OUTPUTS:",
      " Case's score on Task X expressed as z score =   -2.000",
      " Case's score on Task Y expressed as z score =    0.200",
      "",
      "",
      " QUARRIN & ORLUND'S (1998) TEST FOR A DEFICIT ON TASK X:",
      " Significance test: t = -1.960, df = 24, p(one-tailed) = 0.03083",
      "",
      " Effect size (Z-CC) for difference between case and controls (plus 95% CI) = -2.000  (-2.702  to -1.286 )",
      "",
      " Estimated percentage of control population (plus 95% CI) obtaining a lower score than the ",
      " case on Task X = 3.0826% (95% CI = 0.4129% to 9.8765%)",
      "",
      " Dissociations criterion: The case meets the criterion for a deficit on Task X",
      " ",
      "",
      "",
      " QUARRIN & ORLUND'S (1998) TEST FOR A DEFICIT ON TASK Y:",
      " Significance test: t = 0.196, df = 24, p(one-tailed) = 0.42312",
      "",
      " Effect size (Z-CC) for difference between case and controls (plus 95% CI) = 0.200  (-0.209 to 0.601 )",
      "",
      " Estimated percentage of control population (plus 95% CI) obtaining a lower score than the ",
      " case on Task Y = 57.6880% (95% CI = 41.2340% to 72.3456%)",
      "",
      " Dissociations criterion: The case does not meet the criterion for a deficit on Task Y",
      "",
      "",
      "",
      "",
      " BAYESIAN TEST (BSDT) ON THE DIFFERENCE BETWEEN THE CASE'S STANDARDIZED SCORES ON X AND Y: ",
      " Bayesian hypothesis test - Probability that the standardized difference for a member of the control",
      " population would be greater than that of the case:",
  };
}

tLines Bsdt_estimates() {
  return {
      "",
      " Effect size (Z-DCC) for the difference between case and controls (plus 95% Credible Interval):",
      " Z-DCC = -2.236 (95% CI = -3.240 to -1.230 )",
      "",
      " Percentage of control population exhibiting a more extreme discrepancy in same direction as case:",
      " Bayesian point estimate (plus 95% CI) = 1.235% (95% CI = 0.0254% to 6.0656%)",
      "",
      " Dissociations criterion: The difference between the case's standardized scores is statistically",
  };
}

tLines Concat(std::initializer_list<tLines> parts) {
  tLines all;
  for (const tLines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

void Expect_same_lines(const tLines& got, const tLines& expected) {
  for (std::size_t i = 0; i < std::min(got.size(), expected.size()); ++i) {
    ASSERT_EQ(got[i], expected[i]) << "line " << i + 1;
  }
  EXPECT_EQ(got.size(), expected.size());
}

TEST(ReportGolden, BayesianTwoTailedCalibratedFirstReportWithoutNotes) {
  tRun_options options;  // Bayesian, two-tailed, calibrated
  const tLines expected = Concat({
      Opening(),
      {" INPUTS:",
       " Option selected: Apply Bayesian criteria for dissociations",
       " Option selected: Use a TWO-tailed test when testing for a difference between standardized scores",
       " Option selected: Analysis is to be performed using a prior CALIBRATED to confer frequentist properties"},
      Middle(),
      {" Two-tailed probability = 0.02469"},
      Bsdt_estimates(),
      {"                          significant (two-tailed) on the BSDT",
       "", "", "",
       " OVERALL RESULT OF APPLYING BAYESIAN CRITERIA FOR A DISSOCIATION:",
       " The case's pattern of performance fulfils the criteria for a dissociation, putatively CLASSICAL"},
  });
  Expect_same_lines(Report_lines(Hand_built_results(options), {}, false), expected);
}

TEST(ReportGolden, CombinedOneTailedJeffreysLaterReportWithNotes) {
  tRun_options options;
  options.Criteria = tCriteria::Combined;
  options.Tail = tTail::One;
  options.Prior = tPrior::Standard;
  const tLines expected = Concat({
      {std::string(106, '_')},
      Opening(),
      {" User's Notes: Patient AB, session 2",
       "               tested in the afternoon",
       " ",
       " INPUTS:",
       " Option selected: Apply combined Bayesian / frequentist criteria for dissociations",
       " Option selected: Use a ONE-tailed test when testing for a difference between standardized scores",
       " Option selected: Analysis is to be performed using a prior derived from STANDARD THEORY (Jeffreys prior)"},
      Middle(),
      {" One-tailed probability = 0.01235"},
      Bsdt_estimates(),
      {"                          significant (one-tailed) on the BSDT",
       "",
       "",
       " FREQUENTIST TEST (RSDT) ON THE DIFFERENCE BETWEEN THE CASE'S STANDARDIZED SCORES ON X AND Y: ",
       " RSDT t value = 1.612, df =  24, p (one-tailed) = 0.06123",
       "",
       " Dissociations criterion: The difference between the case's standardized scores is not statistically",
       "                          significant (one-tailed) on the frequentist RSDT",
       "", "", "",
       " OVERALL RESULT OF APPLYING COMBINED BAYESIAN/FREQUENTIST CRITERIA FOR A DISSOCIATION:",
       // A significant BSDT with a non-significant RSDT fulfils neither kind.
       " The case does not fulfil the criteria for either a strong or classical dissociation"},
  });
  Expect_same_lines(Report_lines(Hand_built_results(options),
                                 {"Patient AB, session 2", "tested in the afternoon"}, true),
                    expected);
}

// Lines that depend on one option, for every combination of the three option groups.
TEST(ReportOptions, EachCombinationWritesItsOwnLines) {
  for (tCriteria criteria : {tCriteria::Bayesian, tCriteria::Combined}) {
    for (tTail tail : {tTail::Two, tTail::One}) {
      for (tPrior prior : {tPrior::Calibrated, tPrior::Standard}) {
        tRun_options options{criteria, tail, prior, 1000};
        const tLines lines = Report_lines(Hand_built_results(options), {}, false);
        const auto count = [&](const std::string& prefix) {
          int n = 0;
          for (const std::string& line : lines) n += line.rfind(prefix, 0) == 0;
          return n;
        };
        const bool one = tail == tTail::One;
        const bool combined = criteria == tCriteria::Combined;
        SCOPED_TRACE(std::to_string(int(criteria)) + (one ? " one" : " two") +
                     (prior == tPrior::Standard ? " jeffreys" : " calibrated"));
        EXPECT_EQ(count(" RSDT t value = "), combined ? 1 : 0);
        EXPECT_EQ(count(" RSDT t value = 1.612, df =  24, p (one-tailed) = 0.06123"), combined && one);
        EXPECT_EQ(count(" RSDT t value = 1.612, df =  24, p (two-tailed) = 0.12247"), combined && !one);
        EXPECT_EQ(count(" FREQUENTIST TEST (RSDT)"), combined ? 1 : 0);
        EXPECT_EQ(count(" One-tailed probability = 0.01235"), one ? 1 : 0);
        EXPECT_EQ(count(" Two-tailed probability = 0.02469"), one ? 0 : 1);
        EXPECT_EQ(count(one ? "                          significant (one-tailed)"
                            : "                          significant (two-tailed)"),
                  combined ? 2 : 1);
        EXPECT_EQ(count(" Option selected: Analysis is to be performed using a prior CALIBRATED"),
                  prior == tPrior::Calibrated);
        EXPECT_EQ(count(" Option selected: Analysis is to be performed using a prior derived from STANDARD THEORY"),
                  prior == tPrior::Standard);
        // The RSDT is not significant at either tail: under the combined criteria the
        // classical pattern of the Bayesian criteria is lost.
        EXPECT_EQ(lines.back(),
                  combined ? " The case does not fulfil the criteria for either a strong or classical dissociation"
                           : " The case's pattern of performance fulfils the criteria for a dissociation, putatively CLASSICAL");
        EXPECT_EQ(lines.front(), "");
      }
    }
  }
}

TEST(ReportNotes, EmptyNotesWriteNothingOneLineWritesCaptionAndSpaceLine) {
  tRun_options options;
  const tRun_results r = Hand_built_results(options);
  const tLines none = Report_lines(r, {}, false);
  const tLines one = Report_lines(r, {"only line"}, false);
  ASSERT_EQ(one.size(), none.size() + 2);
  const std::size_t at = Opening().size();
  EXPECT_EQ(none[at], " INPUTS:");
  EXPECT_EQ(one[at], " User's Notes: only line");
  EXPECT_EQ(one[at + 1], " ");
  EXPECT_EQ(one[at + 2], " INPUTS:");
}

// The notes as every front end splits them (the window's memo, --notes, the page): CR, LF
// and CRLF end a line; a final line break starts no further line, as in the window's memo.
TEST(ReportNotes, SplitAtLineEndsIntoPrintableLines) {
  const struct {
    const char* Text;
    tLines Lines;
  } cases[] = {
      {"", {}},
      {"one", {"one"}},
      {"a\nb", {"a", "b"}},
      {"a\r\nb\rc", {"a", "b", "c"}},
      {"a\n", {"a"}},
      {"a\r\n", {"a"}},
      {"\n", {""}},
      {"a\n\nb", {"a", "", "b"}},
      {"a\n\n", {"a", ""}},
      {"a\n\r", {"a", ""}},  // LF then CR: two line ends
      // Tabs become spaces, an escape U+FFFD, a C1 control or an override U+FFFD.
      {"x\ty\x1b[2J", {"x y\xEF\xBF\xBD[2J"}},
      {"\xC2\x9B" "1\n\xE2\x80\xAEz", {"\xEF\xBF\xBD" "1", "\xEF\xBF\xBDz"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Split_notes(c.Text), c.Lines) << c.Text;
}

// The report makes every notes line printable, whoever split the notes.
TEST(ReportNotes, ControlCharactersNeverReachTheReport) {
  const tRun_results r = Hand_built_results(tRun_options{});
  const tLines lines = Report_lines(r, {"a\x1b[2J", "b\rc"}, false);
  const std::size_t at = Opening().size();
  EXPECT_EQ(lines[at], " User's Notes: a\xEF\xBF\xBD[2J");
  EXPECT_EQ(lines[at + 1], std::string(15, ' ') + "b c");
}

TEST(ReportSeparator, LaterReportsStartWithTheSeparatorOnly) {
  tRun_options options;
  const tRun_results r = Hand_built_results(options);
  const tLines first = Report_lines(r, {}, false);
  const tLines later = Report_lines(r, {}, true);
  ASSERT_EQ(later.size(), first.size() + 1);
  EXPECT_EQ(later[0], std::string(106, '_'));
  EXPECT_EQ(kReport_separator, std::string(106, '_'));
  EXPECT_EQ(tLines(later.begin() + 1, later.end()), first);
}

TEST(ReportCriteria, StrongPatternAndCaseAboveTheMeans) {
  tRun_options options;
  tRun_results r = Hand_built_results(options);
  r.Deficit_y_results.T_value = -2.5L;
  r.Deficit_y_results.P_one_tailed = 0.01L;
  Apply_criteria(r);
  Fill_figures(r);
  tLines lines = Report_lines(r, {}, false);
  EXPECT_EQ(lines.back(), " The case's pattern of performance fulfils the criteria for a STRONG dissociation");
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      " Dissociations criterion: The case meets the criterion for a deficit on Task Y"),
            lines.end());

  // Above both means: no deficit however small p, so neither kind.
  r.Deficit_x_results.T_value = 3.1L;
  r.Deficit_y_results.T_value = 2.5L;
  Apply_criteria(r);
  Fill_figures(r);
  lines = Report_lines(r, {}, false);
  EXPECT_EQ(lines.back(), " The case does not fulfil the criteria for either a strong or classical dissociation");
}

TEST(ReportFormat, NegativeZeroAndWideValues) {
  tRun_options options;
  tRun_results r = Hand_built_results(options);
  r.Inputs.Mean_x = -12345.678;  // wider than the field: printf widens, never truncates
  r.Inputs.N = 1000;
  r.Z_x = -0.0004;               // rounds to zero: printf keeps the sign
  Fill_figures(r);
  const tLines lines = Report_lines(r, {}, false);
  const std::size_t at = Opening().size() + 5;
  EXPECT_EQ(lines[at], " Mean of the control or normative sample on Task X =     -12345.68");
  EXPECT_EQ(lines[at + 5], " Sample size of the normative sample =                       1000");
  EXPECT_EQ(lines[at + 11], " Case's score on Task X expressed as z score =   -0.000");
  EXPECT_EQ(lines[at + 16], " Significance test: t = -1.960, df = 999, p(one-tailed) = 0.03083");
}

// Each input shows the decimals its text had, at least two, in the same columns.
TEST(ReportFormat, InputsShowTheDecimalsTheyWereGiven) {
  tRun_options options;
  const auto checked =
      Check_inputs({"100", "15", "50", "0.061", "0.9999", "25", "70", "52.125"}, options);
  ASSERT_TRUE(std::holds_alternative<tChecked_inputs>(checked));
  tRun_results r = Hand_built_results(options);
  r.Inputs = std::get<tChecked_inputs>(checked);
  Fill_figures(r);
  const tLines lines = Report_lines(r, {}, false);
  const std::size_t at = Opening().size() + 5;
  const tLines expected = {
      " Mean of the control or normative sample on Task X =       100.00",
      " Standard deviation for the normative sample on Task X =    15.00",
      " Mean of the control or normative sample on Task Y =        50.00",
      " Standard deviation for the normative sample on Task Y =    0.061",
      " Correlation between Tests X and Y in normative sample =   0.9999",
      " Sample size of the normative sample =                         25",
      "",
      " Case's test score on Task X =                              70.00",
      " Case's test score on Task Y =                             52.125"};
  EXPECT_EQ(tLines(lines.begin() + at, lines.begin() + at + 9), expected);
}

// The table the outputs are written from: unique names, each group in one stretch (a
// writer opens a group's object once), units by kind, the later figures last in their
// group, and no value for figures the run did not compute.
TEST(FigureTable, NamesGroupsKindsAndUnits) {
  for (tCriteria criteria : {tCriteria::Bayesian, tCriteria::Combined}) {
    tRun_options options;
    options.Criteria = criteria;
    const tRun_results r = Hand_built_results(options);
    const std::vector<tFigure>& figures = r.Figures.Figures;
    std::vector<std::string> groups_seen;
    for (std::size_t i = 0; i < figures.size(); ++i) {
      const tFigure& f = figures[i];
      EXPECT_EQ(r.Figures.Find(f.Name), &f) << f.Name;
      if (i == 0 || figures[i - 1].Group != f.Group) {
        EXPECT_EQ(std::count(groups_seen.begin(), groups_seen.end(), f.Group), 0) << f.Group;
        if (!f.Group.empty()) groups_seen.push_back(f.Group);
      }
      if (f.Kind == tFigure_kind::Percentage) {
        EXPECT_EQ(f.Unit, "%") << f.Name;
      }
      if (f.Kind == tFigure_kind::Effect_size) {
        EXPECT_EQ(f.Unit, "SD") << f.Name;
      }
      if (f.Kind == tFigure_kind::Probability && r.Figures.Has_value(f.Name)) {
        EXPECT_GE(r.Figures.Number(f.Name), 0) << f.Name;
        EXPECT_LE(r.Figures.Number(f.Name), 1) << f.Name;
      }
      EXPECT_EQ(f.Added_later, f.Kind == tFigure_kind::Standard_error) << f.Name;
    }
    EXPECT_EQ(r.Figures.Has_value("rsdt_t_value"), criteria == tCriteria::Combined);
    // The RSDT of the built record is not significant: classical only under Bayesian criteria.
    EXPECT_EQ(r.Figures.Word("classification"),
              criteria == tCriteria::Bayesian ? "classical" : "neither");
    EXPECT_EQ(r.Figures.Number("x_pct_upper"), r.Deficit_x_results.Pct_upper);
    EXPECT_THROW(r.Figures.At("no_such_figure"), std::out_of_range);
    EXPECT_THROW(r.Figures.Word("x_t_value"), std::out_of_range);
  }
}

// Format_fixed must agree with printf's "%*.*Lf" in the C locale, ties to even included.
TEST(FormatFixed, AgreesWithPrintf) {
  struct Case { Extended value; int width, precision; };
  std::vector<Case> cases = {
      {0.125L, 1, 2}, {0.375L, 1, 2}, {2.5L, 1, 0}, {-2.5L, 1, 0}, {1e-20L, 8, 3},
      {-1e-20L, 8, 3}, {123456789.125L, 2, 2}, {0.05L, 1, 5}, {1e30L, 1, 2}, {-0.0L, 8, 2},
  };
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> u(-1000, 1000);
  for (int i = 0; i < 5000; ++i) {
    cases.push_back({static_cast<Extended>(static_cast<long double>(u(random)) / 7.0L), 1 + i % 9, i % 6});
  }
  for (const Case& c : cases) {
    char expected[256];
    std::snprintf(expected, sizeof expected, "%*.*Lf", c.width, c.precision,
                  static_cast<long double>(c.value));
    ASSERT_EQ(Format_fixed(c.value, c.width, c.precision), expected)
        << static_cast<double>(c.value) << " " << c.width << "." << c.precision;
  }
  EXPECT_EQ(Format_int(25, 8), "      25");
  EXPECT_EQ(Format_int(-7, 3), " -7");
  EXPECT_EQ(Format_int(12345, 2), "12345");
}

// The desktop toolkit switches the C library to the user's locale; in German the decimal
// separator is a comma. Reports, JSON numbers and the control-data file must keep the point.
TEST(FormatFixed, WritesAPointInADecimalCommaLocale) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr &&
      std::setlocale(LC_ALL, "de_DE.utf8") == nullptr) {
    GTEST_SKIP() << "no German locale is installed (scripts/setup.sh generates one)";
  }
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 0.5);
  const std::string fixed = Format_fixed(-1.25L, 8, 3);
  const std::string plain = Format_plain_decimal(0.00001);
  const tLoaded_controls loaded = Parse_control_data("100.5 15 50 10 0.6 20 80 40 ");
  std::setlocale(LC_ALL, previous.c_str());

  ASSERT_EQ(std::string(probe), "0,5");  // the locale really writes a comma
  EXPECT_EQ(fixed, "  -1.250");
  EXPECT_EQ(plain, "0.00001");
  EXPECT_TRUE(loaded.Error.empty()) << loaded.Error;
  EXPECT_EQ(loaded.Texts[0], "100.5");
  EXPECT_EQ(loaded.Texts[4], "0.6");
}

}  // namespace
