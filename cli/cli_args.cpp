// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_args.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>
#include <set>

#include "app/input_checks.h"
#include "app/safe_text.h"
#include "app/shard_file.h"

#ifndef KESTRUM_VERSION
#define KESTRUM_VERSION "unknown"
#endif

const std::array<std::string, 8> kField_options = {"--mean-x", "--sd-x", "--mean-y", "--sd-y",
                                                   "--r",      "--n",    "--case-x", "--case-y"};

namespace {

std::optional<std::size_t> Field_index(const std::string& name) {
  for (std::size_t i = 0; i < kField_options.size(); ++i) {
    if (kField_options[i] == name) return i;
  }
  return std::nullopt;
}

bool Takes_value(const std::string& name) {
  return Field_index(name).has_value() || name == "--criteria" || name == "--tail" ||
         name == "--prior" || name == "--notes" || name == "--iterations" ||
         name == "--format" || name == "--batch" || name == "--shard";
}

bool Is_flag(const std::string& name) {
  return name == "--controls" || name == "--save-controls" || name == "--example" ||
         name == "--help" || name == "-h" || name == "--version";
}

}  // namespace

tUsage_error Bad_value(const std::string& name, const std::string& value,
                       const std::string& allowed) {
  return {"invalid value '" + value + "' for " + name + " (expected " + allowed + ")"};
}

std::vector<std::string> Without_words(const std::vector<std::string>& args, std::size_t from,
                                       std::size_t count) {
  std::vector<std::string> rest = args;
  if (from < rest.size())
    rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(from),
               rest.begin() + static_cast<std::ptrdiff_t>(std::min(rest.size(), from + count)));
  return rest;
}

std::variant<tCli_options, tUsage_error> Parse_arguments(const std::vector<std::string>& args) {
  tCli_options o;
  bool example = false, help = false, version = false, batch = false;
  std::size_t shard_at = args.size(), shard_words = 0;
  std::set<std::string> given;  // every option once: a second one is a usage error
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::size_t start = i;
    auto [name, value] = Split_option(args[i]);
    const bool known = Is_flag(name) || Takes_value(name);
    if (known && !given.insert(name == "-h" ? "--help" : name).second) {
      return tUsage_error{"option " + name + " given twice"};
    }
    if (Is_flag(name)) {
      if (value) return tUsage_error{"option " + name + " takes no value"};
      if (name == "--version") version = true;
      if (name == "--controls") o.Use_controls = true;
      if (name == "--save-controls") o.Save_controls = true;
      if (name == "--example") example = true;
      if (name == "--help" || name == "-h") help = true;
      continue;
    }
    if (!Takes_value(name)) {
      if (name.rfind("-", 0) == 0) return tUsage_error{"unknown option " + name};
      return tUsage_error{"unexpected argument '" + name + "'"};
    }
    if (!value) {
      if (i + 1 >= args.size()) return tUsage_error{"option " + name + " needs a value"};
      value = args[++i];
    }
    const std::string& v = *value;
    if (const auto field = Field_index(name)) {
      o.Fields[*field] = v;
      o.Field_given[*field] = true;
    } else if (name == "--notes") {
      // Control characters (an escape sequence, a NUL) would reach the report as they are.
      o.Notes_lines = Split_notes(v);
    } else if (name == "--criteria" || name == "--tail" || name == "--prior" ||
               name == "--iterations") {
      // The iterations are checked here, before anything is allocated for the draws.
      std::string allowed;
      if (!Set_run_option(o.Run, name.substr(2), v, "", allowed)) return Bad_value(name, v, allowed);
    } else if (name == "--format") {
      if (v == "report") o.Format = tOutput_format::Report;
      else if (v == "json") o.Format = tOutput_format::Json;
      else return Bad_value(name, v, "report or json");
    } else if (name == "--batch") {
      if (v.empty()) return tUsage_error{"option --batch needs a file name"};
      o.Batch_file = v;
      batch = true;
    } else if (name == "--shard") {
      if (!Parse_shard(v, o.Shard, o.Shards)) return Bad_value(name, v, kShard_values);
      shard_at = start;
      shard_words = i - start + 1;
    }
  }
  o.Canonical = Without_words(args, shard_at, shard_words);

  if (help) {
    o.Mode = tCli_mode::Help;
    return o;
  }
  if (version) {
    o.Mode = tCli_mode::Version;
    return o;
  }
  if (o.Shards > 0 && !batch) return tUsage_error{"--shard splits a batch: give --batch FILE"};
  bool any_control = false, any_case = false;
  for (std::size_t i = 0; i < 6; ++i) any_control = any_control || o.Field_given[i];
  any_case = o.Field_given[6] || o.Field_given[7];
  if (example) {
    if (batch) return tUsage_error{"--example and --batch cannot be combined"};
    if (any_control || any_case || o.Use_controls) {
      return tUsage_error{"--example runs its own case: give no field options and no --controls"};
    }
    o.Mode = tCli_mode::Example;
    for (std::size_t k = 0; k < o.Fields.size(); ++k) o.Fields[k] = kExample_fields[k];
    o.Field_given.fill(true);
    return o;
  }
  if (o.Use_controls && any_control) {
    return tUsage_error{
        "--controls takes the six control figures from the control-data file: give none of "
        "--mean-x, --sd-x, --mean-y, --sd-y, --r, --n with it"};
  }
  if (batch) {
    if (any_case) {
      return tUsage_error{"--batch takes the case scores from the file: give neither --case-x "
                          "nor --case-y with it"};
    }
    o.Mode = tCli_mode::Batch;
    return o;
  }
  if (!any_control && !any_case && !o.Use_controls) {
    return tUsage_error{"nothing to compute: give the eight figures, --controls with the case "
                        "scores, --batch, or --example (see --help)"};
  }
  o.Mode = tCli_mode::Single;
  return o;
}

std::string Usage_text() {
  return R"(Usage: kestrum-cli [options]

Tests a single case against a control sample on two tasks X and Y: a deficit test on each
task, the Bayesian Standardized Difference Test (BSDT) on the difference between the case's
standardized scores (optionally also the frequentist RSDT), and the criteria for a strong or
classical dissociation. The same computation and report as the Kestrum worksheet.

Control sample and case (each text as the worksheet's fields take it: at most 6 characters,
digits, one point, a leading minus; a comma is read as a point):
  --mean-x T        Mean of the control or normative sample on Task X
  --sd-x T          Standard deviation for the normative sample on Task X
  --mean-y T        Mean of the control or normative sample on Task Y
  --sd-y T          Standard deviation for the normative sample on Task Y
  --r T             Correlation between Tasks X and Y in normative sample
  --n T             Sample size of the normative sample
  --case-x T        Case's test score on Task X
  --case-y T        Case's test score on Task Y
  --controls        Take the six control figures from the control-data file (kestrum.txt)
                    instead of --mean-x ... --n
  --save-controls   Write the figures to the control-data file once they pass the checks
                    (never written otherwise)

Options (defaults are the worksheet's):
  --criteria bayesian|combined   Criteria for a dissociation (default bayesian); combined
                                 also needs a significant RSDT
  --tail two|one                 Tail of the test on the difference (default two)
  --prior calibrated|jeffreys    Form of the prior (default calibrated; needs N >= 4)
  --iterations K                 Monte Carlo iterations of the BSDT, 21 to 100000000
                                 (default 1000000)
  --notes TEXT                   User's notes printed in the report (line ends kept)
  --format report|json           Output: the worksheet's report (default) or one JSON object

Other modes:
  --batch FILE.csv  Run every case of a CSV file against the same control sample. The header
                    row names case_x and case_y (and optionally id), separated by commas, or by
                    semicolons when the header has no comma (decimal commas); cases run in
                    parallel on all cores. Output is CSV (one row per case, with an error column), or a
                    JSON array with --format json, written row by row in the file's order.
                    Progress is shown on standard error when it is a terminal. An interrupted
                    batch (Ctrl+C, SIGTERM, SIGHUP) keeps every row written so far and ends
                    a valid CSV file or JSON array.
  --shard K/N       With --batch: run shard K of N, the cases K, K+N, K+2N, ... of the file,
                    and write a shard file instead of the output (status 0 once it is
                    written whole); `kestrum-cli merge` combines shards 1..N into the whole
                    batch's output, messages and exit status, byte for byte
  --example         Run a built-in example (100, 15, 50, 10, 0.6, 20; case 80 and 40)
  --help, -h        Show this text
  --version         Show the program's version

Subcommands (each with its own --help):
  kestrum-cli deficit|dissociation|udt [options]
                    The single-case toolkit: a deficit on one task allowing for covariates,
                    a dissociation allowing for covariates, the unstandardized difference test
  kestrum-cli power deficit|dissociation|udt [options]
                    Planning a study: power for given N and effect (exact for the test for a
                    deficit and the UDT, simulated for the Bayesian tests, the RSDT and the
                    classification), the smallest N reaching a target power (--find n), the
                    smallest detectable effect (--find effect); report, JSON or CSV;
                    --shard K/N runs one shard of the replications
  kestrum-cli merge SHARD_FILE...
                    Combines the shard files of a power run or a batch into the unsharded
                    run's output, byte for byte (scripts/slurm_shards.sh runs shards as a
                    Slurm job array)

Every option also accepts the form --name=value, and may be given once.

The control-data file is $KESTRUM_DATA_FILE when set; else kestrum.txt beside the program
when it runs from a folder of the user's own outside the system directories; else
$XDG_CONFIG_HOME/kestrum/kestrum.txt (by default ~/.config/kestrum/kestrum.txt), whose
folder only --save-controls makes, never in a system directory. Only a regular file is read
or replaced, and a link, the file's or a folder's on its path, only when it is the user's
own.

Exit status: 0 success; 1 usage error; 2 input error (the worksheet's message on standard
error; in a batch, some rows failed their checks); 3 computation error (its message on
standard error), also a control-data file that cannot be written, output that cannot be
written and a lack of memory; 129, 130, 143 interrupted by SIGHUP, SIGINT, SIGTERM.
)";
}

std::string Version_text() {
  return "kestrum-cli " KESTRUM_VERSION "\n"
         "License GPL-3.0-or-later: GNU GPL version 3 or later "
         "<https://www.gnu.org/licenses/gpl.html>.\n"
         "This is free software: you are free to change and redistribute it.\n"
         "There is NO WARRANTY, to the extent permitted by law.\n";
}
