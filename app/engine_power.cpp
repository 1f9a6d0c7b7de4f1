// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/engine_power.h"

#include <exception>
#include <variant>
#include <vector>

#include "app/json_reader.h"
#include "app/power_request.h"
#include "app/record_writers.h"
#include "app/safe_text.h"
#include "distrib/number_text.h"

namespace {

std::string Refusal(const std::string& message, bool cancelled = false) {
  return std::string("{\"ok\":false,") + (cancelled ? "\"cancelled\":true," : "") +
         "\"message\":" + Json_string(message) + "}";
}

// The command line's messages name its options; here they name the request's members
// ("--effect-y" becomes "effect_y" in quotes).
std::string Member_names(const std::string& message) {
  std::string out;
  for (std::size_t i = 0; i < message.size();) {
    if (message.compare(i, 2, "--") == 0 && i + 2 < message.size() && message[i + 2] >= 'a' &&
        message[i + 2] <= 'z') {
      std::size_t j = i + 2;
      std::string name;
      for (; j < message.size() && ((message[j] >= 'a' && message[j] <= 'z') || message[j] == '-'); ++j)
        name += message[j] == '-' ? '_' : message[j];
      out += '"' + name + '"';
      i = j;
    } else {
      out += message[i++];
    }
  }
  return out;
}

// A member's value as an option's text: a number's own text, a text, or an array of
// either joined by commas. Empty when the value has none of these forms.
bool Option_text(const tJson_value& v, std::string& text) {
  using tKind = tJson_value::tKind;
  if (v.Kind == tKind::Number || v.Kind == tKind::String) {
    text = v.Text;
    return true;
  }
  if (v.Kind != tKind::Array || v.Items.empty()) return false;
  text.clear();
  for (std::size_t k = 0; k < v.Items.size(); ++k) {
    const tJson_value& item = v.Items[k];
    if (item.Kind != tKind::Number && item.Kind != tKind::String) return false;
    text += (k ? "," : "") + item.Text;
  }
  return true;
}

struct tRead {
  std::vector<std::string> Words;
  bool Has_matrix = false;
  std::vector<std::vector<std::string>> Matrix;  // "correlations", as a correlations file's
};

// The request's argument words; a message for a member that cannot be one.
std::variant<tRead, std::string> Words_of(const tJson_value& doc) {
  using tKind = tJson_value::tKind;
  if (doc.Kind != tKind::Object) return std::string("the request must be a JSON object.");
  const tJson_value* analysis = doc.Find("analysis");
  if (analysis == nullptr || analysis->Kind != tKind::String)
    return std::string("the request needs \"analysis\": \"deficit\", \"dissociation\" or \"udt\".");
  tRead r;
  r.Words = {"power", analysis->Text};
  static const char* const kOptions[] = {
      "effect", "effect_y", "n", "alpha", "tail", "case", "target_power", "find", "replications",
      "iterations", "seed", "test", "prior", "criteria", "distance", "r", "matrix"};
  for (const tJson_member& m : doc.Members) {
    if (m.Name == "analysis") continue;
    if (m.Name == "covariates") {
      if (m.Value.Kind != tKind::Array) return std::string("\"covariates\" must be an array of names.");
      for (const tJson_value& name : m.Value.Items) {
        if (name.Kind != tKind::String) return std::string("\"covariates\" must be an array of names.");
        r.Words.insert(r.Words.end(), {"--covariate", name.Text});
      }
      continue;
    }
    if (m.Name == "correlations") {
      if (m.Value.Kind != tKind::Array) return std::string("\"correlations\" must be an array of the matrix's rows.");
      for (const tJson_value& row : m.Value.Items) {
        std::string text;
        if (row.Kind != tKind::Array || !Option_text(row, text))
          return std::string("\"correlations\" must be an array of rows of numbers.");
        std::vector<std::string> cells;
        for (const tJson_value& cell : row.Items) cells.push_back(cell.Text);
        r.Matrix.push_back(cells);
      }
      r.Has_matrix = true;
      continue;
    }
    bool known = false;
    for (const char* o : kOptions) known = known || m.Name == o;
    if (!known) return "unknown member \"" + Printable_text(m.Name) + "\" in the planning request.";
    if (m.Name == "find" && m.Value.Kind == tKind::String && m.Value.Text == "power") continue;
    std::string text;
    if (!Option_text(m.Value, text))
      return "\"" + m.Name + "\" must be a number, a text or an array of them.";
    std::string option = "--" + m.Name;
    for (char& c : option)
      if (c == '_') c = '-';
    r.Words.insert(r.Words.end(), {option, text});
  }
  return r;
}

std::string Number(Extended x) { return Shortest_text(static_cast<double>(x)); }

// One family of curves: for each of `outer` values a curve over the `inner` values.
std::string Family(const tPower_job& job, const std::vector<tPower_row>& rows, bool against_n) {
  const std::size_t n_count = job.N_values.size(), e_count = job.Effects.size();
  const std::size_t curves = against_n ? e_count : n_count, points = against_n ? n_count : e_count;
  std::string s = std::string("{\"x_label\":") + (against_n ? "\"Controls N\"" : "\"Effect (SDs)\"") +
                  ",\"curves\":[";
  for (std::size_t c = 0; c < curves; ++c) {
    std::vector<tPower_row> own;
    std::string xy;
    for (std::size_t k = 0; k < points; ++k) {
      const tPower_row& r = rows[against_n ? c * n_count + k : k * n_count + c];
      own.push_back(r);
      xy += std::string(k ? "," : "") + "[" + (against_n ? std::to_string(r.N) : Number(r.Effect)) + "," +
            Number(r.Power) + "]";
    }
    const std::string label = against_n ? "effect " + Number(job.Effects[c]) : "N = " + std::to_string(job.N_values[c]);
    s += std::string(c ? "," : "") + "{\"label\":" + Json_string(label) + ",\"points\":[" + xy +
         "],\"csv\":" + Json_string(Power_output(job, own, tPower_format::Csv)) + "}";
  }
  return s + "]}";
}

// The curves of a finished power grid: the window's title, a caption naming the inputs.
std::string Curves(const tPower_job& job, const std::vector<tPower_row>& rows) {
  if (job.Goal != tPower_goal::Power || rows.size() != Grid_points(job).size()) return "null";
  const tSimulation_setting& s = job.Setting;
  const std::string model = s.Case == tCase_model::Fixed ? "fixed" : "random";
  const std::string title = "Power of the " + Test_name(job) + " (" + model + " case, alpha " + Number(s.Alpha) + ")";
  std::string caption = title + "; " + (s.Two_tailed ? "two-tailed" : "one-tailed");
  if (job.Analysis == tPower_analysis::Dissociation) caption += "; effect on task Y " + Number(s.Delta_y);
  if (s.Correlations.size() == 2 && job.Analysis == tPower_analysis::Dissociation)
    caption += "; r = " + Number(s.Correlations[1][0]);
  if (Covariates_of(job) > 0)
    caption += "; " + std::to_string(Covariates_of(job)) + " covariate(s) at distance " + Number(s.D);
  if (Uses_replications(job)) caption += "; " + std::to_string(job.Replications) + " replications, seed " + std::to_string(s.Seed);
  if (!job.Exact) caption += ", " + std::to_string(s.Iterations) + " iterations";
  caption += "; target power " + Number(job.Target);
  return "{\"title\":" + Json_string(title) + ",\"caption\":" + Json_string(caption) +
         ",\"target\":" + Number(job.Target) + ",\"against_n\":" + Family(job, rows, true) +
         ",\"against_effect\":" + Family(job, rows, false) + "}";
}

}  // namespace

std::string Engine_power(std::string_view request_json, const tEngine_hooks& hooks) {
  try {
    tJson_value doc;
    try {
      doc = Parse_json(request_json);
    } catch (const std::exception& e) {
      return Refusal(std::string("the request is not valid JSON (") + e.what() + ").");
    }
    auto words = Words_of(doc);
    if (const auto* e = std::get_if<std::string>(&words)) return Refusal(*e);
    tRead& read = std::get<tRead>(words);
    auto parsed = Parse_power_arguments(read.Words);
    if (const auto* e = std::get_if<std::string>(&parsed)) return Refusal(Member_names(*e));
    tPower_request& o = std::get<tPower_request>(parsed);
    if (read.Has_matrix && !o.Matrix.empty()) return Refusal("\"correlations\" and \"matrix\" both give the correlations; give one.");
    if (const std::string m = Set_power_matrix(o, read.Has_matrix ? &read.Matrix : nullptr); !m.empty())
      return Refusal(Member_names(m));
    tPower_job& job = o.Job;
    job.Threads = hooks.Engine_threads;
    Check_power_job(job);
    if (hooks.Checked) hooks.Checked();
    tProgress_observer observer;
    observer.Progress = hooks.Progress;
    observer.Cancel = hooks.Cancel;
    std::vector<tPower_row> rows;
    if (!Run_power_job(job, &observer, rows)) return Refusal(ECancelled().what(), true);
    return "{\"ok\":true,\"complete\":true,\"report\":" +
           Json_string(Power_output(job, rows, tPower_format::Report)) +
           ",\"csv\":" + Json_string(Power_output(job, rows, tPower_format::Csv)) +
           ",\"json\":" + Json_string(Power_output(job, rows, tPower_format::Json)) +
           ",\"curves\":" + Curves(job, rows) + "}";
  } catch (const ECancelled&) {
    return Refusal(ECancelled().what(), true);
  } catch (const std::exception& e) {
    return Refusal(e.what());
  }
}
