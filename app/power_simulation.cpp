// SPDX-License-Identifier: GPL-3.0-or-later
// One replication on the standardized population (means 0, SDs 1, correlations R = L L'):
// - control means: L z / sqrt(N), z standard normal (p draws);
// - covariance: S = L T T' L' / (N - 1) with T Bartlett's lower triangular factor of a
//   Wishart(N - 1, I) matrix (diagonal sqrt(chi-square(N - 1 - i)), normal below), drawn
//   row by row (Bartlett, Proc. Roy. Soc. Edinburgh 53, 1933);
// - the case: covariates x* = D L_xx e1, at Mahalanobis distance D from the population
//   mean; on each task the regression mean B' x* plus delta residual SDs (fixed), plus a
//   residual draw from N(0, Sigma_res) (random);
// - the summary statistics go through the conditional model and the engines exactly as
//   in the analysis run (the Bayesian engines reset the generator at their start, as
//   there, so the test's Monte Carlo draws are the program's for the same figures).
// Every replication first sets the generator to the state of (seed, i).
#include "app/power_simulation.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include "app/analysis_run.h"
#include "app/criteria.h"
#include "bayes/bayesian_deficit.h"
#include "bayes/bsdt_covariates.h"
#include "stats/conditional_model.h"
#include "stats/covariate_deficit.h"
#include "stats/metrics_papers.h"
#include "stats/replication_seeds.h"

namespace {

using tMatrix = std::vector<std::vector<Extended>>;

tMatrix Cholesky(const tMatrix& r) {
  const std::size_t p = r.size();
  tMatrix l(p, std::vector<Extended>(p, 0));
  for (std::size_t i = 0; i < p; ++i)
    for (std::size_t j = 0; j <= i; ++j) {
      Extended v = r[i][j];
      for (std::size_t k = 0; k < j; ++k) v -= l[i][k] * l[j][k];
      if (i == j) {
        if (!(v > 0)) throw std::invalid_argument("The correlation matrix is not positive definite.");
        l[i][i] = std::sqrt(v);
      } else {
        l[i][j] = v / l[j][j];
      }
    }
  return l;
}

// What every replication of a setting shares.
struct tPopulation {
  int M = 0, Tasks = 1, P = 1;
  tMatrix L;                       // Cholesky factor of R
  std::vector<Extended> Case_mean;  // the case's expected scores, covariates then tasks
  tMatrix Residual_l;              // Cholesky factor of the tasks' residual covariance
};

tPopulation Population_of(const tSimulation_setting& s) {
  tPopulation pop;
  pop.Tasks = Tasks_of(s.Test);
  pop.P = static_cast<int>(s.Correlations.size());
  pop.M = pop.P - pop.Tasks;
  pop.L = Cholesky(s.Correlations);
  const int m = pop.M;
  pop.Case_mean.assign(pop.P, 0);
  for (int i = 0; i < m; ++i) pop.Case_mean[i] = s.D * pop.L[i][0];
  // The tasks given the covariates: with R = L L', the task rows of L split into the part
  // explained by the covariates (columns < m) and the residual factor (columns >= m). The
  // conditional mean of task j at x* = D L_xx e1 is L_j,0 D; its residual covariance is
  // L_res L_res'.
  pop.Residual_l.assign(pop.Tasks, std::vector<Extended>(pop.Tasks, 0));
  for (int j = 0; j < pop.Tasks; ++j) {
    const int row = m + j;
    for (int k = 0; k < pop.Tasks; ++k) pop.Residual_l[j][k] = pop.L[row][m + k];
    Extended res_var = 0;
    for (int k = 0; k <= j; ++k) res_var += pop.L[row][m + k] * pop.L[row][m + k];
    const Extended delta = j == 0 ? s.Delta_x : s.Delta_y;
    pop.Case_mean[row] = (m > 0 ? s.D * pop.L[row][0] : 0) + delta * std::sqrt(res_var);
  }
  return pop;
}

// Draws the summary statistics and the case of one replication.
tConditional_inputs Draw_replication(const tSimulation_setting& s, const tPopulation& pop) {
  const int p = pop.P;
  tNormal_distribution normal(0, 1);
  const Extended sqrt_n = std::sqrt(static_cast<Extended>(s.N));
  Extended z[8], mean[8];
  for (int i = 0; i < p; ++i) z[i] = normal.Random_value();
  for (int i = 0; i < p; ++i) {
    mean[i] = 0;
    for (int k = 0; k <= i; ++k) mean[i] += pop.L[i][k] * z[k];
    mean[i] /= sqrt_n;
  }
  Extended t[8][8] = {};
  for (int i = 0; i < p; ++i) {
    tChi_square_distribution chi(s.N - 1 - i);
    t[i][i] = std::sqrt(chi.Random_value());
    for (int j = 0; j < i; ++j) t[i][j] = normal.Random_value();
  }
  // A = L T, S = A A' / (N - 1).
  Extended a[8][8] = {};
  for (int i = 0; i < p; ++i)
    for (int j = 0; j <= i; ++j)
      for (int k = j; k <= i; ++k) a[i][j] += pop.L[i][k] * t[k][j];
  Extended cov[8][8];
  for (int i = 0; i < p; ++i)
    for (int j = 0; j <= i; ++j) {
      Extended v = 0;
      for (int k = 0; k <= j; ++k) v += a[i][k] * a[j][k];
      cov[i][j] = cov[j][i] = v / (s.N - 1);
    }
  std::vector<Extended> case_scores = pop.Case_mean;
  if (s.Case == tCase_model::Random) {
    Extended e[2];
    for (int j = 0; j < pop.Tasks; ++j) e[j] = normal.Random_value();
    for (int j = 0; j < pop.Tasks; ++j)
      for (int k = 0; k <= j; ++k) case_scores[pop.M + j] += pop.Residual_l[j][k] * e[k];
  }
  tConditional_inputs in;
  in.N = s.N;
  for (int i = 0; i < p; ++i) {
    tVariable_summary v{i < pop.M ? "Covariate" : "Task", mean[i], std::sqrt(cov[i][i]),
                        case_scores[i]};
    (i < pop.M ? in.Covariates : in.Tasks).push_back(v);
  }
  in.Correlations.assign(p, std::vector<Extended>(p, 1));
  for (int i = 0; i < p; ++i)
    for (int j = 0; j < i; ++j)
      in.Correlations[i][j] = in.Correlations[j][i] =
          cov[i][j] / std::sqrt(cov[i][i] * cov[j][j]);
  return in;
}

// The test for a deficit on task j as the analysis run decides it: without covariates the
// worksheet's test on the doubles it reads.
void Deficit_of(const tConditional_inputs& in, const tConditional_model& model, int j,
                Extended& t, Extended& q) {
  if (model.M == 0) {
    const tVariable_summary& v = in.Tasks[j];
    Extended two = 0, pct = 0;
    Deficit_test(static_cast<double>(v.Case), static_cast<double>(v.Mean),
                 static_cast<double>(v.Sd), static_cast<Extended>(in.N), t, two, q, pct);
  } else {
    Covariate_deficit_significance(Task_of(model, j), t, q);
  }
}

bool Below(Extended p, Extended alpha) { return p < alpha; }

}  // namespace

int Tasks_of(tSimulated_test test) {
  return test == tSimulated_test::Deficit || test == tSimulated_test::Bayesian_deficit ? 1 : 2;
}

void Check_simulation_setting(const tSimulation_setting& s) {
  const int tasks = Tasks_of(s.Test);
  const int p = static_cast<int>(s.Correlations.size());
  const int m = p - tasks;
  if (m < 0 || m > kMax_covariates)
    throw std::invalid_argument("The correlation matrix must hold the tasks and at most " +
                                std::to_string(kMax_covariates) + " covariates.");
  for (const auto& row : s.Correlations)
    if (static_cast<int>(row.size()) != p)
      throw std::invalid_argument("The correlation matrix must be square.");
  for (int i = 0; i < p; ++i)
    for (int j = 0; j < p; ++j) {
      const Extended r = s.Correlations[i][j];
      if (i == j ? r != 1 : !(r > -1 && r < 1) || r != s.Correlations[j][i])
        throw std::invalid_argument("The correlation matrix must be symmetric, with 1 on the "
                                    "diagonal and correlations strictly between -1 and 1.");
    }
  Cholesky(s.Correlations);
  tPower_setting ps;
  ps.N = s.N;
  ps.Delta = s.Delta_x;
  ps.Alpha = s.Alpha;
  Check_power_setting(ps, s.N - m - 1);
  ps.Delta = s.Delta_y;
  Check_power_setting(ps, s.N - m - 1);
  const bool bsdt = s.Test == tSimulated_test::Bsdt || s.Test == tSimulated_test::Classification;
  if (bsdt && s.N - m < (s.Prior == tPrior::Calibrated ? 4 : 3))
    throw std::invalid_argument(s.Prior == tPrior::Calibrated
                                    ? "The BSDT under the calibrated prior needs N - m of at least 4."
                                    : "The BSDT needs N - m of at least 3.");
  if ((s.Test == tSimulated_test::Rsdt || s.Criteria == tCriteria::Combined) && m > 0)
    throw std::invalid_argument("The RSDT allows for no covariates.");
  if (!std::isfinite(s.D) || s.D < 0 || s.D > 100)
    throw std::invalid_argument("The Mahalanobis distance D must lie from 0 to 100.");
  if (s.Iterations < 21 || s.Iterations > 100000000)
    throw std::invalid_argument("The iterations must number from 21 to 100000000.");
}

tPower_block Simulate_block(const tSimulation_setting& s, std::int64_t first,
                            std::int64_t count, const std::atomic<bool>* stop) {
  const tPopulation pop = Population_of(s);
  tPower_block block;
  for (std::int64_t i = first; i < first + count; ++i) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) throw ECancelled();
    Seed_replication(s.Seed, static_cast<std::uint64_t>(i));
    const tConditional_inputs in = Draw_replication(s, pop);
    const tConditional_model model = Build_conditional_model(in, 2);
    const bool one = !s.Two_tailed;
    bool reject = false, strong = false, classical = false;
    switch (s.Test) {
      case tSimulated_test::Deficit: {
        Extended t = 0, q = 0;
        Deficit_of(in, model, 0, t, q);
        reject = one ? (t < 0 && Below(q, s.Alpha)) : Below(2 * q, s.Alpha);
        break;
      }
      case tSimulated_test::Bayesian_deficit: {
        tBayesian_deficit_results r;
        Bayesian_deficit_test(Task_of(model, 0), s.Iterations, true, true, kCredible_level, r);
        reject = one ? (!r.Reversed && Below(r.P_one_tailed, s.Alpha))
                     : Below(r.P_two_tailed, s.Alpha);
        break;
      }
      case tSimulated_test::Rsdt: {
        double p2 = 0, p1 = 0;
        Extended t = 0;
        const auto& x = in.Tasks[0];
        const auto& y = in.Tasks[1];
        Rsdt(static_cast<double>(x.Case), static_cast<double>(y.Case), static_cast<double>(x.Mean),
             static_cast<double>(x.Sd), static_cast<double>(y.Mean), static_cast<double>(y.Sd),
             in.N, static_cast<double>(in.Correlations[1][0]), p2, p1, t);
        reject = one ? (t < 0 && Below(p1, s.Alpha)) : Below(p2, s.Alpha);
        break;
      }
      case tSimulated_test::Bsdt:
      case tSimulated_test::Classification: {
        tBSDT_results b;
        BSDT_with_covariates(s.Prior, model, s.Iterations, 1, b);
        if (s.Test == tSimulated_test::Bsdt) {
          // The deficit side of a difference: the case lower on X than on Y.
          reject = one ? (b.Zdcc < 0 && Below(b.P_one_tailed, s.Alpha))
                       : Below(b.P_two_tailed, s.Alpha);
          break;
        }
        // The classification decides as the analysis run does: P for the tail chosen.
        reject = Below(one ? b.P_one_tailed : b.P_two_tailed, s.Alpha);
        if (s.Criteria == tCriteria::Combined) {
          double p2 = 0, p1 = 0;
          Extended t = 0;
          const auto& x = in.Tasks[0];
          const auto& y = in.Tasks[1];
          Rsdt(static_cast<double>(x.Case), static_cast<double>(y.Case),
               static_cast<double>(x.Mean), static_cast<double>(x.Sd),
               static_cast<double>(y.Mean), static_cast<double>(y.Sd), in.N,
               static_cast<double>(in.Correlations[1][0]), p2, p1, t);
          reject = reject && Below(one ? p1 : p2, s.Alpha);
        }
        int deficits = 0;
        for (int j = 0; j < 2; ++j) {
          Extended t = 0, q = 0;
          Deficit_of(in, model, j, t, q);
          deficits += (t < 0 && Below(q, s.Alpha)) ? 1 : 0;
        }
        const tClassification c = Classify(deficits, reject);
        strong = c == tClassification::Strong;
        classical = c == tClassification::Classical;
        reject = strong || classical;
        break;
      }
    }
    ++block.Count;
    block.Hits[0] += reject;
    block.Hits[1] += strong;
    block.Hits[2] += classical;
  }
  return block;
}
