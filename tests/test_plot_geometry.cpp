// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures' geometry against closed forms: chi-square(2) quantiles, the ellipses'
// quadratic form, extent and area, "nice" steps and axes, and the panels built from a run.
#include "app/plot_geometry.h"
#include "app/text_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <stdexcept>

namespace {

// x' R^-1 x for R = [1 r; r 1].
double Quadratic_form(double r, tPlot_point p) {
  return (p.X * p.X - 2 * r * p.X * p.Y + p.Y * p.Y) / (1 - r * r);
}

// Mantissa of a step: the step over its power of 10, rounded.
double Mantissa(double step) {
  return std::round(step / std::pow(10.0, std::floor(std::log10(step) + 1e-9)) * 1e6) / 1e6;
}

}  // namespace

TEST(PlotGeometry, ChiSquareTwoDfQuantiles) {
  // Chi-square table values (Abramowitz and Stegun, Table 26.8), 2 degrees of freedom.
  const struct {
    double p, c;
  } cases[] = {{0.50, 1.3862943611198906}, {0.95, 5.9914645471079817},
               {0.99, 9.2103403719761836}, {0.10, 0.21072103131565253}};
  for (const auto& k : cases) {
    EXPECT_NEAR(Chi_square_2df_quantile(k.p), k.c, 1e-13) << k.p;
    EXPECT_NEAR(1 - std::exp(-Chi_square_2df_quantile(k.p) / 2), k.p, 1e-15) << k.p;
  }
  for (double bad : {0.0, 1.0, -0.1, 1.5, std::nan("")})
    EXPECT_THROW(Chi_square_2df_quantile(bad), std::invalid_argument) << bad;
}

TEST(PlotGeometry, EllipsePointsSatisfyTheQuadraticForm) {
  for (double r : {-0.95, -0.3, 0.0, 0.6, 0.99}) {
    for (double p : kEllipse_coverages) {
      const double c = Chi_square_2df_quantile(p);
      const auto points = Mahalanobis_ellipse(r, c, kEllipse_points);
      ASSERT_EQ(points.size(), static_cast<std::size_t>(kEllipse_points));
      double max_x = 0, max_y = 0, area = 0;
      for (std::size_t k = 0; k < points.size(); ++k) {
        const tPlot_point a = points[k], b = points[(k + 1) % points.size()];
        EXPECT_NEAR(Quadratic_form(r, a), c, 1e-11 * c) << "r " << r << " point " << k;
        max_x = std::max(max_x, std::abs(a.X));
        max_y = std::max(max_y, std::abs(a.Y));
        area += a.X * b.Y - b.X * a.Y;  // shoelace
      }
      // Extent sqrt(c) on each axis, never exceeded; the points are 2 degrees apart.
      EXPECT_LE(max_x, std::sqrt(c) * (1 + 1e-12));
      EXPECT_GE(max_x, std::sqrt(c) * std::cos(std::numbers::pi / 90));
      EXPECT_NEAR(max_y, max_x, 1e-12 * c);
      // Area pi c sqrt(det R); the inscribed polygon falls short by under 0.1 %.
      const double exact = std::numbers::pi * c * std::sqrt(1 - r * r);
      EXPECT_NEAR(std::abs(area) / 2, exact, 1e-3 * exact) << "r " << r << " p " << p;
    }
  }
  EXPECT_THROW(Mahalanobis_ellipse(1.0, 1, 10), std::invalid_argument);
  EXPECT_THROW(Mahalanobis_ellipse(-1.0, 1, 10), std::invalid_argument);
  EXPECT_THROW(Mahalanobis_ellipse(0.5, 0, 10), std::invalid_argument);
  EXPECT_THROW(Mahalanobis_ellipse(0.5, 1, 2), std::invalid_argument);
}

TEST(PlotGeometry, NiceStepsAreOneTwoOrFiveTimesAPowerOfTen) {
  const struct {
    double raw, step;
  } cases[] = {{0.7, 1},    {1, 1},        {1.01, 2},    {2, 2},     {2.5, 5},
               {5, 5},      {7, 10},       {0.013, 0.02}, {1e-7, 1e-7}, {3e5, 5e5},
               {0.3, 0.5},  {0.1, 0.1}};
  for (const auto& k : cases) EXPECT_DOUBLE_EQ(Nice_step(k.raw), k.step) << k.raw;
  EXPECT_THROW(Nice_step(0), std::invalid_argument);
}

TEST(PlotGeometry, NiceAxesHoldTheRangeOnWholeSteps) {
  const struct {
    double low, high;
    int target;
  } cases[] = {{-3.3, 3.3, 6},  {-9.7, 2.1, 6}, {0, 0.37, 5},   {1e-6, 3e-6, 4},
               {-250, -120, 6}, {0, 2, 4},      {4.2, 4.2, 6},  {-0.01, 14.5, 8}};
  for (const auto& k : cases) {
    const tAxis axis = Nice_axis(k.low, k.high, k.target);
    const double m = Mantissa(axis.Step);
    EXPECT_TRUE(m == 1 || m == 2 || m == 5) << axis.Step;
    EXPECT_LE(axis.Lower, k.low);
    EXPECT_GE(axis.Upper, k.high);
    if (k.low < k.high) {
      EXPECT_GT(axis.Lower + axis.Step, k.low);  // no spare step at either end
      EXPECT_LT(axis.Upper - axis.Step, k.high);
      const double intervals = (axis.Upper - axis.Lower) / axis.Step;
      EXPECT_GE(intervals, k.target / 2.5 - 1e-9) << k.low << " " << k.high;
      EXPECT_LE(intervals, k.target + 2 + 1e-9) << k.low << " " << k.high;
    }
    ASSERT_GE(axis.Ticks.size(), 2u);
    EXPECT_DOUBLE_EQ(axis.Ticks.front(), axis.Lower);
    EXPECT_DOUBLE_EQ(axis.Ticks.back(), axis.Upper);
    for (double t : axis.Ticks)
      EXPECT_NEAR(t / axis.Step, std::round(t / axis.Step), 1e-9) << t;
  }
  EXPECT_THROW(Nice_axis(1, 0), std::invalid_argument);
  EXPECT_THROW(Nice_axis(0, NAN), std::invalid_argument);
}

TEST(PlotGeometry, CasePanelHoldsEllipsesCaseAndDiagonal) {
  const struct {
    double r, z_x, z_y;
    const char* label;
  } cases[] = {{0.6, -1.3333333, -1.0, "Case (z = -1.333, -1.000)"},
               {-0.4, 0.2, 0.1, "Case (z = 0.200, 0.100)"},
               {0.9, -8.25, 1.5, "Case (z = -8.250, 1.500)"},
               {0.0, 12.0, 11.9996, "Case (z = 12.000, 12.000)"}};
  for (const auto& k : cases) {
    const tCase_plot plot = Case_plot(k.r, k.z_x, k.z_y);
    EXPECT_EQ(plot.Case_label, k.label);
    // One range for both axes: z_x = z_y is the diagonal.
    EXPECT_EQ(plot.X_axis.Lower, plot.Y_axis.Lower);
    EXPECT_EQ(plot.X_axis.Upper, plot.Y_axis.Upper);
    const tAxis& a = plot.X_axis;
    for (double z : {k.z_x, k.z_y}) {
      EXPECT_GT(z, a.Lower);
      EXPECT_LT(z, a.Upper);
    }
    ASSERT_EQ(plot.Ellipses.size(), 3u);
    const char* const labels[] = {"50 %", "95 %", "99 %"};
    for (std::size_t e = 0; e < 3; ++e) {
      const tCoverage_ellipse& ellipse = plot.Ellipses[e];
      EXPECT_EQ(ellipse.Label, labels[e]);
      EXPECT_NEAR(Quadratic_form(k.r, ellipse.Label_at), ellipse.Squared_radius, 1e-12);
      EXPECT_DOUBLE_EQ(ellipse.Label_at.Y, std::sqrt(ellipse.Squared_radius));
      for (const tPlot_point& p : ellipse.Points) {
        EXPECT_GE(p.X, a.Lower);
        EXPECT_LE(p.X, a.Upper);
        EXPECT_GE(p.Y, a.Lower);
        EXPECT_LE(p.Y, a.Upper);
      }
    }
  }
  EXPECT_THROW(Case_plot(0.5, NAN, 0), std::invalid_argument);
}

TEST(PlotGeometry, PosteriorPanelFromAHistogram) {
  tBSDT_results bsdt;
  bsdt.Zdcc = 1.25;
  bsdt.Zdcc_lower = 0.4;
  bsdt.Zdcc_upper = 2.125;
  tZdcc_histogram h;
  h.Lower = 0.2;
  h.Upper = 3.2;  // 120 bins of 0.025
  h.Below = 3;
  h.Above = 7;
  h.Counts.assign(kZdcc_bins, 0);
  h.Counts[0] = 40;
  h.Counts[60] = 800;
  h.Counts[119] = 150;
  const tPosterior_plot plot = Posterior_plot(bsdt, h, 95);
  EXPECT_EQ(plot.Draws, 1000);
  ASSERT_EQ(plot.Bars.size(), static_cast<std::size_t>(kZdcc_bins));
  EXPECT_DOUBLE_EQ(plot.Bars.front().Left, 0.2);
  EXPECT_DOUBLE_EQ(plot.Bars.back().Right, 3.2);
  double area = 0;
  for (std::size_t k = 0; k < plot.Bars.size(); ++k) {
    if (k > 0) {
      EXPECT_DOUBLE_EQ(plot.Bars[k].Left, plot.Bars[k - 1].Right);
    }
    area += plot.Bars[k].Density * (plot.Bars[k].Right - plot.Bars[k].Left);
  }
  EXPECT_NEAR(area, 990.0 / 1000, 1e-12);  // the draws inside the bins
  EXPECT_NEAR(plot.Bars[60].Density, 0.8 / 0.025, 1e-9);
  // The axis shows the bins, the line at 0 and the interval; the tallest bar fits.
  EXPECT_LT(plot.X_axis.Lower, 0.0);  // 0 is off the frame
  EXPECT_GT(plot.X_axis.Upper, 3.2);
  EXPECT_EQ(plot.Y_axis.Lower, 0.0);
  EXPECT_GT(plot.Y_axis.Upper, plot.Bars[60].Density);
  EXPECT_EQ(plot.Estimate_label, "Z-DCC = 1.250");
  EXPECT_EQ(plot.Interval_label, "95% credible interval: 0.400 to 2.125");

  tZdcc_histogram empty;  // a run without the draws' histogram
  empty.Counts.assign(kZdcc_bins, 0);
  EXPECT_THROW(Posterior_plot(bsdt, empty, 95), std::invalid_argument);
}

TEST(PlotGeometry, StandardErrorsShowTwoSignificantDigits) {
  const struct {
    double se;
    const char* text;
  } cases[] = {{0, "0.00000"},           {4.1e-5, "0.000041"},  {0.0123, "0.01230"},
               {1.26e-9, "0.0000000013"}, {1e-13, "0.0000000000"}, {0.00049996, "0.00050"}};
  for (const auto& k : cases) EXPECT_EQ(Format_standard_error(k.se), k.text) << k.se;
}

// Both panels from a real run: the captions carry the classification, P and its error.
TEST(PlotGeometry, PanelsOfARun) {
  tChecked_inputs in;
  in.Mean_x = 100, in.Sd_x = 15, in.Mean_y = 50, in.Sd_y = 10, in.R_xy = 0.6;
  in.N_real = 20, in.N = 20, in.Case_x = 70, in.Case_y = 52;
  for (tTail tail : {tTail::Two, tTail::One}) {
    tRun_options options;
    options.Iterations = 20000;
    options.Tail = tail;
    const tRun_results run = Compute_analysis(in, options);
    const tResult_plots plots = Result_plots(run);
    EXPECT_EQ(plots.Posterior.Draws, 20000);
    EXPECT_EQ(plots.Case.Caption, "Case against the controls (N = 20, r = 0.60). Bayesian "
                                  "criteria: " + Classification_text(run) + ".");
    const bool one = tail == tTail::One;
    const double se = static_cast<double>(one ? run.Bsdt_precision.P_one_tailed_mc_se
                                              : run.Bsdt_precision.P_two_tailed_mc_se);
    EXPECT_GT(se, 0);
    const std::string p_text =
        std::string(one ? "One-tailed P = " : "Two-tailed P = ") +
        Format_fixed(one ? run.Bsdt.P_one_tailed : run.Bsdt.P_two_tailed, 1, 5) +
        " (Monte Carlo SE " + Format_standard_error(se) + ")";
    EXPECT_NE(plots.Posterior.Caption.find(p_text), std::string::npos) << plots.Posterior.Caption;
    EXPECT_EQ(plots.Title,
              std::string("Kestrum plots: controls X mean 100.00, SD 15.00; Y mean 50.00, "
                          "SD 10.00; r = 0.60; N = 20; case X = 70.00, Y = 52.00; ") +
                  (one ? "one-tailed" : "two-tailed") + ", calibrated prior, Bayesian criteria");
  }
}
