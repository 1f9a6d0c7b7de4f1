// SPDX-License-Identifier: GPL-3.0-or-later
// The report text of one analysis, line by line, as it is appended to the results viewer.
#pragma once

#include <string>
#include <vector>

#include "app/analysis_run.h"

// The 106-underscore line that separates a report from the one above it.
extern const std::string kReport_separator;

// The lines of the report, from the record's figure table and options. notes_lines are the user's notes, one entry per line (empty for
// none); viewer_has_text says whether the viewer already holds at least one line, in
// which case the report starts with the separator instead of a blank line.
std::vector<std::string> Report_lines(const tRun_results& results,
                                      const std::vector<std::string>& notes_lines,
                                      bool viewer_has_text);

// The opening section of every report: the separator (when the viewer already holds
// text) or a blank line, the program's title, the references of the methods the analysis
// uses, and the user's notes (one entry per line; none, no lines).
void Add_report_header(std::vector<std::string>& lines,
                       const std::vector<const tReference*>& references,
                       const std::vector<std::string>& notes_lines, bool viewer_has_text);

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
};
void Add_deficit_section(std::vector<std::string>& lines, const tFigure_table& figures,
                         const tDeficit_labels& labels);

// The BSDT's section and, when the table holds its values, the RSDT's, on the pair of
// tasks ("X AND Y", or the tasks' names in capitals).
struct tDifference_labels {
  std::string Pair = "X AND Y";
  bool Covariates = false;
  tTail Tail = tTail::Two;
};
void Add_difference_sections(std::vector<std::string>& lines, const tFigure_table& figures,
                             const tDifference_labels& labels);

// The heading of the criteria applied and the classification's line.
void Add_overall_result(std::vector<std::string>& lines, tCriteria criteria,
                        tClassification classification);

// The text with a-z in capitals (the report's headings).
std::string Upper_case(std::string text);

// The two lines of a verdict on a difference between standardized scores: "... is
// statistically" (or "is not statistically"), then, indented by 26 spaces, "significant
// <tail_text> on <test>". tail_text is "(two-tailed)" or "(one-tailed)".
void Add_verdict_lines(std::vector<std::string>& lines, bool significant,
                       const std::string& tail_text, const std::string& test);
