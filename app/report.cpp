// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/report.h"

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

const std::string kVerdict_significant =
    " Dissociations criterion: The difference between the case's standardized scores is "
    "statistically";
const std::string kVerdict_not_significant =
    " Dissociations criterion: The difference between the case's standardized scores is not "
    "statistically";
const std::string kVerdict_indent(26, ' ');

std::string F(Extended value, int width, int precision) {
  return Format_fixed(value, width, precision);
}

void Add_deficit_block(std::vector<std::string>& lines, const tDeficit_results& d, char task,
                       std::int32_t df, bool deficit) {
  const std::string t(1, task);
  lines.push_back(" QUARRIN & ORLUND'S (1998) TEST FOR A DEFICIT ON TASK " + t + ":");
  lines.push_back(" Significance test: t = " + F(d.T_value, 1, 3) + ", df = " +
                  Format_int(df, 2) + ", p(one-tailed) = " + F(d.P_one_tailed, 1, 5));
  lines.push_back("");
  // Task X's line has two spaces before "to", task Y's one.
  const std::string to = task == 'X' ? "  to " : " to ";
  lines.push_back(
      " Effect size (Z-CC) for difference between case and controls (plus 95% CI) = " +
      F(d.Zcc, 2, 3) + "  (" + F(d.Zcc_lower, 2, 3) + to + F(d.Zcc_upper, 2, 3) + " )");
  lines.push_back("");
  lines.push_back(
      " Estimated percentage of control population (plus 95% CI) obtaining a lower score "
      "than the ");
  lines.push_back(" case on Task " + t + " = " + F(d.Pct_below, 1, 4) + "% (95% CI = " +
                  F(d.Pct_lower, 1, 4) + "% to " + F(d.Pct_upper, 1, 4) + "%)");
  lines.push_back("");
  lines.push_back(deficit ? " Dissociations criterion: The case meets the criterion for a "
                            "deficit on Task " + t
                          : " Dissociations criterion: The case does not meet the criterion "
                            "for a deficit on Task " + t);
}

}  // namespace

std::vector<std::string> Report_lines(const tRun_results& r, const tRun_options& options,
                                      const std::vector<std::string>& notes_lines,
                                      bool viewer_has_text) {
  const bool combined = r.Criteria_option == 2;
  const bool one_tailed = options.Tail == tTail::One;
  const std::int32_t df = r.Inputs.N - 1;
  const tChecked_inputs& in = r.Inputs;
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
  lines.push_back(combined ? " Option selected: Apply combined Bayesian / frequentist criteria for dissociations"
                           : " Option selected: Apply Bayesian criteria for dissociations");
  lines.push_back(one_tailed ? " Option selected: Use a ONE-tailed test when testing for a difference between standardized scores"
                             : " Option selected: Use a TWO-tailed test when testing for a difference between standardized scores");
  lines.push_back(options.Prior == tPrior::Calibrated
                      ? " Option selected: Analysis is to be performed using a prior CALIBRATED to confer frequentist properties"
                      : " Option selected: Analysis is to be performed using a prior derived from STANDARD THEORY (Jeffreys prior)");
  lines.push_back("");
  lines.push_back(" Mean of the control or normative sample on Task X =     " + F(in.Mean_x, 8, 2));
  lines.push_back(" Standard deviation for the normative sample on Task X = " + F(in.Sd_x, 8, 2));
  lines.push_back(" Mean of the control or normative sample on Task Y =     " + F(in.Mean_y, 8, 2));
  lines.push_back(" Standard deviation for the normative sample on Task Y = " + F(in.Sd_y, 8, 2));
  lines.push_back(" Correlation between Tests X and Y in normative sample = " + F(in.R_xy, 8, 2));
  lines.push_back(" Sample size of the normative sample =                   " + Format_int(in.N, 8));
  lines.push_back("");
  lines.push_back(" Case's test score on Task X =                           " + F(in.Case_x, 8, 2));
  lines.push_back(" Case's test score on Task Y =                           " + F(in.Case_y, 8, 2));
  lines.push_back("");
  lines.push_back(" OUTPUTS:");
  lines.push_back(" Case's score on Task X expressed as z score = " + F(r.Z_x, 8, 3));
  lines.push_back(" Case's score on Task Y expressed as z score = " + F(r.Z_y, 8, 3));
  lines.insert(lines.end(), {"", ""});

  Add_deficit_block(lines, r.Deficit_x_results, 'X', df, r.Deficit_x);
  lines.insert(lines.end(), {" ", "", ""});
  Add_deficit_block(lines, r.Deficit_y_results, 'Y', df, r.Deficit_y);
  lines.insert(lines.end(), {"", "", "", ""});

  lines.push_back(" BAYESIAN TEST (BSDT) ON THE DIFFERENCE BETWEEN THE CASE'S STANDARDIZED SCORES ON X AND Y: ");
  lines.push_back(" Bayesian hypothesis test - Probability that the standardized difference for a member of the control");
  lines.push_back(" population would be greater than that of the case:");
  lines.push_back(one_tailed ? " One-tailed probability = " + F(r.Bsdt.P_one_tailed, 2, 5)
                             : " Two-tailed probability = " + F(r.Bsdt.P_two_tailed, 2, 5));
  lines.push_back("");
  lines.push_back(" Effect size (Z-DCC) for the difference between case and controls (plus 95% Credible Interval):");
  lines.push_back(" Z-DCC = " + F(r.Bsdt.Zdcc, 2, 3) + " (95% CI = " + F(r.Bsdt.Zdcc_lower, 2, 3) +
                  " to " + F(r.Bsdt.Zdcc_upper, 2, 3) + " )");
  lines.push_back("");
  lines.push_back(" Percentage of control population exhibiting a more extreme discrepancy in same direction as case:");
  lines.push_back(" Bayesian point estimate (plus 95% CI) = " + F(r.Bsdt.Pct_more_extreme, 2, 3) +
                  "% (95% CI = " + F(r.Bsdt.Pct_lower, 2, 4) + "% to " +
                  F(r.Bsdt.Pct_upper, 2, 4) + "%)");
  lines.push_back("");
  const std::string tail_text = one_tailed ? "(one-tailed)" : "(two-tailed)";
  lines.push_back(r.Bsdt_significant ? kVerdict_significant : kVerdict_not_significant);
  lines.push_back(kVerdict_indent + "significant " + tail_text + " on the BSDT");

  if (combined) {
    lines.insert(lines.end(), {"", ""});
    lines.push_back(" FREQUENTIST TEST (RSDT) ON THE DIFFERENCE BETWEEN THE CASE'S STANDARDIZED SCORES ON X AND Y: ");
    lines.push_back(" RSDT t value = " + F(r.Rsdt_t, 2, 3) + ", df = " + Format_int(df, 3) +
                    ", p " + tail_text + " = " +
                    F(one_tailed ? r.Rsdt_p_one_tailed : r.Rsdt_p_two_tailed, 2, 5));
    lines.push_back("");
    lines.push_back(r.Rsdt_significant ? kVerdict_significant : kVerdict_not_significant);
    lines.push_back(kVerdict_indent + "significant " + tail_text + " on the frequentist RSDT");
  }
  lines.insert(lines.end(), {"", "", ""});

  lines.push_back(combined
                      ? " OVERALL RESULT OF APPLYING COMBINED BAYESIAN/FREQUENTIST CRITERIA FOR A DISSOCIATION:"
                      : " OVERALL RESULT OF APPLYING BAYESIAN CRITERIA FOR A DISSOCIATION:");
  if (r.Strong) {
    lines.push_back(" The case's pattern of performance fulfils the criteria for a STRONG dissociation");
  } else if (r.Classical) {
    lines.push_back(" The case's pattern of performance fulfils the criteria for a dissociation, putatively CLASSICAL");
  } else {
    lines.push_back(" The case does not fulfil the criteria for either a strong or classical dissociation");
  }
  return lines;
}
