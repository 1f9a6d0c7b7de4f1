// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/batch_output.h"

#include <algorithm>
#include <exception>
#include <new>

#include "app/safe_text.h"

std::string tBatch_output::Begin() const {
  return json_ ? std::string("[") : job_ != nullptr ? job_->Csv_header() : std::string();
}

std::string tBatch_output::Row(const tBatch_row& row, const tCase_outcome& outcome) {
  return Row_text(row.Id, outcome.Status, outcome.Error,
                  json_ ? job_->Json_row(row, outcome) : job_->Csv_row(row, outcome));
}

std::string tBatch_output::Row_text(const std::string& id, int status, const std::string& error,
                                    const std::string& text) {
  status_ = std::max(status_, status);
  if (status == kExit_computation && failed_++ == 0)
    first_failed_ = "id " + id + ": " + One_line(error);
  const std::size_t before = rows_++;
  return json_ ? (before == 0 ? "\n" : ",\n") + text : text;
}

std::string tBatch_output::End() const { return json_ ? "\n]\n" : ""; }

std::string tBatch_output::Failures() const {
  if (failed_ == 0) return {};
  // Status 3 always comes with its cause, a lack of memory above all.
  return "kestrum-cli: " + std::to_string(failed_) + (failed_ == 1 ? " case" : " cases") +
         " could not be computed (the first, " + Printable_text(first_failed_) +
         "); the rows carry the error.\n";
}

std::string Warning_lines(const std::vector<std::string>& warnings, const std::string& prefix) {
  std::string text;
  for (const std::string& w : warnings)
    text += "kestrum-cli: " + Printable_text(prefix) + "warning: " + w + '\n';
  return text;
}

tCase_outcome Run_batch_row(const tBatch_job& job, const tBatch_row& row, const tProgress_observer* observer) {
  if (!row.Error.empty()) {
    tCase_outcome outcome;
    outcome.Status = kExit_input;
    outcome.Error = row.Error;
    return outcome;
  }
  try {
    return job.Run(row, observer);
  } catch (const std::bad_alloc&) {
    tCase_outcome outcome;
    outcome.Status = kExit_computation;
    outcome.Error = "Not enough memory for this case.";
    return outcome;
  } catch (const std::exception& e) {
    tCase_outcome outcome;
    outcome.Status = kExit_computation;
    outcome.Error = e.what();
    return outcome;
  }
}

tText_batch Run_text_batch(std::string_view cases, const std::string& file_name,
                           const tBatch_job& job, bool json, const tProgress_observer* observer,
                           const std::function<std::string()>& check) {
  tText_batch batch;
  tCsv_reader records(cases);
  tBatch_reader reader(records, job.Columns);
  records.Detect_separator();
  if (const std::string message = reader.Read_header(); !message.empty()) {
    batch.Status = kExit_input;
    batch.Messages = "The case file " + Printable_text(file_name) + " cannot be used: " + message + '\n';
    return batch;
  }
  if (const std::string message = check ? check() : std::string(); !message.empty()) {
    batch.Status = kExit_input;
    batch.Messages = Message_for_terminal(message) + '\n';
    return batch;
  }
  // The number of cases, by a first pass, for the progress.
  std::int64_t total = 0;
  {
    tCsv_reader count_records(cases);
    tBatch_reader count_reader(count_records, job.Columns);
    count_records.Detect_separator();
    count_reader.Read_header();
    for (tBatch_row row; count_reader.Next(row);) ++total;
  }
  // Each case hears only the request to stop; the progress is counted in cases.
  tProgress_observer inner;
  if (observer != nullptr) inner.Cancel = observer->Cancel;
  tBatch_output output(job, json);
  batch.Output = output.Begin();
  std::int64_t done = 0;
  for (tBatch_row row; reader.Next(row);) {
    if (inner.Cancel_requested()) {
      batch.Cancelled = true;
      break;
    }
    const tCase_outcome outcome = Run_batch_row(job, row, &inner);
    if (outcome.Cancelled) {
      batch.Cancelled = true;
      break;
    }
    batch.Messages += Warning_lines(outcome.Warnings, "case " + row.Id + ": ");
    batch.Output += output.Row(row, outcome);
    ++done;
    if (observer != nullptr && observer->Progress) observer->Progress(done, total);
  }
  batch.Output += output.End();
  batch.Messages += output.Failures();
  batch.Status = output.Status();
  if (batch.Cancelled) {
    batch.Messages += "kestrum-cli: Cancelled after " + std::to_string(done) + " of " +
                      std::to_string(total) + " cases; the " + (json ? "objects" : "rows") +
                      " written are complete.\n";
  }
  return batch;
}
