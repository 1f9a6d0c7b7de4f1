// SPDX-License-Identifier: GPL-3.0-or-later
// A planning request: the settings of a power job as argument words ("power", the analysis,
// then options such as "--effect", "-2,-1", "--n", "10:50:10"), the words `kestrum-cli
// power` takes and a shard file stores. The engine interface writes its JSON request as
// the same words, so every front end plans from one reading of them.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "app/power_writers.h"

struct tPower_request {
  tPower_job Job;
  tPower_format Format = tPower_format::Report;
  bool Help = false;
  int Shard = 0, Shards = 0;             // 0: no --shard
  std::string Correlations_file;        // --correlations, read by the caller
  std::vector<std::string> Covariate_names;
  std::string R_xy;                     // --r
  std::string Matrix;                   // --matrix: the lower triangle, row by row
  // The arguments as given, without --shard, --threads and --correlations (which a shard
  // file replaces by --matrix): what `merge` parses again.
  std::vector<std::string> Canonical;
};

// args[0] is "power", args[1] the analysis. Reads no file. A refused request answers a
// readable message naming the option.
std::variant<tPower_request, std::string> Parse_power_arguments(const std::vector<std::string>& args);

// The names of the request's variables: its covariates, then "Task" or "Task X", "Task Y"
// (the order of a correlation matrix's rows).
std::vector<std::string> Power_variable_names(const tPower_request& o);

// Sets the job's correlation matrix from a full matrix of texts (a correlations file, in
// the order of Power_variable_names), --matrix, --r or identity (the exact test for a
// deficit needs only m); a message when the matrix cannot be used.
std::string Set_power_matrix(tPower_request& o, const std::vector<std::vector<std::string>>* file_matrix);
