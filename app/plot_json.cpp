// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/plot_json.h"

#include <vector>

#include "app/record_writers.h"
#include "distrib/number_text.h"

namespace {

std::string Num(double x) { return Shortest_text(x); }

std::string Point_json(const tPlot_point& p) { return "[" + Num(p.X) + "," + Num(p.Y) + "]"; }

std::string Points_json(const std::vector<tPlot_point>& points) {
  std::string s = "[";
  for (std::size_t i = 0; i < points.size(); ++i) s += (i ? "," : "") + Point_json(points[i]);
  return s + "]";
}

std::string Axis_json(const tAxis& a) {
  std::string s = "{\"lower\":" + Num(a.Lower) + ",\"upper\":" + Num(a.Upper) +
                  ",\"step\":" + Num(a.Step) + ",\"ticks\":[";
  for (std::size_t i = 0; i < a.Ticks.size(); ++i) s += (i ? "," : "") + Num(a.Ticks[i]);
  return s + "]}";
}

}  // namespace

std::string Plots_json(const tResult_plots& plots) {
  const tCase_plot& c = plots.Case;
  std::string s = "{\"title\":" + Json_string(plots.Title);
  if (plots.One_task) {
    // One task: the case on the controls' (or the conditional) distribution, in place of
    // the two tasks' ellipses.
    const tTask_plot& t = plots.Task;
    s += ",\"task\":{\"title\":" + Json_string(t.Title) + ",\"density\":" +
         Points_json(t.Density) + ",\"central\":[" + Num(t.Central_lower) + "," +
         Num(t.Central_upper) + "],\"case_z\":" + Num(t.Case_z) + ",\"x_axis\":" +
         Axis_json(t.X_axis) + ",\"y_axis\":" + Axis_json(t.Y_axis) +
         ",\"x_title\":" + Json_string(t.X_title) + ",\"y_title\":" + Json_string(t.Y_title) +
         ",\"point_label\":" + Json_string(t.Case_label) +
         ",\"central_label\":" + Json_string(t.Central_label) +
         ",\"curve_label\":" + Json_string(t.Curve_label) +
         ",\"caption\":" + Json_string(t.Caption) + "}";
  }
  s += ",\"case\":{\"title\":" + Json_string(c.Title) + ",\"ellipses\":[";
  for (std::size_t i = 0; i < c.Ellipses.size(); ++i) {
    const tCoverage_ellipse& e = c.Ellipses[i];
    s += (i ? "," : "") + std::string("{\"label\":") + Json_string(e.Label) +
         ",\"points\":" + Points_json(e.Points) + ",\"label_at\":" + Point_json(e.Label_at) + "}";
  }
  s += "],\"x_axis\":" + Axis_json(c.X_axis) + ",\"y_axis\":" + Axis_json(c.Y_axis) +
       ",\"point\":" + Point_json(c.Case) + ",\"x_title\":" + Json_string(c.X_title) +
       ",\"y_title\":" + Json_string(c.Y_title) + ",\"point_label\":" + Json_string(c.Case_label) +
       ",\"regions_label\":" + Json_string(c.Regions_label) +
       ",\"diagonal_label\":" + Json_string(c.Diagonal_label) +
       ",\"caption\":" + Json_string(c.Caption) + "},";
  const tPosterior_plot& p = plots.Posterior;
  s += "\"posterior\":{\"title\":" + Json_string(p.Title) + ",\"bars\":[";
  for (std::size_t i = 0; i < p.Bars.size(); ++i)
    s += (i ? "," : "") + std::string("[") + Num(p.Bars[i].Left) + "," + Num(p.Bars[i].Right) +
         "," + Num(p.Bars[i].Density) + "]";
  s += "],\"draws\":" + std::to_string(p.Draws) + ",\"zdcc\":" + Num(p.Zdcc) +
       ",\"interval\":[" + Num(p.Interval_lower) + "," + Num(p.Interval_upper) +
       "],\"x_axis\":" + Axis_json(p.X_axis) + ",\"y_axis\":" + Axis_json(p.Y_axis) +
       ",\"x_title\":" + Json_string(p.X_title) + ",\"y_title\":" + Json_string(p.Y_title) +
       ",\"estimate_label\":" + Json_string(p.Estimate_label) +
       ",\"interval_label\":" + Json_string(p.Interval_label) +
       ",\"caption\":" + Json_string(p.Caption) + "}}";
  return s;
}
