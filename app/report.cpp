// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/report.h"

#include <cstdlib>
#include <variant>

#include <algorithm>

#include "app/control_data.h"
#include "app/safe_text.h"
#include "app/text_format.h"

const std::string kReport_separator(106, '_');

namespace {

std::string F(Extended value, int width, int precision) {
  return Format_fixed(value, width, precision);
}

// An input as the report shows it: right-aligned in 8 characters, with the decimals its
// text had, at least two.
std::string Input(const tFigure_table& f, const char* name) {
  const tFigure& figure = f.At(name);
  return F(f.Number(name), 8, std::max(2, figure.Text_decimals));
}

// The opening section of every report: the separator (when the viewer already holds
// text) or a blank line, the program's title, the references of the methods the analysis
// uses, and the user's notes (one entry per line; none, no lines), each made printable.
void Add_report_header(std::vector<std::string>& lines,
                       const std::vector<const tReference*>& references,
                       const std::vector<std::string>& notes_lines, bool viewer_has_text) {
  if (viewer_has_text) lines.push_back(kReport_separator);
  lines.insert(lines.end(), {"", Program_title, ""});
  lines.push_back(" THIS PROGRAM IMPLEMENTS STATISTICAL METHODS DEVELOPED IN THE FOLLOWING PAPERS:");
  lines.push_back("");
  for (const tReference* reference : references) {
    for (const char* line : *reference) {
      if (line != nullptr) lines.push_back(line);
    }
    lines.push_back("");
  }
  lines.insert(lines.end(), {"", ""});
  if (!notes_lines.empty()) {
    lines.push_back(" User's Notes: " + Printable_text(notes_lines.front()));
    for (std::size_t i = 1; i < notes_lines.size(); ++i) {
      lines.push_back(std::string(15, ' ') + Printable_text(notes_lines[i]));
    }
    lines.push_back(" ");
  }
}

// One task's deficit section.
void Add_deficit_section(std::vector<std::string>& lines, const tFigure_table& f,
                         const tDeficit_labels& l) {
  const auto n = [&](const std::string& key) { return f.Number(l.Prefix + key); };
  // A limit: its number, or "<" / ">" and the bound when beyond the search's reach.
  const auto limit = [&](const std::string& key, int width, int decimals) {
    const tFigure& figure = f.At(l.Prefix + key);
    if (const auto* text = std::get_if<std::string>(&figure.Value))
      return text->substr(0, 1) + F(std::strtold(text->c_str() + 1, nullptr), width, decimals);
    return F(n(key), width, decimals);
  };
  const bool covariates = !l.Predicted_line.empty();
  const std::string effect = covariates ? "Z-CCC" : "Z-CC";
  const std::string key = covariates ? "zccc" : "zcc";
  lines.push_back(covariates ? " TEST FOR A DEFICIT ON " + Upper_case(l.Task) + " ALLOWING FOR COVARIATES:"
                             : " QUARRIN & ORLUND'S (1998) TEST FOR A DEFICIT ON " + Upper_case(l.Task) + ":");
  if (covariates) lines.push_back(l.Predicted_line);
  lines.push_back(" Significance test: t = " + F(n("t_value"), 1, 3) + ", df = " +
                  Format_int(f.Whole(l.Prefix + "df"), 2) + ", p(one-tailed) = " +
                  F(n("p_one_tailed"), 1, 5));
  lines.push_back("");
  lines.push_back(" Effect size (" + effect + ") for difference between case and controls (plus 95% CI) = " +
                  F(n(key), 2, 3) + "  (" + limit(key + "_lower", 2, 3) + l.To +
                  limit(key + "_upper", 2, 3) + " )");
  lines.push_back("");
  lines.push_back(covariates ? " Estimated percentage of controls with the case's covariate values (plus 95% CI) obtaining a lower "
                             : " Estimated percentage of control population (plus 95% CI) obtaining a lower score than the ");
  lines.push_back((covariates ? " score than the case on " : " case on ") + l.Task + " = " +
                  F(n("pct_below"), 1, 4) + "% (95% CI = " + limit("pct_lower", 1, 4) + "% to " +
                  limit("pct_upper", 1, 4) + "%)");
  lines.push_back("");
  lines.push_back(l.Criterion + (f.Flag(l.Prefix + "deficit")
                                     ? "The case meets the criterion for a deficit on "
                                     : "The case does not meet the criterion for a deficit on ") +
                  l.Task);
}

// The two lines of a verdict on a difference between standardized scores: "... is
// statistically" (or "is not statistically"), then, indented by 26 spaces, "significant
// <tail_text> on <test>". tail_text is "(two-tailed)" or "(one-tailed)".
void Add_verdict_lines(std::vector<std::string>& lines, bool significant,
                       const std::string& tail_text, const std::string& test) {
  constexpr char kVerdict[] =
      " Dissociations criterion: The difference between the case's standardized scores is ";
  lines.push_back(std::string(kVerdict) + (significant ? "" : "not ") + "statistically");
  lines.push_back(std::string(26, ' ') + "significant " + tail_text + " on " + test);
}

// The BSDT's section and, when the table holds its values, the RSDT's.
void Add_difference_sections(std::vector<std::string>& lines, const tFigure_table& f,
                             const tDifference_labels& l) {
  const bool one_tailed = l.Tail == tTail::One;
  lines.push_back(" BAYESIAN TEST (BSDT) ON THE DIFFERENCE BETWEEN THE CASE'S STANDARDIZED SCORES ON " +
                  l.Pair + (l.Covariates ? " ALLOWING FOR COVARIATES: " : ": "));
  lines.push_back(" Bayesian hypothesis test - Probability that the standardized difference for a member of the control");
  lines.push_back(l.Covariates ? " population with the case's covariate values would be greater than that of the case:"
                               : " population would be greater than that of the case:");
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
  const std::string tail_text = std::string("(") + Words(l.Tail).Caption + ")";
  Add_verdict_lines(lines, f.Flag("bsdt_significant"), tail_text, "the BSDT");
  // The RSDT, when the criteria computed it.
  if (f.Has_value("rsdt_t_value")) {
    lines.insert(lines.end(), {"", ""});
    lines.push_back(" FREQUENTIST TEST (RSDT) ON THE DIFFERENCE BETWEEN THE CASE'S STANDARDIZED SCORES ON " +
                    l.Pair + ": ");
    lines.push_back(" RSDT t value = " + F(f.Number("rsdt_t_value"), 2, 3) + ", df = " +
                    Format_int(f.Whole("rsdt_df"), 3) + ", p " + tail_text + " = " +
                    F(f.Number(one_tailed ? "rsdt_p_one_tailed" : "rsdt_p_two_tailed"), 2, 5));
    lines.push_back("");
    Add_verdict_lines(lines, f.Flag("rsdt_significant"), tail_text, "the frequentist RSDT");
  }
}

// The heading of the criteria applied and the classification's line.
void Add_overall_result(std::vector<std::string>& lines, tCriteria criteria,
                        tClassification classification) {
  lines.push_back(Words(criteria).Report_heading);
  lines.push_back(Words(classification).Report_line);
}

}  // namespace

std::vector<const tReference*> Worksheet_references() {
  std::vector<const tReference*> references;
  for (const tReference& reference : kWorksheet_references) references.push_back(&reference);
  return references;
}

std::string Upper_case(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::vector<std::string> Report_lines(const tFigure_table& f, const tReport_parts& parts,
                                      const std::vector<std::string>& notes_lines,
                                      bool viewer_has_text) {
  std::vector<std::string> lines;
  Add_report_header(lines, parts.References, notes_lines, viewer_has_text);
  lines.push_back(" INPUTS:");
  lines.insert(lines.end(), parts.Inputs.begin(), parts.Inputs.end());
  lines.push_back(" OUTPUTS:");
  lines.insert(lines.end(), parts.Outputs.begin(), parts.Outputs.end());
  for (const tDeficit_labels& labels : parts.Deficits) {
    Add_deficit_section(lines, f, labels);
    lines.insert(lines.end(), {labels.After, "", ""});
  }
  if (!parts.Bayesian_deficit.empty()) {
    lines.insert(lines.end(), parts.Bayesian_deficit.begin(), parts.Bayesian_deficit.end());
    lines.push_back("");
  }
  if (parts.Difference) {
    lines.push_back("");
    Add_difference_sections(lines, f, *parts.Difference);
    lines.insert(lines.end(), {"", ""});
  }
  if (!parts.Udt.empty()) {
    lines.insert(lines.end(), parts.Udt.begin(), parts.Udt.end());
    lines.insert(lines.end(), {"", ""});
  }
  if (parts.Classification) {
    lines.push_back("");
    Add_overall_result(lines, parts.Criteria, *parts.Classification);
  }
  return lines;
}

std::vector<std::string> Report_lines(const tRun_results& r,
                                      const std::vector<std::string>& notes_lines,
                                      bool viewer_has_text) {
  const tFigure_table& f = r.Figures;
  tReport_parts parts;
  parts.References = Worksheet_references();
  parts.Inputs = {
      Words(r.Options.Criteria).Report_line,
      Words(r.Options.Tail).Report_line,
      Words(r.Options.Prior).Report_line,
      "",
      " Mean of the control or normative sample on Task X =     " + Input(f, "mean_x"),
      " Standard deviation for the normative sample on Task X = " + Input(f, "sd_x"),
      " Mean of the control or normative sample on Task Y =     " + Input(f, "mean_y"),
      " Standard deviation for the normative sample on Task Y = " + Input(f, "sd_y"),
      " Correlation between Tests X and Y in normative sample = " + Input(f, "r"),
      " Sample size of the normative sample =                   " + Format_int(f.Whole("n"), 8),
      "",
      " Case's test score on Task X =                           " + Input(f, "case_x"),
      " Case's test score on Task Y =                           " + Input(f, "case_y"),
      ""};
  parts.Outputs = {" Case's score on Task X expressed as z score = " + F(f.Number("z_x"), 8, 3),
                   " Case's score on Task Y expressed as z score = " + F(f.Number("z_y"), 8, 3),
                   "", ""};
  tDeficit_labels x;
  x.Prefix = "x_";
  x.Task = "Task X";
  x.To = "  to ";  // task X's effect-size line has two spaces before "to", task Y's one
  tDeficit_labels y;
  y.Prefix = "y_";
  y.Task = "Task Y";
  y.After = "";
  parts.Deficits = {x, y};
  parts.Difference = tDifference_labels{.Tail = r.Options.Tail};
  parts.Classification = r.Classification;
  parts.Criteria = r.Options.Criteria;
  return Report_lines(f, parts, notes_lines, viewer_has_text);
}
