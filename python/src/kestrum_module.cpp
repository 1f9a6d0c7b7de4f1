// SPDX-License-Identifier: GPL-3.0-or-later
// The compiled half of the Python package: the engine of bindings/package_engine.h with the
// interpreter's lock released while it runs, its figures handed over as Python values
// (numbers as float, whole numbers as int, flags as bool, words as str, a figure not
// computed as None). Refused input raises ValueError with the program's message; a
// computation error RuntimeError.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "bindings/package_engine.h"
#include "distrib/progress.h"

namespace py = pybind11;

namespace {

py::object Python_value(const tFigure_value& value) {
  return std::visit(
      [](const auto& v) -> py::object {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) return py::none();
        else if constexpr (std::is_same_v<T, Extended>) return py::float_(static_cast<double>(v));
        else if constexpr (std::is_same_v<T, std::int64_t>) return py::int_(v);
        else if constexpr (std::is_same_v<T, bool>) return py::bool_(v);
        else return py::str(v);
      },
      value);
}

py::list Points(const std::vector<tPlot_point>& points) {
  py::list list;
  for (const tPlot_point& p : points) list.append(py::make_tuple(p.X, p.Y));
  return list;
}

py::dict Axis(const tAxis& a) {
  py::dict d;
  d["lower"] = a.Lower;
  d["upper"] = a.Upper;
  d["step"] = a.Step;
  d["ticks"] = a.Ticks;
  return d;
}

// The two pictures' geometry, in plot units, as plain dicts and lists.
py::dict Plots(const tResult_plots& plots) {
  py::dict c;
  py::list ellipses;
  for (const tCoverage_ellipse& e : plots.Case.Ellipses) {
    py::dict d;
    d["coverage"] = e.Coverage;
    d["label"] = e.Label;
    d["points"] = Points(e.Points);
    d["label_at"] = py::make_tuple(e.Label_at.X, e.Label_at.Y);
    ellipses.append(d);
  }
  c["ellipses"] = ellipses;
  c["x_axis"] = Axis(plots.Case.X_axis);
  c["y_axis"] = Axis(plots.Case.Y_axis);
  c["case"] = py::make_tuple(plots.Case.Case.X, plots.Case.Case.Y);
  c["x_title"] = plots.Case.X_title;
  c["y_title"] = plots.Case.Y_title;
  c["case_label"] = plots.Case.Case_label;
  c["caption"] = plots.Case.Caption;
  py::dict p;
  py::list bars;
  for (const tHistogram_bar& b : plots.Posterior.Bars) bars.append(py::make_tuple(b.Left, b.Right, b.Density));
  p["bars"] = bars;
  p["estimate"] = plots.Posterior.Zdcc;
  p["interval"] = py::make_tuple(plots.Posterior.Interval_lower, plots.Posterior.Interval_upper);
  p["x_axis"] = Axis(plots.Posterior.X_axis);
  p["y_axis"] = Axis(plots.Posterior.Y_axis);
  p["x_title"] = plots.Posterior.X_title;
  p["y_title"] = plots.Posterior.Y_title;
  p["estimate_label"] = plots.Posterior.Estimate_label;
  p["interval_label"] = plots.Posterior.Interval_label;
  p["caption"] = plots.Posterior.Caption;
  py::dict d;
  d["case"] = c;
  d["posterior"] = p;
  d["title"] = plots.Title;
  return d;
}

tAnalysis_request Request(const std::string& kind, const std::string& json_text, int threads) {
  return Package_request(Package_kind(kind), json_text, threads);
}

py::dict Run(const std::string& kind, const std::string& json_text, int engine_threads) {
  const tAnalysis_request request = Request(kind, json_text, engine_threads);
  tPackage_result result;
  {
    py::gil_scoped_release release;
    result = Run_package_analysis(request);
  }
  py::list figures;
  for (const tFigure& f : result.Figures.Figures)
    figures.append(py::make_tuple(f.Name, f.Group, f.Key, Python_value(f.Value)));
  py::dict d;
  d["figures"] = figures;
  d["json"] = result.Json;
  d["report"] = result.Report;
  d["warnings"] = result.Warnings;
  d["plots"] = result.Plots ? py::object(Plots(*result.Plots)) : py::object(py::none());
  return d;
}

// The batch's result columns as lists, one value per case (None where not computed).
// While the cases run, the calling thread takes the lock about every tenth of a second to
// hand on Ctrl+C (KeyboardInterrupt stops the batch) and to call progress(done, total),
// whose exception stops it too.
py::dict Batch(const std::string& kind, const std::string& json_text,
               const std::vector<std::string>& ids, const std::vector<std::string>& columns,
               const std::vector<std::vector<std::string>>& values, unsigned threads,
               const py::object& progress) {
  const tAnalysis_request base = Request(kind, json_text, 1);
  tPackage_cases cases{ids, columns, values};
  tPackage_batch batch;
  bool raised = false;  // the interpreter holds the exception that stopped the batch
  const auto poll = [&](std::size_t done, std::size_t total) {
    py::gil_scoped_acquire acquire;
    if (PyErr_CheckSignals() != 0) return !(raised = true);
    if (!progress.is_none()) {
      try {
        progress(done, total);
      } catch (py::error_already_set& e) {
        e.restore();
        return !(raised = true);
      }
    }
    return true;
  };
  try {
    py::gil_scoped_release release;
    batch = Run_package_batch(base, cases, threads, poll);
  } catch (const ECancelled&) {
    if (raised) throw py::error_already_set();
    throw;
  }
  py::dict results;
  for (const std::string& name : batch.Result_names) {
    py::list column;
    for (const tPackage_case_result& c : batch.Cases)
      column.append(c.Computed ? Python_value(c.Figures.At(name).Value) : py::none());
    results[py::str(name)] = column;
  }
  py::list errors;
  for (const tPackage_case_result& c : batch.Cases)
    errors.append(c.Computed ? py::object(py::none()) : py::object(py::str(c.Error)));
  py::dict d;
  d["columns"] = batch.Columns;
  d["case_columns"] = batch.Case_columns;
  d["results"] = results;
  d["errors"] = errors;
  d["csv"] = batch.Csv;
  return d;
}

double Engine_seconds(const std::string& kind, const std::string& json_text, int repeats) {
  const tAnalysis_request request = Request(kind, json_text, 0);
  py::gil_scoped_release release;
  return Package_engine_seconds(request, repeats);
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "Kestrum's analyses: the engine behind kestrum-cli";
  py::register_exception<ERefused_input>(m, "RefusedInput", PyExc_ValueError);
  m.def("run", &Run, py::arg("kind"), py::arg("request_json"), py::arg("engine_threads") = 0,
        "Runs one analysis from its JSON input; a dict of figures, json, report, warnings, plots.");
  m.def("batch", &Batch, py::arg("kind"), py::arg("request_json"), py::arg("ids"),
        py::arg("columns"), py::arg("values"), py::arg("threads") = 0,
        py::arg("progress") = py::none(),
        "Runs cases against one control sample on every core, in the cases' order.");
  m.def("engine_seconds", &Engine_seconds, py::arg("kind"), py::arg("request_json"),
        py::arg("repeats"), "The engine's own mean time for one run, in seconds.");
}
