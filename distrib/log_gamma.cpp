// SPDX-License-Identifier: GPL-3.0-or-later
// The logarithm of the gamma function, the Poisson density and the regularized incomplete
// beta function to the precision of Extended, for the non-central t distribution, whose
// sums need their starting terms to the last digit (Ln_gamma and Incomplete_beta of
// math_functions.cpp stop near 1E-10 and 5E-12).
//
// - Log_gamma: Stirling's series with seven terms for x >= 16 (first omitted term below
//   1E-20 there), after the recurrence G(x) = G(x + n) / (x (x + 1) ... (x + n - 1)) below.
// - Poisson_density(k, lambda) = lambda^k e^-lambda / G(k + 1) for real k >= 0, in the
//   saddle-point form of Loader ("Fast and accurate computation of binomial
//   probabilities", 2000): exp(-stirlerr(k) - bd0(k, lambda)) / sqrt(2 pi k), where
//   stirlerr is the Stirling series' remainder and bd0(k, M) = k ln(k/M) + M - k is
//   summed as a series when k is near M. Its relative error does not grow with lambda, as
//   that of exp(k ln lambda - lambda - ln G(k + 1)) does.
// - Ln_beta: ln B(a, b) with the two large log-gamma values of a large and a small
//   argument cancelled exactly inside Stirling's series.
// - Regularized_beta: the continued fraction of Numerical Recipes' betacf by the modified
//   Lentz method (Press et al., 3rd ed., 6.4), to a relative change of one epsilon, on the
//   side of the mean where it converges; the prefactor x^a (1 - x)^b / B(a, b) from
//   Ln_beta, with 1 - x given by the caller so that it keeps its digits.
#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "distrib/distrib.h"
#include "distrib/fp_check.h"

namespace {

constexpr Extended kEpsilon = std::numeric_limits<Extended>::epsilon();
constexpr Extended kHalf_ln_two_pi = 0.918938533204672741780329736405617640L;  // ln(2 pi)/2
constexpr Extended kTwo_pi = 2 * std::numbers::pi_v<Extended>;

// Stirling's series is used from this argument on.
constexpr Extended kStirling_from = 16;

// Near-zero guard of the modified Lentz method.
constexpr Extended kLentz_floor = 1E-300L;

// The continued fraction needs about sqrt(max(a, b)) steps; beyond this it has failed.
constexpr long kMax_fraction_steps = 1000000;

// ln G(x) - ((x - 1/2) ln x - x + ln(2 pi)/2) for x >= 16: B_2n / (2n (2n - 1) x^(2n-1)).
Extended Stirling_series(Extended x) {
  const Extended w = 1 / (x * x);
  return (1.0L / 12 -
          w * (1.0L / 360 -
               w * (1.0L / 1260 -
                    w * (1.0L / 1680 - w * (1.0L / 1188 - w * (691.0L / 360360 - w / 156)))))) /
         x;
}

}  // namespace

Extended Log_gamma(Extended x) {
  if (!(x > 0) || !std::isfinite(x))
    throw EFloating_point_error("Invalid floating point operation (Log_gamma of " +
                                Format_limit(x) + ", which is not a positive number)");
  Extended shift = 1;
  while (x < kStirling_from) {
    shift *= x;
    x += 1;
  }
  return (x - 0.5L) * std::log(x) - x + kHalf_ln_two_pi + Stirling_series(x) - std::log(shift);
}

Extended Ln_beta(Extended a, Extended b) {
  const Extended small = a < b ? a : b;
  const Extended large = a < b ? b : a;
  // ln B = ln G(small) - (ln G(large + small) - ln G(large)). The difference in brackets
  // from Stirling's series with its large logarithms cancelled exactly:
  // (large - 1/2) log1p(small/large) + small (ln(large + small) - 1), plus the series'
  // remainders. Its rounding is then that of terms of the size of small ln(large), not of
  // ln G(large), which for a large argument and the double epsilon would cost 1E-9.
  if (large < kStirling_from) return Log_gamma(small) + Log_gamma(large) - Log_gamma(large + small);
  const Extended sum = large + small;
  const Extended difference = (large - 0.5L) * std::log1p(small / large) +
                              small * (std::log(sum) - 1) + Stirling_series(sum) -
                              Stirling_series(large);
  return Log_gamma(small) - difference;
}

Extended Stirling_error(Extended x) {
  if (x >= kStirling_from) return Stirling_series(x);
  return Log_gamma(x) - ((x - 0.5L) * std::log(x) - x + kHalf_ln_two_pi);
}

Extended Poisson_deviance(Extended x, Extended M) {
  const Extended d = x - M;
  if (std::fabs(d) < 0.1L * (x + M)) {
    // x ln(x/M) + M - x = d v + 2x sum_{j>=1} v^(2j+1) / (2j + 1), v = d / (x + M).
    const Extended v = d / (x + M);
    Extended s = d * v;
    Extended term = 2 * x * v;
    const Extended v2 = v * v;
    for (int j = 1; j < 1000; ++j) {
      term *= v2;
      const Extended next = s + term / (2 * j + 1);
      if (next == s) return next;
      s = next;
    }
    return s;
  }
  return x * std::log(x / M) + M - x;
}

Extended Poisson_density(Extended k, Extended lambda) {
  if (k == 0) return std::exp(-lambda);
  // G(k + 1) = sqrt(2 pi k) (k/e)^k e^stirlerr(k), and stirlerr(k) = Stirling_error(k)
  // because ln G(k + 1) = ln G(k) + ln k.
  return std::exp(-Stirling_error(k) - Poisson_deviance(k, lambda)) / std::sqrt(kTwo_pi * k);
}

Extended Beta_continued_fraction(Extended x, Extended a, Extended b) {
  const Extended qab = a + b, qap = a + 1, qam = a - 1;
  const auto guard = [](Extended v) { return std::fabs(v) < kLentz_floor ? kLentz_floor : v; };
  Extended c = 1;
  Extended d = 1 / guard(1 - qab * x / qap);
  Extended h = d;
  for (long m = 1; m <= kMax_fraction_steps; ++m) {
    const Extended em = m, m2 = 2 * em;
    Extended aa = em * (b - em) * x / ((qam + m2) * (a + m2));
    d = 1 / guard(1 + aa * d);
    c = guard(1 + aa / c);
    h *= d * c;
    aa = -(a + em) * (qab + em) * x / ((a + m2) * (qap + m2));
    d = 1 / guard(1 + aa * d);
    c = guard(1 + aa / c);
    const Extended step = d * c;
    h *= step;
    if (!std::isfinite(h))
      throw EFloating_point_error("The incomplete beta function's continued fraction failed");
    if (std::fabs(step - 1) <= kEpsilon) return h;
  }
  throw EFloating_point_error("The incomplete beta function's continued fraction did not converge");
}

Extended Regularized_beta(Extended x, Extended complement, Extended a, Extended b) {
  if (std::isnan(x) || std::isnan(complement))
    throw EFloating_point_error("Invalid floating point operation (Regularized_beta of a NaN)");
  if (x <= 0) return 0;
  if (complement <= 0) return 1;
  const Extended ln_front = a * std::log(x) + b * std::log(complement) - Ln_beta(a, b);
  const Extended front = std::exp(ln_front);
  // The fraction converges quickly on the side of the mean a / (a + b) nearer to x;
  // beyond it, the symmetry I_x(a, b) = 1 - I_(1-x)(b, a).
  if (x < (a + 1) / (a + b + 2)) return front * Beta_continued_fraction(x, a, b) / a;
  return 1 - front * Beta_continued_fraction(complement, b, a) / b;
}
