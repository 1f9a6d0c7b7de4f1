// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the conditional model (stats/conditional_model.h), the test for a deficit
// allowing for covariates (stats/covariate_deficit.h) and the unstandardized difference
// test (stats/unstandardized_difference.h).
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "distrib/distrib.h"
#include "stats/conditional_model.h"
#include "stats/covariate_deficit.h"
#include "stats/metrics_papers.h"
#include "stats/unstandardized_difference.h"

namespace {

using tMatrix_rows = std::vector<std::vector<Extended>>;

// The five control samples and cases of tests/data/frequentist.json (its "inputs").
struct tReference_inputs {
  double Mean_x, Sd_x, Mean_y, Sd_y, R_xy, N, Case_x, Case_y;
};
const tReference_inputs kReference[] = {
    {100, 15, 50, 10, 0.6, 20, 80, 40},   {100, 15, 50, 10, 0.6, 20, 70, 52},
    {24.5, 3.1, 61.2, 8.4, 0.35, 12, 25, 38}, {10, 2.5, 10, 2.5, 0.2, 3, 2, 9},
    {0.82, 0.07, 0.79, 0.09, -0.3, 150, 0.55, 0.81},
};

tConditional_inputs One_task(std::int32_t n, double mean, double sd, double case_score) {
  tConditional_inputs in;
  in.N = n;
  in.Tasks = {{"Y", mean, sd, case_score}};
  in.Correlations = {{1}};
  return in;
}

void Expect_same_record(const tDeficit_results& a, const tDeficit_results& b) {
  EXPECT_EQ(a.T_value, b.T_value);
  EXPECT_EQ(a.Df, b.Df);
  EXPECT_EQ(a.P_one_tailed, b.P_one_tailed);
  EXPECT_EQ(a.P_two_tailed, b.P_two_tailed);
  EXPECT_EQ(a.Pct_below, b.Pct_below);
  EXPECT_EQ(a.Pct_lower, b.Pct_lower);
  EXPECT_EQ(a.Pct_upper, b.Pct_upper);
  EXPECT_EQ(a.Zcc, b.Zcc);
  EXPECT_EQ(a.Zcc_lower, b.Zcc_lower);
  EXPECT_EQ(a.Zcc_upper, b.Zcc_upper);
}

// Without covariates the test is the deficit test with its intervals, bit for bit, on
// both tasks of every reference case.
TEST(CovariateDeficit, WithoutCovariatesIsTheDeficitTestBitForBit) {
  for (const auto& c : kReference) {
    for (int task = 0; task < 2; ++task) {
      const double mean = task == 0 ? c.Mean_x : c.Mean_y;
      const double sd = task == 0 ? c.Sd_x : c.Sd_y;
      const double score = task == 0 ? c.Case_x : c.Case_y;
      tDeficit_results expected, got;
      Deficit_test_intervals(true, expected, score, mean, sd, c.N, 95);
      const tConditional_model model =
          Build_conditional_model(One_task(static_cast<std::int32_t>(c.N), mean, sd, score));
      EXPECT_EQ(model.Leverage_factor, 1);
      EXPECT_EQ(model.Predicted[0], static_cast<Extended>(mean));
      EXPECT_EQ(model.Residual_sd[0], static_cast<Extended>(sd));
      Covariate_deficit_test(true, got, Task_of(model, 0), 95);
      SCOPED_TRACE("N = " + std::to_string(c.N) + ", task " + std::to_string(task));
      Expect_same_record(got, expected);
    }
  }
}

// Two tasks and no covariates: the residual correlation is the correlation itself.
TEST(ConditionalModel, WithoutCovariatesKeepsTheControlsFigures) {
  for (const auto& c : kReference) {
    tConditional_inputs in;
    in.N = static_cast<std::int32_t>(c.N);
    in.Tasks = {{"X", c.Mean_x, c.Sd_x, c.Case_x}, {"Y", c.Mean_y, c.Sd_y, c.Case_y}};
    in.Correlations = {{1, c.R_xy}, {c.R_xy, 1}};
    const tConditional_model m = Build_conditional_model(in, 3);
    EXPECT_EQ(m.Residual_r, static_cast<Extended>(c.R_xy));
    EXPECT_EQ(m.Residual_sd[1], static_cast<Extended>(c.Sd_y));
    EXPECT_EQ(m.Df, in.N - 1);
    EXPECT_EQ(m.Leverage, m.Leverage_factor / in.N);
  }
}

// One covariate: the textbook simple regression (slope r sy/sx, SSE (1 - r^2)(N - 1) sy^2,
// leverage 1/N + (x* - x-bar)^2 / ((N - 1) sx^2)) and its prediction-interval t.
struct tSimple_case {
  std::int32_t N;
  double Mean_x, Sd_x, Case_x, Mean_y, Sd_y, Case_y, R;
};
void PrintTo(const tSimple_case& c, std::ostream* os) { *os << "N " << c.N << ", r " << c.R; }
class SimpleRegression : public ::testing::TestWithParam<tSimple_case> {};
TEST_P(SimpleRegression, MatchesTheTextbookFormulas) {
  const tSimple_case c = GetParam();
  tConditional_inputs in;
  in.N = c.N;
  in.Covariates = {{"age", c.Mean_x, c.Sd_x, c.Case_x}};
  in.Tasks = {{"Y", c.Mean_y, c.Sd_y, c.Case_y}};
  in.Correlations = {{1, c.R}, {c.R, 1}};
  const tConditional_model m = Build_conditional_model(in);

  const double n = c.N;
  const double predicted = c.Mean_y + c.R * c.Sd_y / c.Sd_x * (c.Case_x - c.Mean_x);
  const double sse = (1 - c.R * c.R) * (n - 1) * c.Sd_y * c.Sd_y;
  const double s = std::sqrt(sse / (n - 2));
  const double dx = c.Case_x - c.Mean_x;
  const double h = 1 / n + dx * dx / ((n - 1) * c.Sd_x * c.Sd_x);
  EXPECT_NEAR(static_cast<double>(m.Predicted[0]), predicted, 1e-12 * std::fabs(predicted) + 1e-13);
  EXPECT_NEAR(static_cast<double>(m.Residual_sd[0]), s, 1e-12 * s);
  EXPECT_NEAR(static_cast<double>(m.E[0]), sse, 1e-12 * sse);
  EXPECT_NEAR(static_cast<double>(m.Leverage), h, 1e-14);
  EXPECT_EQ(m.Df, c.N - 2);

  tDeficit_results r;
  Covariate_deficit_test(true, r, Task_of(m, 0), 95);
  const double t = (c.Case_y - predicted) / (s * std::sqrt(1 + h));
  EXPECT_NEAR(static_cast<double>(r.T_value), t, 1e-10);
  EXPECT_NEAR(static_cast<double>(r.Zcc), (c.Case_y - predicted) / s, 1e-10);
  EXPECT_EQ(r.Df, c.N - 2);
  // The one-tailed p is the t distribution's tail at |t| on N - 2 degrees of freedom.
  tT_distribution t_dist(n - 2);
  EXPECT_NEAR(static_cast<double>(r.P_one_tailed),
              static_cast<double>(1 - t_dist.Cdf(std::fabs(t))), 1e-9);
  EXPECT_NEAR(static_cast<double>(r.Pct_below), static_cast<double>(100 * t_dist.Cdf(t)), 1e-7);
  // The Z-CCC limits: the observed t' = Z-CCC / sqrt(h) is the 97.5 % quantile of the
  // non-central t at the lower limit's delta and the 2.5 % quantile at the upper one's.
  const Extended t_prime = r.Zcc / std::sqrt(static_cast<Extended>(h));
  tNon_central_t_distribution lower(n - 2, r.Zcc_lower / std::sqrt(static_cast<Extended>(h)));
  tNon_central_t_distribution upper(n - 2, r.Zcc_upper / std::sqrt(static_cast<Extended>(h)));
  EXPECT_NEAR(static_cast<double>(lower.Cdf(t_prime)), 0.975, 1e-5);
  EXPECT_NEAR(static_cast<double>(upper.Cdf(t_prime)), 0.025, 1e-5);
  EXPECT_LT(r.Zcc_lower, r.Zcc);
  EXPECT_LT(r.Zcc, r.Zcc_upper);
  EXPECT_LT(r.Pct_lower, r.Pct_below);
  EXPECT_LT(r.Pct_below, r.Pct_upper);
}
INSTANTIATE_TEST_SUITE_P(
    Cases, SimpleRegression,
    ::testing::Values(tSimple_case{20, 50, 10, 60, 100, 15, 80, 0.6},
                      tSimple_case{12, 70, 8, 55, 30, 4, 25, -0.4},
                      tSimple_case{40, 12, 3, 12, 0.8, 0.1, 0.95, 0.3},
                      tSimple_case{5, 100, 15, 140, 20, 5, 10, 0.8}));

// Two covariates, checked against the regression in raw units: S_xx inverted by its
// 2 x 2 formula.
TEST(ConditionalModel, TwoCovariatesMatchRawUnitRegression) {
  const double n = 25;
  const double mx[2] = {45, 13}, sx[2] = {12, 2.5}, cx[2] = {70, 10};
  const double my = 100, sy = 15, cy = 78;
  const double r12 = 0.35, r1y = 0.5, r2y = 0.45;
  tConditional_inputs in;
  in.N = 25;
  in.Covariates = {{"age", mx[0], sx[0], cx[0]}, {"education", mx[1], sx[1], cx[1]}};
  in.Tasks = {{"Y", my, sy, cy}};
  in.Correlations = {{1, r12, r1y}, {r12, 1, r2y}, {r1y, r2y, 1}};
  const tConditional_model m = Build_conditional_model(in);

  const double s11 = sx[0] * sx[0], s22 = sx[1] * sx[1], s12 = r12 * sx[0] * sx[1];
  const double det = s11 * s22 - s12 * s12;
  const double i11 = s22 / det, i22 = s11 / det, i12 = -s12 / det;
  const double sxy[2] = {r1y * sx[0] * sy, r2y * sx[1] * sy};
  const double beta[2] = {i11 * sxy[0] + i12 * sxy[1], i12 * sxy[0] + i22 * sxy[1]};
  const double d[2] = {cx[0] - mx[0], cx[1] - mx[1]};
  const double predicted = my + beta[0] * d[0] + beta[1] * d[1];
  const double e = (n - 1) * (sy * sy - (beta[0] * sxy[0] + beta[1] * sxy[1]));
  const double q = d[0] * (i11 * d[0] + i12 * d[1]) + d[1] * (i12 * d[0] + i22 * d[1]);
  EXPECT_NEAR(static_cast<double>(m.Predicted[0]), predicted, 1e-11);
  EXPECT_NEAR(static_cast<double>(m.E[0]), e, 1e-9);
  EXPECT_NEAR(static_cast<double>(m.Residual_sd[0]), std::sqrt(e / (n - 3)), 1e-12);
  EXPECT_NEAR(static_cast<double>(m.Leverage), 1 / n + q / (n - 1), 1e-14);
}

// Two tasks with one covariate: E of the pair and the residual correlation.
TEST(ConditionalModel, ResidualCorrelationOfTwoTasks) {
  tConditional_inputs in;
  in.N = 30;
  in.Covariates = {{"age", 60, 10, 75}};
  in.Tasks = {{"X", 50, 10, 35}, {"Y", 20, 4, 19}};
  const double rax = 0.5, ray = 0.3, rxy = 0.6;
  in.Correlations = {{1, rax, ray}, {rax, 1, rxy}, {ray, rxy, 1}};
  const tConditional_model m = Build_conditional_model(in, 3);
  const double partial = (rxy - rax * ray) / std::sqrt((1 - rax * rax) * (1 - ray * ray));
  EXPECT_NEAR(static_cast<double>(m.Residual_r), partial, 1e-15);
  EXPECT_NEAR(static_cast<double>(m.E[1]), 29 * 10 * 4 * (rxy - rax * ray), 1e-10);
  EXPECT_EQ(m.E[1], m.E[2]);
  EXPECT_NEAR(static_cast<double>(m.Predicted[1]), 20 + 4 * ray * 1.5, 1e-13);
}

// Renaming, reordering or rescaling the covariates changes nothing but rounding.
TEST(ConditionalModel, CovariateOrderAndUnitsDoNotMatter) {
  tConditional_inputs a;
  a.N = 18;
  a.Covariates = {{"age", 60, 10, 48}, {"years", 12, 3, 16}};
  a.Tasks = {{"Y", 40, 6, 31}};
  a.Correlations = {{1, -0.2, 0.4}, {-0.2, 1, 0.5}, {0.4, 0.5, 1}};
  tConditional_inputs b = a;
  b.Covariates = {{"months", 144, 36, 192}, {"age", 60, 10, 48}};
  b.Correlations = {{1, -0.2, 0.5}, {-0.2, 1, 0.4}, {0.5, 0.4, 1}};
  const tConditional_model ma = Build_conditional_model(a), mb = Build_conditional_model(b);
  EXPECT_NEAR(static_cast<double>(ma.Predicted[0]), static_cast<double>(mb.Predicted[0]), 1e-12);
  EXPECT_NEAR(static_cast<double>(ma.Residual_sd[0]), static_cast<double>(mb.Residual_sd[0]), 1e-12);
  EXPECT_NEAR(static_cast<double>(ma.Leverage), static_cast<double>(mb.Leverage), 1e-15);
}

// Refused input: the message names the fault; nothing is computed.
struct tRefusal {
  const char* Name;
  std::int32_t N;
  double Sd_task;
  tMatrix_rows R;
  const char* Message_part;
};
class ConditionalModelRefuses : public ::testing::TestWithParam<tRefusal> {};
TEST_P(ConditionalModelRefuses, WithAReadableMessage) {
  const tRefusal c = GetParam();
  tConditional_inputs in;
  in.N = c.N;
  in.Covariates = {{"age", 60, 10, 70}, {"education", 12, 3, 10}};
  in.Tasks = {{"Y", 40, c.Sd_task, 30}};
  in.Correlations = c.R;
  try {
    (void)Build_conditional_model(in);
    FAIL() << "accepted";
  } catch (const ERefused_input& e) {
    EXPECT_NE(std::string(e.what()).find(c.Message_part), std::string::npos) << e.what();
  }
}
const tMatrix_rows kGood = {{1, 0.3, 0.4}, {0.3, 1, 0.5}, {0.4, 0.5, 1}};
INSTANTIATE_TEST_SUITE_P(
    Cases, ConditionalModelRefuses,
    ::testing::Values(
        tRefusal{"NotPositiveDefinite", 20, 6, {{1, 0.9, 0.9}, {0.9, 1, -0.9}, {0.9, -0.9, 1}},
                 "not positive definite"},
        tRefusal{"Singular", 20, 6, {{1, 0.5, 0.5}, {0.5, 1, 1 - 1e-16}, {0.5, 1 - 1e-16, 1}},
                 "not positive definite"},
        tRefusal{"CorrelationOfOne", 20, 6, {{1, 1, 0.4}, {1, 1, 0.5}, {0.4, 0.5, 1}},
                 "strictly between -1 and 1"},
        tRefusal{"CorrelationBeyondMinusOne", 20, 6, {{1, 0.3, -1.2}, {0.3, 1, 0.5}, {-1.2, 0.5, 1}},
                 "strictly between -1 and 1"},
        tRefusal{"Asymmetric", 20, 6, {{1, 0.3, 0.4}, {0.2, 1, 0.5}, {0.4, 0.5, 1}}, "symmetric"},
        tRefusal{"DiagonalNotOne", 20, 6, {{1, 0.3, 0.4}, {0.3, 0.9, 0.5}, {0.4, 0.5, 1}},
                 "must be 1"},
        tRefusal{"WrongSize", 20, 6, {{1, 0.3}, {0.3, 1}}, "rows"},
        tRefusal{"ZeroSd", 20, 0, kGood, "standard deviation"},
        tRefusal{"NegativeSd", 20, -2, kGood, "standard deviation"},
        tRefusal{"TooFewControls", 3, 6, kGood, "at least 4"}),
    [](const ::testing::TestParamInfo<tRefusal>& info) { return std::string(info.param.Name); });

TEST(ConditionalModel, EnoughControlsDependsOnTheTest) {
  tConditional_inputs in;
  in.N = 5;
  in.Covariates = {{"a", 0, 1, 0}, {"b", 0, 1, 0}};
  in.Tasks = {{"X", 0, 1, -1}, {"Y", 0, 1, 0}};
  in.Correlations = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0.5}, {0, 0, 0.5, 1}};
  EXPECT_NO_THROW((void)Build_conditional_model(in, 3));  // N - m = 3: standard prior
  EXPECT_THROW((void)Build_conditional_model(in, 4), ERefused_input);  // calibrated
}

// The UDT is the deficit test on the difference scores.
TEST(UnstandardizedDifference, IsTheDeficitTestOnDifferences) {
  for (const auto& c : kReference) {
    tDeficit_results got, expected;
    Unstandardized_difference_test(true, got, c.Case_x, c.Case_y, c.Mean_x, c.Sd_x, c.Mean_y,
                                   c.Sd_y, c.R_xy, c.N, 95);
    const double sd = std::sqrt(c.Sd_x * c.Sd_x + c.Sd_y * c.Sd_y - 2 * c.R_xy * c.Sd_x * c.Sd_y);
    EXPECT_NEAR(static_cast<double>(got.Zcc),
                ((c.Case_x - c.Case_y) - (c.Mean_x - c.Mean_y)) / sd, 1e-12);
    Deficit_test_intervals(true, expected, static_cast<Extended>(c.Case_x) - c.Case_y,
                           static_cast<Extended>(c.Mean_x) - c.Mean_y,
                           Sd_difference(c.Sd_x, c.Sd_y, c.R_xy), c.N, 95);
    Expect_same_record(got, expected);
  }
  tDeficit_results r;
  EXPECT_THROW(Unstandardized_difference_test(true, r, 1, 2, 0, 1, 0, 1, 1.0, 20, 95),
               std::range_error);
}

}  // namespace
