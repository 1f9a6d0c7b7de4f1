// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/batch_job.h"

#include <exception>
#include <memory>
#include <new>
#include <utility>
#include <variant>
#include <vector>

#include "app/input_checks.h"
#include "app/record_writers.h"
#include "app/safe_text.h"
#include "app/toolkit_record.h"
#include "app/warning_collector.h"

namespace {

// The end of a case's computation that failed or was stopped.
void Catch_failure(tCase_outcome& outcome, std::int32_t iterations) {
  try {
    throw;
  } catch (const ECancelled&) {
    outcome.Cancelled = true;
  } catch (const std::bad_alloc&) {
    outcome.Status = kExit_computation;
    outcome.Error = "Not enough memory for " + std::to_string(iterations) +
                    " Monte Carlo iterations.";
  } catch (const std::exception& e) {
    outcome.Status = kExit_computation;
    outcome.Error = e.what();
  }
}

}  // namespace

std::optional<tInput_error> Check_typed(tWorksheet_fields& fields, const std::array<bool, 8>& typed) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!typed[i]) continue;
    const tTyped_text checked = Check_typed_text(fields[i], kField_captions[i]);
    if (!checked.Ok) return tInput_error{static_cast<int>(i), checked.Message};
    fields[i] = checked.Text;
  }
  return std::nullopt;
}

tCase_outcome Run_worksheet_case(const tWorksheet_fields& fields, const tRun_options& options,
                                 const tProgress_observer* observer, tRun_results& results) {
  tCase_outcome outcome;
  const auto checked = Check_inputs(fields, options);
  if (const auto* error = std::get_if<tInput_error>(&checked)) {
    outcome.Status = kExit_input;
    outcome.Error = error->Message;
    return outcome;
  }
  const tWarning_collector collector(outcome.Warnings);
  try {
    results = Compute_analysis(std::get<tChecked_inputs>(checked), options, observer);
    outcome.Computed = true;
  } catch (...) {
    Catch_failure(outcome, options.Iterations);
  }
  return outcome;
}

tCase_outcome Run_request_case(const tAnalysis_request& request,
                               const tProgress_observer* observer, tAnalysis_record& record) {
  tCase_outcome outcome;
  const auto checked = Check_request(request);
  if (const auto* e = std::get_if<std::string>(&checked)) {
    outcome.Status = kExit_input;
    outcome.Error = *e;
    return outcome;
  }
  try {
    record = Run_checked_analysis(request, std::get<tConditional_inputs>(checked), {observer});
    outcome.Warnings = record.Warnings;
    outcome.Computed = true;
  } catch (...) {
    Catch_failure(outcome, request.Options.Iterations);
  }
  return outcome;
}

std::optional<tInput_error> Check_worksheet_controls(tWorksheet_fields& controls,
                                                    const std::array<bool, 8>& typed,
                                                    const tRun_options& options) {
  if (const auto error = Check_typed(controls, typed)) return error;
  tWorksheet_fields probe = controls;
  probe[6] = probe[7] = "0";
  const auto checked = Check_inputs(probe, options);
  if (const auto* error = std::get_if<tInput_error>(&checked); error != nullptr && error->Field < 6)
    return *error;
  return std::nullopt;
}

tBatch_job Worksheet_batch_job(const tWorksheet_fields& controls, const std::array<bool, 8>& typed,
                               const tRun_options& options) {
  static const tCsv_layout layout = [] {
    tRun_results blank;
    Fill_figures(blank);
    return Csv_layout_of(blank.Figures);
  }();
  tBatch_job job;
  std::array<bool, 8> typed_row = typed;
  typed_row[6] = typed_row[7] = true;
  job.Run = [controls, typed_row, options](const tBatch_row& row, const tProgress_observer* observer) {
    tWorksheet_fields fields = controls;
    fields[6] = row.Case_x;
    fields[7] = row.Case_y;
    if (const auto error = Check_typed(fields, typed_row)) {
      tCase_outcome outcome;
      outcome.Status = kExit_input;
      outcome.Error = error->Message;
      return outcome;
    }
    tRun_results results;
    tCase_outcome outcome = Run_worksheet_case(fields, options, observer, results);
    if (outcome.Computed) {
      outcome.Json = Results_json(results);
      outcome.Figures = std::move(results.Figures);
    }
    return outcome;
  };
  job.Csv_header = [] { return Csv_header("id,case_x,case_y", layout); };
  job.Csv_row = [](const tBatch_row& row, const tCase_outcome& c) {
    return Csv_row(layout, row, {row.Case_x, row.Case_y}, c);
  };
  job.Json_row = [](const tBatch_row& row, const tCase_outcome& c) {
    return Json_row(row, {"case_x", "case_y"}, {row.Case_x, row.Case_y}, c);
  };
  return job;
}

std::optional<std::string> Check_toolkit_controls(const tAnalysis_request& base) {
  tAnalysis_request probe = base;
  for (tVariable_texts& v : probe.Tasks) v.Case = v.Mean;
  for (tVariable_texts& v : probe.Covariates) v.Case = v.Mean;
  const auto checked = Check_request(probe);
  if (const auto* message = std::get_if<std::string>(&checked)) return *message;
  return std::nullopt;
}

tBatch_job Toolkit_batch_job(const tAnalysis_request& base) {
  struct tShape {
    tAnalysis_request Base;
    std::vector<std::string> Names;  // the row's value columns
    std::string Leading;             // "id,case_x,case_y,Age"
    tCsv_layout Layout;
    // The row's values: its task scores, and each covariate's score, from its column or
    // the request's.
    std::vector<std::string> Values(const tBatch_row& row) const {
      std::vector<std::string> v;
      const std::size_t tasks = Base.Tasks.size();
      for (std::size_t j = 0; j < tasks; ++j) v.push_back(j < row.Values.size() ? row.Values[j] : "");
      for (std::size_t i = 0; i < Base.Covariates.size(); ++i) {
        const std::size_t k = tasks + i;
        const bool given = k < row.Given.size() && row.Given[k];
        v.push_back(given ? row.Values[k] : Base.Covariates[i].Case);
      }
      return v;
    }
  };
  auto shape = std::make_shared<tShape>();
  shape->Base = base;
  tBatch_job job;
  job.Columns.Required = base.Tasks.size() == 2 ? std::vector<std::string>{"case_x", "case_y"}
                                                : std::vector<std::string>{"case"};
  job.Columns.Optional.clear();
  for (const auto& c : base.Covariates) job.Columns.Optional.push_back(c.Name);
  job.Columns.Refuse_unknown = !base.Covariates.empty();
  shape->Names = job.Columns.Required;
  shape->Names.insert(shape->Names.end(), job.Columns.Optional.begin(), job.Columns.Optional.end());
  shape->Layout = Csv_layout_of(Toolkit_figures(Blank_toolkit_results(base)));
  shape->Leading = "id";
  for (const std::string& name : shape->Names) shape->Leading += "," + Csv_field(name);

  job.Run = [shape](const tBatch_row& row, const tProgress_observer* observer) {
    tAnalysis_request request = shape->Base;
    const std::vector<std::string> v = shape->Values(row);
    for (std::size_t j = 0; j < request.Tasks.size(); ++j) request.Tasks[j].Case = v[j];
    for (std::size_t i = 0; i < request.Covariates.size(); ++i)
      request.Covariates[i].Case = v[request.Tasks.size() + i];
    tAnalysis_record record;
    tCase_outcome outcome = Run_request_case(request, observer, record);
    if (outcome.Computed) {
      outcome.Json = Toolkit_json(record);
      outcome.Figures = Toolkit_figures(record);
    }
    return outcome;
  };
  job.Csv_header = [shape] { return Csv_header(shape->Leading, shape->Layout); };
  job.Csv_row = [shape](const tBatch_row& row, const tCase_outcome& c) {
    return Csv_row(shape->Layout, row, shape->Values(row), c);
  };
  job.Json_row = [shape](const tBatch_row& row, const tCase_outcome& c) {
    return Json_row(row, shape->Names, shape->Values(row), c);
  };
  return job;
}
