// SPDX-License-Identifier: GPL-3.0-or-later
// The case file of a batch run and the rows a batch writes, for every analysis and every
// front end. The case file is CSV (app/csv_reader.h) with a header row naming the case's
// columns (case_x and case_y for the worksheet) and, optionally, id; one case per row;
// other columns are ignored unless the analysis refuses them. A row with more or fewer
// fields than the header is that row's error: unquoted decimal commas would otherwise
// shift its figures. Each case's outcome becomes a CSV row or a JSON object from its
// record's figures.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "app/csv_reader.h"
#include "app/result_record.h"
#include "app/run_status.h"

struct tBatch_row {
  std::string Id;      // the id column, else the row's number (1 for the first case)
  std::string Case_x;  // texts, surrounding blanks removed; checked like worksheet fields
  std::string Case_y;  // (the first two case columns, for the worksheet's two tasks)
  // Every column the reader was asked for, in its order (empty for a column not given).
  std::vector<std::string> Values;
  std::vector<bool> Given;  // per column asked for: whether the file has it
  std::size_t Line = 0;  // the line on which the row starts
  std::string Error;     // not empty when the row could not be read (too long, open quote)
};

// The message of a row with the wrong number of fields ends with this.
extern const char kDecimal_comma_hint[];

// The columns a case file must and may have (matched without regard to case). With
// Refuse_unknown, a column that is none of them nor id is refused, so that a misspelt
// covariate column does not pass unnoticed.
struct tBatch_columns {
  std::vector<std::string> Required{"case_x", "case_y"};
  std::vector<std::string> Optional;
  bool Refuse_unknown = false;
};

// The rows of a case file, read one at a time after its header.
class tBatch_reader {
 public:
  explicit tBatch_reader(tCsv_reader& records, tBatch_columns columns = {})
      : records_(records), columns_(std::move(columns)) {}
  // After Read_header: whether the file has the column of that index (required first,
  // then optional).
  bool Has_column(std::size_t k) const { return k < cols_.size() && cols_[k] >= 0; }
  // Reads the header; a readable message when the file is not a usable case file, else
  // an empty text.
  std::string Read_header();
  // The next case; false at the end of the file. Blank records are skipped.
  bool Next(tBatch_row& row);

 private:
  tCsv_reader& records_;
  tBatch_columns columns_;
  long long col_id_ = -1;
  std::vector<long long> cols_;  // per column asked for: its index in the file, or -1
  std::size_t fields_ = 0;  // the header's number of fields
  std::size_t count_ = 0;
};

// What one case produced.
struct tCase_outcome {
  bool Computed = false;
  bool Cancelled = false;  // stopped by a request to stop: neither results nor an error
  int Status = kExit_success;  // kExit_input or kExit_computation on failure
  std::string Error;
  std::vector<std::string> Warnings;
  tFigure_table Figures;  // the record's figures, for the CSV
  std::string Json;       // the record as a JSON object
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
