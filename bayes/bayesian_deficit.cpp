// SPDX-License-Identifier: GPL-3.0-or-later
// Bayesian test for a deficit. Model: the controls' task scores given the covariates are
// normal with mean linear in the covariates and variance sigma^2, prior proportional to
// 1/sigma^2 (the standard noninformative prior of regression; Box and Tiao, Bayesian
// Inference in Statistical Analysis, 2.7). The posterior is sampled directly; for
// i = 1 .. iterations, drawing in this order from the program's generator:
//   1. psi from chi-square(N - m - 1); sigma^2 = E / psi;
//   2. z standard normal; mu = y-hat* + z sigma sqrt(h) (the conditional mean at the
//      case's covariate values);
//   3. z_i = (y* - mu) / sigma and p_i = Phi(z_i).
// P is the mean of p_i, folded to the case's tail as the BSDT folds it; the credible
// limits of Z-CCC are the order statistics of z_i at the BSDT's positions.
//
// The draws run on the residual SD's scale (E = (N - m - 1) s^2): sigma/s =
// sqrt((N - m - 1)/psi) and z_i = (Z-CCC - z (sigma/s) sqrt(h)) / (sigma/s), the same
// numbers up to rounding whatever the units of the task.
//
// Identity: under this prior the posterior predictive distribution of a control with the
// case's covariate values is y-hat* + s sqrt(1 + h) T with T Student t on N - m - 1
// degrees of freedom, so P converges to the one-tailed p of the frequentist test.
#include "bayes/bayesian_deficit.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "bayes/bsdt_precision.h"
#include "bayes/bsdt_run.h"
#include "distrib/fp_check.h"

namespace {

const std::string kRoutine = "Bayesian test for a deficit";

// Iterations between two calls of the observer (a power of 2).
constexpr std::int32_t kObserve_every = 65536;

}  // namespace

void Bayesian_deficit_test(const tConditional_task& task, std::int32_t Iterations,
                           bool Reset_seed, bool Two_sided, std::int32_t Level,
                           tBayesian_deficit_results& Results,
                           const tProgress_observer* Observer) {
  Check_conditional_task(kRoutine, task);
  const std::int32_t df = task.N - task.M - 1;
  if (Iterations < 1)
    throw ERefused_input(kRoutine + ": the number of iterations must be positive.");
  std::int32_t lo = 0, hi = 0;
  Credible_limit_positions(Level, Two_sided, Iterations, lo, hi);

  tFp_flag_guard fp_guard;
  const Extended zccc = (task.Case - task.Predicted) / task.Residual_sd;
  const Extended sqrt_h = std::sqrt(task.Leverage_factor / static_cast<Extended>(task.N));
  const Extended df_real = df;
  Require_finite(zccc, "the case's standardized distance Z-CCC");

  std::unique_ptr<double[]> samples;
  try {
    // Default-initialised, as make_unique_for_overwrite (which not every library has).
    samples = std::unique_ptr<double[]>(new double[static_cast<std::size_t>(Iterations) + 1]);
  } catch (const std::bad_alloc&) {
    throw std::runtime_error(kRoutine + ": not enough memory for " +
                             std::to_string(Iterations) + " iterations.");
  }
  double* const z_draws = samples.get();

  if (Reset_seed) {
    Seed1 = kStart_seed1;
    Seed2 = kStart_seed2;
  }
  tChi_square_distribution chi(df_real);
  tNormal_distribution normal(0, 1);
  // S and Q sum the probabilities of the tail the case is expected in, and their squares:
  // for a case above its prediction the upper tail Phi(-z_i) directly, so that a tiny
  // folded P and its standard error keep their digits (1 - Phi(z_i) would lose them).
  const bool upper_tail = zccc > 0;
  Extended S = 0;
  tSquares_sum Q;
  for (std::int32_t i = 1; i <= Iterations; ++i) {
    if (Observer != nullptr && (i & (kObserve_every - 1)) == 0) {
      if (Observer->Cancel_requested()) throw ECancelled();
      if (Observer->Progress) Observer->Progress(i - 1, Iterations);
    }
    const Extended psi = chi.Random_value();
    const Extended sigma = std::sqrt(df_real / psi);
    const Extended z = normal.Random_value();
    const Extended mu = z * sigma * sqrt_h;
    const Extended z_i = (zccc - mu) / sigma;
    if (!std::isfinite(z_i))
      throw EFloating_point_error(kRoutine + " stopped at Monte Carlo iteration " +
                                  std::to_string(i) + ": a draw was not finite. No results "
                                  "were computed.");
    z_draws[i] = static_cast<double>(z_i);
    const Extended p = Standard_normal_probability(upper_tail ? -z_i : z_i);
    S += p;
    Q.Add(p);
  }
  if (fp_guard.Faulted())
    throw EFloating_point_error(kRoutine + " stopped: a floating-point fault in the Monte "
                                           "Carlo draws. No results were computed.");
  if (Observer != nullptr && Observer->Progress) Observer->Progress(Iterations, Iterations);

  // The two order statistics (the values a full sort puts at these positions).
  const std::int32_t first = std::min(lo, hi), second = std::max(lo, hi);
  std::nth_element(z_draws + 1, z_draws + first, z_draws + Iterations + 1);
  if (second > first)
    std::nth_element(z_draws + first + 1, z_draws + second, z_draws + Iterations + 1);

  tBayesian_deficit_results r;
  // The BSDT's fold: the lower-tail percentage P, replaced by 100 - P when above 50.
  Extended P;
  if (!upper_tail) {
    P = S / Iterations * 100;
    r.Reversed = P > 50;
    if (r.Reversed) P = 100 - P;
  } else {
    const Extended upper = S / Iterations * 100;  // 100 - the lower-tail percentage
    r.Reversed = upper < 50;
    P = r.Reversed ? upper : 100 - upper;
  }
  r.P_one_tailed_mc_se = Mc_standard_error(S, Q, Iterations);
  r.Zccc = zccc;
  r.Zccc_lower = z_draws[lo];
  r.Zccc_upper = z_draws[hi];
  Set_folded_tail(r, P, r.Reversed, r.Zccc_lower, r.Zccc_upper);
  // After the limits are read: it reorders the draws.
  r.Histogram = Zdcc_histogram(z_draws, Iterations, first, second);
  if (fp_guard.Faulted())
    throw EFloating_point_error(kRoutine + ": a floating-point fault in the results.");
  for (const Extended v : {r.P_one_tailed, r.P_two_tailed, r.Pct_more_extreme, r.Pct_lower,
                           r.Pct_upper, r.Zccc, r.Zccc_lower, r.Zccc_upper,
                           r.P_one_tailed_mc_se})
    Require_finite(v, "a result of the Bayesian test for a deficit");
  Results = r;
}
