// SPDX-License-Identifier: GPL-3.0-or-later
// The toolkit's analyses at the app seam (app/toolkit_analysis.h) and their pictures
// (app/plot_geometry.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <ostream>
#include <string>

#include "app/analysis_run.h"
#include "app/toolkit_analysis.h"
#include "app/plot_geometry.h"

namespace {

struct tCase {
  std::array<std::string, 8> Fields;  // the worksheet's eight texts
  tCriteria Criteria;
  tTail Tail;
  tPrior Prior;
};
void PrintTo(const tCase& c, std::ostream* os) {
  *os << "N " << c.Fields[5] << ", case " << c.Fields[6] << " " << c.Fields[7];
}

tAnalysis_request Dissociation_of(const tCase& c, std::int32_t iterations) {
  tAnalysis_request q;
  q.Kind = tAnalysis_kind::Dissociation;
  q.N = c.Fields[5];
  q.Tasks = {{"Task X", c.Fields[0], c.Fields[1], c.Fields[6]},
             {"Task Y", c.Fields[2], c.Fields[3], c.Fields[7]}};
  q.Correlations = {{}, {c.Fields[4]}};
  q.Options.Criteria = c.Criteria;
  q.Options.Tail = c.Tail;
  q.Options.Prior = c.Prior;
  q.Options.Iterations = iterations;
  return q;
}

// A dissociation without covariates is the worksheet's run: the same deficit tests, the
// same BSDT (and RSDT) figures bit for bit, the same classification.
class ToolkitDissociation : public ::testing::TestWithParam<tCase> {};
TEST_P(ToolkitDissociation, WithoutCovariatesIsTheWorksheetsRun) {
  const tCase& c = GetParam();
  constexpr std::int32_t kIterations = 50000;
  tRun_options options;
  options.Criteria = c.Criteria;
  options.Tail = c.Tail;
  options.Prior = c.Prior;
  options.Iterations = kIterations;
  const auto checked = Check_inputs(c.Fields, options);
  ASSERT_TRUE(std::holds_alternative<tChecked_inputs>(checked));
  const tRun_results worksheet = Compute_analysis(std::get<tChecked_inputs>(checked), options);

  const tAnalysis_request q = Dissociation_of(c, kIterations);
  const auto inputs = Check_request(q);
  ASSERT_TRUE(std::holds_alternative<tConditional_inputs>(inputs)) << std::get<std::string>(inputs);
  const tAnalysis_record t = Run_checked_analysis(q, std::get<tConditional_inputs>(inputs));

  for (int j = 0; j < 2; ++j) {
    const tDeficit_results& w = j == 0 ? worksheet.Deficit_x_results : worksheet.Deficit_y_results;
    const tDeficit_results& d = t.Deficit[j];
    EXPECT_EQ(d.T_value, w.T_value);
    EXPECT_EQ(d.P_one_tailed, w.P_one_tailed);
    EXPECT_EQ(d.Zcc_lower, w.Zcc_lower);
    EXPECT_EQ(d.Zcc_upper, w.Zcc_upper);
    EXPECT_EQ(d.Pct_lower, w.Pct_lower);
    EXPECT_EQ(d.Pct_upper, w.Pct_upper);
  }
  EXPECT_EQ(t.Bsdt.P_one_tailed, worksheet.Bsdt.P_one_tailed);
  EXPECT_EQ(t.Bsdt.Zdcc, worksheet.Bsdt.Zdcc);
  EXPECT_EQ(t.Bsdt.Zdcc_lower, worksheet.Bsdt.Zdcc_lower);
  EXPECT_EQ(t.Bsdt.Pct_upper, worksheet.Bsdt.Pct_upper);
  EXPECT_EQ(t.Rsdt_computed, worksheet.Rsdt_computed);
  EXPECT_EQ(t.Rsdt_p_one_tailed, worksheet.Rsdt_p_one_tailed);
  EXPECT_EQ(t.Strong, worksheet.Strong);
  EXPECT_EQ(t.Classical, worksheet.Classical);
  EXPECT_EQ(t.Neither, worksheet.Neither);

  // The case panel shows the same case and correlation as the worksheet's.
  const tResult_plots plots = Toolkit_plots(t);
  EXPECT_DOUBLE_EQ(plots.Case.Case.X, worksheet.Z_x);
  EXPECT_DOUBLE_EQ(plots.Case.Case.Y, worksheet.Z_y);
  EXPECT_FALSE(plots.Posterior.Bars.empty());
}
INSTANTIATE_TEST_SUITE_P(
    Cases, ToolkitDissociation,
    ::testing::Values(
        tCase{{"100", "15", "50", "10", "0.6", "20", "70", "52"}, tCriteria::Bayesian, tTail::Two, tPrior::Calibrated},
        tCase{{"100", "15", "50", "10", "0.6", "20", "60", "38"}, tCriteria::Combined, tTail::One, tPrior::Standard},
        tCase{{"24.5", "3.1", "61.2", "8.4", "0.35", "12", "15", "60"}, tCriteria::Combined, tTail::Two, tPrior::Calibrated},
        tCase{{"0.82", "0.07", "0.79", "0.09", "-0.3", "150", "0.55", "0.81"}, tCriteria::Bayesian, tTail::One, tPrior::Standard}));

// The deficit's panels are titled, labelled and captioned by the geometry with what they
// show (the posterior was once titled "Posterior of Z-DCC" over a Z-CCC axis), and one
// task gets a one-task picture: the case's z on the controls' distribution, or on the
// conditional distribution given the covariates.
TEST(ToolkitPlots, DeficitPanelsShowOneTask) {
  struct tCase {
    const char* effect;
    std::vector<tVariable_texts> covariates;
    std::vector<std::vector<std::string>> correlations;
    double case_z;
    const char* title;
  };
  // Naming: controls 100 (SD 15), case 70, N = 30. With age (65, SD 8, case 78; r = 0.5)
  // the regression predicts 100 + 0.5 * 15 * 13 / 8 = 112.1875 with residual SD
  // 15 sqrt((1 - 0.25) 29 / 28) (Crawford & Garthwaite's conditional model, m = 1).
  const tCase cases[] = {
      {"Z-CCC", {{"age", "65", "8", "78"}}, {{}, {"0.5"}},
       (70 - 112.1875) / (15 * std::sqrt(0.75 * 29 / 28)), "Case given the covariates"},
      {"Z-CC", {}, {{}}, -2.0, "Case against the controls"},
  };
  for (const tCase& c : cases) {
    tAnalysis_request q;
    q.Kind = tAnalysis_kind::Deficit;
    q.N = "30";
    q.Covariates = c.covariates;
    q.Tasks = {{"Naming", "100", "15", "70"}};
    q.Correlations = c.correlations;
    q.Options.Iterations = 20000;
    const tAnalysis_record r = Run_analysis(q);
    const tResult_plots plots = Toolkit_plots(r);
    EXPECT_EQ(plots.Posterior.Title, std::string("Posterior of ") + c.effect);
    EXPECT_EQ(plots.Posterior.X_title, c.effect);
    EXPECT_EQ(plots.Posterior.Estimate_label.rfind(std::string(c.effect) + " = ", 0), 0u);
    EXPECT_EQ(plots.Posterior.Draws, 20000);
    ASSERT_TRUE(plots.One_task);
    const tTask_plot& task = plots.Task;
    EXPECT_EQ(task.Title, c.title);
    EXPECT_NEAR(task.Case_z, c.case_z, 1e-9) << c.effect;
    EXPECT_GE(task.Case_z, task.X_axis.Lower);
    // The standard normal density: 1 / sqrt(2 pi) at 0, symmetric.
    ASSERT_EQ(task.Density.size(), std::size_t{kDensity_points});
    double peak = 0;
    for (const tPlot_point& p : task.Density) {
      peak = std::max(peak, p.Y);
      EXPECT_NEAR(p.Y, std::exp(-0.5 * p.X * p.X) / std::sqrt(2 * M_PI), 1e-15);
    }
    EXPECT_LE(peak, 1 / std::sqrt(2 * M_PI));
    EXPECT_LE(task.X_axis.Lower, -3.5);
    EXPECT_GE(task.X_axis.Upper, 3.5);
    EXPECT_NEAR(task.Central_upper, 1.959963984540054, 1e-15);  // Phi^-1(0.975)
  }
}

}  // namespace
