// SPDX-License-Identifier: GPL-3.0-or-later
// A toolkit analysis as a result record: its figures in a tFigure_table (see
// app/result_record.h), inputs and options first, then each test's group, which the
// command line's JSON object and batch CSV columns are written from.
#pragma once

#include <string>

#include "app/result_record.h"
#include "app/toolkit_analysis.h"

// The figures of a toolkit analysis. A dissociation's are named and ordered as the
// worksheet's, with the covariates' inputs and the model added when it has covariates.
tFigure_table Toolkit_figures(const tAnalysis_record& results);

// The record as one JSON object (no line end), through the generic writer.
std::string Toolkit_json(const tAnalysis_record& results);

// A record of the request's shape with no figures computed (every value 0): its
// Toolkit_figures name the columns of a batch before any case has run.
tAnalysis_record Blank_toolkit_results(const tAnalysis_request& request);
