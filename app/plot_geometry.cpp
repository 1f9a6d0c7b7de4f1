// SPDX-License-Identifier: GPL-3.0-or-later
// Geometry and texts of the two pictures of an analysis run.
//
// Coverage ellipses. In standardized units the controls' scores are bivariate normal with
// means 0, standard deviations 1 and correlation r; the quadratic form x' R^-1 x is then
// chi-square with 2 degrees of freedom, whose distribution function 1 - exp(-c/2) inverts
// in closed form, so the ellipse holding the share p has x' R^-1 x = -2 ln(1 - p). R has
// the eigenvectors (1, 1)/sqrt(2) and (1, -1)/sqrt(2) with eigenvalues 1 + r and 1 - r,
// so x = Q (sqrt(c (1 + r)) cos t, sqrt(c (1 - r)) sin t) runs around that ellipse. Its
// extent on each axis is sqrt(c R_ii) = sqrt(c), reached on top at (r sqrt(c), sqrt(c)).
//
// Axes follow the usual "nice numbers" rule (Heckbert, Graphics Gems, 1990): steps of
// 1, 2 or 5 times a power of 10, the ends rounded outward to whole steps.
#include "app/plot_geometry.h"

#include "app/toolkit_record.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "app/text_format.h"

namespace {

// Room around the case's point, as a share of the plotted range, so that its marker and
// label do not sit on the frame.
constexpr double kCase_margin = 0.08;
// Room left and right of what the posterior panel shows, as a share of its range.
constexpr double kPosterior_margin = 0.03;
// Room above the tallest bar for the labels, as a share of its height.
constexpr double kDensity_headroom = 0.25;

// Format_fixed without the padding.
std::string Number(double value, int decimals) { return Format_fixed(value, 1, decimals); }

}  // namespace

double Chi_square_2df_quantile(double p) {
  if (!(p > 0 && p < 1))
    throw std::invalid_argument("A coverage ellipse needs a share strictly between 0 and 1.");
  return -2 * std::log1p(-p);
}

std::vector<tPlot_point> Mahalanobis_ellipse(double r, double c, int count) {
  if (!(r > -1 && r < 1))
    throw std::invalid_argument("An ellipse of the controls needs a correlation strictly "
                                "between -1 and 1.");
  if (!(c > 0) || !std::isfinite(c) || count < 3)
    throw std::invalid_argument("An ellipse needs a positive finite radius and at least 3 points.");
  const double a = std::sqrt(c * (1 + r));  // half-axis along (1, 1)
  const double b = std::sqrt(c * (1 - r));  // half-axis along (1, -1)
  const double half = std::numbers::sqrt2 / 2;
  std::vector<tPlot_point> points;
  points.reserve(static_cast<std::size_t>(count));
  for (int k = 0; k < count; ++k) {
    const double t = 2 * std::numbers::pi * k / count;
    const double u = a * std::cos(t), v = b * std::sin(t);
    points.push_back({half * (u + v), half * (u - v)});
  }
  return points;
}

double Nice_step(double raw) {
  if (!(raw > 0) || !std::isfinite(raw))
    throw std::invalid_argument("An axis step needs a positive finite span.");
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  // The logarithm may land a hair below a power of 10; the loop then takes mantissa 1 of
  // the power above, which is the same step.
  for (const double mantissa : {1.0, 2.0, 5.0, 10.0}) {
    if (mantissa * power >= raw * (1 - 1e-12)) return mantissa * power;
  }
  return 10 * power;
}

tAxis Nice_axis(double low, double high, int target_intervals) {
  if (!std::isfinite(low) || !std::isfinite(high) || low > high || target_intervals < 1)
    throw std::invalid_argument("An axis needs a finite range with its lower end first.");
  if (low == high) {
    low -= 1;
    high += 1;
  }
  tAxis axis;
  axis.Step = Nice_step((high - low) / target_intervals);
  // Whole multiples of the step, so that every tick is k * Step without accumulated
  // rounding; the tolerance keeps a range end that is already a multiple from gaining a
  // step through rounding of the division.
  const double first = std::floor(low / axis.Step + 1e-9);
  const double last = std::ceil(high / axis.Step - 1e-9);
  axis.Lower = first * axis.Step;
  axis.Upper = last * axis.Step;
  for (double k = first; k <= last; ++k) axis.Ticks.push_back(k * axis.Step);
  return axis;
}

tCase_plot Case_plot(double r, double z_x, double z_y) {
  if (!std::isfinite(z_x) || !std::isfinite(z_y))
    throw std::invalid_argument("The case's z scores are not finite numbers.");
  tCase_plot plot;
  double low = 0, high = 0;
  for (const double coverage : kEllipse_coverages) {
    tCoverage_ellipse e;
    e.Coverage = coverage;
    e.Squared_radius = Chi_square_2df_quantile(coverage);
    e.Label = std::to_string(static_cast<int>(std::lround(coverage * 100))) + " %";
    e.Points = Mahalanobis_ellipse(r, e.Squared_radius, kEllipse_points);
    const double extent = std::sqrt(e.Squared_radius);
    e.Label_at = {r * extent, extent};
    low = std::min(low, -extent);
    high = std::max(high, extent);
    plot.Ellipses.push_back(std::move(e));
  }
  low = std::min({low, z_x, z_y});
  high = std::max({high, z_x, z_y});
  const double margin = kCase_margin * (high - low);
  plot.X_axis = Nice_axis(low - margin, high + margin);
  plot.Y_axis = plot.X_axis;
  plot.Case = {z_x, z_y};
  plot.Case_label = "Case (z = " + Number(z_x, 3) + ", " + Number(z_y, 3) + ")";
  return plot;
}

tPosterior_plot Posterior_plot(const tBSDT_results& bsdt, const tZdcc_histogram& histogram,
                               int level, const std::string& effect) {
  tPosterior_plot plot;
  std::int64_t draws = histogram.Below + histogram.Above;
  for (const std::int64_t count : histogram.Counts) draws += count;
  if (histogram.Counts.empty() || draws <= 0 || !std::isfinite(histogram.Lower) ||
      !std::isfinite(histogram.Upper) || histogram.Upper < histogram.Lower)
    throw std::invalid_argument("The analysis holds no histogram of the " + effect + " draws.");
  plot.Draws = draws;
  plot.Below = histogram.Below;
  plot.Above = histogram.Above;
  plot.Zdcc = static_cast<double>(bsdt.Zdcc);
  plot.Interval_lower = static_cast<double>(bsdt.Zdcc_lower);
  plot.Interval_upper = static_cast<double>(bsdt.Zdcc_upper);
  plot.Level = level;

  // All draws equal (only in degenerate runs): one bar of nominal width around them.
  const std::size_t bins = histogram.Counts.size();
  double left = histogram.Lower, width = (histogram.Upper - histogram.Lower) / bins;
  if (!(width > 0)) {
    width = 0.1 / bins;
    left = histogram.Lower - width * bins / 2;
  }
  double tallest = 0;
  for (std::size_t k = 0; k < bins; ++k) {
    tHistogram_bar bar;
    bar.Left = left + width * k;
    bar.Right = k + 1 == bins ? left + width * bins : left + width * (k + 1);
    bar.Density = static_cast<double>(histogram.Counts[k]) / (static_cast<double>(draws) * width);
    tallest = std::max(tallest, bar.Density);
    plot.Bars.push_back(bar);
  }

  const double low = std::min({plot.Bars.front().Left, 0.0, plot.Zdcc, plot.Interval_lower});
  const double high = std::max({plot.Bars.back().Right, 0.0, plot.Zdcc, plot.Interval_upper});
  // A margin keeps the line at 0 and the outer bars off the frame.
  const double margin = kPosterior_margin * (high - low);
  plot.X_axis = Nice_axis(low - margin, high + margin);
  plot.Y_axis = Nice_axis(0, tallest > 0 ? tallest * (1 + kDensity_headroom) : 1, 5);
  plot.Title = "Posterior of " + effect;
  plot.X_title = effect;
  plot.Estimate_label = effect + " = " + Number(plot.Zdcc, 3);
  plot.Interval_label = std::to_string(level) + "% credible interval: " +
                        Number(plot.Interval_lower, 3) + " to " + Number(plot.Interval_upper, 3);
  return plot;
}

std::string Classification_text(const tRun_results& results) {
  return Words(results.Classification).Caption;
}

namespace {

// An input as the report shows it: with the decimals its text had, at least two.
std::string Input_text(const tFigure_table& f, const char* name) {
  return Number(static_cast<double>(f.Number(name)), std::max(2, f.At(name).Text_decimals));
}

}  // namespace

std::string Case_plot_caption(const tRun_results& results) {
  const tFigure_table& f = results.Figures;
  return std::string("Case against the controls (N = ") + std::to_string(f.Whole("n")) +
         ", r = " + Input_text(f, "r") + "). " +
         Words(results.Options.Criteria).Long_caption + ": " + Classification_text(results) +
         ".";
}

std::string Format_standard_error(double se) {
  int decimals = 5;
  if (se > 0 && std::isfinite(se))
    decimals = std::clamp(1 - static_cast<int>(std::floor(std::log10(se))), 5, 10);
  return Number(se, decimals);
}

std::string Posterior_plot_caption(const tRun_results& results) {
  const tFigure_table& f = results.Figures;
  const bool one_tailed = results.Options.Tail == tTail::One;
  const double p = static_cast<double>(f.Number(one_tailed ? "bsdt_p_one_tailed" : "bsdt_p_two_tailed"));
  const double se = static_cast<double>(
      f.Number(one_tailed ? "bsdt_p_one_tailed_mc_se" : "bsdt_p_two_tailed_mc_se"));
  std::string tail = Words(results.Options.Tail).Caption;
  tail[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(tail[0])));
  return "Posterior of Z-DCC, " + std::string(Words(results.Options.Prior).Caption) + ", " +
         std::to_string(f.Whole("iterations")) + " draws. " + tail + " P = " + Number(p, 5) +
         " (Monte Carlo SE " + Format_standard_error(se) + ").";
}

std::string Plot_title(const tRun_results& results) {
  const tFigure_table& f = results.Figures;
  const auto n = [&f](const char* name) { return Input_text(f, name); };
  return "Kestrum plots: controls X mean " + n("mean_x") + ", SD " + n("sd_x") + "; Y mean " +
         n("mean_y") + ", SD " + n("sd_y") + "; r = " + n("r") + "; N = " +
         std::to_string(f.Whole("n")) + "; case X = " + n("case_x") + ", Y = " + n("case_y") +
         "; " + Words(results.Options.Tail).Caption + ", " + Words(results.Options.Prior).Caption +
         ", " + Words(results.Options.Criteria).Caption;
}

tResult_plots Result_plots(const tRun_results& results) {
  tResult_plots plots;
  plots.Case = Case_plot(results.Inputs.R_xy, results.Z_x, results.Z_y);
  plots.Case.Caption = Case_plot_caption(results);
  plots.Posterior = Posterior_plot(results.Bsdt, results.Bsdt_precision.Zdcc_histogram,
                                   kCredible_level);
  plots.Posterior.Caption = Posterior_plot_caption(results);
  plots.Title = Plot_title(results);
  return plots;
}

tTask_plot Task_plot(double z, const std::string& task, bool conditional) {
  if (!std::isfinite(z)) throw std::invalid_argument("The case's z score is not a finite number.");
  tTask_plot plot;
  plot.Case_z = z;
  plot.Central_lower = -kCentral_95_z;
  plot.Central_upper = kCentral_95_z;
  // The curve to 3.5 SDs each way (all but 0.05 % of the controls), and the case.
  constexpr double kReach = 3.5;
  const double low = std::min(-kReach, z), high = std::max(kReach, z);
  plot.X_axis = Nice_axis(low - kCase_margin * (high - low), high + kCase_margin * (high - low));
  constexpr double kPeak = 0.3989422804014327;  // 1 / sqrt(2 pi), the density at 0
  plot.Y_axis = Nice_axis(0, kPeak * (1 + kDensity_headroom), 5);
  const double step = (plot.X_axis.Upper - plot.X_axis.Lower) / (kDensity_points - 1);
  for (int k = 0; k < kDensity_points; ++k) {
    const double x = plot.X_axis.Lower + k * step;
    plot.Density.push_back({x, kPeak * std::exp(-0.5 * x * x)});
  }
  if (conditional) plot.Title = "Case given the covariates";
  plot.X_title = task + (conditional ? " given the covariates (z)" : " (z)");
  plot.Case_label = "Case (z = " + Number(z, 3) + ")";
  plot.Central_label = conditional ? "controls' central 95 %, given the covariates"
                                   : "controls' central 95 %";
  plot.Caption = conditional ? "The case on the controls' distribution for the case's covariate values"
                             : "The case on the controls' distribution";
  return plot;
}

tResult_plots Toolkit_plots(const tAnalysis_record& r) {
  if (r.Kind == tAnalysis_kind::Udt)
    throw std::invalid_argument("The unstandardized difference test has no pictures.");
  // The points and the correlations come from the record's figures.
  const tFigure_table f = Toolkit_figures(r);
  const auto number = [&f](const std::string& name) { return static_cast<double>(f.Number(name)); };
  tResult_plots plots;
  const bool covariates = r.Model.M > 0;
  if (r.Kind == tAnalysis_kind::Dissociation) {
    // The tasks' distances from the controls (given the covariates: from the case's
    // predicted scores, in residual SDs, with the residual correlation).
    plots.Case = covariates ? Case_plot(number("model_residual_r"), number("model_x_z"), number("model_y_z"))
                            : Case_plot(number("r"), number("z_x"), number("z_y"));
    const std::string given = covariates ? " given the covariates (z)" : " (z)";
    plots.Case.X_title = r.Inputs.Tasks[0].Name + given;
    plots.Case.Y_title = r.Inputs.Tasks[1].Name + given;
    if (covariates) plots.Case.Title = "Case given the covariates";
    plots.Case.Caption = covariates ? "The case among the controls with the case's covariate values"
                                    : "The case among the controls";
    plots.Posterior = Posterior_plot(r.Bsdt, r.Bsdt_precision.Zdcc_histogram, kCredible_level, "Z-DCC");
    plots.Posterior.Caption = "Posterior of Z-DCC, " + std::string(Words(r.Options.Prior).Caption);
    plots.Title = r.Inputs.Tasks[0].Name + " and " + r.Inputs.Tasks[1].Name + ", N = " +
                  std::to_string(r.Inputs.N) + ", " + std::to_string(r.Model.M) + " covariate(s)";
    return plots;
  }
  // Deficit: the case on the controls' distribution of the task, or with covariates on
  // the conditional distribution given the case's covariate values.
  const tVariable_summary& y = r.Inputs.Tasks[0];
  plots.One_task = true;
  plots.Task = Task_plot(covariates ? number("model_z") : static_cast<double>((y.Case - y.Mean) / y.Sd),
                         y.Name, covariates);
  tBSDT_results as_posterior;
  as_posterior.Zdcc = r.Bayesian.Zccc;
  as_posterior.Zdcc_lower = r.Bayesian.Zccc_lower;
  as_posterior.Zdcc_upper = r.Bayesian.Zccc_upper;
  const std::string effect = covariates ? "Z-CCC" : "Z-CC";
  plots.Posterior = Posterior_plot(as_posterior, r.Bayesian.Histogram, kCredible_level, effect);
  plots.Posterior.Caption = "Posterior of " + effect;
  plots.Title = y.Name + ", N = " + std::to_string(r.Inputs.N) + ", " +
                std::to_string(r.Model.M) + " covariate(s)";
  return plots;
}
