// SPDX-License-Identifier: GPL-3.0-or-later
// What the two pictures of an analysis run show, in plot units and plain text, so that a
// window only has to draw it: the case among the controls (the controls' bivariate normal
// in standardized units, its coverage ellipses and the case's point) and the posterior of
// Z-DCC (the histogram of the Monte Carlo draws, the point estimate and the credible
// interval). No drawing toolkit here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/analysis_run.h"
#include "app/toolkit_analysis.h"

struct tPlot_point {
  double X = 0, Y = 0;
};

// Squared radius c of the ellipse x' R^-1 x = c that holds the share p of a bivariate
// normal population: x' R^-1 x is chi-square with 2 degrees of freedom, whose quantile
// has the closed form -2 ln(1 - p). p must lie in (0, 1).
double Chi_square_2df_quantile(double p);

// count points (count >= 3) on the ellipse x' R^-1 x = c of the standardized bivariate
// normal with correlation r (R = [1 r; r 1], -1 < r < 1), in order around it, the first
// on the major axis; the closing point is not repeated.
std::vector<tPlot_point> Mahalanobis_ellipse(double r, double c, int count);

// One axis: Lower and Upper are whole multiples of Step, which is 1, 2 or 5 times a power
// of 10; Ticks run from Lower to Upper by Step.
struct tAxis {
  double Lower = 0, Upper = 1, Step = 1;
  std::vector<double> Ticks;
};

// The smallest 1, 2 or 5 times a power of 10 that is at least raw (raw > 0, finite).
double Nice_step(double raw);

// An axis over at least [low, high] (finite, low <= high; an empty range is widened by 1
// each way) with Step = Nice_step((high - low) / target_intervals), so that it has from
// target_intervals / 2.5 to target_intervals + 2 intervals.
tAxis Nice_axis(double low, double high, int target_intervals = 6);

// The shares of the control population inside the three ellipses.
constexpr std::array<double, 3> kEllipse_coverages = {0.50, 0.95, 0.99};
// Points per ellipse: one every 2 degrees of the parameter.
constexpr int kEllipse_points = 180;

struct tCoverage_ellipse {
  double Coverage = 0;        // 0.50, 0.95, 0.99
  double Squared_radius = 0;  // Chi_square_2df_quantile(Coverage)
  std::string Label;          // "50 %", "95 %", "99 %"
  std::vector<tPlot_point> Points;
  tPlot_point Label_at;  // where the label goes: the ellipse's top, (r sqrt(c), sqrt(c))
};

// The case among the controls. Both axes share one range, so that with equal scales the
// line z_x = z_y runs from corner to corner; the range holds every ellipse (each spans
// exactly -sqrt(c) .. sqrt(c) on both axes) and the case's point with a margin.
struct tCase_plot {
  std::vector<tCoverage_ellipse> Ellipses;
  tAxis X_axis, Y_axis;
  tPlot_point Case;
  std::string Title = "Case against the controls";
  std::string X_title = "Task X (z)", Y_title = "Task Y (z)";
  std::string Case_label;  // "Case (z = -1.333, -1.000)"
  std::string Caption;
  // The legend's entries for the ellipses and for the dashed line.
  std::string Regions_label = "controls' 50/95/99 % regions", Diagonal_label = "z_x = z_y";
};

tCase_plot Case_plot(double r, double z_x, double z_y);

// One bar of the Z-DCC histogram: its edges and its height as a density (the share of all
// draws in the bar over its width), so that the bars' area is the share of draws plotted.
struct tHistogram_bar {
  double Left = 0, Right = 0, Density = 0;
};

struct tPosterior_plot {
  std::vector<tHistogram_bar> Bars;
  std::int64_t Draws = 0;
  std::int64_t Below = 0, Above = 0;  // draws beyond the first and the last bar
  double Zdcc = 0;                    // the point estimate
  double Interval_lower = 0, Interval_upper = 0;
  int Level = 95;
  tAxis X_axis, Y_axis;
  std::string Title = "Posterior of Z-DCC";
  std::string X_title = "Z-DCC", Y_title = "Density";
  std::string Estimate_label;  // "Z-DCC = -0.667"
  std::string Interval_label;  // "95% credible interval: -1.234 to -0.123"
  std::string Caption;
};

// From the histogram of the engine's draws and its results; refuses (std::invalid_argument)
// a histogram without bins or draws.
// effect names the quantity drawn ("Z-DCC"; "Z-CC" or "Z-CCC" for the Bayesian deficit
// test): the x axis's title and the estimate's label.
tPosterior_plot Posterior_plot(const tBSDT_results& bsdt, const tZdcc_histogram& histogram,
                               int level, const std::string& effect = "Z-DCC");

// The classification of a run in words: "strong dissociation", "dissociation, putatively
// classical" or "neither a strong nor a classical dissociation".
std::string Classification_text(const tRun_results& results);

// The captions of the two panels for a run.
std::string Case_plot_caption(const tRun_results& results);
std::string Posterior_plot_caption(const tRun_results& results);

// A Monte Carlo standard error with two significant digits (at least 5 decimals, as the
// report gives P, at most 10).
std::string Format_standard_error(double se);

// The inputs and options of a run in one line, for the title of an exported picture.
std::string Plot_title(const tRun_results& results);

// The case on one task: the density of the controls' standardized scores (the standard
// normal; given covariates, the conditional distribution of the task given the case's
// covariate values, in residual SDs from the case's predicted score), its central 95 %
// shaded, and the case's z on it.
struct tTask_plot {
  std::vector<tPlot_point> Density;  // kDensity_points points across the x axis
  double Central_lower = 0, Central_upper = 0;  // the controls' central 95 %
  double Case_z = 0;
  tAxis X_axis, Y_axis;
  std::string Title = "Case against the controls";
  std::string X_title, Y_title = "Density";
  std::string Case_label;     // "Case (z = -2.000)"
  std::string Central_label;  // "controls' central 95 %"
  std::string Curve_label = "controls' distribution";
  std::string Caption;
};
constexpr int kDensity_points = 201;
// The standard normal's 97.5 % quantile: the central 95 % lies within +-kCentral_95_z.
constexpr double kCentral_95_z = 1.959963984540054;

// z: the case's standardized score; conditional: the distribution is the controls' given
// the covariates.
tTask_plot Task_plot(double z, const std::string& task, bool conditional);

// Both panels of a run, with the captions filled in. A one-task analysis draws Task in
// place of Case.
struct tResult_plots {
  bool One_task = false;
  tTask_plot Task;
  tCase_plot Case;
  tPosterior_plot Posterior;
  std::string Title;
};
tResult_plots Result_plots(const tRun_results& results);

// The two pictures of a toolkit analysis:
//   deficit: the case on the controls' distribution of the task (given the covariates, on
//     the conditional distribution for the case's covariate values), and the posterior of
//     Z-CCC (Z-CC without covariates);
//   dissociation: the case among the controls' residuals given the covariates (the tasks'
//     distances from their predictions in residual SDs, with the residual correlation),
//     and the posterior of Z-DCC.
// The unstandardized difference test has no pictures: refused (std::invalid_argument).
tResult_plots Toolkit_plots(const tAnalysis_record& results);
