// SPDX-License-Identifier: GPL-3.0-or-later
// The non-central t distribution with Df degrees of freedom (nu) and non-centrality Delta.
//
// Distribution function and density: the Poisson mixture of incomplete beta functions
// (the representation used by Lenth's AS 243, Appl. Statist. 38, 1989). With
// lambda = delta^2/2, m = nu/2 and y = x^2/(nu + x^2), for delta >= 0:
//
//   F(x) = Phi(-delta) + sum_j [ s p_j I_y(j + 1/2, m) + q_j I_y(j + 1, m) ],
//   p_j = e^-lambda lambda^j / (2 j!),  q_j = delta e^-lambda lambda^j / (2 sqrt(2) G(j + 3/2)),
//
// with s = +1 for x >= 0 and -1 below (negative delta is folded onto positive by
// F(x; nu, -delta) = 1 - F(-x; nu, delta)). The density is the same mixture of the
// derivatives. The sums start at the index k of the largest Poisson weight, run down to
// L = floor(lambda - 10 sqrt(lambda)) (the Poisson mass below L is under 1E-22) and then up
// from k until the neglected upper tail is below a sixty-fourth of the epsilon. Only the
// terms at k come from special functions, each to the precision of Extended (Loader's
// saddle-point Poisson density, Stirling's series, the incomplete beta's continued
// fraction to one epsilon: log_gamma.cpp), and Phi(-delta) from the normal tail; every other term follows from its neighbour by a one-step
// recurrence with a handful of multiplications, because the interval searches call these
// two functions thousands of times.
//
// Numerical safeguards (the sums are otherwise as the recurrences above):
// - The indices are 64-bit, so lambda may exceed the 32-bit range. The work grows as
//   sqrt(lambda), about 11 |delta| recurrence steps per call, and the accuracy of the
//   starting weights falls as lambda ln(lambda) times the extended epsilon. |delta| is
//   therefore limited to kMax_noncentrality = 131072 (2^17): there a call takes some tens
//   of milliseconds and the distribution function is still good to about 1E-8. Beyond it
//   the call ends with an error that says so, instead of overflowing an index. The density
//   stops on an absolute term size, so at such lambda it keeps only a few digits (enough
//   for the Newton steps of the quantile search, which take their accuracy from F).
// - The upward pass of F stops on R (A - a), R being 1/2 less the weights summed so far;
//   once lambda is in the millions R inherits the weights' relative rounding and can
//   stall above the tolerance. A geometric bound on the remaining weights ends the pass
//   in that case (it does not end a pass that an exact R would have continued).
// - The starting terms of the beta increments (a, b, U, V) are computed as one exponential
//   of a sum of logarithms: their gamma-function quotient alone overflows the extended
//   range when k and m are both in the thousands (for example N = 10000 and a case two
//   standard deviations from the control mean), while the whole term is at most 1.
//   1 - y is taken as nu/(nu + x^2), free of cancellation when x^2 is large.
// - Each upward pass stops on a NaN (which would make its test false for ever) and has
//   a generous step limit; a non-finite result or a floating-point fault ends the call
//   with EFloating_point_error.
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>

#include "distrib/distrib.h"
#include "distrib/fp_check.h"

namespace {

// The upward pass of the distribution function stops when the bound R (A - a) on the rest
// of the sum falls below this; that of the density when its last even term does.
constexpr Extended kCdf_tolerance = std::numeric_limits<Extended>::epsilon() / 64;
constexpr Extended kDensity_tolerance = 5E-12L;

// The sums start kLower_spread standard deviations of the Poisson weights below their
// mean: the weights below hold less than 1E-22 (about Phi(-10)).
constexpr Extended kLower_spread = 10;

// ln(2) / 2, for the 1/sqrt(2) in the odd weights q_j.
constexpr Extended kHalf_ln_2 = std::numbers::ln2_v<Extended> / 2;

// The largest |delta| whose sums are evaluated (see above).
constexpr Extended kMax_noncentrality = 131072;

// The upward passes need about 7.5 sqrt(lambda) steps past the mode for large lambda and
// a few dozen for small lambda; four times that and more is a sign that they cannot end.
std::int64_t Forward_step_limit(Extended lambda) {
  return 1000 + 32 * static_cast<std::int64_t>(std::ceil(std::sqrt(lambda)));
}

[[noreturn]] void No_convergence(const char* function) {
  throw EFloating_point_error(std::string("The non-central t ") + function +
                              " did not converge (its sum kept running past the step limit)");
}

// Everything the two sums need about the point and the parameters.
struct tMixture {
  bool folded = false;   // delta was negative: x and delta changed sign
  Extended d = 0;        // |delta|
  Extended lambda = 0;   // delta^2 / 2, the Poisson mean
  Extended ln_lambda = 0;
  std::int64_t L = 0;    // lowest index summed
  std::int64_t k = 0;    // index of the largest Poisson weight
  Extended x = 0;        // the point, after folding
  Extended x2 = 0;       // x^2
  Extended m = 0;        // nu / 2
  Extended y = 0;        // x^2 / (nu + x^2)
  Extended c = 1;        // 1 - y, as nu / (nu + x^2)
  Extended s = 1;        // +1 for x >= 0, -1 below
};

tMixture Prepare(Extended nu, Extended delta, Extended x) {
  if (!(std::fabs(delta) <= kMax_noncentrality)) {
    throw EFloating_point_error(
        "The non-central t distribution cannot be computed for a non-centrality of " +
        Format_limit(delta) + ": its size must not exceed " + Format_limit(kMax_noncentrality));
  }
  tMixture r;
  r.folded = delta < 0;
  r.d = r.folded ? -delta : delta;
  r.x = r.folded ? -x : x;
  r.lambda = r.d * r.d / 2;
  r.ln_lambda = std::log(r.lambda);
  const Extended low = std::floor(r.lambda - kLower_spread * std::sqrt(r.lambda));
  r.L = low < 0 ? 0 : static_cast<std::int64_t>(low);
  // Rounded to the nearest whole number, halves to even.
  r.k = static_cast<std::int64_t>(std::nearbyint(r.lambda));
  if (r.k < r.L) r.k = r.L;
  r.m = nu / 2;
  r.x2 = r.x * r.x;
  r.y = r.x2 / (nu + r.x2);
  r.c = nu / (nu + r.x2);
  r.s = r.x >= 0 ? 1 : -1;
  return r;
}

// ln y and ln(1 - y), each from the form that does not cancel (y > 0).
Extended Ln_y(const tMixture& mix) { return mix.y > 0.5L ? std::log1p(-mix.c) : std::log(mix.y); }
Extended Ln_c(const tMixture& mix) { return mix.c > 0.5L ? std::log1p(-mix.y) : std::log(mix.c); }

// Phi(-d), the standard normal probability below -d, from its tail directly.
Extended Normal_below_minus(Extended d) { return Normal_upper_tail(d); }

// The end of a call: a trapped floating-point fault or a non-finite value is an error.
Extended Checked_result(Extended r, const char* what) {
  Check_fp_faults();
  Require_finite(r, what);
  return r;
}

}  // namespace

tNon_central_t_distribution::tNon_central_t_distribution(Extended Df, Extended Delta) {
  Num_parameters = 2;
  Parameters[0] = {0, false, 0, Infinity_value};
  Parameters[1] = {0, false, -Infinity_value, Infinity_value};
  Central_t = std::make_unique<tT_distribution>(Df);
  Set_parameters(Df, Delta, 0);
}

bool tNon_central_t_distribution::Set_parameters(Extended P1, Extended P2, Extended P3) {
  const bool result = tContinuous_distribution::Set_parameters(P1, P2, P3);
  Df = P1;
  Delta = P2;
  Central_t->Set_parameters(Df, 0, 0);
  return result;
}

Extended tNon_central_t_distribution::Cdf(Extended x) const {
  // delta = 0 is the central t, exactly.
  if (Nearly_equal(0, Delta)) return Central_t->Cdf(x);
  // Outside the support (and for a NaN, which the base refuses): 0 below, 1 above.
  if (!In_support(x)) return tDistribution::Cdf(x);

  tFp_flag_guard fp_guard;  // reports this call's faults only, keeps the caller's flags
  const tMixture mix = Prepare(Df, Delta, x);
  const Extended lambda = mix.lambda;
  const Extended m = mix.m;
  const Extended y = mix.y;
  const Extended s = mix.s;
  const Extended kx = static_cast<Extended>(mix.k);

  // Terms at k: the halved Poisson weights, the incomplete betas and their decrements
  // a = A(k) - A(k+1), b = B(k) - B(k+1), all to the precision of Extended. The odd
  // weight delta e^-lambda lambda^k / (2 sqrt(2) G(k + 3/2)) is half the Poisson density
  // at k + 1/2, since delta / sqrt(2) = sqrt(lambda).
  const Extended p0 = 0.5L * Poisson_density(kx, lambda);
  const Extended q0 = 0.5L * Poisson_density(kx + 0.5L, lambda);
  const Extended A0 = Regularized_beta(y, mix.c, kx + 0.5L, m);
  const Extended B0 = Regularized_beta(y, mix.c, kx + 1, m);
  Extended a0 = 0, b0 = 0;  // y^(k+1/2) and y^(k+1) vanish at y = 0
  if (y > 0) {
    const Extended ln_y = Ln_y(mix);
    const Extended m_ln_c = m * Ln_c(mix);
    // G(a + m) / (G(a + 1) G(m)) = 1 / (a B(a, m)).
    a0 = std::exp((kx + 0.5L) * ln_y + m_ln_c - Ln_beta(kx + 0.5L, m) - std::log(kx + 0.5L));
    b0 = std::exp((kx + 1) * ln_y + m_ln_c - Ln_beta(kx + 1, m) - std::log(kx + 1));
  }

  Extended p = p0, q = q0, A = A0, B = B0, a = a0, b = b0;
  Extended F = Normal_below_minus(mix.d) + s * p * A + q * B;
  Extended R = 0.5L - p;  // halved Poisson mass not yet summed

  // Downward from k to L. Going down, the incomplete betas grow by the decrements, which
  // the recurrence recovers by dividing by y (no pass at y = 0, where they vanish).
  const Extended low = static_cast<Extended>(mix.L);
  for (Extended j = kx - 1; j >= low; j -= 1) {
    p = p * (j + 1) / lambda;
    q = q * (j + 1.5L) / lambda;
    R -= p;
    if (y > 0) {
      a = a * (j + 1.5L) / ((j + 0.5L + m) * y);
      b = b * (j + 2) / ((j + 1 + m) * y);
    }
    A += a;
    B += b;
    F += s * p * A + q * B;
  }

  // Upward from k + 1 until the rest, at most R times the next incomplete beta, is
  // negligible. The test is written so that a NaN also ends the pass.
  p = p0, q = q0, A = A0, B = B0, a = a0, b = b0;
  const std::int64_t limit = Forward_step_limit(lambda);
  Extended j = kx;
  for (std::int64_t step = 1;; ++step) {
    if (step > limit) No_convergence("distribution function");
    j += 1;
    p = p * lambda / j;
    q = q * lambda / (j + 0.5L);
    R -= p;
    A -= a;
    B -= b;
    F += s * p * A + q * B;
    a = a * y * (j - 0.5L + m) / (j + 0.5L);
    b = b * y * (j + m) / (j + 1);
    if (!(R * (A - a) >= kCdf_tolerance)) break;
    // R is 1/2 less the weights summed so far, and so inherits their rounding (a few
    // epsilon, far more once lambda is in the millions): it can stall above the
    // tolerance, and the pass would never end.
    // Past the mode the rest of the weights is also bounded by the geometric series
    // p lambda (j + 2) / ((j + 1)(j + 2 - lambda)); stop when that bound is met too. In
    // exact arithmetic it falls short of R by at most the weights below L (under 1E-22),
    // so it does not end a pass that R would have continued.
    if (p * lambda * (j + 2) * (A - a) < kCdf_tolerance * (j + 1) * (j + 2 - lambda)) break;
  }

  // Rounding may carry a sum a hair outside [0, 1] (a NaN passes on to the check).
  const Extended r = mix.folded ? 1 - F : F;
  return Checked_result(r < 0 ? 0 : (r > 1 ? 1 : r), "non-central t distribution function");
}

Extended tNon_central_t_distribution::Density(Extended x) const {
  // delta = 0 is the central t, exactly.
  if (Nearly_equal(0, Delta)) return Central_t->Density(x);
  if (std::isnan(x)) {
    throw EFloating_point_error(
        "Invalid floating point operation (non-central t density of a value that is not a "
        "number)");
  }
  if (!In_support(x)) return 0;

  tFp_flag_guard fp_guard;  // reports this call's faults only, keeps the caller's flags
  const tMixture mix = Prepare(Df, Delta, x);
  const Extended lambda = mix.lambda;
  const Extended m = mix.m;
  const Extended nu = Df;
  // At x = 0 only the j = 0 term is non-zero. A point so close to 0 that y is below the
  // smallest normal number is taken as 0 too: there 1/y would overflow, while the density
  // differs from its value at 0 by far less than its rounding.
  const bool at_zero = !(mix.y >= std::numeric_limits<Extended>::min());
  const std::int64_t k = at_zero ? 0 : mix.k;
  const Extended kx = static_cast<Extended>(k);
  const Extended s = at_zero ? 1 : mix.s;

  const Extended k_ln_lambda = kx * mix.ln_lambda;
  const Extended P0 = std::exp(k_ln_lambda - lambda - Ln_gamma(kx + 1));
  const Extended Q0 = mix.d * std::exp(k_ln_lambda - lambda - kHalf_ln_2 - Ln_gamma(kx + 1.5L));
  Extended U0, V0;
  const Extended ln_gamma_m = Ln_gamma(m);
  if (at_zero) {
    // The central t density at 0.
    U0 = std::exp(Ln_gamma(m + 0.5L) - Ln_gamma(0.5L) - ln_gamma_m - std::log(nu) / 2);
    V0 = 0;
  } else {
    const Extended ln_y = Ln_y(mix);
    const Extended m1_ln_c = (m - 1) * Ln_c(mix);
    const Extended sum = mix.x2 + nu;
    const Extended factor = mix.x * nu / (sum * sum);
    U0 = factor * std::exp(Ln_gamma(kx + 0.5L + m) - Ln_gamma(kx + 0.5L) - ln_gamma_m +
                           (kx - 0.5L) * ln_y + m1_ln_c);
    V0 = factor * std::exp(Ln_gamma(kx + 1 + m) - Ln_gamma(kx + 1) - ln_gamma_m + kx * ln_y +
                           m1_ln_c);
  }

  Extended P = P0, Q = Q0, U = U0, V = V0;
  Extended f = s * P * U + Q * V;

  // Downward from k to L (no pass at x = 0, where k is 0).
  const Extended low = static_cast<Extended>(mix.L);
  const Extended inv_y = at_zero ? 0 : (mix.x2 + nu) / mix.x2;
  for (Extended j = kx - 1; j >= low; j -= 1) {
    P = P * (j + 1) / lambda;
    Q = Q * (j + 1.5L) / lambda;
    U = U * inv_y * (j + 0.5L) / (j + 0.5L + m);
    V = V * inv_y * (j + 1) / (j + 1 + m);
    f += s * P * U + Q * V;
  }

  // Upward from k + 1 until the last even term is negligible; a NaN also ends the pass.
  P = P0, Q = Q0, U = U0, V = V0;
  const Extended y = at_zero ? 0 : mix.y;
  const std::int64_t limit = Forward_step_limit(lambda);
  Extended j = kx;
  for (std::int64_t step = 1;; ++step) {
    if (step > limit) No_convergence("density");
    j += 1;
    P = P * lambda / j;
    Q = Q * lambda / (j + 0.5L);
    U = U * y * (j - 0.5L + m) / (j - 0.5L);
    V = V * y * (j + m) / j;
    f += s * P * U + Q * V;
    if (!(std::fabs(Q * V) >= kDensity_tolerance)) break;
  }

  // Far in the tail the two sums of opposite sign can cancel to a value a little below 0,
  // within their absolute accuracy; a density is never negative.
  return Checked_result(f < 0 ? 0 : f, "non-central t density");
}

bool tNon_central_t_distribution::Mean_exists() const { return Df > 1; }

bool tNon_central_t_distribution::Variance_exists() const { return Df > 2; }

// delta sqrt(nu/2) G((nu - 1)/2) / G(nu/2). For nu <= 1 the mean does not exist and the
// gamma function's argument is not positive: the same error as the t distribution's.
Extended tNon_central_t_distribution::Mean() const {
  Check_condition(!Mean_exists(), 1362);
  return Delta * std::sqrt(Df / 2) * std::exp(Ln_gamma((Df - 1) / 2) - Ln_gamma(Df / 2));
}

Extended tNon_central_t_distribution::Variance() const {
  Check_condition(!Variance_exists(), 1363);
  const Extended mean = Mean();
  return (1 + Delta * Delta) * Df / (Df - 2) - mean * mean;
}
