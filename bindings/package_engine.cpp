// SPDX-License-Identifier: GPL-3.0-or-later
#include "bindings/package_engine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <new>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "app/batch_job.h"
#include "app/batch_output.h"
#include "app/batch_rows.h"
#include "app/csv_reader.h"
#include "app/json_reader.h"
#include "app/request_reader.h"
#include "app/safe_text.h"
#include "app/toolkit_record.h"
#include "app/toolkit_report.h"

tAnalysis_kind Package_kind(const std::string& name) {
  if (const auto kind = Analysis_of(name)) return *kind;
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

// How often a running batch asks its poll whether to go on.
constexpr int kPoll_interval_ms = 100;

// The cases as the text of a case file (commas, every field quoted as needed), so that
// the batch's own reader checks the header and reads the rows.
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
                                 unsigned threads, const tBatch_poll& poll) {
  if (cases.Values.size() != cases.Columns.size())
    throw ERefused_input("every column of the cases must be named");
  for (std::size_t i = 0; i < cases.Ids.size(); ++i)
    if (cases.Ids[i].find_first_not_of(" \t") == std::string::npos)
      throw ERefused_input("case " + std::to_string(i + 1) + " has no id");
  for (const auto& column : cases.Values)
    if (column.size() != cases.Ids.size())
      throw ERefused_input("every column of the cases must have one value per case");
  tAnalysis_request request = base;
  request.Options.Engine_threads = 1;  // one engine thread per case, cases side by side
  if (const auto message = Check_toolkit_controls(request)) throw ERefused_input(*message);
  const tBatch_job job = Toolkit_batch_job(request);

  const std::string file = Case_file_text(cases);
  tCsv_reader records{std::string_view(file)};
  tBatch_reader reader(records, job.Columns);
  if (const std::string message = reader.Read_header(); !message.empty())
    throw ERefused_input("the cases cannot be used: " + message);
  std::vector<tBatch_row> rows;
  for (tBatch_row row; reader.Next(row);) rows.push_back(row);

  std::vector<tCase_outcome> outcomes(rows.size());
  std::atomic<bool> stop{false};
  tProgress_observer observer;  // the cases in flight hear the request to stop
  observer.Cancel = &stop;
  std::atomic<std::size_t> next{0}, done{0};
  const auto work = [&] {
    for (std::size_t i; !stop.load() && (i = next.fetch_add(1)) < rows.size();) {
      outcomes[i] = Run_batch_row(job, rows[i], &observer);
      done.fetch_add(1);
    }
  };
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  threads = static_cast<unsigned>(std::min<std::size_t>(threads, std::max<std::size_t>(rows.size(), 1)));
  {
    std::vector<std::jthread> pool;
    // With a poll the calling thread only polls; without, it works too.
    for (unsigned t = poll ? 0 : 1; t < threads; ++t) pool.emplace_back(work);
    if (!poll) {
      work();
    } else {
      while (done.load() < rows.size()) {
        if (!poll(done.load(), rows.size())) {
          stop.store(true);
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPoll_interval_ms));
      }
    }
  }
  if (stop.load()) throw ECancelled();

  // The output through the batch's own writer, and the columns from the same layout.
  tPackage_batch batch;
  tBatch_output output(job, false);
  batch.Csv = output.Begin();
  const tCsv_layout layout = Csv_layout_of(Toolkit_figures(Blank_toolkit_results(request)));
  batch.Case_columns = job.Columns.Required;
  batch.Case_columns.insert(batch.Case_columns.end(), job.Columns.Optional.begin(),
                            job.Columns.Optional.end());
  batch.Columns = {"id"};
  batch.Columns.insert(batch.Columns.end(), batch.Case_columns.begin(), batch.Case_columns.end());
  batch.Columns.insert(batch.Columns.end(), layout.Results.begin(), layout.Results.end());
  batch.Columns.push_back("error");
  batch.Columns.insert(batch.Columns.end(), layout.Later.begin(), layout.Later.end());
  batch.Result_names = layout.Results;
  batch.Result_names.insert(batch.Result_names.end(), layout.Later.begin(), layout.Later.end());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    batch.Csv += output.Row(rows[i], outcomes[i]);
    tPackage_case_result c;
    c.Computed = outcomes[i].Computed;
    c.Error = One_line(outcomes[i].Error);
    if (c.Computed) c.Figures = std::move(outcomes[i].Figures);
    batch.Cases.push_back(std::move(c));
  }
  batch.Csv += output.End();
  return batch;
}
