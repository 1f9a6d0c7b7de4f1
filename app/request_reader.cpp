// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/request_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "app/safe_text.h"
#include "app/texts.h"

namespace {

// A matrix cell's text read as a number (for the diagonal and the symmetry check only;
// the lower triangle goes through the field rules as text).
std::optional<double> Number_of(const std::string& text) {
  const std::string t = Trim_blanks(text);
  if (t.empty()) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size()) return std::nullopt;
  return v;
}

std::string Text_of(const tJson_value& v) {
  switch (v.Kind) {
    case tJson_value::tKind::Number:
    case tJson_value::tKind::String: return v.Text;
    default: return "";
  }
}

}  // namespace

std::string Trim_blanks(const std::string& s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  const auto e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

namespace {

// Sets choice to whichever of the two options has text as its key (Words(option).Key).
template <typename tOption>
bool Choose(const std::string& text, tOption first, tOption second, tOption& choice,
            const std::string& quote, std::string& allowed) {
  for (const tOption option : {first, second}) {
    if (text == Words(option).Key) {
      choice = option;
      return true;
    }
  }
  allowed = quote + Words(first).Key + quote + " or " + quote + Words(second).Key + quote;
  return false;
}

}  // namespace

bool Set_run_option(tRun_options& options, const std::string& key, const std::string& text,
                    const std::string& quote, std::string& allowed) {
  if (key == "tail") return Choose(text, tTail::Two, tTail::One, options.Tail, quote, allowed);
  if (key == "prior")
    return Choose(text, tPrior::Calibrated, tPrior::Standard, options.Prior, quote, allowed);
  if (key == "criteria")
    return Choose(text, tCriteria::Bayesian, tCriteria::Combined, options.Criteria, quote,
                  allowed);
  const auto k = Parse_iterations(text);
  if (key != "iterations" || !k) {
    allowed = "a whole number from " + std::to_string(kMin_iterations) + " to " +
              std::to_string(kMax_iterations);
    return false;
  }
  options.Iterations = *k;
  return true;
}

std::optional<std::int32_t> Parse_iterations(const std::string& text) {
  std::int64_t k = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), k);
  if (ec != std::errc{} || ptr != text.data() + text.size() || k < kMin_iterations ||
      k > kMax_iterations)
    return std::nullopt;
  return static_cast<std::int32_t>(k);
}

std::optional<double> Matrix_number(const std::string& text) { return Number_of(text); }

std::variant<tText_matrix, std::string> Correlations_from_rows(const tText_matrix& rows,
                                                       const std::vector<std::string>& file_names,
                                                       const std::vector<std::string>& names) {
  const std::size_t p = names.size();
  if (rows.size() != p)
    return "the correlation matrix has " + std::to_string(rows.size()) + " rows; " +
           std::to_string(p) + " are needed, one per variable (covariates first, then the tasks).";
  // order[k]: the file's row of variable k.
  std::vector<std::size_t> order(p);
  for (std::size_t k = 0; k < p; ++k) order[k] = k;
  if (!file_names.empty()) {
    if (file_names.size() != p) return std::string("the correlation matrix names ") + std::to_string(file_names.size()) + " variables; " + std::to_string(p) + " are needed.";
    for (std::size_t k = 0; k < p; ++k) {
      std::size_t found = p;
      for (std::size_t f = 0; f < p; ++f)
        if (file_names[f] == names[k]) found = f;
      if (found == p) return "the correlation matrix has no variable named \"" + names[k] + "\".";
      order[k] = found;
    }
  }
  const auto cell = [&rows](std::size_t i, std::size_t j) -> const std::string* {
    if (j < rows[i].size()) return &rows[i][j];
    return nullptr;
  };
  tText_matrix lower(p);
  for (std::size_t i = 0; i < p; ++i) {
    const std::size_t n = rows[i].size();
    if (n != p && n != i + 1)
      return "row " + std::to_string(i + 1) + " of the correlation matrix has " +
             std::to_string(n) + " entries; a square matrix has " + std::to_string(p) +
             " in every row, a lower triangle " + std::to_string(i + 1) + ".";
    const auto diagonal = Number_of(rows[i][i]);
    if (!diagonal || *diagonal != 1)
      return "the correlation matrix must have 1 on its diagonal (row " + std::to_string(i + 1) + ").";
  }
  for (std::size_t i = 0; i < p; ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      // Variables i and j are the file's rows order[i] and order[j].
      const std::size_t a = std::max(order[i], order[j]), b = std::min(order[i], order[j]);
      const std::string* low = cell(a, b);
      const std::string* high = cell(b, a);
      if (high != nullptr && Number_of(*high) != Number_of(*low))
        return "the correlation matrix is not symmetric: r(" + names[j] + ", " + names[i] +
               ") is given as " + Trim_blanks(*low) + " and " + Trim_blanks(*high) + ".";
      lower[i].push_back(Trim_blanks(*low));
    }
  }
  return lower;
}

std::variant<tText_matrix, std::string> Correlations_from_json(const tJson_value& doc,
                                                    const std::vector<std::string>& names) {
  const tJson_value* matrix = &doc;
  std::vector<std::string> file_names;
  if (doc.Kind == tJson_value::tKind::Object) {
    matrix = doc.Find("matrix");
    if (matrix == nullptr) return std::string("the correlation object has no \"matrix\".");
    if (const tJson_value* n = doc.Find("names")) {
      for (const auto& item : n->Items) file_names.push_back(item.Text);
    }
  }
  if (matrix->Kind != tJson_value::tKind::Array)
    return std::string("the correlation matrix must be an array of rows.");
  tText_matrix rows;
  for (const auto& row : matrix->Items) {
    if (row.Kind != tJson_value::tKind::Array)
      return std::string("each row of the correlation matrix must be an array.");
    std::vector<std::string> cells;
    for (const auto& c : row.Items) cells.push_back(Text_of(c));
    rows.push_back(cells);
  }
  return Correlations_from_rows(rows, file_names, names);
}

std::string Options_from_json(const tJson_value& options, tAnalysis_request& r) {
  if (options.Kind != tJson_value::tKind::Object) return "\"options\" must be an object.";
  for (const auto& [key, value] : options.Members) {
    if (key == "tail" || key == "prior" || key == "criteria" || key == "iterations") {
      std::string allowed;
      if (!Set_run_option(r.Options, key, value.Text, "\"", allowed))
        return "\"" + key + "\" must be " + allowed + ".";
    } else if (key == "udt") {
      if (value.Kind != tJson_value::tKind::Bool) return "\"udt\" must be true or false.";
      r.With_udt = value.Bool;
    } else {
      return "unknown option \"" + key + "\".";
    }
  }
  return {};
}

std::variant<tAnalysis_request, std::string> Request_from_json(const tJson_value& doc,
                                                             tAnalysis_kind kind) {
  if (doc.Kind != tJson_value::tKind::Object) return std::string("the input must be a JSON object.");
  // A misspelt member would otherwise pass unnoticed and its figures or options with it.
  // "notes" is the User's Notes of a window's saved analysis, for the report.
  for (const tJson_member& m : doc.Members) {
    static const char* const kMembers[] = {"analysis", "n",       "covariates", "tasks",
                                           "correlations", "options", "notes"};
    if (std::find(std::begin(kMembers), std::end(kMembers), m.Name) == std::end(kMembers))
      return "unknown member \"" + Printable_text(m.Name) + "\" in the input.";
  }
  tAnalysis_request r;
  r.Kind = kind;
  if (const tJson_value* a = doc.Find("analysis")) {
    if (a->Text != Analysis_word(kind))
      return "the input file's \"analysis\" is \"" + a->Text + "\", not \"" + Analysis_word(kind) + "\".";
  }
  const tJson_value* n = doc.Find("n");
  if (n == nullptr) return std::string("the input has no \"n\" (the control sample size).");
  r.N = Text_of(*n);
  const auto variables = [](const tJson_value* list, std::vector<tVariable_texts>& out,
                            const char* what) -> std::string {
    if (list == nullptr) return {};
    if (list->Kind != tJson_value::tKind::Array) return std::string("\"") + what + "\" must be an array.";
    for (const auto& item : list->Items) {
      tVariable_texts v;
      for (const auto& [key, value] : item.Members) {
        if (key == "name") v.Name = value.Text;
        else if (key == "mean") v.Mean = Text_of(value);
        else if (key == "sd") v.Sd = Text_of(value);
        else if (key == "case") v.Case = Text_of(value);
        else return "unknown member \"" + key + "\" in \"" + what + "\".";
      }
      out.push_back(v);
    }
    return {};
  };
  if (std::string e = variables(doc.Find("covariates"), r.Covariates, "covariates"); !e.empty()) return e;
  if (std::string e = variables(doc.Find("tasks"), r.Tasks, "tasks"); !e.empty()) return e;
  const tJson_value* correlations = doc.Find("correlations");
  if (correlations != nullptr) {
    const auto m = Correlations_from_json(*correlations, Variable_names(r));
    if (const auto* e = std::get_if<std::string>(&m)) return *e;
    r.Correlations = std::get<tText_matrix>(m);
  } else if (r.Covariates.empty() && r.Tasks.size() == 1) {
    r.Correlations = {{}};
  } else {
    return std::string("the input has no \"correlations\".");
  }
  if (const tJson_value* o = doc.Find("options")) {
    if (std::string e = Options_from_json(*o, r); !e.empty()) return e;
  }
  return r;
}

