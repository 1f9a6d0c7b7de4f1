// SPDX-License-Identifier: GPL-3.0-or-later
// One case of an analysis run for a front end that collects its outcome rather than
// showing it at once (the command line, a batch, the engine interface), and the batch
// jobs of the two analyses: how a case-file row becomes a request and a result, and the
// batch's columns. The worksheet's job takes the six control figures and a row's two case
// scores; the toolkit's takes a whole request and replaces the case's task scores, and the
// covariate scores of the covariates the file has a column for.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "app/analysis_run.h"
#include "app/batch_rows.h"
#include "app/toolkit_analysis.h"
#include "distrib/progress.h"

// An analysis as a batch runs it. Run may be called on several threads side by side.
struct tBatch_job {
  tBatch_columns Columns;
  std::function<tCase_outcome(const tBatch_row& row, const tProgress_observer* observer)> Run;
  std::function<std::string()> Csv_header;  // with its line end
  std::function<std::string(const tBatch_row& row, const tCase_outcome& outcome)> Csv_row;
  std::function<std::string(const tBatch_row& row, const tCase_outcome& outcome)> Json_row;
};

using tWorksheet_fields = std::array<std::string, 8>;

// The worksheet's typing rules on the texts that did not come through a window (the
// command line, a case file, a JSON request), in field order: the first refused text is
// the error. The accepted texts become the typed ones (a comma becomes a point).
std::optional<tInput_error> Check_typed(tWorksheet_fields& fields, const std::array<bool, 8>& typed);

// Checks and computes one worksheet case (the texts already typed); the statistics'
// warnings are collected into the outcome, and the results go to `results` when computed.
// A stop asked by the observer gives Cancelled. Nothing here touches the control-data file.
tCase_outcome Run_worksheet_case(const tWorksheet_fields& fields, const tRun_options& options,
                                 const tProgress_observer* observer, tRun_results& results);

// The same for a request of the toolkit's.
tCase_outcome Run_request_case(const tAnalysis_request& request,
                               const tProgress_observer* observer, tAnalysis_record& record);

// The control sample of a worksheet batch is the same for every case: its six figures are
// typed (where `typed` says) and checked once, with placeholder case scores, so that a bad
// control figure is reported once and nothing is computed. The error (its field and
// message), or nullopt.
std::optional<tInput_error> Check_worksheet_controls(tWorksheet_fields& controls,
                                                    const std::array<bool, 8>& typed,
                                                    const tRun_options& options);

// The worksheet's batch: columns id, case_x, case_y, then the figures of its record. The
// controls are typed as `typed` says (Check_worksheet_controls has refused them already
// when they do not pass), each row's case scores always.
tBatch_job Worksheet_batch_job(const tWorksheet_fields& controls, const std::array<bool, 8>& typed,
                               const tRun_options& options);

// The toolkit's batch: columns id, the tasks' case columns (case_x and case_y, or case)
// and one per covariate (named as the covariate; a file column naming none of them is
// refused when there are covariates, so that a misspelt one does not leave every row on
// the request's score), then the figures of its record.
tBatch_job Toolkit_batch_job(const tAnalysis_request& base);

// The control sample of a toolkit batch, checked once before the first case as the
// worksheet's is: the request with every case score set to its variable's mean, so that
// only a control figure (or a combination of them) can be refused. The message, or nullopt.
std::optional<std::string> Check_toolkit_controls(const tAnalysis_request& base);
