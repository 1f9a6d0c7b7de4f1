// SPDX-License-Identifier: GPL-3.0-or-later
// The output of a batch, for every front end: the CSV header or the JSON array's bracket,
// each finished row in the case file's order, the end, the batch's status and the summary
// of the cases that could not be computed; and the batch over a case file held in memory,
// which runs its rows in order on the calling thread (the engine interface; the command
// line runs its cases side by side, cli/batch_run.h, and writes the same text).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/batch_job.h"
#include "distrib/progress.h"

class tBatch_output {
 public:
  tBatch_output(const tBatch_job& job, bool json) : job_(&job), json_(json) {}
  // With no job: rows whose texts were made elsewhere (the merge of a batch's shards).
  explicit tBatch_output(bool json) : json_(json) {}
  // "[" for JSON, else the CSV header.
  std::string Begin() const;
  // The text of a finished row, which is counted with its status and failure.
  std::string Row(const tBatch_row& row, const tCase_outcome& outcome);
  // The same for a row whose CSV row or JSON object is `text` already.
  std::string Row_text(const std::string& id, int status, const std::string& error,
                       const std::string& text);
  // "\n]\n" for JSON, else nothing.
  std::string End() const;
  int Status() const { return status_; }
  // "kestrum-cli: 2 cases could not be computed (the first, id c: ...); the rows carry
  // the error.\n", or "" when every case was computed or refused.
  std::string Failures() const;

 private:
  const tBatch_job* job_ = nullptr;
  const bool json_;
  std::size_t rows_ = 0;
  std::size_t failed_ = 0;  // rows that could not be computed (status 3)
  std::string first_failed_;
  int status_ = kExit_success;
};

// Each warning as "kestrum-cli: <prefix>warning: <text>" and a line end.
std::string Warning_lines(const std::vector<std::string>& warnings, const std::string& prefix);

struct tText_batch {
  int Status = kExit_success;  // as kestrum-cli's exit status for the same file
  bool Cancelled = false;
  std::string Output;    // kestrum-cli's standard output; the rows finished when cancelled
  std::string Messages;  // its standard error, without the progress lines
};

// One row as every batch runs it: an unreadable row is its input error, and a case whose
// run threw gets the error the command line's batch writes (a lack of memory as such).
tCase_outcome Run_batch_row(const tBatch_job& job, const tBatch_row& row,
                            const tProgress_observer* observer);

// Runs the case file `cases` (its name for the messages) through the job, one row after
// another. The observer (may be null) hears the progress in cases (done, total) after
// each row, and its Cancel stops the run within the case in flight: the rows finished
// before it are kept, and the JSON array is closed. check (may be empty) is called once
// the header has been read: a message refuses the batch with status 2, as the command
// line's check of the worksheet's controls does.
tText_batch Run_text_batch(std::string_view cases, const std::string& file_name,
                           const tBatch_job& job, bool json, const tProgress_observer* observer,
                           const std::function<std::string()>& check = {});
