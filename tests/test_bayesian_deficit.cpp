// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the Bayesian test for a deficit (bayes/bayesian_deficit.h).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "bayes/bayesian_deficit.h"
#include "stats/covariate_deficit.h"

namespace {

// Correlation matrices of m covariates and the task (task last), m = 0 .. 3.
std::vector<std::vector<Extended>> Correlations(int m) {
  switch (m) {
    case 0: return {{1}};
    case 1: return {{1, 0.5}, {0.5, 1}};
    case 2: return {{1, 0.3, 0.5}, {0.3, 1, 0.4}, {0.5, 0.4, 1}};
    default:
      return {{1, 0.3, 0.2, 0.5}, {0.3, 1, 0.1, 0.4}, {0.2, 0.1, 1, -0.3},
              {0.5, 0.4, -0.3, 1}};
  }
}

struct tCase {
  int M;
  std::int32_t N;
  double Case_z;       // the case's task score, in control SDs from the mean
  double Covariate_z;  // every covariate score, in SDs from its mean
};
void PrintTo(const tCase& c, std::ostream* os) {
  *os << "m " << c.M << ", N " << c.N << ", z " << c.Case_z;
}

tConditional_task Task_for(const tCase& c) {
  tConditional_inputs in;
  in.N = c.N;
  for (int i = 0; i < c.M; ++i)
    in.Covariates.push_back({"c" + std::to_string(i), 10.0 * i, 2.0 + i, 10.0 * i + (2.0 + i) * c.Covariate_z});
  in.Tasks = {{"Y", 100, 15, 100 + 15 * c.Case_z}};
  in.Correlations = Correlations(c.M);
  return Task_of(Build_conditional_model(in), 0);
}

// Under the prior 1/sigma^2 the posterior predictive is the frequentist test's t, so P
// converges to its one-tailed p: within 4 Monte Carlo standard errors at 1,000,000
// iterations.
class BayesianDeficitConverges : public ::testing::TestWithParam<tCase> {};
TEST_P(BayesianDeficitConverges, ToTheFrequentistP) {
  const tConditional_task task = Task_for(GetParam());
  tDeficit_results f;
  Covariate_deficit_test(true, f, task, 95);
  tBayesian_deficit_results b;
  Bayesian_deficit_test(task, 1000000, true, true, 95, b);
  EXPECT_GT(b.P_one_tailed_mc_se, 0);
  EXPECT_LE(std::fabs(b.P_one_tailed - f.P_one_tailed), 4 * b.P_one_tailed_mc_se)
      << "P = " << static_cast<double>(b.P_one_tailed)
      << ", p = " << static_cast<double>(f.P_one_tailed)
      << ", SE = " << static_cast<double>(b.P_one_tailed_mc_se);
  EXPECT_EQ(b.P_two_tailed, 2 * b.P_one_tailed);
  EXPECT_EQ(b.Zccc, f.Zcc);
  EXPECT_LE(b.Zccc_lower, b.Zccc_upper);
  EXPECT_LE(b.Pct_lower, b.Pct_upper);
  EXPECT_EQ(b.Reversed, f.T_value > 0);
}
INSTANTIATE_TEST_SUITE_P(
    Cases, BayesianDeficitConverges,
    ::testing::Values(tCase{0, 5, -2.5, 0}, tCase{0, 10, -1.0, 0}, tCase{0, 20, -3.0, 0},
                      tCase{0, 40, 0.5, 0}, tCase{0, 100, -2.0, 0}, tCase{0, 3, -4.0, 0},
                      tCase{1, 6, -2.0, 1.0}, tCase{1, 12, -1.5, -0.5},
                      tCase{1, 25, 1.8, 2.0}, tCase{1, 50, -2.8, 0.0},
                      tCase{1, 8, -0.2, -2.5}, tCase{2, 7, -2.2, 1.0},
                      tCase{2, 15, -1.0, 1.5}, tCase{2, 30, -3.5, -1.0},
                      tCase{2, 60, 0.9, 0.3}, tCase{2, 10, -2.0, 3.0},
                      tCase{3, 8, -2.4, 0.8}, tCase{3, 16, -1.2, -1.2},
                      tCase{3, 35, -2.9, 2.2}, tCase{3, 80, 2.2, 0.5},
                      tCase{3, 6, -1.8, 0.0}));

// The same inputs give the same results, bit for bit; a new seed sequence does not.
TEST(BayesianDeficit, ResetSeedRepeatsTheRun) {
  const tConditional_task task = Task_for({2, 15, -1.0, 1.5});
  tBayesian_deficit_results a, b, c;
  Bayesian_deficit_test(task, 20000, true, true, 95, a);
  Bayesian_deficit_test(task, 20000, true, true, 95, b);
  Bayesian_deficit_test(task, 20000, false, true, 95, c);
  EXPECT_EQ(a.P_one_tailed, b.P_one_tailed);
  EXPECT_EQ(a.Zccc_lower, b.Zccc_lower);
  EXPECT_EQ(a.Zccc_upper, b.Zccc_upper);
  EXPECT_NE(a.P_one_tailed, c.P_one_tailed);
}

// A case above its prediction is folded: P below one half, the percentage limits
// describing the upper tail and still in order.
TEST(BayesianDeficit, FoldsACaseAboveItsPrediction) {
  tConditional_task below = Task_for({1, 20, -2.0, 0.5});
  tConditional_task above = below;
  above.Case = 2 * below.Predicted - below.Case;  // mirrored about the prediction
  tBayesian_deficit_results lo, hi;
  Bayesian_deficit_test(below, 200000, true, true, 95, lo);
  Bayesian_deficit_test(above, 200000, true, true, 95, hi);
  EXPECT_FALSE(lo.Reversed);
  EXPECT_TRUE(hi.Reversed);
  EXPECT_LT(hi.P_one_tailed, 0.5);
  // The mirrored case's posterior is the mirror image (in distribution, not draw for
  // draw): P and the folded limits agree within the Monte Carlo error.
  EXPECT_LE(std::fabs(hi.P_one_tailed - lo.P_one_tailed),
            4 * std::sqrt(2.0L) * lo.P_one_tailed_mc_se);
  EXPECT_NEAR(static_cast<double>(hi.Pct_lower / lo.Pct_lower), 1, 0.02);
  EXPECT_NEAR(static_cast<double>(hi.Pct_upper / lo.Pct_upper), 1, 0.02);
  EXPECT_NEAR(static_cast<double>(hi.Zccc_lower), static_cast<double>(-lo.Zccc_upper), 0.02);
  EXPECT_LE(hi.Pct_lower, hi.Pct_upper);
}

// A far case above its prediction keeps a tiny P and its standard error: they are summed
// in the upper tail itself, not as 1 - Phi (which would round them away).
TEST(BayesianDeficit, TinyFoldedProbabilityKeepsItsStandardError) {
  tConditional_task below = Task_for({1, 50, -20.0, 0.5});
  tConditional_task above = below;
  above.Case = 2 * below.Predicted - below.Case;
  tBayesian_deficit_results r;
  Bayesian_deficit_test(above, 100000, true, true, 95, r);
  EXPECT_TRUE(r.Reversed);
  EXPECT_GT(r.P_one_tailed, 0);
  EXPECT_LT(r.P_one_tailed, 1e-20);  // below the 1E-19 that 1 - Phi can resolve
  // The standard error of a mean of positive values is positive and at most about the
  // mean itself (reached when one draw dominates).
  EXPECT_GT(r.P_one_tailed_mc_se, 0);
  EXPECT_LE(r.P_one_tailed_mc_se, 1.01L * r.P_one_tailed);
}

TEST(BayesianDeficit, RefusesTooFewIterationsForTheLimits) {
  const tConditional_task task = Task_for({0, 10, -1.0, 0});
  tBayesian_deficit_results r;
  EXPECT_THROW(Bayesian_deficit_test(task, 20, true, true, 95, r), EArgumentError);
  EXPECT_NO_THROW(Bayesian_deficit_test(task, 21, true, true, 95, r));
}

}  // namespace

namespace {

// A task the conditional model would never build (it refuses such controls first): every
// test of a deficit refuses it by the same rule, with a message naming the test.
TEST(BayesianDeficit, RefusesWhatTheFrequentistTestRefuses) {
  const struct {
    const char* Name;
    std::int32_t N;
    int M;
    Extended Residual_sd;
    const char* Message_part;
  } cases[] = {
      {"no degrees of freedom", 3, 2, 1, "too small for 2 covariates (N = 3)"},
      {"residual SD of 0", 20, 1, 0, "residual standard deviation must be greater than 0"},
      {"residual SD not a number", 20, 1, NAN, "residual standard deviation"},
      {"residual SD infinite", 20, 1, INFINITY, "residual standard deviation"},
  };
  for (const auto& c : cases) {
    tConditional_task task;
    task.N = c.N;
    task.M = c.M;
    task.Residual_sd = c.Residual_sd;
    const auto message = [&](const std::function<void()>& run) -> std::string {
      try {
        run();
      } catch (const ERefused_input& e) {
        return e.what();
      }
      return "";
    };
    tDeficit_results d;
    tBayesian_deficit_results b;
    Extended t = 0, p = 0;
    const std::string frequentist = message([&] { Covariate_deficit_test(true, d, task, 95); });
    const std::string significance = message([&] { Covariate_deficit_significance(task, t, p); });
    const std::string bayesian =
        message([&] { Bayesian_deficit_test(task, 1000, true, true, 95, b); });
    EXPECT_NE(frequentist.find(c.Message_part), std::string::npos) << c.Name << ": " << frequentist;
    EXPECT_EQ(significance, frequentist) << c.Name;
    ASSERT_NE(bayesian.find(':'), std::string::npos) << c.Name;
    ASSERT_NE(frequentist.find(':'), std::string::npos) << c.Name;
    EXPECT_EQ(bayesian.substr(bayesian.find(':')), frequentist.substr(frequentist.find(':')))
        << c.Name;
    EXPECT_EQ(bayesian.rfind("Bayesian test for a deficit: ", 0), 0u) << bayesian;
  }
}

}  // namespace
