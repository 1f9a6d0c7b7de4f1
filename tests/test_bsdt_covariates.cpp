// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the BSDT allowing for covariates (bayes/bsdt_covariates.h).
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "bayes/bsdt_covariates.h"
#include "stats/conditional_model.h"

namespace {

struct tTwo_tasks {
  double Mean_x, Sd_x, Mean_y, Sd_y, R_xy, N, Case_x, Case_y;
};
// The five control samples and cases of tests/data/frequentist.json, and two more.
const tTwo_tasks kCases[] = {
    {100, 15, 50, 10, 0.6, 20, 80, 40},   {100, 15, 50, 10, 0.6, 20, 70, 52},
    {24.5, 3.1, 61.2, 8.4, 0.35, 12, 25, 38}, {10, 2.5, 10, 2.5, 0.2, 4, 2, 9},
    {0.82, 0.07, 0.79, 0.09, -0.3, 150, 0.55, 0.81}, {50, 10, 50, 10, 0.9, 6, 20, 48},
    {3, 0.5, 7, 1.5, -0.7, 35, 3.4, 4.0},
};

tConditional_model Model_without_covariates(const tTwo_tasks& c) {
  tConditional_inputs in;
  in.N = static_cast<std::int32_t>(c.N);
  in.Tasks = {{"X", c.Mean_x, c.Sd_x, c.Case_x}, {"Y", c.Mean_y, c.Sd_y, c.Case_y}};
  in.Correlations = {{1, c.R_xy}, {c.R_xy, 1}};
  return Build_conditional_model(in, 3);
}

void Expect_same(const tBSDT_results& a, const tBSDT_results& b) {
  EXPECT_EQ(a.P_one_tailed, b.P_one_tailed);
  EXPECT_EQ(a.P_two_tailed, b.P_two_tailed);
  EXPECT_EQ(a.Pct_more_extreme, b.Pct_more_extreme);
  EXPECT_EQ(a.Pct_lower, b.Pct_lower);
  EXPECT_EQ(a.Pct_upper, b.Pct_upper);
  EXPECT_EQ(a.Zdcc, b.Zdcc);
  EXPECT_EQ(a.Zdcc_lower, b.Zdcc_lower);
  EXPECT_EQ(a.Zdcc_upper, b.Zdcc_upper);
}

// Without covariates both priors are today's BSDT, bit for bit: the same draws in the
// same order, the same eight results and the same Monte Carlo standard error.
TEST(BsdtCovariates, WithoutCovariatesIsTodaysBsdtBitForBit) {
  for (const tPrior prior : {tPrior::Standard, tPrior::Calibrated}) {
    for (const tTwo_tasks& c : kCases) {
      tBSDT_inputs in;
      in.Prior = prior;
      in.N = static_cast<std::int32_t>(c.N);
      in.Iterations = 100000;
      in.Mean_x = c.Mean_x;
      in.Sd_x = c.Sd_x;
      in.Mean_y = c.Mean_y;
      in.Sd_y = c.Sd_y;
      in.R_xy = c.R_xy;
      in.Case_x = c.Case_x;
      in.Case_y = c.Case_y;
      tBSDT_results today, got;
      tBSDT_precision today_precision, got_precision;
      Run_BSDT(in, today, nullptr, &today_precision);
      BSDT_with_covariates(prior, Model_without_covariates(c), in.Iterations, 0, got, nullptr,
                           &got_precision);
      SCOPED_TRACE("N = " + std::to_string(c.N) +
                   (prior == tPrior::Standard ? ", standard" : ", calibrated"));
      Expect_same(got, today);
      EXPECT_EQ(got_precision.P_one_tailed_mc_se, today_precision.P_one_tailed_mc_se);
      EXPECT_EQ(got_precision.Zdcc_histogram.Counts, today_precision.Zdcc_histogram.Counts);
    }
  }
}

// With covariates: the procedure written out on the raw scale, matrix by matrix, from the
// same generator (chi-square N - m and N - m - 1, or N - m - 2 and N - m - 3 with E
// scaled, the acceptance step, means y-hat* + C z sqrt(h)), agrees with the engine.
struct tCovariate_case {
  std::int32_t N;
  std::vector<tVariable_summary> Covariates;
  std::vector<std::vector<Extended>> R;
  tPrior Prior;
};
void PrintTo(const tCovariate_case& c, std::ostream* os) {
  *os << "N " << c.N << ", m " << c.Covariates.size()
      << (c.Prior == tPrior::Standard ? ", standard" : ", calibrated");
}

Extended Literal_P(const tConditional_model& m, tPrior prior, std::int32_t iterations) {
  const bool calibrated = prior == tPrior::Calibrated;
  const Extended n_res = m.N - m.M;
  const Extended f = calibrated ? (n_res - 2) / (n_res - 1) : 1;
  // E (scaled) and the Cholesky factor L of its inverse.
  const Extended e11 = f * m.E[0], e12 = f * m.E[1], e22 = f * m.E[3];
  const Extended det = e11 * e22 - e12 * e12;
  const Extended i11 = e22 / det, i12 = -e12 / det, i22 = e11 / det;
  const Extended l11 = std::sqrt(i11), l21 = i12 / l11, l22 = std::sqrt(i22 - l21 * l21);
  Reset_seeds();
  tChi_square_distribution chi_a(calibrated ? n_res - 2 : n_res);
  tChi_square_distribution chi_b(calibrated ? n_res - 3 : n_res - 1);
  tNormal_distribution normal(0, 1);
  tUniform_distribution uniform(0, 1);
  const Extended sqrt_h = std::sqrt(m.Leverage);
  Extended S = 0;
  for (std::int32_t i = 0; i < iterations; ++i) {
    Extended s11, s12, s22, rho;
    for (;;) {
      const Extended c1 = std::sqrt(chi_a.Random_value());
      const Extended c2 = std::sqrt(chi_b.Random_value());
      const Extended z = normal.Random_value();
      // T = [[c1, z], [0, c2]]; T'T; W = L T'T L'.
      const Extended p11 = c1 * c1, p12 = c1 * z, p22 = z * z + c2 * c2;
      const Extended a11 = l11 * p11, a12 = l11 * p12;
      const Extended a21 = l21 * p11 + l22 * p12, a22 = l21 * p12 + l22 * p22;
      const Extended w11 = a11 * l11, w12 = a11 * l21 + a12 * l22;
      const Extended w22 = a21 * l21 + a22 * l22;
      const Extended wdet = w11 * w22 - w12 * w12;
      s11 = w22 / wdet;
      s12 = -w12 / wdet;
      s22 = w11 / wdet;
      rho = s12 / std::sqrt(s11 * s22);
      if (!calibrated) break;
      const Extended u = uniform.Random_value();
      if (u * u <= 1 - rho * rho) break;
    }
    const Extended z1 = normal.Random_value(), z2 = normal.Random_value();
    const Extended c11 = std::sqrt(s11), c21 = s12 / c11, c22 = std::sqrt(s22 - c21 * c21);
    const Extended mu_x = m.Predicted[0] + c11 * z1 * sqrt_h;
    const Extended mu_y = m.Predicted[1] + (c21 * z1 + c22 * z2) * sqrt_h;
    const Extended zx = (m.Case[0] - mu_x) / std::sqrt(s11);
    const Extended zy = (m.Case[1] - mu_y) / std::sqrt(s22);
    S += normal.Cdf((zx - zy) / std::sqrt(2 - 2 * rho));
  }
  const Extended P = S / iterations;
  return P > 0.5 ? 1 - P : P;
}

class BsdtWithCovariates : public ::testing::TestWithParam<tCovariate_case> {};
TEST_P(BsdtWithCovariates, IsTheProcedureOnTheConditionalModel) {
  const tCovariate_case& c = GetParam();
  tConditional_inputs in;
  in.N = c.N;
  in.Covariates = c.Covariates;
  in.Tasks = {{"X", 50, 10, 31}, {"Y", 100, 15, 104}};
  in.Correlations = c.R;
  const tConditional_model m = Build_conditional_model(in, 4);
  const std::int32_t iterations = 20000;
  tBSDT_results r;
  BSDT_with_covariates(c.Prior, m, iterations, 1, r);
  EXPECT_NEAR(static_cast<double>(r.P_one_tailed),
              static_cast<double>(Literal_P(m, c.Prior, iterations)), 1e-10);
  // The point estimate from the residuals.
  const Extended z10 = (m.Case[0] - m.Predicted[0]) / m.Residual_sd[0];
  const Extended z20 = (m.Case[1] - m.Predicted[1]) / m.Residual_sd[1];
  const Extended rho0 = m.E[1] / std::sqrt(m.E[0] * m.E[3]);
  EXPECT_NEAR(static_cast<double>(r.Zdcc), static_cast<double>((z10 - z20) / std::sqrt(2 - 2 * rho0)), 1e-13);
}
const std::vector<tVariable_summary> kAge = {{"age", 65, 8, 80}};
const std::vector<tVariable_summary> kAgeEdu = {{"age", 65, 8, 80}, {"edu", 12, 3, 8}};
INSTANTIATE_TEST_SUITE_P(
    Cases, BsdtWithCovariates,
    ::testing::Values(
        tCovariate_case{12, kAge, {{1, 0.5, 0.3}, {0.5, 1, 0.6}, {0.3, 0.6, 1}}, tPrior::Standard},
        tCovariate_case{12, kAge, {{1, 0.5, 0.3}, {0.5, 1, 0.6}, {0.3, 0.6, 1}}, tPrior::Calibrated},
        tCovariate_case{30, kAgeEdu,
                        {{1, 0.2, -0.4, 0.1}, {0.2, 1, 0.5, 0.3}, {-0.4, 0.5, 1, 0.2}, {0.1, 0.3, 0.2, 1}},
                        tPrior::Standard},
        tCovariate_case{7, kAgeEdu,
                        {{1, 0.2, -0.4, 0.1}, {0.2, 1, 0.5, 0.3}, {-0.4, 0.5, 1, 0.2}, {0.1, 0.3, 0.2, 1}},
                        tPrior::Calibrated}));

TEST(BsdtCovariates, TooFewControlsForThePrior) {
  tConditional_inputs in;
  in.N = 5;  // N - m = 3
  in.Covariates = kAgeEdu;
  in.Tasks = {{"X", 50, 10, 31}, {"Y", 100, 15, 104}};
  in.Correlations = {{1, 0.2, -0.4, 0.1}, {0.2, 1, 0.5, 0.3}, {-0.4, 0.5, 1, 0.2}, {0.1, 0.3, 0.2, 1}};
  const tConditional_model m = Build_conditional_model(in, 3);
  tBSDT_results r;
  EXPECT_NO_THROW(BSDT_with_covariates(tPrior::Standard, m, 1000, 1, r));
  try {
    BSDT_with_covariates(tPrior::Calibrated, m, 1000, 1, r);
    FAIL() << "accepted";
  } catch (const ERefused_input& e) {
    EXPECT_NE(std::string(e.what()).find("at least 4"), std::string::npos) << e.what();
  }
}

}  // namespace
