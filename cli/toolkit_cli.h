// SPDX-License-Identifier: GPL-3.0-or-later
// The subcommands `deficit`, `dissociation` and `udt` of kestrum-cli: the toolkit's
// analyses from command-line figures, a correlation file (CSV or JSON) or a whole JSON
// input file, with a report, a JSON object or a batch of cases as output.
#pragma once

#include <iosfwd>
#include <string>
#include <variant>
#include <vector>

#include "app/toolkit_analysis.h"
#include "app/toolkit_record.h"
#include "cli/cli_args.h"
#include "cli/exit_status.h"
#include "app/json_reader.h"
#include "app/request_reader.h"

// True for "deficit", "dissociation" and "udt".
bool Is_toolkit_subcommand(const std::string& word);

struct tToolkit_cli {
  tAnalysis_request Request;
  bool Help = false;
  tOutput_format Format = tOutput_format::Report;
  std::vector<std::string> Notes_lines;
  std::string Correlations_file;  // --correlations
  std::string Input_file;         // --input
  std::string Batch_file;         // --batch
  std::string R_xy;               // --r, when no correlation file is given
  int Shard = 0, Shards = 0;      // --shard K/N of a batch; 0: the whole batch
  std::vector<std::string> Canonical;  // the arguments without --shard
};

// args[0] is the subcommand.
std::variant<tToolkit_cli, tUsage_error> Parse_toolkit_arguments(
    const std::vector<std::string>& args);

// The lower triangle of a correlation matrix file's entries as texts, in the order of
// `names`: CSV (numbers, optionally a header row of names and a first column of names) or
// JSON (app/request_reader.h); square or lower triangular. A message when the file
// cannot be used.
std::variant<std::vector<std::vector<std::string>>, std::string> Correlations_from_text(
    const std::string& text, const std::vector<std::string>& names);

// The subcommand's help text.
std::string Toolkit_usage_text(const std::string& subcommand);


int Run_toolkit_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    bool progress, tInterrupt* interrupt);
