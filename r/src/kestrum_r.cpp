// SPDX-License-Identifier: GPL-3.0-or-later
// The compiled half of the R package: the engine of bindings/package_engine.h, its figures
// handed over as R values (numbers as double, whole numbers as integer where they fit,
// flags as logical, words as character, a figure not computed as NA). Refused input and
// computation errors become R errors with the program's message, its line breaks as the
// command line prints them.
#include <Rcpp.h>

#include <climits>
#include <string>
#include <variant>
#include <vector>

#include "bindings/package_engine.h"
#include "distrib/progress.h"

namespace {

std::string Printed(std::string message) {
  for (char& c : message)
    if (c == '\r') c = '\n';
  return message;
}

SEXP R_value(const tFigure_value& value) {
  if (const auto* x = std::get_if<Extended>(&value)) return Rcpp::wrap(static_cast<double>(*x));
  if (const auto* w = std::get_if<std::int64_t>(&value)) {
    if (*w > INT_MIN && *w <= INT_MAX) return Rcpp::wrap(static_cast<int>(*w));
    return Rcpp::wrap(static_cast<double>(*w));
  }
  if (const auto* f = std::get_if<bool>(&value)) return Rcpp::wrap(*f);
  if (const auto* s = std::get_if<std::string>(&value)) return Rcpp::wrap(*s);
  return Rcpp::wrap(NA_LOGICAL);
}

Rcpp::List Axis(const tAxis& a) {
  return Rcpp::List::create(Rcpp::Named("lower") = a.Lower, Rcpp::Named("upper") = a.Upper,
                            Rcpp::Named("step") = a.Step, Rcpp::Named("ticks") = a.Ticks);
}

// The two pictures' geometry, in plot units.
Rcpp::List Plots(const tResult_plots& plots) {
  Rcpp::List ellipses;
  for (const tCoverage_ellipse& e : plots.Case.Ellipses) {
    std::vector<double> x, y;
    for (const tPlot_point& p : e.Points) {
      x.push_back(p.X);
      y.push_back(p.Y);
    }
    ellipses.push_back(Rcpp::List::create(
        Rcpp::Named("coverage") = e.Coverage, Rcpp::Named("label") = e.Label,
        Rcpp::Named("x") = x, Rcpp::Named("y") = y,
        Rcpp::Named("label_at") = std::vector<double>{e.Label_at.X, e.Label_at.Y}));
  }
  const tCase_plot& c = plots.Case;
  Rcpp::List case_plot = Rcpp::List::create(
      Rcpp::Named("ellipses") = ellipses, Rcpp::Named("x_axis") = Axis(c.X_axis),
      Rcpp::Named("y_axis") = Axis(c.Y_axis),
      Rcpp::Named("case") = std::vector<double>{c.Case.X, c.Case.Y},
      Rcpp::Named("x_title") = c.X_title, Rcpp::Named("y_title") = c.Y_title,
      Rcpp::Named("case_label") = c.Case_label, Rcpp::Named("caption") = c.Caption,
      Rcpp::Named("regions_label") = c.Regions_label,
      Rcpp::Named("diagonal_label") = c.Diagonal_label);
  const tPosterior_plot& p = plots.Posterior;
  std::vector<double> left, right, density;
  for (const tHistogram_bar& b : p.Bars) {
    left.push_back(b.Left);
    right.push_back(b.Right);
    density.push_back(b.Density);
  }
  Rcpp::List posterior = Rcpp::List::create(
      Rcpp::Named("left") = left, Rcpp::Named("right") = right, Rcpp::Named("density") = density,
      Rcpp::Named("estimate") = p.Zdcc,
      Rcpp::Named("interval") = std::vector<double>{p.Interval_lower, p.Interval_upper},
      Rcpp::Named("x_axis") = Axis(p.X_axis), Rcpp::Named("y_axis") = Axis(p.Y_axis),
      Rcpp::Named("x_title") = p.X_title, Rcpp::Named("y_title") = p.Y_title,
      Rcpp::Named("estimate_label") = p.Estimate_label,
      Rcpp::Named("interval_label") = p.Interval_label, Rcpp::Named("caption") = p.Caption);
  return Rcpp::List::create(Rcpp::Named("case") = case_plot,
                            Rcpp::Named("posterior") = posterior,
                            Rcpp::Named("title") = plots.Title);
}

// A batch column of one sort: numbers (NA where not computed), whole numbers, flags or words.
SEXP Batch_column(const tPackage_batch& batch, const std::string& name) {
  const std::size_t n = batch.Cases.size();
  std::size_t sort = 1;  // a column with no computed case: numbers
  for (const tPackage_case_result& c : batch.Cases)
    if (c.Computed) {
      sort = c.Figures.At(name).Value.index();
      if (sort != 0) break;
    }
  if (sort == 3) {
    Rcpp::LogicalVector v(n, NA_LOGICAL);
    for (std::size_t i = 0; i < n; ++i)
      if (const auto* f = batch.Cases[i].Computed ? std::get_if<bool>(&batch.Cases[i].Figures.At(name).Value) : nullptr) v[i] = *f;
    return v;
  }
  if (sort == 4) {
    Rcpp::CharacterVector v(n, NA_STRING);
    for (std::size_t i = 0; i < n; ++i)
      if (const auto* s = batch.Cases[i].Computed ? std::get_if<std::string>(&batch.Cases[i].Figures.At(name).Value) : nullptr) v[i] = *s;
    return v;
  }
  Rcpp::NumericVector v(n, NA_REAL);
  for (std::size_t i = 0; i < n; ++i) {
    if (!batch.Cases[i].Computed) continue;
    const tFigure_value& value = batch.Cases[i].Figures.At(name).Value;
    if (const auto* x = std::get_if<Extended>(&value)) v[i] = static_cast<double>(*x);
    if (const auto* w = std::get_if<std::int64_t>(&value)) v[i] = static_cast<double>(*w);
  }
  return v;
}

// R's check for a user interrupt jumps out of the caller; run at the top level it only
// answers whether one is pending.
void Check_interrupt(void*) { R_CheckUserInterrupt(); }
bool Interrupt_pending() { return R_ToplevelExec(Check_interrupt, nullptr) == FALSE; }

tAnalysis_request Request(const std::string& kind, const std::string& json, int threads) {
  try {
    return Package_request(Package_kind(kind), json, threads);
  } catch (const ERefused_input& e) {
    throw Rcpp::exception(Printed(e.what()).c_str(), false);
  }
}

}  // namespace

// [[Rcpp::export(.kestrum_run)]]
Rcpp::List kestrum_run(std::string kind, std::string json) {
  const tAnalysis_request request = Request(kind, json, 0);
  tPackage_result result;
  try {
    result = Run_package_analysis(request);
  } catch (const std::exception& e) {
    throw Rcpp::exception(Printed(e.what()).c_str(), false);
  }
  Rcpp::List figures;
  std::vector<std::string> names, groups, keys;
  for (const tFigure& f : result.Figures.Figures) {
    figures.push_back(R_value(f.Value));
    names.push_back(f.Name);
    groups.push_back(f.Group);
    keys.push_back(f.Key);
  }
  figures.attr("names") = names;
  return Rcpp::List::create(
      Rcpp::Named("figures") = figures, Rcpp::Named("groups") = groups,
      Rcpp::Named("keys") = keys, Rcpp::Named("json") = result.Json,
      Rcpp::Named("report") = result.Report, Rcpp::Named("warnings") = result.Warnings,
      Rcpp::Named("plots") = result.Plots ? SEXP(Plots(*result.Plots)) : R_NilValue);
}

// [[Rcpp::export(.kestrum_batch)]]
Rcpp::List kestrum_batch(std::string kind, std::string json, std::vector<std::string> ids,
                         std::vector<std::string> columns,
                         std::vector<std::vector<std::string>> values, int threads) {
  const tAnalysis_request base = Request(kind, json, 1);
  tPackage_batch batch;
  try {
    batch = Run_package_batch(base, {ids, columns, values}, static_cast<unsigned>(std::max(threads, 0)),
                              [](std::size_t, std::size_t) { return !Interrupt_pending(); });
  } catch (const ECancelled&) {
    throw Rcpp::exception("The batch was interrupted; no case of it is kept.", false);
  } catch (const std::exception& e) {
    throw Rcpp::exception(Printed(e.what()).c_str(), false);
  }
  Rcpp::List results;
  for (const std::string& name : batch.Result_names) results.push_back(Batch_column(batch, name));
  results.attr("names") = batch.Result_names;
  Rcpp::CharacterVector errors(batch.Cases.size(), NA_STRING);
  for (std::size_t i = 0; i < batch.Cases.size(); ++i)
    if (!batch.Cases[i].Computed) errors[i] = batch.Cases[i].Error;
  return Rcpp::List::create(Rcpp::Named("columns") = batch.Columns,
                            Rcpp::Named("case_columns") = batch.Case_columns,
                            Rcpp::Named("results") = results, Rcpp::Named("errors") = errors,
                            Rcpp::Named("csv") = batch.Csv);
}

// [[Rcpp::export(.kestrum_engine_seconds)]]
double kestrum_engine_seconds(std::string kind, std::string json, int repeats) {
  return Package_engine_seconds(Request(kind, json, 0), repeats);
}
