// SPDX-License-Identifier: GPL-3.0-or-later
// An analysis saved from a window as the documented input file (docs/toolkit_input.md),
// which the command line reads with --input, and opened again in a window. The writer
// keeps every figure as the text the window holds (a JSON string), so that the file gives
// the same run wherever it is read; the reader is the one request reader
// (app/request_reader.h), with the figures then held to the fields' typing rules, as a
// window's fields would have taken them. No window and no file system here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "app/json_reader.h"
#include "app/toolkit_analysis.h"

// What a window holds: its request (figures as texts, names, correlations, options) and
// the User's Notes as the memo holds them.
struct tAnalysis_file {
  tAnalysis_request Request;
  std::string Notes;
};

// The documented input's JSON of the analysis, one member a line, ending with a line end.
// Names are written only when given; the correlations as the lower triangle with 1 on the
// diagonal; the options all written, "udt" only for a dissociation.
std::string Analysis_file_json(const tAnalysis_file& file);

// A file's text read as an analysis of that kind, for a window: the documented input (an
// "analysis" member must name that kind), the "notes" member (a text, or an array of lines
// joined by line ends), and every figure as the window's fields would have typed it (a
// comma becomes a point; a text that typing refuses refuses the file). When the text is
// not such a file, a message saying why, to follow "cannot be opened: ".
std::variant<tAnalysis_file, std::string> Read_analysis_file(std::string_view text,
                                                             tAnalysis_kind kind);

// The "notes" member of an input: its text (an array's lines joined by line ends) at index
// 0, or at index 1 a message when it is neither a text nor an array of texts.
std::variant<std::string, std::string> Notes_of(const tJson_value& notes);

// The worksheet's eight field texts (Mean_x, Sd_x, Mean_y, Sd_y, R_xy, N, Case_x, Case_y)
// and options as the dissociation without covariates that it runs, and back: a message
// when the request holds what the worksheet has no place for (covariates, the
// unstandardized difference test).
using tWorksheet_texts = std::array<std::string, 8>;
tAnalysis_request Worksheet_request(const tWorksheet_texts& fields, const tRun_options& options);
std::variant<tWorksheet_texts, std::string> Worksheet_texts_of(const tAnalysis_request& request);
