// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/toolkit_report.h"

#include <cstdlib>

#include "app/control_data.h"
#include "app/report.h"
#include "app/text_format.h"

namespace {

// The methods' descriptions, as run: with covariates (first two) or without them.
const char* const kReferences[][3] = {
    {" Test for a deficit allowing for covariates: the case's score compared with the",
     " controls' regression on the covariates, by the prediction interval of a regression,",
     " with the effect size Z-CCC and its limits from a non-central t distribution."},
    {" Bayesian test for a deficit, and the BSDT allowing for covariates: the posterior of",
     " the controls' conditional model given the covariates (regression, the multivariate",
     " normal and the Wishart distribution), sampled by Monte Carlo."},
    {" The unstandardized difference test: the test for a deficit applied to the",
     " difference between a case's scores on two tasks measured on the same scale.", nullptr},
};
const char* const kReferences_without_covariates[][3] = {
    {" Test for a deficit: the case's score compared with the controls' by the modified",
     " t-test (Quarrin & Orlund, 1998), with the effect size Z-CC and its limits from a",
     " non-central t distribution."},
    {" Bayesian test for a deficit, and the BSDT: the posterior of the controls' means and",
     " covariance (the multivariate normal and the Wishart distribution), sampled by Monte",
     " Carlo."},
    {" The unstandardized difference test: the test for a deficit applied to the",
     " difference between a case's scores on two tasks measured on the same scale.", nullptr},
};

std::string F(Extended value, int width, int precision) {
  return Format_fixed(value, width, precision);
}

// A limit: its number, or "<" / ">" and the bound when beyond the search's reach.
std::string Limit(Extended value, int beyond, int width, int precision) {
  return (beyond < 0 ? "<" : beyond > 0 ? ">" : "") + F(value, width, precision);
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// Name padded to a column, so that the figures line up.
std::string Padded(const std::string& s, std::size_t width) {
  return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

void Add_header(std::vector<std::string>& lines, const std::vector<std::string>& notes,
                bool viewer_has_text, bool covariates) {
  if (viewer_has_text) lines.push_back(kReport_separator);
  lines.insert(lines.end(), {"", Program_title, ""});
  lines.push_back(" THIS PROGRAM IMPLEMENTS STATISTICAL METHODS DEVELOPED IN THE FOLLOWING PAPERS:");
  lines.push_back("");
  for (const auto& reference : covariates ? kReferences : kReferences_without_covariates) {
    for (const char* line : reference)
      if (line != nullptr) lines.push_back(line);
    lines.push_back("");
  }
  lines.insert(lines.end(), {"", ""});
  if (!notes.empty()) {
    lines.push_back(" User's Notes: " + notes.front());
    for (std::size_t i = 1; i < notes.size(); ++i) lines.push_back(std::string(15, ' ') + notes[i]);
    lines.push_back(" ");
  }
}

void Add_inputs(std::vector<std::string>& lines, const tToolkit_results& r) {
  const tConditional_inputs& in = r.Inputs;
  std::size_t width = 10;
  for (const auto& v : in.Covariates) width = std::max(width, v.Name.size() + 13);
  for (const auto& v : in.Tasks) width = std::max(width, v.Name.size() + 8);
  lines.push_back(" Sample size of the normative sample = " + Format_int(in.N, 8));
  lines.push_back("");
  lines.push_back(" " + Padded("Variable", width) + "      Mean        SD      Case");
  for (const auto& v : in.Covariates)
    lines.push_back(" " + Padded(v.Name + " (covariate)", width) + Format_input(v.Mean, 10) +
                    Format_input(v.Sd, 10) + Format_input(v.Case, 10));
  for (const auto& v : in.Tasks)
    lines.push_back(" " + Padded(v.Name + " (task)", width) + Format_input(v.Mean, 10) +
                    Format_input(v.Sd, 10) + Format_input(v.Case, 10));
  lines.push_back("");
  lines.push_back(" Correlations in the normative sample:");
  std::vector<std::string> names;
  for (const auto& v : in.Covariates) names.push_back(v.Name);
  for (const auto& v : in.Tasks) names.push_back(v.Name);
  for (std::size_t i = 1; i < names.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      lines.push_back(" r(" + names[j] + ", " + names[i] + ") = " +
                      Format_input(in.Correlations[i][j], 1));
}

void Add_frequentist_deficit(std::vector<std::string>& lines, const tToolkit_results& r,
                             std::size_t j) {
  const tDeficit_results& d = r.Deficit[j];
  const std::string& name = r.Inputs.Tasks[j].Name;
  const bool covariates = r.Model.M > 0;
  const std::string effect = covariates ? "Z-CCC" : "Z-CC";
  lines.push_back(covariates ? " TEST FOR A DEFICIT ON " + Upper(name) + " ALLOWING FOR COVARIATES:"
                             : " QUARRIN & ORLUND'S (1998) TEST FOR A DEFICIT ON " + Upper(name) + ":");
  if (covariates)
    lines.push_back(" Case's predicted score given the covariates = " +
                    F(r.Model.Predicted[j], 1, 3) + " (leverage h = " + F(r.Model.Leverage, 1, 5) +
                    ")");
  lines.push_back(" Significance test: t = " + F(d.T_value, 1, 3) + ", df = " +
                  Format_int(static_cast<std::int64_t>(d.Df), 2) + ", p(one-tailed) = " +
                  F(d.P_one_tailed, 1, 5));
  lines.push_back("");
  lines.push_back(" Effect size (" + effect + ") for difference between case and controls (plus 95% CI) = " +
                  F(d.Zcc, 2, 3) + "  (" + Limit(d.Zcc_lower, d.Lower_beyond_reach, 2, 3) + " to " +
                  Limit(d.Zcc_upper, d.Upper_beyond_reach, 2, 3) + " )");
  lines.push_back("");
  lines.push_back(covariates ? " Estimated percentage of controls with the case's covariate values (plus 95% CI) obtaining a lower "
                             : " Estimated percentage of control population (plus 95% CI) obtaining a lower score than the ");
  lines.push_back((covariates ? " score than the case on " : " case on ") + name + " = " +
                  F(d.Pct_below, 1, 4) + "% (95% CI = " + Limit(d.Pct_lower, d.Pct_lower_beyond_reach, 1, 4) +
                  "% to " + Limit(d.Pct_upper, d.Pct_upper_beyond_reach, 1, 4) + "%)");
  lines.push_back("");
  const std::string criterion =
      r.Kind == tToolkit_kind::Dissociation ? " Dissociations criterion: " : " Deficit criterion: ";
  lines.push_back(criterion + (r.Deficit_met[j] ? "The case meets the criterion for a deficit on "
                                                : "The case does not meet the criterion for a deficit on ") +
                  name);
}

void Add_bayesian_deficit(std::vector<std::string>& lines, const tToolkit_results& r) {
  const tBayesian_deficit_results& b = r.Bayesian;
  const std::string& name = r.Inputs.Tasks[0].Name;
  const bool one_tailed = r.Options.Tail == tTail::One;
  const std::string effect = r.Model.M > 0 ? "Z-CCC" : "Z-CC";
  lines.push_back(" BAYESIAN TEST FOR A DEFICIT ON " + Upper(name) +
                  (r.Model.M > 0 ? " ALLOWING FOR COVARIATES:" : ":"));
  lines.push_back(" Bayesian hypothesis test - Probability that a member of the control population" +
                  std::string(r.Model.M > 0 ? " with the" : ""));
  lines.push_back(r.Model.M > 0 ? " case's covariate values would obtain a score more extreme than the case's:"
                                : " would obtain a score more extreme than the case's:");
  lines.push_back(one_tailed ? " One-tailed probability = " + F(b.P_one_tailed, 2, 5)
                             : " Two-tailed probability = " + F(b.P_two_tailed, 2, 5));
  lines.push_back("");
  lines.push_back(" Effect size (" + effect + ") for difference between case and controls (plus 95% Credible Interval):");
  lines.push_back(" " + effect + " = " + F(b.Zccc, 2, 3) + " (95% CI = " + F(b.Zccc_lower, 2, 3) +
                  " to " + F(b.Zccc_upper, 2, 3) + " )");
  lines.push_back("");
  lines.push_back(" Percentage of control population exhibiting a more extreme score in same direction as case:");
  lines.push_back(" Bayesian point estimate (plus 95% CI) = " + F(b.Pct_more_extreme, 2, 3) +
                  "% (95% CI = " + F(b.Pct_lower, 2, 4) + "% to " + F(b.Pct_upper, 2, 4) + "%)");
}

void Add_udt(std::vector<std::string>& lines, const tToolkit_results& r) {
  const tDeficit_results& d = r.Udt;
  const std::string& x = r.Inputs.Tasks[0].Name;
  const std::string& y = r.Inputs.Tasks[1].Name;
  const bool one_tailed = r.Options.Tail == tTail::One;
  lines.push_back(" UNSTANDARDIZED DIFFERENCE TEST (UDT) ON THE DIFFERENCE BETWEEN THE CASE'S SCORES ON " +
                  Upper(x) + " AND " + Upper(y) + ":");
  if (r.Model.M > 0) lines.push_back(" (on the controls' raw figures: the UDT does not allow for the covariates)");
  lines.push_back(" Significance test: t = " + F(d.T_value, 1, 3) + ", df = " +
                  Format_int(static_cast<std::int64_t>(d.Df), 2) +
                  (one_tailed ? ", p(one-tailed) = " + F(d.P_one_tailed, 1, 5)
                              : ", p(two-tailed) = " + F(d.P_two_tailed, 1, 5)));
  lines.push_back("");
  lines.push_back(" Effect size (Z-CC) for the difference between case and controls (plus 95% CI) = " +
                  F(d.Zcc, 2, 3) + "  (" + Limit(d.Zcc_lower, d.Lower_beyond_reach, 2, 3) + " to " +
                  Limit(d.Zcc_upper, d.Upper_beyond_reach, 2, 3) + " )");
  lines.push_back("");
  lines.push_back(" Estimated percentage of control population (plus 95% CI) obtaining a lower difference than the ");
  lines.push_back(" case's (" + x + " - " + y + ") = " + F(d.Pct_below, 1, 4) + "% (95% CI = " +
                  Limit(d.Pct_lower, d.Pct_lower_beyond_reach, 1, 4) + "% to " +
                  Limit(d.Pct_upper, d.Pct_upper_beyond_reach, 1, 4) + "%)");
}

void Add_bsdt(std::vector<std::string>& lines, const tToolkit_results& r) {
  const bool one_tailed = r.Options.Tail == tTail::One;
  const bool covariates = r.Model.M > 0;
  const std::string& x = r.Inputs.Tasks[0].Name;
  const std::string& y = r.Inputs.Tasks[1].Name;
  const std::string tail_text = one_tailed ? "(one-tailed)" : "(two-tailed)";
  lines.push_back(" BAYESIAN TEST (BSDT) ON THE DIFFERENCE BETWEEN THE CASE'S STANDARDIZED SCORES ON " +
                  Upper(x) + " AND " + Upper(y) + (covariates ? " ALLOWING FOR COVARIATES: " : ": "));
  lines.push_back(" Bayesian hypothesis test - Probability that the standardized difference for a member of the control");
  lines.push_back(covariates ? " population with the case's covariate values would be greater than that of the case:"
                             : " population would be greater than that of the case:");
  lines.push_back(one_tailed ? " One-tailed probability = " + F(r.Bsdt.P_one_tailed, 2, 5)
                             : " Two-tailed probability = " + F(r.Bsdt.P_two_tailed, 2, 5));
  lines.push_back("");
  lines.push_back(" Effect size (Z-DCC) for the difference between case and controls (plus 95% Credible Interval):");
  lines.push_back(" Z-DCC = " + F(r.Bsdt.Zdcc, 2, 3) + " (95% CI = " + F(r.Bsdt.Zdcc_lower, 2, 3) +
                  " to " + F(r.Bsdt.Zdcc_upper, 2, 3) + " )");
  lines.push_back("");
  lines.push_back(" Percentage of control population exhibiting a more extreme discrepancy in same direction as case:");
  lines.push_back(" Bayesian point estimate (plus 95% CI) = " + F(r.Bsdt.Pct_more_extreme, 2, 3) +
                  "% (95% CI = " + F(r.Bsdt.Pct_lower, 2, 4) + "% to " + F(r.Bsdt.Pct_upper, 2, 4) + "%)");
  lines.push_back("");
  Add_verdict_lines(lines, r.Bsdt_significant, tail_text, "the BSDT");
  if (r.Rsdt_computed) {
    lines.insert(lines.end(), {"", ""});
    lines.push_back(" FREQUENTIST TEST (RSDT) ON THE DIFFERENCE BETWEEN THE CASE'S STANDARDIZED SCORES ON " +
                    Upper(x) + " AND " + Upper(y) + ": ");
    lines.push_back(" RSDT t value = " + F(r.Rsdt_t, 2, 3) + ", df = " + Format_int(r.Inputs.N - 1, 3) +
                    ", p " + tail_text + " = " +
                    F(one_tailed ? r.Rsdt_p_one_tailed : r.Rsdt_p_two_tailed, 2, 5));
    lines.push_back("");
    Add_verdict_lines(lines, r.Rsdt_significant, tail_text, "the frequentist RSDT");
  }
}

const char* Prior_line(tPrior prior) {
  return prior == tPrior::Calibrated
             ? " Option selected: Analysis is to be performed using a prior CALIBRATED to confer frequentist properties"
             : " Option selected: Analysis is to be performed using a prior derived from STANDARD THEORY (Jeffreys prior)";
}

}  // namespace

std::string Format_input(Extended value, int width) {
  const double v = static_cast<double>(value);
  int precision = 2;
  while (precision < 6 && std::strtod(Format_fixed(v, 0, precision).c_str(), nullptr) != v)
    ++precision;
  return Format_fixed(v, width, precision);
}

std::vector<std::string> Toolkit_report_lines(const tToolkit_results& r,
                                              const std::vector<std::string>& notes,
                                              bool viewer_has_text) {
  std::vector<std::string> lines;
  Add_header(lines, notes, viewer_has_text, r.Model.M > 0);
  const bool one_tailed = r.Options.Tail == tTail::One;
  const bool combined = r.Options.Criteria == tCriteria::Combined;

  lines.push_back(" INPUTS:");
  switch (r.Kind) {
    case tToolkit_kind::Deficit:
      lines.push_back(r.Model.M > 0 ? " Analysis selected: Test for a deficit on one task allowing for covariates"
                                    : " Analysis selected: Test for a deficit on one task");
      lines.push_back(one_tailed ? " Option selected: Report the ONE-tailed Bayesian probability"
                                 : " Option selected: Report the TWO-tailed Bayesian probability");
      break;
    case tToolkit_kind::Dissociation:
      lines.push_back(r.Model.M > 0 ? " Analysis selected: Dissociation between two tasks allowing for covariates"
                                    : " Analysis selected: Dissociation between two tasks");
      lines.push_back(combined ? " Option selected: Apply combined Bayesian / frequentist criteria for dissociations"
                               : " Option selected: Apply Bayesian criteria for dissociations");
      lines.push_back(one_tailed ? " Option selected: Use a ONE-tailed test when testing for a difference between standardized scores"
                                 : " Option selected: Use a TWO-tailed test when testing for a difference between standardized scores");
      lines.push_back(Prior_line(r.Options.Prior));
      if (r.With_udt) lines.push_back(" Option selected: Also run the unstandardized difference test (tasks on the same scale)");
      break;
    case tToolkit_kind::Udt:
      lines.push_back(" Analysis selected: Unstandardized difference test (tasks on the same scale)");
      lines.push_back(one_tailed ? " Option selected: Use a ONE-tailed test" : " Option selected: Use a TWO-tailed test");
      break;
  }
  lines.push_back("");
  Add_inputs(lines, r);
  lines.push_back("");
  lines.push_back(" OUTPUTS:");
  lines.push_back("");

  if (r.Kind != tToolkit_kind::Udt) {
    for (std::size_t j = 0; j < r.Deficit.size(); ++j) {
      Add_frequentist_deficit(lines, r, j);
      lines.insert(lines.end(), {" ", "", ""});
    }
  }
  if (r.Bayesian_computed) {
    Add_bayesian_deficit(lines, r);
    lines.push_back("");
  }
  if (r.Bsdt_computed) {
    lines.push_back("");
    Add_bsdt(lines, r);
    lines.insert(lines.end(), {"", ""});
  }
  if (r.Udt_computed) {
    Add_udt(lines, r);
    lines.insert(lines.end(), {"", ""});
  }
  if (r.Kind == tToolkit_kind::Dissociation) {
    lines.push_back("");
    lines.push_back(combined
                        ? " OVERALL RESULT OF APPLYING COMBINED BAYESIAN/FREQUENTIST CRITERIA FOR A DISSOCIATION:"
                        : " OVERALL RESULT OF APPLYING BAYESIAN CRITERIA FOR A DISSOCIATION:");
    if (r.Strong)
      lines.push_back(" The case's pattern of performance fulfils the criteria for a STRONG dissociation");
    else if (r.Classical)
      lines.push_back(" The case's pattern of performance fulfils the criteria for a dissociation, putatively CLASSICAL");
    else
      lines.push_back(" The case does not fulfil the criteria for either a strong or classical dissociation");
  }
  return lines;
}
