// SPDX-License-Identifier: GPL-3.0-or-later
// The subcommands `power` (deficit, dissociation, udt) and `merge` of kestrum-cli:
// planning a study from command-line settings, with a report, JSON or CSV, split into
// shards (--shard K/N) whose files `merge` combines into the whole run's output.
#pragma once

#include <iosfwd>
#include <string>
#include <variant>
#include <vector>

#include "app/power_writers.h"
#include "cli/cli_args.h"
#include "cli/exit_status.h"

struct tPower_cli {
  tPower_job Job;
  tPower_format Format = tPower_format::Report;
  bool Help = false;
  int Shard = 0, Shards = 0;             // 0: no --shard
  std::string Correlations_file;        // --correlations, read by the run
  std::vector<std::string> Covariate_names;
  std::string R_xy;                     // --r
  std::string Matrix;                   // --matrix: the lower triangle, row by row
  // The arguments as given, without --shard, --threads and --correlations (which a shard
  // file replaces by --matrix): what `merge` parses again.
  std::vector<std::string> Canonical;
};

// args[0] is "power", args[1] the analysis. Reads no file.
std::variant<tPower_cli, tUsage_error> Parse_power_arguments(const std::vector<std::string>& args);

// Sets the job's correlation matrix from --matrix, --r or identity (the exact test for a
// deficit needs only m); a message when the matrix cannot be used.
std::string Set_power_matrix(tPower_cli& o, const std::vector<std::vector<std::string>>* file_matrix);

std::string Power_usage_text();

int Run_power_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  bool progress, tInterrupt* interrupt);
int Run_merge_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
