// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/toolkit_report.h"

#include "app/toolkit_record.h"

#include <cstdlib>

#include "app/control_data.h"
#include "app/report.h"
#include "app/text_format.h"

namespace {

std::string F(Extended value, int width, int precision) {
  return Format_fixed(value, width, precision);
}

// A limit: its number, or "<" / ">" and the bound when beyond the search's reach.
std::string Limit(Extended value, int beyond, int width, int precision) {
  return (beyond < 0 ? "<" : beyond > 0 ? ">" : "") + F(value, width, precision);
}

// Name padded to a column, so that the figures line up.
std::string Padded(const std::string& s, std::size_t width) {
  return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

void Add_inputs(std::vector<std::string>& lines, const tAnalysis_record& r) {
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

void Add_bayesian_deficit(std::vector<std::string>& lines, const tAnalysis_record& r) {
  const tBayesian_deficit_results& b = r.Bayesian;
  const std::string& name = r.Inputs.Tasks[0].Name;
  const bool one_tailed = r.Options.Tail == tTail::One;
  const std::string effect = r.Model.M > 0 ? "Z-CCC" : "Z-CC";
  lines.push_back(" BAYESIAN TEST FOR A DEFICIT ON " + Upper_case(name) +
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

void Add_udt(std::vector<std::string>& lines, const tAnalysis_record& r) {
  const tDeficit_results& d = r.Udt;
  const std::string& x = r.Inputs.Tasks[0].Name;
  const std::string& y = r.Inputs.Tasks[1].Name;
  const bool one_tailed = r.Options.Tail == tTail::One;
  lines.push_back(" UNSTANDARDIZED DIFFERENCE TEST (UDT) ON THE DIFFERENCE BETWEEN THE CASE'S SCORES ON " +
                  Upper_case(x) + " AND " + Upper_case(y) + ":");
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


}  // namespace

std::string Format_input(Extended value, int width) {
  const double v = static_cast<double>(value);
  int precision = 2;
  while (precision < 6 && std::strtod(Format_fixed(v, 0, precision).c_str(), nullptr) != v)
    ++precision;
  return Format_fixed(v, width, precision);
}

std::vector<std::string> Toolkit_report_lines(const tAnalysis_record& r,
                                              const std::vector<std::string>& notes,
                                              bool viewer_has_text) {
  tReport_parts parts;
  parts.References = Worksheet_references();
  if (r.Model.M > 0) parts.References.push_back(&kCovariate_reference);
  // Without covariates the BSDT is the worksheet's (already listed); the Bayesian deficit
  // test is then described without them.
  if (r.Model.M > 0) parts.References.push_back(&kBayesian_model_reference);
  else if (r.Bayesian_computed) parts.References.push_back(&kBayesian_deficit_reference);
  if (r.Udt_computed) parts.References.push_back(&kUdt_reference);
  const bool one_tailed = r.Options.Tail == tTail::One;

  std::vector<std::string>& in = parts.Inputs;
  switch (r.Kind) {
    case tAnalysis_kind::Deficit:
      in.push_back(r.Model.M > 0 ? " Analysis selected: Test for a deficit on one task allowing for covariates"
                                 : " Analysis selected: Test for a deficit on one task");
      in.push_back(one_tailed ? " Option selected: Report the ONE-tailed Bayesian probability"
                              : " Option selected: Report the TWO-tailed Bayesian probability");
      break;
    case tAnalysis_kind::Dissociation:
      in.push_back(r.Model.M > 0 ? " Analysis selected: Dissociation between two tasks allowing for covariates"
                                 : " Analysis selected: Dissociation between two tasks");
      // The worksheet's option lines.
      in.push_back(Words(r.Options.Criteria).Report_line);
      in.push_back(Words(r.Options.Tail).Report_line);
      in.push_back(Words(r.Options.Prior).Report_line);
      if (r.With_udt) in.push_back(" Option selected: Also run the unstandardized difference test (tasks on the same scale)");
      break;
    case tAnalysis_kind::Udt:
      in.push_back(" Analysis selected: Unstandardized difference test (tasks on the same scale)");
      in.push_back(one_tailed ? " Option selected: Use a ONE-tailed test" : " Option selected: Use a TWO-tailed test");
      break;
  }
  in.push_back("");
  Add_inputs(in, r);
  in.push_back("");
  parts.Outputs = {""};

  const bool two = r.Inputs.Tasks.size() == 2;
  for (std::size_t j = 0; j < r.Deficit.size(); ++j) {
    tDeficit_labels labels;
    labels.Prefix = two ? (j == 0 ? "x_" : "y_") : "";
    labels.Task = r.Inputs.Tasks[j].Name;
    if (r.Model.M > 0)
      labels.Predicted_line = " Case's predicted score given the covariates = " +
                              F(r.Model.Predicted[j], 1, 3) + " (leverage h = " +
                              F(r.Model.Leverage, 1, 5) + ")";
    if (r.Kind != tAnalysis_kind::Dissociation) labels.Criterion = " Deficit criterion: ";
    parts.Deficits.push_back(labels);
  }
  if (r.Bayesian_computed) Add_bayesian_deficit(parts.Bayesian_deficit, r);
  if (r.Bsdt_computed) {
    tDifference_labels difference;
    difference.Pair = Upper_case(r.Inputs.Tasks[0].Name) + " AND " + Upper_case(r.Inputs.Tasks[1].Name);
    difference.Covariates = r.Model.M > 0;
    difference.Tail = r.Options.Tail;
    parts.Difference = difference;
  }
  if (r.Udt_computed) Add_udt(parts.Udt, r);
  if (r.Kind == tAnalysis_kind::Dissociation) {
    parts.Classification = r.Strong ? tClassification::Strong
                                    : (r.Classical ? tClassification::Classical
                                                   : tClassification::Neither);
    parts.Criteria = r.Options.Criteria;
  }
  return Report_lines(Toolkit_figures(r), parts, notes, viewer_has_text);
}
