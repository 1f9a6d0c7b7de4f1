// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/engine_interface.h"

#include <array>
#include <exception>
#include <variant>
#include <vector>

#include "app/batch_job.h"
#include "app/batch_output.h"
#include "app/json_reader.h"
#include "app/plot_json.h"
#include "app/record_writers.h"
#include "app/report.h"
#include "app/request_reader.h"
#include "app/safe_text.h"
#include "app/toolkit_record.h"
#include "app/toolkit_report.h"

namespace {

// A request as read: the worksheet's fields or the toolkit's request, and the report's
// notes.
struct tEngine_request {
  bool Worksheet = false;
  tWorksheet_fields Fields;
  tAnalysis_request Request;  // the toolkit's request; its Options serve the worksheet too
  std::vector<std::string> Notes;
  bool Append = false;
};

std::string Refusal(int field, const std::string& message) {
  return "{\"ok\":false,\"field\":" + std::to_string(field) + ",\"message\":" +
         Json_string(message) + "}";
}

std::string Cancelled_answer() {
  return "{\"ok\":false,\"field\":-1,\"cancelled\":true,\"message\":" +
         Json_string(ECancelled().what()) + "}";
}

bool Is_text(const tJson_value& v) {
  return v.Kind == tJson_value::tKind::String || v.Kind == tJson_value::tKind::Number;
}

// The worksheet's members; a message for one it refuses.
std::string Read_worksheet(const tJson_value& doc, bool batch, tEngine_request& r) {
  const tJson_value* fields = doc.Find("fields");
  if (fields == nullptr || fields->Kind != tJson_value::tKind::Array)
    return "the worksheet's request needs \"fields\": an array of its 8 field texts.";
  const std::size_t n = fields->Items.size();
  if (n != 8 && !(batch && n == 6))
    return batch ? "\"fields\" must hold the 6 control figures (or all 8 fields)."
                 : "\"fields\" must hold the 8 field texts.";
  for (std::size_t k = 0; k < n; ++k) {
    if (!Is_text(fields->Items[k])) return "\"fields\" must hold numbers or texts.";
    r.Fields[k] = fields->Items[k].Text;
  }
  for (const tJson_member& m : doc.Members) {
    if (m.Name == "options") {
      if (std::string e = Options_from_json(m.Value, r.Request); !e.empty()) return e;
      if (r.Request.With_udt) return "the worksheet has no \"udt\" option.";
    } else if (m.Name != "analysis" && m.Name != "fields" && m.Name != "notes" &&
               m.Name != "append") {
      return "unknown member \"" + m.Name + "\" in the worksheet's request.";
    }
  }
  return {};
}

std::variant<tEngine_request, std::string> Read_request(std::string_view json, bool batch) {
  tJson_value doc;
  try {
    doc = Parse_json(json);
  } catch (const std::exception& e) {
    return std::string("the request is not valid JSON (") + e.what() + ").";
  }
  if (doc.Kind != tJson_value::tKind::Object) return std::string("the request must be a JSON object.");
  tEngine_request r;
  const tJson_value* analysis = doc.Find("analysis");
  if (analysis == nullptr || analysis->Kind != tJson_value::tKind::String)
    return std::string("the request needs \"analysis\": \"worksheet\", \"deficit\", \"dissociation\" or \"udt\".");
  const std::string& word = analysis->Text;
  if (const tJson_value* notes = doc.Find("notes")) {
    if (notes->Kind == tJson_value::tKind::String) {
      // As the command line's --notes: split into lines, each made printable.
      r.Notes = Split_notes(notes->Text);
    } else if (notes->Kind == tJson_value::tKind::Array) {
      for (const tJson_value& line : notes->Items) {
        if (line.Kind != tJson_value::tKind::String) return std::string("\"notes\" must hold texts.");
        r.Notes.push_back(line.Text);
      }
    } else {
      return std::string("\"notes\" must be a text or an array of lines.");
    }
  }
  if (const tJson_value* append = doc.Find("append")) {
    if (append->Kind != tJson_value::tKind::Bool) return std::string("\"append\" must be true or false.");
    r.Append = append->Bool;
  }
  if (word == "worksheet") {
    r.Worksheet = true;
    if (std::string e = Read_worksheet(doc, batch, r); !e.empty()) return e;
    return r;
  }
  tAnalysis_kind kind;
  if (word == "deficit") kind = tAnalysis_kind::Deficit;
  else if (word == "dissociation") kind = tAnalysis_kind::Dissociation;
  else if (word == "udt") kind = tAnalysis_kind::Udt;
  else return "unknown analysis \"" + Printable_text(word) + "\".";
  // The documented input, without the members of this interface.
  tJson_value input = doc;
  std::erase_if(input.Members, [](const tJson_member& m) { return m.Name == "notes" || m.Name == "append"; });
  auto request = Request_from_json(input, kind);
  if (const auto* e = std::get_if<std::string>(&request)) return *e;
  r.Request = std::get<tAnalysis_request>(std::move(request));
  return r;
}

tProgress_observer Observer_of(const tEngine_hooks& hooks) {
  tProgress_observer observer;
  observer.Progress = hooks.Progress;
  observer.Cancel = hooks.Cancel;
  return observer;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + '\n';
  return text;
}

// The answer of a finished run.
std::string Computed_answer(const std::string& record, const std::string& report,
                            const std::string& plots, const tCase_outcome& outcome) {
  std::string warnings = "[";
  for (std::size_t i = 0; i < outcome.Warnings.size(); ++i)
    warnings += (i ? "," : "") + Json_string(outcome.Warnings[i]);
  return "{\"ok\":true,\"record\":" + record + ",\"report\":" + Json_string(report) +
         ",\"plots\":" + plots + ",\"warnings\":" + warnings + "]}";
}

// The plots of a run, or null for results the plots cannot show (the report stands).
template <class tMake>
std::string Plots_or_null(const tMake& make) {
  try {
    return Plots_json(make());
  } catch (const std::exception&) {
    return "null";
  }
}

std::string Run_worksheet(tEngine_request& r, const tEngine_hooks& hooks) {
  std::array<bool, 8> typed;
  typed.fill(true);
  if (const auto error = Check_typed(r.Fields, typed)) return Refusal(error->Field, error->Message);
  tRun_options options = r.Request.Options;
  options.Engine_threads = hooks.Engine_threads;
  const auto checked = Check_inputs(r.Fields, options);
  if (const auto* error = std::get_if<tInput_error>(&checked)) return Refusal(error->Field, error->Message);
  if (hooks.Checked) hooks.Checked();
  const tProgress_observer observer = Observer_of(hooks);
  tRun_results results;
  const tCase_outcome outcome = Run_worksheet_case(r.Fields, options, &observer, results);
  if (outcome.Cancelled) return Cancelled_answer();
  if (!outcome.Computed) return Refusal(-1, outcome.Error);
  return Computed_answer(Results_json(results), Joined(Report_lines(results, r.Notes, r.Append)),
                         Plots_or_null([&] { return Result_plots(results); }), outcome);
}

std::string Run_toolkit(tEngine_request& r, const tEngine_hooks& hooks) {
  tAnalysis_request& request = r.Request;
  request.Options.Engine_threads = hooks.Engine_threads;
  const auto checked = Check_request(request);
  if (const auto* e = std::get_if<std::string>(&checked)) return Refusal(-1, *e);
  if (hooks.Checked) hooks.Checked();
  const tProgress_observer observer = Observer_of(hooks);
  tAnalysis_record record;
  const tCase_outcome outcome = Run_request_case(request, &observer, record);
  if (outcome.Cancelled) return Cancelled_answer();
  if (!outcome.Computed) return Refusal(-1, outcome.Error);
  const std::string plots = request.Kind == tAnalysis_kind::Udt
                                ? "null"  // the unstandardized difference test has no pictures
                                : Plots_or_null([&] { return Toolkit_plots(record); });
  return Computed_answer(Toolkit_json(record),
                         Joined(Toolkit_report_lines(record, r.Notes, r.Append)), plots, outcome);
}

}  // namespace

std::string Engine_run(std::string_view request_json, const tEngine_hooks& hooks) {
  try {
    auto read = Read_request(request_json, false);
    if (const auto* e = std::get_if<std::string>(&read)) return Refusal(-1, *e);
    tEngine_request& r = std::get<tEngine_request>(read);
    return r.Worksheet ? Run_worksheet(r, hooks) : Run_toolkit(r, hooks);
  } catch (const ECancelled&) {
    return Cancelled_answer();
  } catch (const std::exception& e) {
    return Refusal(-1, e.what());
  }
}

std::string Engine_check_controls(std::string_view request_json) {
  try {
    auto read = Read_request(request_json, true);
    if (const auto* e = std::get_if<std::string>(&read)) return Refusal(-1, *e);
    tEngine_request& r = std::get<tEngine_request>(read);
    if (r.Worksheet) {
      std::array<bool, 8> typed;
      typed.fill(true);
      if (const auto error = Check_worksheet_controls(r.Fields, typed, r.Request.Options))
        return Refusal(error->Field, error->Message);
    } else if (const auto message = Check_toolkit_controls(r.Request)) {
      return Refusal(-1, *message);
    }
    return "{\"ok\":true}";
  } catch (const std::exception& e) {
    return Refusal(-1, e.what());
  }
}

std::string Engine_batch(std::string_view request_json, std::string_view cases,
                         std::string_view format, const std::string& file_name,
                         const tEngine_hooks& hooks) {
  try {
    if (format != "csv" && format != "json") return Refusal(-1, "the format must be \"csv\" or \"json\".");
    auto read = Read_request(request_json, true);
    if (const auto* e = std::get_if<std::string>(&read)) return Refusal(-1, *e);
    tEngine_request& r = std::get<tEngine_request>(read);
    // One case at a time, each on one engine thread, in the file's order.
    r.Request.Options.Engine_threads = 1;
    tBatch_job job;
    std::function<std::string()> check;
    std::array<bool, 8> typed;
    typed.fill(true);
    if (r.Worksheet) {
      job = Worksheet_batch_job(r.Fields, typed, r.Request.Options);
      check = [&r, &typed]() -> std::string {
        const auto error = Check_worksheet_controls(r.Fields, typed, r.Request.Options);
        return error ? error->Message : std::string();
      };
    } else {
      job = Toolkit_batch_job(r.Request);
      check = [&r]() -> std::string { return Check_toolkit_controls(r.Request).value_or(""); };
    }
    const tProgress_observer observer = Observer_of(hooks);
    const tText_batch batch = Run_text_batch(cases, file_name, job, format == "json", &observer, check);
    return "{\"ok\":true,\"status\":" + std::to_string(batch.Status) +
           ",\"cancelled\":" + (batch.Cancelled ? "true" : "false") +
           ",\"output\":" + Json_string(batch.Output) + ",\"messages\":" +
           Json_string(batch.Messages) + "}";
  } catch (const std::exception& e) {
    return Refusal(-1, e.what());
  }
}
