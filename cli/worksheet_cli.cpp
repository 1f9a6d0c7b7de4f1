// SPDX-License-Identifier: GPL-3.0-or-later
// The worksheet's analysis on the command line: the eight figures from the options (or
// the six control figures from the control-data file), one run or a batch of cases.
#include "cli/worksheet_cli.h"

#include <exception>
#include <new>
#include <optional>
#include <ostream>
#include <variant>

#include "app/control_data.h"
#include "app/input_checks.h"
#include "app/batch_job.h"
#include "app/record_writers.h"
#include "app/report.h"
#include "app/safe_text.h"
#include "cli/batch_run.h"
#include "cli/cli_args.h"
#include "cli/single_run.h"
#include "cli/terminal_text.h"
#include "distrib/progress.h"

namespace {

// Saves the control figures to the control-data file (--save-controls); the exit status
// of a failure, with its message on standard error, or kExit_success.
int Save_controls(const std::array<std::string, 8>& fields, std::ostream& err) {
  try {
    Save_to_data_file(fields);
  } catch (const std::exception& e) {
    err << Message_for_terminal(e.what()) << '\n';
    return kExit_computation;
  }
  return kExit_success;
}

// Fills the six control texts from the control-data file; false with a message when the
// file is missing or unreadable.
bool Load_controls(std::array<std::string, 8>& fields, std::string& message) {
  std::string path;
  try {
    path = Data_file_path();
  } catch (const std::exception& e) {
    message = e.what();
    return false;
  }
  const tLoaded_controls loaded = Load_control_data(path);
  if (!loaded.Found) {
    message = "No control data: the control-data file " + path +
              " does not exist (save one with --save-controls).";
    return false;
  }
  if (!loaded.Error.empty()) {
    // A message about the file names it already; one about its contents gets its name.
    message = loaded.File_error ? loaded.Error
                                : "Cannot read the control data from " + path + ": " + loaded.Error;
    return false;
  }
  for (std::size_t i = 0; i < 6; ++i) fields[i] = loaded.Texts[i];
  return true;
}

int Run_single(const tCli_options& o, std::array<std::string, 8> fields,
               const std::array<bool, 8>& typed, std::ostream& out, std::ostream& err,
               tInterrupt* interrupt) {
  // The worksheet's order: typing, the checks, then the file, then the computation.
  if (const auto error = Check_typed(fields, typed)) {
    err << Message_for_terminal(error->Message) << '\n';
    return kExit_input;
  }
  const auto checked = Check_inputs(fields, o.Run);
  if (const auto* error = std::get_if<tInput_error>(&checked)) {
    err << Message_for_terminal(error->Message) << '\n';
    return kExit_input;
  }
  if (o.Save_controls) {
    if (const int status = Save_controls(fields, err); status != kExit_success) return status;
  }
  tProgress_observer observer;
  if (interrupt != nullptr) observer.Cancel = &interrupt->Requested;
  // One case: the engine's two threads where the machine has them, as in the window (a
  // batch runs its cases side by side on one thread each).
  tRun_options run = o.Run;
  run.Engine_threads = 0;
  tRun_results results;
  const tCase_outcome outcome = Run_worksheet_case(fields, run, &observer, results);
  return Finish_single_run(
      {outcome.Computed, outcome.Cancelled, outcome.Status, outcome.Error, &outcome.Warnings},
      o.Format == tOutput_format::Json, [&] { return Results_json(results); },
      [&] { return Report_lines(results, o.Notes_lines, false); }, out, err, interrupt);
}

int Run_batch(const tCli_options& o, std::array<std::string, 8> controls,
              const std::array<bool, 8>& typed, std::ostream& out, std::ostream& err,
              bool progress, tInterrupt* interrupt) {
  const auto before_run = [&]() -> int {
    if (const auto error = Check_worksheet_controls(controls, typed, o.Run)) {
      err << Message_for_terminal(error->Message) << '\n';
      return kExit_input;
    }
    if (o.Save_controls) {
      std::array<std::string, 8> saved = controls;
      saved[6] = saved[7] = "";
      if (const int status = Save_controls(saved, err); status != kExit_success) return status;
    }
    return kExit_success;
  };
  // The control figures may come from the control-data file, which may change between the
  // shards of a batch.
  std::string inputs;
  for (std::size_t i = 0; i < 6; ++i) inputs += controls[i] + '\n';
  return Run_batch_file(o.Batch_file, Worksheet_batch_job(controls, typed, o.Run),
                        o.Format == tOutput_format::Json, before_run, out, err, progress,
                        interrupt, {o.Shard, o.Shards, o.Canonical, inputs});
}

}  // namespace

int Run_worksheet_cli(const std::vector<std::string>& args, std::ostream& out,
                      std::ostream& err, bool progress, tInterrupt* interrupt) {
  const auto parsed = Parse_arguments(args);
  if (const auto* usage = std::get_if<tUsage_error>(&parsed)) {
    err << "kestrum-cli: " << Printable_text(usage->Message) << "\nTry 'kestrum-cli --help'.\n";
    return kExit_usage;
  }
  const tCli_options& o = std::get<tCli_options>(parsed);
  if (o.Mode == tCli_mode::Help || o.Mode == tCli_mode::Version) {
    out << (o.Mode == tCli_mode::Help ? Usage_text() : Version_text());
    return Output_status(out, err);
  }
  std::array<std::string, 8> fields = o.Fields;
  // The texts from the command line follow the typing rules; the control figures read
  // from the control-data file are shown in the fields as they are.
  std::array<bool, 8> typed = o.Field_given;
  if (o.Use_controls) {
    std::string message;
    if (!Load_controls(fields, message)) {
      err << message << '\n';
      return kExit_input;
    }
    for (std::size_t i = 0; i < 6; ++i) typed[i] = false;
  }
  if (o.Mode == tCli_mode::Batch) {
    return Run_batch(o, fields, typed, out, err, progress, interrupt);
  }
  return Run_single(o, fields, typed, out, err, interrupt);
}

