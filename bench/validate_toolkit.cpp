// SPDX-License-Identifier: GPL-3.0-or-later
// Validation study of the toolkit's tests under the null hypothesis (not a unit test; run
// by scripts/validate_toolkit.sh, which writes docs/toolkit_validation.md).
//
// Controls and cases are drawn from one known multivariate normal with two covariates and
// two tasks, so every case is a member of the control population and a test at 5 % should
// call about 5 % of them abnormal in each direction. For each sample size N, `replications`
// times: draw N controls and one case, take the controls' summary statistics (means, SDs
// with divisor N - 1, correlations), and run
//   test 1  the deficit test on task X allowing for both covariates,
//   test 2  the Bayesian deficit test on task X (same model),
//   test 3  the BSDT on X and Y allowing for both covariates, under each prior,
// each Monte Carlo test with `iterations` draws. The rate counted is that of a one-tailed
// P below 0.05 with the case on the deficit side (t < 0, Z-CCC < 0, Z-DCC < 0).
//
// The population's draws come from std::mt19937_64 with a fixed seed (the program's own
// generator is reset by each test, as in use).
//
// Usage: validate_toolkit [replications=10000] [iterations=2000] [seed=20261208]
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "bayes/bayesian_deficit.h"
#include "bayes/bsdt_covariates.h"
#include "stats/conditional_model.h"
#include "stats/covariate_deficit.h"

namespace {

constexpr int kVariables = 4;  // age, education, task X, task Y
// The population: means, SDs and correlations.
constexpr std::array<double, kVariables> kMean = {65, 12, 50, 40};
constexpr std::array<double, kVariables> kSd = {8, 3, 10, 8};
constexpr double kR[kVariables][kVariables] = {{1, 0.3, 0.5, 0.4},
                                               {0.3, 1, 0.4, 0.45},
                                               {0.5, 0.4, 1, 0.6},
                                               {0.4, 0.45, 0.6, 1}};

struct tRates {
  long test1 = 0, test2 = 0, test3_standard = 0, test3_calibrated = 0, n = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const long replications = argc > 1 ? std::atol(argv[1]) : 10000;
  const int iterations = argc > 2 ? std::atoi(argv[2]) : 2000;
  const unsigned long long seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 20261208ULL;

  // Cholesky factor of the population's correlation matrix.
  double l[kVariables][kVariables] = {};
  for (int j = 0; j < kVariables; ++j) {
    double d = kR[j][j];
    for (int k = 0; k < j; ++k) d -= l[j][k] * l[j][k];
    l[j][j] = std::sqrt(d);
    for (int i = j + 1; i < kVariables; ++i) {
      double s = kR[i][j];
      for (int k = 0; k < j; ++k) s -= l[i][k] * l[j][k];
      l[i][j] = s / l[j][j];
    }
  }
  std::mt19937_64 engine(seed);
  std::normal_distribution<double> gauss(0, 1);
  const auto draw = [&](std::array<double, kVariables>& x) {
    std::array<double, kVariables> z;
    for (double& v : z) v = gauss(engine);
    for (int i = 0; i < kVariables; ++i) {
      double s = 0;
      for (int k = 0; k <= i; ++k) s += l[i][k] * z[k];
      x[i] = kMean[i] + kSd[i] * s;
    }
  };

  std::printf("| N | replications | test 1 | test 2 | test 3, standard prior | test 3, calibrated prior |\n");
  std::printf("|---|---|---|---|---|---|\n");
  for (const int n : {10, 20, 50}) {
    tRates rates;
    for (long rep = 0; rep < replications; ++rep) {
      std::vector<std::array<double, kVariables>> sample(n);
      for (auto& x : sample) draw(x);
      std::array<double, kVariables> person;
      draw(person);
      std::array<double, kVariables> mean{}, sd{};
      for (int i = 0; i < kVariables; ++i) {
        for (const auto& x : sample) mean[i] += x[i];
        mean[i] /= n;
      }
      double cov[kVariables][kVariables] = {};
      for (const auto& x : sample)
        for (int i = 0; i < kVariables; ++i)
          for (int j = 0; j < kVariables; ++j) cov[i][j] += (x[i] - mean[i]) * (x[j] - mean[j]);
      for (int i = 0; i < kVariables; ++i) sd[i] = std::sqrt(cov[i][i] / (n - 1));

      tConditional_inputs two;
      two.N = n;
      two.Covariates = {{"age", mean[0], sd[0], person[0]}, {"edu", mean[1], sd[1], person[1]}};
      two.Tasks = {{"X", mean[2], sd[2], person[2]}, {"Y", mean[3], sd[3], person[3]}};
      two.Correlations.assign(kVariables, std::vector<Extended>(kVariables, 1));
      for (int i = 0; i < kVariables; ++i)
        for (int j = 0; j < kVariables; ++j)
          if (i != j) two.Correlations[i][j] = cov[i][j] / std::sqrt(cov[i][i] * cov[j][j]);
      tConditional_inputs one = two;
      one.Tasks.pop_back();
      one.Correlations.pop_back();
      for (auto& row : one.Correlations) row.pop_back();
      try {
        const tConditional_task task = Task_of(Build_conditional_model(one, 3), 0);
        Extended t = 0, p = 0;
        Covariate_deficit_significance(task, t, p);
        if (t < 0 && p < 0.05) ++rates.test1;
        tBayesian_deficit_results b;
        Bayesian_deficit_test(task, iterations, true, true, 95, b);
        if (b.Zccc < 0 && b.P_one_tailed < 0.05) ++rates.test2;
        const tConditional_model model = Build_conditional_model(two, 4);
        tBSDT_results s, c;
        BSDT_with_covariates(tPrior::Standard, model, iterations, 1, s);
        BSDT_with_covariates(tPrior::Calibrated, model, iterations, 1, c);
        if (s.Zdcc < 0 && s.P_one_tailed < 0.05) ++rates.test3_standard;
        if (c.Zdcc < 0 && c.P_one_tailed < 0.05) ++rates.test3_calibrated;
        ++rates.n;
      } catch (const std::exception& e) {
        std::fprintf(stderr, "N = %d, replication %ld: %s\n", n, rep, e.what());
      }
    }
    const auto pct = [&rates](long k) { return 100.0 * static_cast<double>(k) / static_cast<double>(rates.n); };
    std::printf("| %d | %ld | %.2f %% | %.2f %% | %.2f %% | %.2f %% |\n", n, rates.n,
                pct(rates.test1), pct(rates.test2), pct(rates.test3_standard),
                pct(rates.test3_calibrated));
    std::fflush(stdout);
  }
  return 0;
}
