// SPDX-License-Identifier: GPL-3.0-or-later
// What the R and Python packages call: an analysis request in the documented JSON input
// (docs/toolkit_input.md) in, the record's figures, its JSON object and report text (as
// `kestrum-cli ... --format json` and the report write them) and its plot geometry out;
// and a batch of cases against one control sample, run side by side on every core through
// the batch's own job, reader and writer (app/batch_job.h), so that its rows are the
// command line's batch CSV rows. Nothing here knows either language: the
// packages only turn their arguments into the JSON text and these results into their own
// objects.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/plot_geometry.h"
#include "app/result_record.h"
#include "app/toolkit_analysis.h"

// "deficit", "dissociation" or "udt"; raises ERefused_input for any other word.
tAnalysis_kind Package_kind(const std::string& name);

// Reads the request as the command line reads --input: a refused document or figure
// raises ERefused_input with the message the front ends show. Engine_threads as in
// tRun_options (0: the engine's own choice).
tAnalysis_request Package_request(tAnalysis_kind kind, const std::string& json_text,
                                  int engine_threads = 0);

struct tPackage_result {
  tFigure_table Figures;              // every figure, inputs included
  std::string Json;                   // the record as one JSON object, no line end
  std::string Report;                 // the report text, each line ending in '\n'
  std::vector<std::string> Warnings;  // the statistics' warnings, in order
  std::optional<tResult_plots> Plots;  // none for the unstandardized difference test
};

// Checks and runs one request. Refusals raise ERefused_input; a computation error any
// other std::exception with a readable message.
tPackage_result Run_package_analysis(const tAnalysis_request& request);

// The engine's own time for one run of the request, in seconds: the mean over `repeats`
// runs of Run_package_analysis, the measure against which a binding's per-call overhead is
// taken.
double Package_engine_seconds(const tAnalysis_request& request, int repeats);

// The cases of a batch: per case, its id and its texts for each named column ("case", or
// "case_x" and "case_y", then any covariate named as in the request), as the columns of a
// case file give them.
struct tPackage_cases {
  std::vector<std::string> Ids;
  std::vector<std::string> Columns;
  std::vector<std::vector<std::string>> Values;  // Values[column][case]
};

struct tPackage_case_result {
  bool Computed = false;
  std::string Error;       // the refusal or computation error, one line
  tFigure_table Figures;   // when computed
};

struct tPackage_batch {
  // The output columns, as the command line's batch CSV header names them: "id", the
  // case columns, the result figures, "error", the figures added later.
  std::vector<std::string> Columns;
  std::vector<std::string> Case_columns;  // the case columns among them, in order
  std::vector<std::string> Result_names;  // the figures' columns, in order ("error" apart)
  std::vector<tPackage_case_result> Cases;  // in the cases' order
  std::string Csv;  // the whole CSV text, byte for byte as kestrum-cli --batch writes it
};

// Called on the calling thread about every tenth of a second while a batch runs, with the
// cases done and their number; false stops the batch.
using tBatch_poll = std::function<bool(std::size_t done, std::size_t total)>;

// Runs every case of the batch against the request's control sample, each case replacing
// the task scores and the scores of the covariates it has a column for; threads cases at
// a time (0: every core). A column that is not a case column nor a covariate is refused
// (ERefused_input), as are missing case columns. A poll that answers false stops the
// cases in flight and raises ECancelled: nothing of the batch is kept.
tPackage_batch Run_package_batch(const tAnalysis_request& base, const tPackage_cases& cases,
                                 unsigned threads = 0, const tBatch_poll& poll = {});
