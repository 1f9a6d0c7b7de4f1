// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/bsdt_literal.h"

#include <cmath>
#include <memory>
#include <optional>
#include <stdexcept>

#include "bayes/bsdt_draws.h"
#include "bayes/bsdt_precision.h"
#include "bayes/bsdt_run.h"
#include "bayes/matrix_2x2.h"
#include "distrib/fp_check.h"
#include "stats/metrics_papers.h"
#include "tests/support/matrix_handling.h"

namespace {

template <bool kCalibrated>
void Literal(const tBSDT_inputs& in, tBSDT_results& Results, const tProgress_observer* observer,
             tBSDT_precision* precision) {
  const std::int32_t N = in.N;
  const std::int32_t n = in.Iterations;
  std::int32_t lo, hi;
  Credible_limit_positions(in.Level, in.Two_sided, n, lo, hi);
  tFp_flag_guard fp_guard;
  if (in.Reset_seed) Reset_seeds();

  tChi_square_distribution chi_a(kCalibrated ? N - 2 : N);
  tChi_square_distribution chi_b(kCalibrated ? N - 3 : N - 1);
  tNormal_distribution normal(0, 1);
  std::optional<tUniform_distribution> uniform;
  if constexpr (kCalibrated) uniform.emplace(0, 1);

  // The standardized problem, as the engine draws it.
  const Extended zx0 = (in.Case_x - in.Mean_x) / in.Sd_x;
  const Extended zy0 = (in.Case_y - in.Mean_y) / in.Sd_y;
  const Extended f =
      kCalibrated ? static_cast<Extended>(N - 2) / static_cast<Extended>(N - 1) : 1;
  const Extended n_minus_1 = N - 1;
  tMat2 a;
  if constexpr (kCalibrated) {
    a.a11 = f * 1 * 1 * n_minus_1;
    a.a12 = f * 1 * 1 * in.R_xy * n_minus_1;
    a.a22 = f * 1 * 1 * n_minus_1;
  } else {
    a.a11 = 1 * 1 * n_minus_1;
    a.a12 = 1 * 1 * in.R_xy * n_minus_1;
    a.a22 = 1 * 1 * n_minus_1;
  }
  a.a21 = a.a12;
  tMat2 a_inv;
  if (!Inverse_2x2(a, a_inv)) throw std::invalid_argument("literal BSDT: singular scale matrix");
  tDraw_constants k;
  k.L = Cholesky_factor_2x2(a_inv);
  k.Lt = Transpose_2x2(k.L);
  k.Sqrt_n = std::sqrt(static_cast<Extended>(N));
  k.Mean_x = 0;
  k.Mean_y = 0;
  k.Case_x = zx0;
  k.Case_y = zy0;

  const auto samples = std::make_unique<double[]>(static_cast<std::size_t>(n) + 1);
  double* const Samples = samples.get();
  Extended S = 0, Q = 0, U = 0, V = 0;
  const tDraw_distributions dist{chi_a, chi_b, normal, uniform ? &*uniform : nullptr};
  Draw_Zdcc<kCalibrated>(n, dist, k, observer, [&](std::int32_t i, Extended d) {
    Samples[i] = static_cast<double>(d);
    const Extended p = normal.Cdf(d);
    S += p;
    Q += p * p;
    const Extended u = d > 2 ? normal.Cdf(-d) : 1 - p;  // as the engine
    U += u;
    V += u * u;
  });
  Check_fp_faults();
  Quick_sort(1, n, Samples);
  if (observer != nullptr) Observe(*observer, n, n);

  tBSDT_results r;
  const bool Reversed = S / n * 100 > 50;
  const Extended P = (Reversed ? U : S) / n * 100;  // as the engine: the folded tail's sum
  r.Pct_more_extreme = P;
  r.P_one_tailed = P / 100;
  r.P_two_tailed = P / 50;
  r.Zdcc = (zx0 - zy0) / Sd_difference(1, 1, in.R_xy);
  r.Zdcc_lower = Samples[lo];
  r.Zdcc_upper = Samples[hi];
  r.Pct_lower = 100 * (Reversed ? normal.Cdf(-r.Zdcc_upper) : normal.Cdf(r.Zdcc_lower));
  r.Pct_upper = 100 * (Reversed ? normal.Cdf(-r.Zdcc_lower) : normal.Cdf(r.Zdcc_upper));
  if (precision != nullptr) {
    precision->P_one_tailed_mc_se =
        Reversed ? Mc_standard_error(U, V, n) : Mc_standard_error(S, Q, n);
    precision->P_two_tailed_mc_se = 2 * precision->P_one_tailed_mc_se;
    precision->Zdcc_histogram = Zdcc_histogram(Samples, n, std::min(lo, hi), std::max(lo, hi));
  }
  Results = r;
}

}  // namespace

void Run_BSDT_literal(const tBSDT_inputs& in, tBSDT_results& Results,
                      const tProgress_observer* Observer, tBSDT_precision* Precision) {
  if (in.Prior == tPrior::Calibrated)
    Literal<true>(in, Results, Observer, Precision);
  else
    Literal<false>(in, Results, Observer, Precision);
}
