// SPDX-License-Identifier: GPL-3.0-or-later
// The generic writers of a result record's figure table (app/result_record.h): one JSON
// object, and the values of CSV cells. Every output of every front end writes the figures
// through these, so a figure reads the same wherever it appears.
#pragma once

#include <functional>
#include <string>

#include "app/analysis_run.h"
#include "app/result_record.h"

// A double in the shortest form that reads back as the same value ("0.6", "1e-05").
std::string Shortest_number(double value);

// A JSON string literal (quotes included); bytes that are not UTF-8, C1 controls and
// bidirectional overrides become U+FFFD.
std::string Json_string(const std::string& text);

// A figure's value as the JSON output writes it (shortest round-trip numbers, true/false,
// words as strings, null for none), and as a CSV cell (words bare, empty for none).
std::string Json_value(const tFigure& f);
std::string Csv_value(const tFigure& f);

// The histogram of posterior draws as a JSON object (lower, upper, below, above, counts).
std::string Histogram_json(const tZdcc_histogram& histogram);

// What a writer adds at the end of a group's object (", \"key\": value"), or "".
using tGroup_extra = std::function<std::string(const std::string& group)>;

// The table as one JSON object (no line end): the figures of the run as a whole as
// members, each group as an object in the table's order (null when it holds no value).
std::string Record_json(const tFigure_table& table, const tGroup_extra& extra = {});

// The worksheet's run as the JSON object of --format json: its table, with the histogram
// of the BSDT's draws closing the "bsdt" object.
std::string Results_json(const tRun_results& results);
