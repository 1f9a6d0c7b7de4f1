// SPDX-License-Identifier: GPL-3.0-or-later
// Exact power of the test for a deficit: against mpmath, against the rejection rate of the
// test run on simulated control samples (drawn with the standard library's generator, not
// the program's), and the identities that tie it together (type I error at delta = 0,
// the limit in N, the searches' answers bracketing the target).
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "reference_data.h"
#include "stats/conditional_model.h"
#include "stats/covariate_deficit.h"
#include "stats/deficit_power.h"
#include "stats/metrics_papers.h"
#include "stats/power_search.h"

namespace {

tPower_setting Setting(std::int32_t n, Extended delta, Extended alpha, bool two, bool random) {
  tPower_setting s;
  s.N = n;
  s.Delta = delta;
  s.Alpha = alpha;
  s.Two_tailed = two;
  s.Case = random ? tCase_model::Random : tCase_model::Fixed;
  return s;
}

// deficit_power.json: make_power_references.py, mpmath 1.3.0 at 40 digits, quadrature of
// the non-central t as a chi-square mixture (176 rows of N, delta, alpha, tails, case).
TEST(DeficitPower, MatchesMpmath) {
  const auto rows = kestrum_test::Read_reference_tables("deficit_power.json").at("table");
  ASSERT_GT(rows.size(), 150u);
  for (const auto& r : rows) {
    const tPower_setting s = Setting(static_cast<std::int32_t>(r.at("n")), r.at("delta"),
                                     r.at("alpha"), r.at("two_tailed") != 0,
                                     r.at("random_case") != 0);
    EXPECT_NEAR(static_cast<double>(Deficit_power(s)), r.at("power"), 1e-9)
        << "N " << s.N << " delta " << r.at("delta") << " alpha " << r.at("alpha")
        << " two " << s.Two_tailed << " random " << (s.Case == tCase_model::Random);
  }
}

// Under the random model with delta = 0 the case is one more member of the population and
// t is exactly Student's t: the power is alpha.
TEST(DeficitPower, RandomCaseWithoutEffectRejectsAtAlpha) {
  for (const std::int32_t n : {2, 7, 40, 3000})
    for (const bool two : {false, true}) {
      EXPECT_NEAR(static_cast<double>(Deficit_power(Setting(n, 0, 0.05L, two, true))), 0.05, 1e-11);
      EXPECT_NEAR(static_cast<double>(Conditional_deficit_power(Setting(n + 3, 0, 0.01L, two, true), 2, 0.3L)),
                  0.01, 1e-11);
    }
}

// Limits: random, Phi(-1.6449 - delta); fixed, 0 or 1. At N = 10^6 the power is within
// about 1/N of them (the exact t then differs from the normal by O(1/N)).
TEST(DeficitPower, TendsToItsLimit) {
  struct tCase { Extended delta; bool two, random; double limit; };
  // Limits from mpmath's normal distribution function (15 digits).
  const tCase cases[] = {{-1, false, true, 0.259511022841444},  // Phi(1 - z_0.95)
                         {-2.5, true, true, 0.7054180011138},  // Phi(2.5 - z_0.975) + Phi(-2.5 - z_0.975)
                         {-1, false, false, 0},
                         {-2, false, false, 1},
                         {0.5, true, false, 0}};
  for (const tCase& c : cases) {
    const tPower_setting s = Setting(1000000, c.delta, 0.05L, c.two, c.random);
    EXPECT_NEAR(static_cast<double>(Deficit_power_limit(s)), c.limit, 1e-9);
    EXPECT_NEAR(static_cast<double>(Deficit_power(s)), c.limit, 1e-3);
  }
}

TEST(DeficitPower, IncreasesWithSampleAndEffect) {
  // Strictly increasing until the power is 1 to the working precision (in a double build
  // the far effects reach it), and never above 1.
  const auto expect_above = [](Extended p, Extended last, double at) {
    if (last < 1)
      EXPECT_GT(p, last) << at;
    else
      EXPECT_EQ(p, 1) << at;
  };
  for (const bool random : {false, true})
    for (const bool two : {false, true}) {
      Extended last = 0;
      for (std::int32_t n = 3; n <= 400; n += 7) {
        const Extended p = Deficit_power(Setting(n, -2.2L, 0.05L, two, random));
        expect_above(p, last, n);
        last = p;
      }
      last = 0;
      for (Extended d = 0; d <= 6; d += 0.25L) {
        const Extended p = Deficit_power(Setting(15, -d, 0.05L, two, random));
        expect_above(p, last, static_cast<double>(d));
        last = p;
      }
    }
}

// The searches' answers: the power reaches the target at N and not at N - 1; the effect
// found reaches it and one tolerance less does not; a target beyond the limit is never
// reached.
TEST(PowerSearch, AnswersBracketTheTarget) {
  for (const bool random : {false, true}) {
    const auto power_n = [random](std::int32_t n) {
      return Deficit_power(Setting(n, -2.5L, 0.05L, false, random));
    };
    const tSample_size ss = Smallest_sample(power_n, 2, kMax_power_n, 0.6L);
    ASSERT_TRUE(ss.Reached);
    EXPECT_GE(ss.Power, 0.6L);
    EXPECT_LT(power_n(ss.N - 1), 0.6L);
    const auto power_d = [random](Extended e) {
      return Deficit_power(Setting(20, -e, 0.05L, true, random));
    };
    const tDetectable_effect de = Smallest_effect(power_d, 0.8L, 1000);
    ASSERT_TRUE(de.Reached);
    EXPECT_GE(power_d(de.Effect), 0.8L);
    EXPECT_LT(power_d(de.Effect - 2 * kEffect_tolerance), 0.8L);
  }
  // Random case, delta = -1: the limit is 0.2595, so 0.8 is never reached.
  const auto never = [](std::int32_t n) {
    return Deficit_power(Setting(n, -1, 0.05L, false, true));
  };
  const tSample_size ss = Smallest_sample(never, 2, kMax_power_n, 0.8L);
  EXPECT_FALSE(ss.Reached);
  EXPECT_NEAR(static_cast<double>(ss.Power), 0.259511022841444, 1e-3);
}

// The test run on simulated controls: N control rows of m covariates and the task from a
// multivariate normal (covariates correlated 0.4 with each other and 0.5 with the task),
// their summary statistics, the case at covariate distance D (fixed or random residual
// effect delta), and the program's significance test. Returns the rejection rate.
double Simulated_rate(const tPower_setting& s, int m, double D, int reps, std::mt19937_64& g) {
  std::normal_distribution<double> z;
  const int p = m + 1;
  std::vector<std::vector<double>> r(p, std::vector<double>(p, 0.4));
  for (int i = 0; i < p; ++i) r[i][i] = 1;
  for (int i = 0; i < m; ++i) r[m][i] = r[i][m] = 0.5;
  // Cholesky factor of r.
  std::vector<std::vector<double>> l(p, std::vector<double>(p, 0));
  for (int i = 0; i < p; ++i)
    for (int j = 0; j <= i; ++j) {
      double v = r[i][j];
      for (int k = 0; k < j; ++k) v -= l[i][k] * l[j][k];
      l[i][j] = i == j ? std::sqrt(v) : v / l[j][j];
    }
  // The case's covariates at Mahalanobis distance D: x* = D L e1 (then (x*)' R^-1 x* = D^2
  // within the covariates' block, since L's leading block factors it). The task's
  // conditional mean given x* is b' x*, its residual SD sqrt(1 - b' r_xy).
  std::vector<double> xs(m);
  for (int i = 0; i < m; ++i) xs[i] = D * l[i][0];
  double cond_mean = 0, res_var = 1;
  if (m > 0) {
    // Solve R_xx b = r_xy by Cholesky on the leading block.
    std::vector<double> y(m), b(m);
    for (int i = 0; i < m; ++i) {
      double v = r[m][i];
      for (int k = 0; k < i; ++k) v -= l[i][k] * y[k];
      y[i] = v / l[i][i];
    }
    for (int i = m - 1; i >= 0; --i) {
      double v = y[i];
      for (int k = i + 1; k < m; ++k) v -= l[k][i] * b[k];
      b[i] = v / l[i][i];
    }
    for (int i = 0; i < m; ++i) {
      cond_mean += b[i] * xs[i];
      res_var -= b[i] * r[m][i];
    }
  }
  const double res_sd = std::sqrt(res_var);
  int rejected = 0;
  std::vector<double> row(p);
  for (int rep = 0; rep < reps; ++rep) {
    std::vector<double> sum(p, 0);
    std::vector<std::vector<double>> cross(p, std::vector<double>(p, 0));
    std::vector<std::vector<double>> rows(s.N, std::vector<double>(p));
    for (int n = 0; n < s.N; ++n) {
      std::vector<double> e(p);
      for (double& v : e) v = z(g);
      for (int i = 0; i < p; ++i) {
        double v = 0;
        for (int k = 0; k <= i; ++k) v += l[i][k] * e[k];
        rows[n][i] = v;
        sum[i] += v;
      }
    }
    tConditional_inputs in;
    in.N = s.N;
    std::vector<double> mean(p), sd(p);
    for (int i = 0; i < p; ++i) mean[i] = sum[i] / s.N;
    for (const auto& x : rows)
      for (int i = 0; i < p; ++i)
        for (int j = 0; j < p; ++j) cross[i][j] += (x[i] - mean[i]) * (x[j] - mean[j]);
    for (int i = 0; i < p; ++i) sd[i] = std::sqrt(cross[i][i] / (s.N - 1));
    double case_y = cond_mean + static_cast<double>(s.Delta) * res_sd;
    if (s.Case == tCase_model::Random) case_y += res_sd * z(g);
    for (int i = 0; i < m; ++i) in.Covariates.push_back({"c", mean[i], sd[i], xs[i]});
    in.Tasks.push_back({"t", mean[m], sd[m], case_y});
    in.Correlations.assign(p, std::vector<Extended>(p, 1));
    for (int i = 0; i < p; ++i)
      for (int j = 0; j < p; ++j)
        if (i != j) in.Correlations[i][j] = cross[i][j] / std::sqrt(cross[i][i] * cross[j][j]);
    const tConditional_model model = Build_conditional_model(in);
    Extended t = 0, q = 0;
    Covariate_deficit_significance(Task_of(model, 0), t, q);
    const bool reject = s.Two_tailed ? 2 * q < s.Alpha : (t < 0 && q < s.Alpha);
    rejected += reject;
  }
  return static_cast<double>(rejected) / reps;
}

// Twelve settings, four with covariates: exact (or sample-averaged) power against the
// simulated rejection rate within 3 standard errors (binomial, plus the Monte Carlo SE of
// the covariate average).
TEST(DeficitPower, AgreesWithSimulatedRejectionRate) {
  struct tCase { std::int32_t n; double delta; bool two, random; int m; double D; };
  const tCase cases[] = {{5, -2, false, false, 0, 0},   {5, -2, false, true, 0, 0},
                         {12, -1.5, true, false, 0, 0}, {12, -1.5, true, true, 0, 0},
                         {30, 0, false, true, 0, 0},    {8, -3, true, false, 0, 0},
                         {20, -1, false, false, 0, 0},  {40, 1, true, true, 0, 0},
                         {10, -2, false, false, 1, 1},  {15, -2, true, true, 2, 1.5},
                         {9, -2.5, false, false, 3, 0.5}, {25, 0, true, true, 2, 2}};
  std::mt19937_64 g(20261209);
  constexpr int kReps = 4000;
  for (const tCase& c : cases) {
    const tPower_setting s = Setting(c.n, c.delta, 0.05L, c.two, c.random);
    double exact = 0, mc_se = 0;
    if (c.m == 0) {
      exact = static_cast<double>(Deficit_power(s));
    } else {
      Extended mean = 0, se = 0;
      Mean_and_se(Covariate_power_blocks(s, c.m, c.D, 0, 4000, 7), mean, se);
      exact = static_cast<double>(mean);
      mc_se = static_cast<double>(se);
    }
    const double rate = Simulated_rate(s, c.m, c.D, kReps, g);
    const double se = std::sqrt(exact * (1 - exact) / kReps + mc_se * mc_se);
    EXPECT_NEAR(rate, exact, 3 * se + 1e-12)
        << "N " << c.n << " delta " << c.delta << " m " << c.m << " random " << c.random;
  }
}

}  // namespace
