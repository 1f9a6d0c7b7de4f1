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
#include "app/record_writers.h"
#include "app/report.h"
#include "app/safe_text.h"
#include "cli/batch_run.h"
#include "cli/cli_args.h"
#include "cli/single_run.h"
#include "cli/terminal_text.h"
#include "distrib/progress.h"

namespace {

// What one case of the worksheet's analysis produced.
struct tWorksheet_outcome {
  bool Computed = false;
  bool Cancelled = false;  // stopped by an interruption: neither results nor an error
  tRun_results Results;
  int Status = kExit_success;  // kExit_input or kExit_computation on failure
  std::string Error;
  std::vector<std::string> Warnings;
};

// Checks and computes one case; the warnings of the statistics are collected for it.
// Nothing here touches the control-data file.
tWorksheet_outcome Run_case(const std::array<std::string, 8>& fields, const tRun_options& options,
                       const tProgress_observer* observer) {
  tWorksheet_outcome outcome;
  const auto checked = Check_inputs(fields, options);
  if (const auto* error = std::get_if<tInput_error>(&checked)) {
    outcome.Status = kExit_input;
    outcome.Error = error->Message;
    return outcome;
  }
  Set_warning_hook([&outcome](const std::string& w) { outcome.Warnings.push_back(w); });
  try {
    outcome.Results = Compute_analysis(std::get<tChecked_inputs>(checked), options, observer);
    outcome.Computed = true;
  } catch (const ECancelled&) {
    outcome.Cancelled = true;
  } catch (const std::bad_alloc&) {
    outcome.Status = kExit_computation;
    outcome.Error = "Not enough memory for " + std::to_string(options.Iterations) +
                    " Monte Carlo iterations.";
  } catch (const std::exception& e) {
    outcome.Status = kExit_computation;
    outcome.Error = e.what();
  }
  Set_warning_hook(nullptr);
  return outcome;
}

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

// The worksheet's typing rules on the texts that did not come through a window (the
// command line, a case file), in field order: the first refused text is the error.
// The accepted texts become the typed ones (a comma becomes a point).
std::optional<tInput_error> Check_typed(std::array<std::string, 8>& fields,
                                        const std::array<bool, 8>& typed) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!typed[i]) continue;
    const tTyped_text checked = Check_typed_text(fields[i], kField_captions[i]);
    if (!checked.Ok) return tInput_error{static_cast<int>(i), checked.Message};
    fields[i] = checked.Text;
  }
  return std::nullopt;
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
  const tWorksheet_outcome outcome = Run_case(fields, run, &observer);
  return Finish_single_run(
      {outcome.Computed, outcome.Cancelled, outcome.Status, outcome.Error, &outcome.Warnings},
      o.Format == tOutput_format::Json, [&] { return Results_json(outcome.Results); },
      [&] { return Report_lines(outcome.Results, o.Notes_lines, false); }, out, err, interrupt);
}

// The batch's columns: id, the case's two scores, then the figures of the worksheet's
// record (app/analysis_run.h).
const tCsv_layout& Worksheet_layout() {
  static const tCsv_layout layout = [] {
    tRun_results blank;
    Fill_figures(blank);
    return Csv_layout_of(blank.Figures);
  }();
  return layout;
}

int Run_batch(const tCli_options& o, std::array<std::string, 8> controls,
              const std::array<bool, 8>& typed, std::ostream& out, std::ostream& err,
              bool progress, tInterrupt* interrupt) {
  const auto before_run = [&]() -> int {
    // The control sample is the same for every case: check it once, with placeholder case
    // scores, so that a bad control figure is reported once and nothing is computed.
    if (const auto error = Check_typed(controls, typed)) {
      err << Message_for_terminal(error->Message) << '\n';
      return kExit_input;
    }
    std::array<std::string, 8> probe = controls;
    probe[6] = probe[7] = "0";
    const auto probe_checked = Check_inputs(probe, o.Run);
    if (const auto* error = std::get_if<tInput_error>(&probe_checked);
        error != nullptr && error->Field < 6) {
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
  tBatch_job job;
  job.Run = [&o, &controls](const tBatch_row& row, const tProgress_observer* observer) {
    tCase_outcome outcome;
    std::array<std::string, 8> fields = controls;
    fields[6] = row.Case_x;
    fields[7] = row.Case_y;
    if (const auto error =
            Check_typed(fields, {false, false, false, false, false, false, true, true})) {
      outcome.Status = kExit_input;
      outcome.Error = error->Message;
      return outcome;
    }
    tWorksheet_outcome w = Run_case(fields, o.Run, observer);
    outcome.Computed = w.Computed;
    outcome.Cancelled = w.Cancelled;
    outcome.Status = w.Status;
    outcome.Error = std::move(w.Error);
    outcome.Warnings = std::move(w.Warnings);
    if (w.Computed) {
      outcome.Json = Results_json(w.Results);
      outcome.Figures = std::move(w.Results.Figures);
    }
    return outcome;
  };
  job.Csv_header = [] { return Csv_header("id,case_x,case_y", Worksheet_layout()); };
  job.Csv_row = [](const tBatch_row& row, const tCase_outcome& c) {
    return Csv_row(Worksheet_layout(), row, {row.Case_x, row.Case_y}, c);
  };
  job.Json_row = [](const tBatch_row& row, const tCase_outcome& c) {
    return Json_row(row, {"case_x", "case_y"}, {row.Case_x, row.Case_y}, c);
  };
  return Run_batch_file(o.Batch_file, tBatch_columns{}, job,
                        o.Format == tOutput_format::Json, before_run, out, err, progress,
                        interrupt);
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

