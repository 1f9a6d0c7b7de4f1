// SPDX-License-Identifier: GPL-3.0-or-later
// The report text of a toolkit analysis (deficit, dissociation allowing for covariates,
// unstandardized difference test), line by line, in the style of the worksheet's report.
#pragma once

#include <string>
#include <vector>

#include "app/toolkit_analysis.h"

// notes_lines and viewer_has_text as for Report_lines.
std::vector<std::string> Toolkit_report_lines(const tAnalysis_record& results,
                                              const std::vector<std::string>& notes_lines,
                                              bool viewer_has_text);

// A figure as typed: fixed notation with as many decimals as it needs to read back as
// the same double (at least two, at most six), right-aligned in width characters.
std::string Format_input(Extended value, int width);
