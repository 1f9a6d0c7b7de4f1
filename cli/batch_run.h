// SPDX-License-Identifier: GPL-3.0-or-later
// The one batch runner of kestrum-cli, for every analysis: the case file read row by row
// on a thread of its own (commas or semicolons, whole rows, field counts checked, every
// wait cut short by a signal), the cases run side by side on every core, each row written
// and flushed in the file's order as soon as it and the rows before it are done, a full
// disk or a lack of memory reported with the rows kept, progress on standard error.
// What differs between analyses is the job: how a row becomes a result, and its columns.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/result_record.h"
#include "cli/batch_csv.h"
#include "cli/exit_status.h"
#include "distrib/progress.h"

// What one case produced.
struct tCase_outcome {
  bool Computed = false;
  bool Cancelled = false;  // stopped by an interruption: neither results nor an error
  int Status = kExit_success;  // kExit_input or kExit_computation on failure
  std::string Error;
  std::vector<std::string> Warnings;
  tFigure_table Figures;  // the record's figures, for the CSV
  std::string Json;       // the record as a JSON object
};

// An analysis as the batch runs it. Run is called on worker threads, side by side.
struct tBatch_job {
  std::function<tCase_outcome(const tBatch_row& row, const tProgress_observer* observer)> Run;
  std::function<std::string()> Csv_header;  // with its line end
  std::function<std::string(const tBatch_row& row, const tCase_outcome& outcome)> Csv_row;
  std::function<std::string(const tBatch_row& row, const tCase_outcome& outcome)> Json_row;
};

// The CSV's result columns from a record's figures: every figure outside the inputs
// (which the command and the rows' id and case columns give), in the table's order, then
// the error column, then the figures added later, so that every earlier column keeps its
// position for the scripts that read it.
struct tCsv_layout {
  std::vector<std::string> Results, Later;  // figure names
};
tCsv_layout Csv_layout_of(const tFigure_table& blank);
// leading: the row's own columns ("id,case_x,case_y").
std::string Csv_header(const std::string& leading, const tCsv_layout& layout);
// A row: id, the row's values, the figures (empty when not computed), the error.
std::string Csv_row(const tCsv_layout& layout, const tBatch_row& row,
                    const std::vector<std::string>& values, const tCase_outcome& c);
// {"id": ..., "<name>": "<value>" ..., "error": ..., "results": {...} or null}
std::string Json_row(const tBatch_row& row, const std::vector<std::string>& names,
                     const std::vector<std::string>& values, const tCase_outcome& c);

// Runs the case file through the job. before_run (may be empty) runs after the header
// was read and before any case: a status other than 0 ends the run with it. Returns the
// exit status.
int Run_batch_file(const std::string& file_name, const tBatch_columns& columns,
                   const tBatch_job& job, bool json, const std::function<int()>& before_run,
                   std::ostream& out, std::ostream& err, bool progress, tInterrupt* interrupt);
