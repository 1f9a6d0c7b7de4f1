// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/report.h"

#include <cstdlib>
#include <variant>

#include <algorithm>

#include "app/control_data.h"
#include "app/text_format.h"

const std::string kReport_separator(106, '_');

namespace {

// The references behind the methods: three, three and two lines, each line starting with
// one space.
const char* const kReferences[][3] = {
    {" Quarrin & Orlund (1998): the modified t-test comparing a single case's score with a",
     " small control sample, used here as the test for a deficit on each task, and the",
     " estimated percentage of the control population scoring below the case."},
    {" The Bayesian Standardized Difference Test (BSDT) on the difference between a case's",
     " standardized scores on two tasks, with its calibrated prior conferring frequentist",
     " properties, and the Bayesian criteria for a dissociation applied here."},
    {" Point and interval estimates of the effect sizes for single-case comparisons: Z-CC for",
     " the case's score on one task and Z-DCC for the difference between two tasks.", nullptr},
};

std::string F(Extended value, int width, int precision) {
  return Format_fixed(value, width, precision);
}

// An input as the report shows it: right-aligned in 8 characters, with the decimals its
// text had, at least two.
std::string Input(const tFigure_table& f, const char* name) {
  const tFigure& figure = f.At(name);
  return F(f.Number(name), 8, std::max(2, figure.Text_decimals));
}

void Add_deficit_block(std::vector<std::string>& lines, const tFigure_table& f, char task) {
  const std::string t(1, task);
  const std::string p = task == 'X' ? "x_" : "y_";
  const auto n = [&](const char* key) { return f.Number(p + key); };
  // A limit: its number, or "<" / ">" and the bound when beyond the search's reach.
  const auto limit = [&](const char* key, int width, int decimals) {
    const tFigure& figure = f.At(p + key);
    if (const auto* text = std::get_if<std::string>(&figure.Value))
      return text->substr(0, 1) + F(std::strtold(text->c_str() + 1, nullptr), width, decimals);
    return F(n(key), width, decimals);
  };
  lines.push_back(" QUARRIN & ORLUND'S (1998) TEST FOR A DEFICIT ON TASK " + t + ":");
  lines.push_back(" Significance test: t = " + F(n("t_value"), 1, 3) + ", df = " +
                  Format_int(f.Whole(p + "df"), 2) + ", p(one-tailed) = " +
                  F(n("p_one_tailed"), 1, 5));
  lines.push_back("");
  // Task X's line has two spaces before "to", task Y's one.
  const std::string to = task == 'X' ? "  to " : " to ";
  lines.push_back(
      " Effect size (Z-CC) for difference between case and controls (plus 95% CI) = " +
      F(n("zcc"), 2, 3) + "  (" + limit("zcc_lower", 2, 3) + to + limit("zcc_upper", 2, 3) + " )");
  lines.push_back("");
  lines.push_back(
      " Estimated percentage of control population (plus 95% CI) obtaining a lower score "
      "than the ");
  lines.push_back(" case on Task " + t + " = " + F(n("pct_below"), 1, 4) + "% (95% CI = " +
                  limit("pct_lower", 1, 4) + "% to " + limit("pct_upper", 1, 4) + "%)");
  lines.push_back("");
  lines.push_back(f.Flag(p + "deficit")
                      ? " Dissociations criterion: The case meets the criterion for a "
                        "deficit on Task " + t
                      : " Dissociations criterion: The case does not meet the criterion "
                        "for a deficit on Task " + t);
}

}  // namespace

void Add_verdict_lines(std::vector<std::string>& lines, bool significant,
                       const std::string& tail_text, const std::string& test) {
  constexpr char kVerdict[] =
      " Dissociations criterion: The difference between the case's standardized scores is ";
  lines.push_back(std::string(kVerdict) + (significant ? "" : "not ") + "statistically");
  lines.push_back(std::string(26, ' ') + "significant " + tail_text + " on " + test);
}

std::vector<std::string> Report_lines(const tRun_results& r,
                                      const std::vector<std::string>& notes_lines,
                                      bool viewer_has_text) {
  const tFigure_table& f = r.Figures;
  const bool combined = r.Options.Criteria == tCriteria::Combined;
  const bool one_tailed = r.Options.Tail == tTail::One;
  std::vector<std::string> lines;

  if (viewer_has_text) lines.push_back(kReport_separator);
  lines.insert(lines.end(), {"", Program_title, ""});

  lines.push_back(" THIS PROGRAM IMPLEMENTS STATISTICAL METHODS DEVELOPED IN THE FOLLOWING PAPERS:");
  lines.push_back("");
  for (const auto& reference : kReferences) {
    for (const char* line : reference) {
      if (line != nullptr) lines.push_back(line);
    }
    lines.push_back("");
  }
  lines.insert(lines.end(), {"", ""});

  if (!notes_lines.empty()) {
    lines.push_back(" User's Notes: " + notes_lines.front());
    for (std::size_t i = 1; i < notes_lines.size(); ++i) {
      lines.push_back(std::string(15, ' ') + notes_lines[i]);
    }
    lines.push_back(" ");
  }

  lines.push_back(" INPUTS:");
  lines.push_back(Words(r.Options.Criteria).Report_line);
  lines.push_back(Words(r.Options.Tail).Report_line);
  lines.push_back(Words(r.Options.Prior).Report_line);
  lines.push_back("");
  lines.push_back(" Mean of the control or normative sample on Task X =     " + Input(f, "mean_x"));
  lines.push_back(" Standard deviation for the normative sample on Task X = " + Input(f, "sd_x"));
  lines.push_back(" Mean of the control or normative sample on Task Y =     " + Input(f, "mean_y"));
  lines.push_back(" Standard deviation for the normative sample on Task Y = " + Input(f, "sd_y"));
  lines.push_back(" Correlation between Tests X and Y in normative sample = " + Input(f, "r"));
  lines.push_back(" Sample size of the normative sample =                   " + Format_int(f.Whole("n"), 8));
  lines.push_back("");
  lines.push_back(" Case's test score on Task X =                           " + Input(f, "case_x"));
  lines.push_back(" Case's test score on Task Y =                           " + Input(f, "case_y"));
  lines.push_back("");
  lines.push_back(" OUTPUTS:");
  lines.push_back(" Case's score on Task X expressed as z score = " + F(f.Number("z_x"), 8, 3));
  lines.push_back(" Case's score on Task Y expressed as z score = " + F(f.Number("z_y"), 8, 3));
  lines.insert(lines.end(), {"", ""});

  Add_deficit_block(lines, f, 'X');
  lines.insert(lines.end(), {" ", "", ""});
  Add_deficit_block(lines, f, 'Y');
  lines.insert(lines.end(), {"", "", "", ""});

  lines.push_back(" BAYESIAN TEST (BSDT) ON THE DIFFERENCE BETWEEN THE CASE'S STANDARDIZED SCORES ON X AND Y: ");
  lines.push_back(" Bayesian hypothesis test - Probability that the standardized difference for a member of the control");
  lines.push_back(" population would be greater than that of the case:");
  lines.push_back(one_tailed ? " One-tailed probability = " + F(f.Number("bsdt_p_one_tailed"), 2, 5)
                             : " Two-tailed probability = " + F(f.Number("bsdt_p_two_tailed"), 2, 5));
  lines.push_back("");
  lines.push_back(" Effect size (Z-DCC) for the difference between case and controls (plus 95% Credible Interval):");
  lines.push_back(" Z-DCC = " + F(f.Number("bsdt_zdcc"), 2, 3) + " (95% CI = " +
                  F(f.Number("bsdt_zdcc_lower"), 2, 3) + " to " +
                  F(f.Number("bsdt_zdcc_upper"), 2, 3) + " )");
  lines.push_back("");
  lines.push_back(" Percentage of control population exhibiting a more extreme discrepancy in same direction as case:");
  lines.push_back(" Bayesian point estimate (plus 95% CI) = " + F(f.Number("bsdt_pct_more_extreme"), 2, 3) +
                  "% (95% CI = " + F(f.Number("bsdt_pct_lower"), 2, 4) + "% to " +
                  F(f.Number("bsdt_pct_upper"), 2, 4) + "%)");
  lines.push_back("");
  const std::string tail_text = std::string("(") + Words(r.Options.Tail).Caption + ")";
  Add_verdict_lines(lines, f.Flag("bsdt_significant"), tail_text, "the BSDT");

  if (combined) {
    lines.insert(lines.end(), {"", ""});
    lines.push_back(" FREQUENTIST TEST (RSDT) ON THE DIFFERENCE BETWEEN THE CASE'S STANDARDIZED SCORES ON X AND Y: ");
    lines.push_back(" RSDT t value = " + F(f.Number("rsdt_t_value"), 2, 3) + ", df = " +
                    Format_int(f.Whole("rsdt_df"), 3) + ", p " + tail_text + " = " +
                    F(f.Number(one_tailed ? "rsdt_p_one_tailed" : "rsdt_p_two_tailed"), 2, 5));
    lines.push_back("");
    Add_verdict_lines(lines, f.Flag("rsdt_significant"), tail_text, "the frequentist RSDT");
  }
  lines.insert(lines.end(), {"", "", ""});

  lines.push_back(Words(r.Options.Criteria).Report_heading);
  lines.push_back(Words(r.Classification).Report_line);
  return lines;
}
