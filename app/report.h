// SPDX-License-Identifier: GPL-3.0-or-later
// The report text of one analysis, line by line, as it is appended to the results viewer.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/analysis_run.h"

// The 106-underscore line that separates a report from the one above it.
extern const std::string kReport_separator;

// The lines of the worksheet's report, from the record's figure table and options.
// notes_lines are the user's notes, one entry per line (empty for none); viewer_has_text
// says whether the viewer already holds at least one line, in which case the report
// starts with the separator instead of a blank line.
std::vector<std::string> Report_lines(const tRun_results& results,
                                      const std::vector<std::string>& notes_lines,
                                      bool viewer_has_text);

// The worksheet's references, which every report lists first.
std::vector<const tReference*> Worksheet_references();

// The labels of a deficit section, which reads the figures prefix + key (t_value, df, ...,
// zcc or zccc, deficit) from the table.
struct tDeficit_labels {
  std::string Prefix;  // "x_", "y_", "" for one task
  std::string Task;    // "Task X", or the task's name
  std::string To = " to ";  // the effect-size line's separator before the upper limit
  // With covariates: the line of the case's predicted score (and the Z-CCC wording);
  // empty without.
  std::string Predicted_line;
  std::string Criterion = " Dissociations criterion: ";  // " Deficit criterion: " alone
  std::string After = " ";  // the first of the three lines after the section
};

// The labels of the BSDT's section and, when the table holds its values, the RSDT's, on
// the pair of tasks ("X AND Y", or the tasks' names in capitals).
struct tDifference_labels {
  std::string Pair = "X AND Y";
  bool Covariates = false;
  tTail Tail = tTail::Two;
};

// What a report holds, each part chosen by what the analysis holds. Every report has the
// same sections in the same order: the header (the program's title, the references, the
// user's notes), the inputs, the outputs' opening lines, a deficit section per task, then
// those present of the Bayesian test for a deficit, the difference between the tasks'
// standardized scores (BSDT, and RSDT), the unstandardized difference test, and the
// overall result.
struct tReport_parts {
  std::vector<const tReference*> References;
  std::vector<std::string> Inputs;   // the lines between " INPUTS:" and " OUTPUTS:"
  std::vector<std::string> Outputs;  // the lines after " OUTPUTS:" before the deficits
  std::vector<tDeficit_labels> Deficits;
  std::vector<std::string> Bayesian_deficit;  // the section's lines; none, no section
  std::optional<tDifference_labels> Difference;
  std::vector<std::string> Udt;  // the section's lines; none, no section
  std::optional<tClassification> Classification;  // the overall result, under Criteria
  tCriteria Criteria = tCriteria::Bayesian;
};

// The report of those parts over the record's figure table; notes_lines (each made
// Printable_text) and viewer_has_text as for the worksheet's report.
std::vector<std::string> Report_lines(const tFigure_table& figures, const tReport_parts& parts,
                                      const std::vector<std::string>& notes_lines,
                                      bool viewer_has_text);

// The text with a-z in capitals (the report's headings).
std::string Upper_case(std::string text);
