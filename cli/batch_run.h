// SPDX-License-Identifier: GPL-3.0-or-later
// The one batch runner of kestrum-cli, for every analysis: the case file read row by row
// on a thread of its own (app/batch_rows.h: commas or semicolons, whole rows, field counts
// checked; every wait cut short by a signal), the cases run side by side on every core,
// each row written (app/batch_output.h) and flushed in the file's order as soon as it and
// the rows before it are done, a full disk or a lack of memory reported with the rows
// kept, progress on standard error. What differs between analyses is the job
// (app/batch_job.h): how a row becomes a result, and its columns.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/batch_job.h"
#include "cli/exit_status.h"

// A batch run as shard K of N (app/batch_shard.h): it runs only the shard's cases and
// writes, in place of the output, the shard file from which `kestrum-cli merge` writes the
// whole run's output, messages and exit status. Its own status is 0 once the file is
// written whole (the rows' failures are the merge's to report).
struct tBatch_sharding {
  int Shard = 0, Shards = 0;           // 0: the whole batch
  std::vector<std::string> Arguments;  // the command's arguments without --shard
  std::string Inputs;                  // what the run read from files beside the case file
};

// Runs the case file through the job. before_run (may be empty) runs after the header
// was read and before any case: a status other than 0 ends the run with it. Returns the
// exit status.
int Run_batch_file(const std::string& file_name, const tBatch_job& job, bool json,
                   const std::function<int()>& before_run, std::ostream& out, std::ostream& err,
                   bool progress, tInterrupt* interrupt, const tBatch_sharding& sharding = {});
