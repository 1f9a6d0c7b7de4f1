// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of kestrum-cli, parsed into a plain record, so that it can be tested
// and fuzzed without starting a process.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "app/option_word.h"
#include "app/analysis_run.h"
#include "app/request_reader.h"  // kMin_iterations, Parse_iterations
#include "app/safe_text.h"  // Split_notes

enum class tOutput_format { Report, Json };

enum class tCli_mode { Single, Batch, Example, Help, Version };

struct tCli_options {
  tCli_mode Mode = tCli_mode::Single;
  // The eight field texts in worksheet order; Field_given says which were on the line
  // (a field not given is an empty field, refused by the input checks).
  std::array<std::string, 8> Fields;
  std::array<bool, 8> Field_given{};
  bool Use_controls = false;   // --controls: the six control figures from the data file
  bool Save_controls = false;  // --save-controls
  // The BSDT engine on the thread of each case: a batch runs cases side by side, and a
  // single case then costs the least CPU time.
  tRun_options Run{.Engine_threads = 1};
  std::vector<std::string> Notes_lines;  // --notes, as Split_notes gives them
  tOutput_format Format = tOutput_format::Report;
  std::string Batch_file;  // --batch
  int Shard = 0, Shards = 0;  // --shard K/N of a batch; 0: the whole batch
  // The arguments without --shard: what identifies the run in a shard file.
  std::vector<std::string> Canonical;
};

struct tUsage_error {
  std::string Message;
};

// "invalid value 'VALUE' for NAME (expected ALLOWED)".
tUsage_error Bad_value(const std::string& name, const std::string& value,
                       const std::string& allowed);



// The arguments without the words from `from` (the option and its value), for a shard
// file: the command a shard ran, less the shard.
std::vector<std::string> Without_words(const std::vector<std::string>& args, std::size_t from,
                                       std::size_t count);


// The option names of the eight fields, in worksheet order.
extern const std::array<std::string, 8> kField_options;

// args are the arguments after the program name. "--name value" and "--name=value" are
// both accepted.
std::variant<tCli_options, tUsage_error> Parse_arguments(const std::vector<std::string>& args);

// The --help text.
std::string Usage_text();

// The --version text: the program's name and version, then its licence.
std::string Version_text();
