// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/analysis_file.h"

#include "app/input_checks.h"
#include "app/json_reader.h"
#include "app/record_writers.h"
#include "app/request_reader.h"
#include "app/texts.h"

namespace {

// One variable's object: the name when given, then the three figures as texts.
std::string Variable_json(const tVariable_texts& v) {
  std::string out = "{";
  if (!v.Name.empty()) out += "\"name\": " + Json_string(v.Name) + ", ";
  return out + "\"mean\": " + Json_string(v.Mean) + ", \"sd\": " + Json_string(v.Sd) +
         ", \"case\": " + Json_string(v.Case) + "}";
}

std::string Variables_json(const std::vector<tVariable_texts>& list) {
  std::string out = "[";
  for (std::size_t i = 0; i < list.size(); ++i)
    out += std::string(i ? ",\n    " : "\n    ") + Variable_json(list[i]);
  return out + "\n  ]";
}

// The lower triangle, row i holding the i entries left of the diagonal and its 1.
std::string Correlations_json(const tAnalysis_request& r) {
  const std::size_t p = r.Covariates.size() + r.Tasks.size();
  std::string out = "[";
  for (std::size_t i = 0; i < p; ++i) {
    out += i ? ",\n    [" : "\n    [";
    for (std::size_t j = 0; j < i; ++j) {
      const bool held = i < r.Correlations.size() && j < r.Correlations[i].size();
      out += Json_string(held ? r.Correlations[i][j] : std::string()) + ", ";
    }
    out += "1]";
  }
  return out + "\n  ]";
}

std::string Options_json(const tAnalysis_request& r) {
  const tRun_options& o = r.Options;
  std::string out = "{\"tail\": " + Json_string(Words(o.Tail).Key);
  if (r.Kind != tAnalysis_kind::Deficit)
    out += std::string(", \"prior\": ") + Json_string(Words(o.Prior).Key) +
           ", \"criteria\": " + Json_string(Words(o.Criteria).Key);
  out += ", \"iterations\": " + std::to_string(o.Iterations);
  if (r.Kind == tAnalysis_kind::Dissociation)
    out += std::string(", \"udt\": ") + (r.With_udt ? "true" : "false");
  return out + "}";
}

// A figure's text as a window's field would have taken it typed; false (message set)
// when typing refuses it.
bool Type_figure(std::string& text, const std::string& caption, std::string& message) {
  const tTyped_text typed = Check_typed_text(text, caption);
  if (!typed.Ok) {
    message = "a figure is not one that a field takes:\r\r" + typed.Message;
    return false;
  }
  text = typed.Text;
  return true;
}

// Every figure of the request through the typing rules, captioned as the checks caption it.
std::string Type_figures(tAnalysis_request& r) {
  std::string message;
  if (!Type_figure(r.N, "Sample size", message)) return message;
  const std::vector<std::string> names = Variable_names(r);
  std::size_t k = 0;
  for (auto* list : {&r.Covariates, &r.Tasks}) {
    for (tVariable_texts& v : *list) {
      const std::string& name = names[k++];
      if (!Type_figure(v.Mean, name + ": mean", message) ||
          !Type_figure(v.Sd, name + ": SD", message) ||
          !Type_figure(v.Case, name + ": case", message))
        return message;
    }
  }
  for (std::size_t i = 0; i < r.Correlations.size(); ++i)
    for (std::size_t j = 0; j < r.Correlations[i].size(); ++j)
      if (!Type_figure(r.Correlations[i][j], "r(" + names[j] + ", " + names[i] + ")", message))
        return message;
  return {};
}

}  // namespace

std::variant<std::string, std::string> Notes_of(const tJson_value& notes) {
  using tResult = std::variant<std::string, std::string>;
  if (notes.Kind == tJson_value::tKind::String) return tResult(std::in_place_index<0>, notes.Text);
  if (notes.Kind != tJson_value::tKind::Array)
    return tResult(std::in_place_index<1>, "\"notes\" must be a text or an array of lines.");
  std::string text;
  for (std::size_t i = 0; i < notes.Items.size(); ++i) {
    if (notes.Items[i].Kind != tJson_value::tKind::String)
      return tResult(std::in_place_index<1>, "\"notes\" must hold texts.");
    text += (i ? "\n" : "") + notes.Items[i].Text;
  }
  return tResult(std::in_place_index<0>, text);
}


std::string Analysis_file_json(const tAnalysis_file& file) {
  const tAnalysis_request& r = file.Request;
  std::string out = "{\n  \"analysis\": " + Json_string(Analysis_word(r.Kind)) + ",\n";
  out += "  \"n\": " + Json_string(r.N) + ",\n";
  if (!r.Covariates.empty()) out += "  \"covariates\": " + Variables_json(r.Covariates) + ",\n";
  out += "  \"tasks\": " + Variables_json(r.Tasks) + ",\n";
  out += "  \"correlations\": " + Correlations_json(r) + ",\n";
  out += "  \"options\": " + Options_json(r);
  if (!file.Notes.empty()) out += ",\n  \"notes\": " + Json_string(file.Notes);
  return out + "\n}\n";
}

std::variant<tAnalysis_file, std::string> Read_analysis_file(std::string_view text,
                                                             tAnalysis_kind kind) {
  tJson_value doc;
  try {
    doc = Parse_json(text);
  } catch (const std::exception& e) {
    return std::string("it is not valid JSON (") + e.what() + ").";
  }
  auto request = Request_from_json(doc, kind);
  if (const auto* e = std::get_if<std::string>(&request)) return *e;
  tAnalysis_file file;
  file.Request = std::get<tAnalysis_request>(std::move(request));
  tAnalysis_request& r = file.Request;
  const std::size_t tasks = kind == tAnalysis_kind::Deficit ? 1 : 2;
  if (r.Tasks.size() != tasks)
    return "it holds " + std::to_string(r.Tasks.size()) + " task" +
           (r.Tasks.size() == 1 ? "" : "s") + "; the " + Analysis_word(kind) + " takes " +
           (tasks == 1 ? "one." : "two.");
  if (r.Covariates.size() > static_cast<std::size_t>(kMax_covariates))
    return "it holds " + std::to_string(r.Covariates.size()) + " covariates; at most " +
           std::to_string(kMax_covariates) + " are allowed.";
  if (std::string e = Type_figures(r); !e.empty()) return e;
  if (const tJson_value* notes = doc.Find("notes")) {
    auto n = Notes_of(*notes);
    if (n.index() == 1) return std::get<1>(n);
    file.Notes = std::get<0>(std::move(n));
  }
  return file;
}

tAnalysis_request Worksheet_request(const tWorksheet_texts& f, const tRun_options& options) {
  tAnalysis_request r;
  r.Kind = tAnalysis_kind::Dissociation;
  r.N = f[5];
  r.Tasks = {{"", f[0], f[1], f[6]}, {"", f[2], f[3], f[7]}};
  r.Correlations = {{}, {f[4]}};
  r.Options = options;
  return r;
}

std::variant<tWorksheet_texts, std::string> Worksheet_texts_of(const tAnalysis_request& r) {
  if (r.Kind != tAnalysis_kind::Dissociation || r.Tasks.size() != 2)
    return std::string("the worksheet runs the dissociation between two tasks.");
  if (!r.Covariates.empty())
    return "it holds a dissociation allowing for " + std::to_string(r.Covariates.size()) +
           (r.Covariates.size() == 1 ? " covariate" : " covariates") +
           "; the worksheet allows for none: open it in \"Dissociation allowing for covariates\".";
  if (r.With_udt)
    return std::string("its dissociation also runs the unstandardized difference test, "
                       "which the worksheet does not: open it in \"Dissociation allowing for "
                       "covariates\".");
  const std::string r_xy = r.Correlations.size() > 1 && !r.Correlations[1].empty()
                               ? r.Correlations[1][0] : std::string();
  return tWorksheet_texts{r.Tasks[0].Mean, r.Tasks[0].Sd, r.Tasks[1].Mean, r.Tasks[1].Sd,
                          r_xy, r.N, r.Tasks[0].Case, r.Tasks[1].Case};
}
