// SPDX-License-Identifier: GPL-3.0-or-later
#include "bindings/package_engine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <new>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "app/json_reader.h"
#include "app/request_reader.h"
#include "app/safe_text.h"
#include "app/toolkit_record.h"
#include "app/toolkit_report.h"
#include "cli/batch_csv.h"
#include "cli/batch_run.h"

tAnalysis_kind Package_kind(const std::string& name) {
  for (const tAnalysis_kind kind :
       {tAnalysis_kind::Deficit, tAnalysis_kind::Dissociation, tAnalysis_kind::Udt})
    if (Kind_name(kind) == name) return kind;
  throw ERefused_input("the analysis must be deficit, dissociation or udt, not " +
                       Printable_text(name));
}

tAnalysis_request Package_request(tAnalysis_kind kind, const std::string& json_text,
                                  int engine_threads) {
  std::variant<tAnalysis_request, std::string> read;
  try {
    read = Request_from_json(Parse_json(json_text), kind);
  } catch (const std::runtime_error& e) {
    throw ERefused_input(e.what());
  }
  if (const auto* message = std::get_if<std::string>(&read)) throw ERefused_input(*message);
  tAnalysis_request request = std::get<tAnalysis_request>(read);
  request.Options.Engine_threads = engine_threads;
  return request;
}

tPackage_result Run_package_analysis(const tAnalysis_request& request) {
  const tAnalysis_record record = Run_analysis(request);
  tPackage_result result;
  result.Figures = Toolkit_figures(record);
  result.Json = Toolkit_json(record);
  for (const std::string& line : Toolkit_report_lines(record, {}, false))
    result.Report += line + '\n';
  result.Warnings = record.Warnings;
  if (record.Kind != tAnalysis_kind::Udt) result.Plots = Toolkit_plots(record);
  return result;
}

double Package_engine_seconds(const tAnalysis_request& request, int repeats) {
  if (repeats < 1) throw ERefused_input("repeats must be at least 1");
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < repeats; ++i) Run_package_analysis(request);
  const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
  return spent.count() / repeats;
}

namespace {

// One case of a batch, as the command line's batch runs it: a refusal or a computation
// error becomes the case's error.
tPackage_case_result Run_case(const tAnalysis_request& request) {
  tPackage_case_result c;
  const auto checked = Check_request(request);
  if (const auto* message = std::get_if<std::string>(&checked)) {
    c.Error = *message;
    return c;
  }
  try {
    c.Figures = Toolkit_figures(
        Run_checked_analysis(request, std::get<tConditional_inputs>(checked)));
    c.Computed = true;
  } catch (const std::bad_alloc&) {
    c.Error = "Not enough memory for " + std::to_string(request.Options.Iterations) +
              " Monte Carlo iterations.";
  } catch (const std::exception& e) {
    c.Error = e.what();
  }
  return c;
}

// The cases as the text of a case file, so that the command line's own reader checks the
// header and reads the rows.
std::string Case_file_text(const tPackage_cases& cases) {
  std::string text = "id";
  for (const std::string& name : cases.Columns) text += ',' + Csv_field(name);
  text += '\n';
  for (std::size_t i = 0; i < cases.Ids.size(); ++i) {
    text += Csv_field(cases.Ids[i]);
    for (const auto& column : cases.Values) text += ',' + Csv_field(column.at(i));
    text += '\n';
  }
  return text;
}

}  // namespace

tPackage_batch Run_package_batch(const tAnalysis_request& base, const tPackage_cases& cases,
                                 unsigned threads) {
  for (const auto& column : cases.Values)
    if (column.size() != cases.Ids.size())
      throw ERefused_input("every column of the cases must have one value per case");
  if (cases.Values.size() != cases.Columns.size())
    throw ERefused_input("every column of the cases must be named");
  // The columns of the command line's batch: with covariates, a column that names none of
  // them is refused, so that a misspelt one does not leave every case on the request's score.
  const std::size_t tasks = base.Tasks.size();
  tBatch_columns columns;
  columns.Required = tasks == 2 ? std::vector<std::string>{"case_x", "case_y"}
                                : std::vector<std::string>{"case"};
  for (const auto& c : base.Covariates) columns.Optional.push_back(c.Name);
  columns.Refuse_unknown = !base.Covariates.empty();
  std::vector<std::string> names = columns.Required;
  names.insert(names.end(), columns.Optional.begin(), columns.Optional.end());

  const std::string file = Case_file_text(cases);
  tCsv_reader records{std::string_view(file)};
  tBatch_reader reader(records, columns);
  if (const std::string message = reader.Read_header(); !message.empty())
    throw ERefused_input("the cases: " + message);
  std::vector<tBatch_row> rows;
  for (tBatch_row row; reader.Next(row);) rows.push_back(row);

  // Each row's values: its task scores, and each covariate's score from its column or the
  // request's.
  const auto values = [&](const tBatch_row& row) {
    std::vector<std::string> v;
    for (std::size_t j = 0; j < tasks; ++j) v.push_back(j < row.Values.size() ? row.Values[j] : "");
    for (std::size_t i = 0; i < base.Covariates.size(); ++i) {
      const std::size_t k = tasks + i;
      const bool given = k < row.Given.size() && row.Given[k];
      v.push_back(given ? row.Values[k] : base.Covariates[i].Case);
    }
    return v;
  };

  tPackage_batch batch;
  batch.Cases.resize(rows.size());
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i; (i = next.fetch_add(1)) < rows.size();) {
      if (!rows[i].Error.empty()) {
        batch.Cases[i].Error = rows[i].Error;
        continue;
      }
      tAnalysis_request request = base;
      request.Options.Engine_threads = 1;  // one engine thread per case, cases side by side
      const std::vector<std::string> v = values(rows[i]);
      for (std::size_t j = 0; j < tasks; ++j) request.Tasks[j].Case = v[j];
      for (std::size_t k = 0; k < request.Covariates.size(); ++k)
        request.Covariates[k].Case = v[tasks + k];
      batch.Cases[i] = Run_case(request);
    }
  };
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  threads = static_cast<unsigned>(std::min<std::size_t>(threads, std::max<std::size_t>(rows.size(), 1)));
  {
    std::vector<std::jthread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
  }

  // The output, through the command line's own row writers.
  const tCsv_layout layout = Csv_layout_of(Toolkit_figures(Blank_toolkit_results(base)));
  std::string leading = "id";
  for (const std::string& name : names) leading += "," + Csv_field(name);
  batch.Csv = Csv_header(leading, layout);
  batch.Case_columns = names;
  batch.Columns = {"id"};
  batch.Columns.insert(batch.Columns.end(), names.begin(), names.end());
  batch.Result_names = layout.Results;
  batch.Result_names.insert(batch.Result_names.end(), layout.Later.begin(), layout.Later.end());
  batch.Columns.insert(batch.Columns.end(), layout.Results.begin(), layout.Results.end());
  batch.Columns.push_back("error");
  batch.Columns.insert(batch.Columns.end(), layout.Later.begin(), layout.Later.end());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    tCase_outcome outcome;
    outcome.Computed = batch.Cases[i].Computed;
    outcome.Error = batch.Cases[i].Error;
    if (outcome.Computed) outcome.Figures = batch.Cases[i].Figures;
    batch.Csv += Csv_row(layout, rows[i], values(rows[i]), outcome);
    batch.Cases[i].Error = One_line(batch.Cases[i].Error);
  }
  return batch;
}
