// SPDX-License-Identifier: GPL-3.0-or-later
// The one reader of an analysis request from the documented JSON (docs/toolkit_input.md),
// for the command line and the web page alike, and of a correlation matrix given as rows
// of texts (from JSON, or from CSV read by a front end). Every figure stays a text, to go
// through the worksheet's field rules in the checks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "app/json_reader.h"
#include "app/toolkit_analysis.h"

// The range of the Monte Carlo iterations: enough draws for the interval's 2.5% and 97.5%
// points to be distinct, and few enough that the draws fit in memory.
constexpr std::int32_t kMin_iterations = 21;
constexpr std::int32_t kMax_iterations = 100000000;

// The text of an iteration count: a whole decimal number in the range above, nothing
// else ("0x100" and "1e3" are refused); nullopt when it is not.
std::optional<std::int32_t> Parse_iterations(const std::string& text);

// A matrix cell's text read as a number (for the diagonal, the symmetry check and a CSV
// header's detection; the lower triangle goes through the field rules as text).
std::optional<double> Matrix_number(const std::string& text);

using tText_matrix = std::vector<std::vector<std::string>>;

// Rows of texts with optional names (file_names, empty for none) into the lower triangle
// in the order of `names`: square or lower triangular, 1 on the diagonal, symmetric. A
// message when the rows cannot be used.
std::variant<tText_matrix, std::string> Correlations_from_rows(
    const tText_matrix& rows, const std::vector<std::string>& file_names,
    const std::vector<std::string>& names);

// A JSON matrix: an array of rows, or {"names": [...], "matrix": [...]}.
std::variant<tText_matrix, std::string> Correlations_from_json(
    const tJson_value& document, const std::vector<std::string>& names);

// Sets the request's options (tail, prior, criteria, iterations, udt) from the "options"
// object of a JSON input; a message for a member it refuses, else an empty text.
std::string Options_from_json(const tJson_value& options, tAnalysis_request& request);

// Fills a request of that kind from a JSON input document.
std::variant<tAnalysis_request, std::string> Request_from_json(const tJson_value& document,
                                                             tAnalysis_kind kind);
