// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/toolkit_cli.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>

#include "app/input_checks.h"
#include "app/toolkit_record.h"
#include "app/toolkit_report.h"
#include "cli/batch_csv.h"
#include "cli/cli_args.h"
#include "cli/batch_run.h"
#include "cli/exit_status.h"
#include "cli/io_wait.h"
#include "cli/terminal_text.h"
#include "app/safe_text.h"
#include "cli/fd_output.h"

namespace {

// The largest correlation or input file read (a matrix of six variables is a few hundred
// bytes).
constexpr std::size_t kMax_input_file = 1 << 20;

tToolkit_kind Kind_of(const std::string& word) {
  if (word == "deficit") return tToolkit_kind::Deficit;
  if (word == "dissociation") return tToolkit_kind::Dissociation;
  return tToolkit_kind::Udt;
}

tUsage_error Bad_value(const std::string& name, const std::string& value,
                       const std::string& allowed) {
  return {"invalid value '" + value + "' for " + name + " (expected " + allowed + ")"};
}

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  const auto e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

// NAME=MEAN,SD,CASE
std::optional<tVariable_texts> Covariate_of(const std::string& text) {
  const auto eq = text.rfind('=');
  if (eq == std::string::npos || eq == 0) return std::nullopt;
  tVariable_texts v;
  v.Name = Trim(text.substr(0, eq));
  std::vector<std::string> parts;
  std::string rest = text.substr(eq + 1), part;
  std::stringstream in(rest);
  while (std::getline(in, part, ',')) parts.push_back(Trim(part));
  if (parts.size() != 3 || v.Name.empty()) return std::nullopt;
  v.Mean = parts[0];
  v.Sd = parts[1];
  v.Case = parts[2];
  return v;
}

// A matrix cell's text read as a number (for the diagonal and the symmetry check only;
// the lower triangle goes through the field rules as text).
std::optional<double> Number_of(const std::string& text) {
  const std::string t = Trim(text);
  if (t.empty()) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size()) return std::nullopt;
  return v;
}

using tText_matrix = std::vector<std::vector<std::string>>;

// Rows of texts with optional names, as read from CSV or JSON, into the lower triangle
// in the order of `names`.
std::variant<tText_matrix, std::string> Lower_triangle(const tText_matrix& rows,
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
               ") is given as " + Trim(*low) + " and " + Trim(*high) + ".";
      lower[i].push_back(Trim(*low));
    }
  }
  return lower;
}

std::string Text_of(const tJson_value& v) {
  switch (v.Kind) {
    case tJson_value::tKind::Number:
    case tJson_value::tKind::String: return v.Text;
    default: return "";
  }
}

std::variant<tText_matrix, std::string> Json_matrix(const tJson_value& doc,
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
  return Lower_triangle(rows, file_names, names);
}

const char* Kind_word(tToolkit_kind kind) {
  switch (kind) {
    case tToolkit_kind::Deficit: return "deficit";
    case tToolkit_kind::Dissociation: return "dissociation";
    case tToolkit_kind::Udt: return "udt";
  }
  return "";
}

}  // namespace

bool Is_toolkit_subcommand(const std::string& word) {
  return word == "deficit" || word == "dissociation" || word == "udt";
}

std::variant<tText_matrix, std::string> Correlations_from_text(
    const std::string& text, const std::vector<std::string>& names) {
  const std::string trimmed = Trim(text);
  if (!trimmed.empty() && (trimmed[0] == '[' || trimmed[0] == '{')) {
    try {
      return Json_matrix(Parse_json(text), names);
    } catch (const std::exception& e) {
      return std::string("the correlation file is not valid JSON (") + e.what() + ").";
    }
  }
  tCsv_reader reader{std::string_view(text)};
  tCsv_record record;
  tText_matrix rows;
  std::vector<std::string> file_names;
  bool first = true, name_column = false;
  while (reader.Next(record)) {
    if (!record.Error.empty()) return "the correlation file: " + record.Error;
    if (record.Fields.size() == 1 && Trim(record.Fields[0]).empty()) continue;
    std::vector<std::string> cells;
    for (const auto& f : record.Fields) cells.push_back(Trim(f));
    if (first) {
      first = false;
      // A header row: its last cell is not a number.
      if (!Number_of(cells.back())) {
        name_column = Trim(cells.front()).empty() || cells.size() == names.size() + 1;
        file_names.assign(cells.begin() + (name_column ? 1 : 0), cells.end());
        continue;
      }
    }
    if (name_column && !cells.empty()) cells.erase(cells.begin());
    while (!cells.empty() && cells.back().empty()) cells.pop_back();  // a lower triangle
    rows.push_back(cells);
  }
  return Lower_triangle(rows, file_names, names);
}

std::variant<tToolkit_request, std::string> Request_from_json(const tJson_value& doc,
                                                             tToolkit_kind kind) {
  if (doc.Kind != tJson_value::tKind::Object) return std::string("the input must be a JSON object.");
  tToolkit_request r;
  r.Kind = kind;
  if (const tJson_value* a = doc.Find("analysis")) {
    if (a->Text != Kind_word(kind))
      return "the input file's \"analysis\" is \"" + a->Text + "\", not \"" + Kind_word(kind) + "\".";
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
    const auto m = Json_matrix(*correlations, Variable_names(r));
    if (const auto* e = std::get_if<std::string>(&m)) return *e;
    r.Correlations = std::get<tText_matrix>(m);
  } else if (r.Covariates.empty() && r.Tasks.size() == 1) {
    r.Correlations = {{}};
  } else {
    return std::string("the input has no \"correlations\".");
  }
  if (const tJson_value* o = doc.Find("options")) {
    for (const auto& [key, value] : o->Members) {
      if (key == "tail") {
        if (value.Text != "two" && value.Text != "one") return std::string("\"tail\" must be \"two\" or \"one\".");
        r.Options.Tail = value.Text == "one" ? tTail::One : tTail::Two;
      } else if (key == "prior") {
        if (value.Text != "calibrated" && value.Text != "jeffreys") return std::string("\"prior\" must be \"calibrated\" or \"jeffreys\".");
        r.Options.Prior = value.Text == "jeffreys" ? tPrior::Standard : tPrior::Calibrated;
      } else if (key == "criteria") {
        if (value.Text != "bayesian" && value.Text != "combined") return std::string("\"criteria\" must be \"bayesian\" or \"combined\".");
        r.Options.Criteria = value.Text == "combined" ? tCriteria::Combined : tCriteria::Bayesian;
      } else if (key == "iterations") {
        const auto k = Parse_iterations(value.Text);
        if (!k)
          return "\"iterations\" must be a whole number from " + std::to_string(kMin_iterations) +
                 " to " + std::to_string(kMax_iterations) + ".";
        r.Options.Iterations = *k;
      } else if (key == "udt") {
        if (value.Kind != tJson_value::tKind::Bool) return std::string("\"udt\" must be true or false.");
        r.With_udt = value.Bool;
      } else {
        return "unknown option \"" + key + "\".";
      }
    }
  }
  return r;
}

std::variant<tToolkit_cli, tUsage_error> Parse_toolkit_arguments(
    const std::vector<std::string>& args) {
  tToolkit_cli o;
  const std::string sub = args.at(0);
  o.Request.Kind = Kind_of(sub);
  o.Request.Options.Engine_threads = 1;
  const bool two_tasks = o.Request.Kind != tToolkit_kind::Deficit;
  if (two_tasks) o.Request.Tasks.assign(2, {});
  else o.Request.Tasks.assign(1, {});
  std::map<std::string, std::string*> figures;
  if (two_tasks) {
    auto& x = o.Request.Tasks[0];
    auto& y = o.Request.Tasks[1];
    x.Name = "Task X";
    y.Name = "Task Y";
    figures = {{"--mean-x", &x.Mean}, {"--sd-x", &x.Sd}, {"--case-x", &x.Case},
               {"--mean-y", &y.Mean}, {"--sd-y", &y.Sd}, {"--case-y", &y.Case},
               {"--name-x", &x.Name}, {"--name-y", &y.Name}, {"--r", &o.R_xy}};
  } else {
    auto& t = o.Request.Tasks[0];
    t.Name = "Task";
    figures = {{"--mean", &t.Mean}, {"--sd", &t.Sd}, {"--case", &t.Case}, {"--name", &t.Name}};
  }
  figures["--n"] = &o.Request.N;
  std::set<std::string> seen;
  bool figures_given = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string name = args[i], value;
    bool has_value = false;
    if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      has_value = true;
    }
    if (name == "--help" || name == "-h") {
      o.Help = true;
      continue;
    }
    if (name == "--udt" && o.Request.Kind == tToolkit_kind::Dissociation) {
      o.Request.With_udt = true;
      continue;
    }
    const bool known = figures.count(name) != 0 || name == "--covariate" ||
                       name == "--correlations" || name == "--input" || name == "--format" ||
                       name == "--notes" || name == "--batch" || name == "--tail" ||
                       (name == "--iterations" && o.Request.Kind != tToolkit_kind::Udt) ||
                       (o.Request.Kind == tToolkit_kind::Dissociation &&
                        (name == "--prior" || name == "--criteria"));
    if (!known) return tUsage_error{"unknown option '" + name + "' for " + sub};
    if (!has_value) {
      if (i + 1 >= args.size()) return tUsage_error{"option '" + name + "' needs a value"};
      value = args[++i];
    }
    if (name != "--covariate" && !seen.insert(name).second)
      return tUsage_error{"option '" + name + "' given twice"};
    if (auto it = figures.find(name); it != figures.end()) {
      *it->second = value;
      if (name.rfind("--name", 0) != 0) figures_given = true;
    } else if (name == "--covariate") {
      if (o.Request.Kind == tToolkit_kind::Udt)
        return tUsage_error{"the unstandardized difference test allows for no covariates"};
      const auto c = Covariate_of(value);
      if (!c) return Bad_value(name, value, "NAME=MEAN,SD,CASE");
      o.Request.Covariates.push_back(*c);
      figures_given = true;
    } else if (name == "--correlations") {
      o.Correlations_file = value;
    } else if (name == "--input") {
      o.Input_file = value;
    } else if (name == "--batch") {
      o.Batch_file = value;
    } else if (name == "--notes") {
      o.Notes_lines = Split_lines(value);
    } else if (name == "--format") {
      if (value != "report" && value != "json") return Bad_value(name, value, "report or json");
      o.Format = value == "json" ? tOutput_format::Json : tOutput_format::Report;
    } else if (name == "--tail") {
      if (value != "two" && value != "one") return Bad_value(name, value, "two or one");
      o.Request.Options.Tail = value == "one" ? tTail::One : tTail::Two;
    } else if (name == "--prior") {
      if (value != "calibrated" && value != "jeffreys") return Bad_value(name, value, "calibrated or jeffreys");
      o.Request.Options.Prior = value == "jeffreys" ? tPrior::Standard : tPrior::Calibrated;
    } else if (name == "--criteria") {
      if (value != "bayesian" && value != "combined") return Bad_value(name, value, "bayesian or combined");
      o.Request.Options.Criteria = value == "combined" ? tCriteria::Combined : tCriteria::Bayesian;
    } else if (name == "--iterations") {
      const auto k = Parse_iterations(value);
      if (!k)
        return Bad_value(name, value, "a whole number from " + std::to_string(kMin_iterations) +
                                          " to " + std::to_string(kMax_iterations));
      o.Request.Options.Iterations = *k;
    }
  }
  if (!o.Input_file.empty() && (figures_given || !o.Correlations_file.empty()))
    return tUsage_error{"--input holds the whole analysis; give no figures, covariates or "
                        "--correlations beside it"};
  if (o.Input_file.empty() && !o.Help) {
    if (!o.Request.Covariates.empty() && o.Correlations_file.empty())
      return tUsage_error{"covariates need their correlations: --correlations FILE"};
    if (two_tasks && o.Correlations_file.empty() && o.R_xy.empty())
      return tUsage_error{"the correlation between the tasks is needed: --r or --correlations FILE"};
    if (!o.Correlations_file.empty() && !o.R_xy.empty())
      return tUsage_error{"--r and --correlations both give the tasks' correlation; give one"};
  }
  return o;
}

std::string Toolkit_usage_text(const std::string& sub) {
  std::string t;
  if (sub == "deficit") {
    t = "Usage: kestrum-cli deficit [options]\n\n"
        "Tests one case's score on one task for a deficit against a control sample, allowing\n"
        "for up to 5 covariates (for example age and years of education): the frequentist test\n"
        "with the effect size Z-CCC (Z-CC without covariates) and its confidence limits, and the\n"
        "Bayesian test with credible limits.\n\n"
        "  --mean T --sd T --case T   The controls' mean and SD on the task, the case's score\n"
        "  --name NAME                The task's name in the report (default Task)\n";
  } else if (sub == "dissociation") {
    t = "Usage: kestrum-cli dissociation [options]\n\n"
        "Tests a case for a dissociation between two tasks allowing for up to 5 covariates: the\n"
        "test for a deficit on each task, the BSDT on the difference between the case's\n"
        "standardized scores on the controls' conditional model, and the criteria for a strong or\n"
        "classical dissociation. Without covariates the figures are the worksheet's.\n\n"
        "  --mean-x T --sd-x T --case-x T   Task X\n"
        "  --mean-y T --sd-y T --case-y T   Task Y\n"
        "  --name-x NAME --name-y NAME      The tasks' names (default Task X, Task Y)\n"
        "  --r T                            Correlation between the tasks (without --correlations)\n"
        "  --criteria bayesian|combined     Criteria (combined needs the RSDT: no covariates)\n"
        "  --prior calibrated|jeffreys      Form of the prior (calibrated needs N - m >= 4)\n"
        "  --udt                            Also the unstandardized difference test\n";
  } else {
    t = "Usage: kestrum-cli udt [options]\n\n"
        "The unstandardized difference test, for two tasks on the same scale: the deficit test\n"
        "with its intervals on the difference between the case's scores.\n\n"
        "  --mean-x T --sd-x T --case-x T --mean-y T --sd-y T --case-y T --r T\n";
  }
  t += "  --n T                      Sample size of the normative sample\n";
  if (sub != "udt")
    t += "  --covariate NAME=MEAN,SD,CASE\n"
         "                             A covariate: the controls' mean and SD, the case's score\n"
         "                             (repeat for each, at most 5)\n"
         "  --correlations FILE        The correlation matrix of every variable, covariates first\n"
         "                             in the order given, then the task(s): CSV (numbers; a header\n"
         "                             row of names may give any order) or JSON ([[...], ...] or\n"
         "                             {\"names\": [...], \"matrix\": [[...], ...]}); square or lower\n"
         "                             triangle\n"
         "  --iterations K             Monte Carlo iterations (default 1000000)\n";
  t += "  --tail two|one             Tail of the reported probability (default two)\n"
       "  --input FILE.json          The whole analysis from a JSON file (docs/toolkit_input.md)\n"
       "  --notes TEXT               User's notes printed in the report\n"
       "  --format report|json       The report (default) or one JSON object\n"
       "  --batch FILE.csv           Every case of a CSV file against the same controls: columns\n"
       "                             id (optional), " +
       std::string(sub == "deficit" ? "case" : "case_x, case_y") +
       ", and optionally one per covariate\n"
       "                             named as it, for the case's covariate scores. Output is CSV,\n"
       "                             or a JSON array with --format json.\n\n"
       "Every figure is a field text with the worksheet's rules (at most 6 characters, digits,\n"
       "one point, a leading minus). A correlation matrix that is not positive definite, an\n"
       "SD of 0 or less, a correlation of +/-1 or beyond, or too few controls for the covariates\n"
       "are refused, and nothing is computed. Exit status as for kestrum-cli.\n";
  return t;
}


namespace {

// What one toolkit case produced.
struct tToolkit_outcome {
  bool Computed = false, Cancelled = false;
  int Status = kExit_success;
  std::string Error;
  std::vector<std::string> Warnings;
  tToolkit_results Results;
};

// Checks and computes one request; the statistics' warnings are collected into it.
tToolkit_outcome Run_request(const tToolkit_request& request, const tProgress_observer* observer) {
  tToolkit_outcome o;
  const auto checked = Check_toolkit_request(request);
  if (const auto* e = std::get_if<std::string>(&checked)) {
    o.Status = kExit_input;
    o.Error = *e;
    return o;
  }
  try {
    o.Results = Compute_toolkit(request, std::get<tConditional_inputs>(checked), observer);
    o.Warnings = o.Results.Warnings;
    o.Computed = true;
  } catch (const ECancelled&) {
    o.Cancelled = true;
  } catch (const std::bad_alloc&) {
    o.Status = kExit_computation;
    o.Error = "Not enough memory for " + std::to_string(request.Options.Iterations) +
              " Monte Carlo iterations.";
  } catch (const std::exception& e) {
    o.Status = kExit_computation;
    o.Error = e.what();
  }
  return o;
}

// The batch: each row replaces the case's task scores, and the covariate scores of the
// covariates it has a column for (named as the covariate).
int Run_toolkit_batch(const tToolkit_cli& o, const tToolkit_request& base, std::ostream& out,
                      std::ostream& err, bool progress, tInterrupt* interrupt) {
  const bool two = base.Tasks.size() == 2;
  tBatch_columns columns;
  columns.Required = two ? std::vector<std::string>{"case_x", "case_y"}
                         : std::vector<std::string>{"case"};
  for (const auto& c : base.Covariates) columns.Optional.push_back(c.Name);
  // With covariates a column that names none of them is refused: a misspelt one would
  // otherwise leave every row on the --covariate score.
  columns.Refuse_unknown = !base.Covariates.empty();
  std::vector<std::string> names = columns.Required;
  names.insert(names.end(), columns.Optional.begin(), columns.Optional.end());
  const tCsv_layout layout = Csv_layout_of(Toolkit_figures(Blank_toolkit_results(base)));
  std::string leading = "id";
  for (const std::string& name : names) leading += "," + Csv_field(name);
  // The row's values: its task scores, and each covariate's score, from its column or the
  // command's.
  const auto values = [&base](const tBatch_row& row) {
    std::vector<std::string> v;
    const std::size_t tasks = base.Tasks.size();
    for (std::size_t j = 0; j < tasks; ++j) v.push_back(j < row.Values.size() ? row.Values[j] : "");
    for (std::size_t i = 0; i < base.Covariates.size(); ++i) {
      const std::size_t k = tasks + i;
      const bool given = k < row.Given.size() && row.Given[k];
      v.push_back(given ? row.Values[k] : base.Covariates[i].Case);
    }
    return v;
  };
  tBatch_job job;
  job.Run = [&base, &values](const tBatch_row& row, const tProgress_observer* observer) {
    tToolkit_request request = base;
    const std::vector<std::string> v = values(row);
    for (std::size_t j = 0; j < request.Tasks.size(); ++j) request.Tasks[j].Case = v[j];
    for (std::size_t i = 0; i < request.Covariates.size(); ++i)
      request.Covariates[i].Case = v[request.Tasks.size() + i];
    tToolkit_outcome t = Run_request(request, observer);
    tCase_outcome outcome;
    outcome.Computed = t.Computed;
    outcome.Cancelled = t.Cancelled;
    outcome.Status = t.Status;
    outcome.Error = std::move(t.Error);
    outcome.Warnings = std::move(t.Warnings);
    if (t.Computed) {
      outcome.Json = Toolkit_json(t.Results);
      outcome.Figures = Toolkit_figures(t.Results);
    }
    return outcome;
  };
  job.Csv_header = [&] { return Csv_header(leading, layout); };
  job.Csv_row = [&](const tBatch_row& row, const tCase_outcome& c) {
    return Csv_row(layout, row, values(row), c);
  };
  job.Json_row = [&](const tBatch_row& row, const tCase_outcome& c) {
    return Json_row(row, names, values(row), c);
  };
  return Run_batch_file(o.Batch_file, columns, job, o.Format == tOutput_format::Json, {}, out,
                        err, progress, interrupt);
}

// Reads a whole (small) input file. Non-blocking, and every wait for input polls the wake
// pipe, so that a FIFO or a stalled pipe can be left on a signal. Throws tIo_woken then.
std::variant<std::string, std::string> Read_input_file(const std::string& path, int wake_fd) {
  using tResult = std::variant<std::string, std::string>;
  const auto failed = [](std::string message) { return tResult(std::in_place_index<1>, std::move(message)); };
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return failed("cannot open " + Printable_text(path) + ": " + std::strerror(errno));
  struct tCloser {
    int fd;
    ~tCloser() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
    return failed("cannot read " + Printable_text(path) + ": it is a directory");
  const std::vector<int> wake = wake_fd >= 0 ? std::vector<int>{wake_fd} : std::vector<int>{};
  std::string text;
  char buffer[4096];
  for (;;) {
    if (!Wait_for_io(fd, POLLIN, wake)) throw tIo_woken{};
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return failed("cannot read " + Printable_text(path) + ": " + std::strerror(errno));
    }
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > kMax_input_file)
      return failed(Printable_text(path) + " is larger than 1 MiB; it is not an input file of this program.");
  }
  return tResult(std::in_place_index<0>, text);
}

}  // namespace

int Run_toolkit_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    bool progress, tInterrupt* interrupt) {
  const auto parsed = Parse_toolkit_arguments(args);
  if (const auto* usage = std::get_if<tUsage_error>(&parsed)) {
    err << "kestrum-cli " << args[0] << ": " << Printable_text(usage->Message)
        << "\nTry 'kestrum-cli " << args[0] << " --help'.\n";
    return kExit_usage;
  }
  tToolkit_cli o = std::get<tToolkit_cli>(parsed);
  if (o.Help) {
    out << Toolkit_usage_text(args[0]);
    return Output_status(out, err);
  }
  const int wake_fd = interrupt != nullptr ? interrupt->Wake_fd : -1;
  tToolkit_request request = o.Request;
  try {
    if (!o.Input_file.empty()) {
      const auto text = Read_input_file(o.Input_file, wake_fd);
      if (text.index() == 1) {
        err << "kestrum-cli: " << std::get<1>(text) << '\n';
        return kExit_input;
      }
      try {
        const auto r = Request_from_json(Parse_json(std::get<0>(text)), request.Kind);
        if (const auto* e = std::get_if<std::string>(&r)) {
          err << "kestrum-cli: " << Printable_text(o.Input_file) << ": " << Printable_text(*e) << '\n';
          return kExit_input;
        }
        const tRun_options cli_options = request.Options;
        request = std::get<tToolkit_request>(r);
        request.Options.Engine_threads = cli_options.Engine_threads;
      } catch (const std::runtime_error& e) {
        err << "kestrum-cli: " << Printable_text(o.Input_file) << ": " << e.what() << '\n';
        return kExit_input;
      }
    } else if (!o.Correlations_file.empty()) {
      const auto text = Read_input_file(o.Correlations_file, wake_fd);
      if (text.index() == 1) {
        err << "kestrum-cli: " << std::get<1>(text) << '\n';
        return kExit_input;
      }
      const auto m = Correlations_from_text(std::get<0>(text), Variable_names(request));
      if (const auto* e = std::get_if<std::string>(&m)) {
        err << "kestrum-cli: " << Printable_text(o.Correlations_file) << ": " << Printable_text(*e) << '\n';
        return kExit_input;
      }
      request.Correlations = std::get<tText_matrix>(m);
    } else if (request.Tasks.size() == 2) {
      request.Correlations = {{}, {o.R_xy}};
    } else {
      request.Correlations = {{}};
    }
  } catch (const tIo_woken&) {
    err << "kestrum-cli: Interrupted while waiting for the input file; nothing was written.\n";
    return Interrupted_status(interrupt);
  }
  // A batch runs its cases side by side, each on one engine thread (the least CPU time
  // per case); a single run uses the engine's two threads where the machine has them.
  if (!o.Batch_file.empty()) {
    request.Options.Engine_threads = 1;
    return Run_toolkit_batch(o, request, out, err, progress, interrupt);
  }
  request.Options.Engine_threads = 0;

  tProgress_observer observer;
  if (interrupt != nullptr) observer.Cancel = &interrupt->Requested;
  const tToolkit_outcome outcome = Run_request(request, &observer);
  Print_warnings(err, outcome.Warnings, "");
  if (outcome.Cancelled || Interrupt_requested(interrupt)) {
    err << "kestrum-cli: Interrupted; nothing was written.\n";
    return Interrupted_status(interrupt);
  }
  if (!outcome.Computed) {
    err << Message_for_terminal(outcome.Error) << '\n';
    return outcome.Status;
  }
  if (o.Format == tOutput_format::Json) {
    out << Toolkit_json(outcome.Results) << '\n';
  } else {
    for (const std::string& line : Toolkit_report_lines(outcome.Results, o.Notes_lines, false))
      out << line << '\n';
  }
  const int status = Output_status(out, err, interrupt);
  if (Is_interrupted_status(status))
    err << "kestrum-cli: Interrupted while writing the output" << Output_end(out, "") << ".\n";
  return status;
}
