// SPDX-License-Identifier: GPL-3.0-or-later
// The Monte Carlo precision of the BSDT's probability and the shape of its Z-DCC draws.
// Internal to the bayes unit.
#pragma once

#include <cstdint>
#include <limits>

#include "bayes/bayes_engines.h"

// Standard error of the mean of n values x_i in [0, 1] from their sum and their sum of
// squares, both accumulated in extended precision in the same pass as the sum that gives
// P: sqrt((sum_squares - sum^2 / n) / (n - 1)) / sqrt(n). 0 for n < 2.
//
// The engine gives it the values of the tail that P is folded into: the probabilities
// p_i below each draw when P is the lower tail, the probabilities u_i = 1 - p_i above it
// when P is folded to the upper tail, each u_i computed from the upper tail directly
// where the draw lies beyond 2 (below, 1 - p_i is exact and at least 0.0227). The values
// are then as small as P, and each carries its own relative precision (5E-15 or better):
// the cancellation costs log10(1 + 1/cv^2) digits of the nineteen of the sums, cv the
// values' coefficient of variation (Chan, Golub and LeVeque, Am. Stat. 37,
// 1983), which for draws spread over a tail is at most a few. Values taken as 1 - p_i
// from p_i near 1 would keep only the differences the doubles p_i can hold, about 1E-16,
// and a tiny P's error would collapse to that noise or to 0.
Extended Mc_standard_error(Extended sum, Extended sum_squares, std::int64_t n);

// A sum of squares of values in [0, 1] held as Scale^2 x Ssq. In the x87 build Scale stays
// 1 and Ssq is the plain sum (its exponent range holds the square of every double). In a
// build whose Extended is the double, a square below about 1E-308 (a value below 1E-154,
// as the draws' tail probabilities of a tiny P are) would underflow to 0, and the
// standard error with it; there the sum is rescaled by its largest value so far, as
// Hammarling's scaled sum of squares in the BLAS's dnrm2 (Blue, ACM TOMS 4, 1978).
struct tSquares_sum {
  static constexpr bool kScaled = std::numeric_limits<Extended>::max_exponent <= 2 * 1024;
  Extended Scale = kScaled ? 0 : 1;  // the largest value so far, in the double build
  Extended Ssq = 0;
  void Add(Extended x) {
    if constexpr (!kScaled) {
      Ssq += x * x;
    } else if (x > Scale) {
      const Extended r = Scale / x;
      Ssq = 1 + Ssq * r * r;
      Scale = x;
    } else if (x > 0) {
      const Extended r = x / Scale;
      Ssq += r * r;
    }
  }
};

// As above, from a scaled sum of squares: Scale sqrt((Ssq - (sum/Scale)^2 / n) / (n - 1))
// / sqrt(n), the same bits as the plain form when Scale is 1; 0 when every value was 0.
Extended Mc_standard_error(Extended sum, const tSquares_sum& squares, std::int64_t n);

// The probabilities of a test on Monte Carlo draws, folded to the tail the case lies in:
// P (a percentage, at most 50) is the tail's mean probability, from the sum of that
// tail's values (100 - a percentage near 100 would keep only its absolute rounding);
// reversed says that it is the upper tail. The one-tailed probability is P / 100, the
// two-tailed twice that; the limits of 100 - P are taken from the upper tails of the
// effect size's credible limits lower and upper directly, so that tiny limits keep their
// digits. Both engines report their probabilities this way: Set_folded_tail fills
// Pct_more_extreme, P_one_tailed, P_two_tailed, Pct_lower and Pct_upper of their results.
template <typename tResults>
void Set_folded_tail(tResults& r, Extended P, bool reversed, Extended lower, Extended upper) {
  const tNormal_distribution normal(0, 1);
  r.Pct_more_extreme = P;
  r.P_one_tailed = P / 100;
  r.P_two_tailed = P / 50;
  r.Pct_lower = 100 * (reversed ? normal.Cdf(-upper) : normal.Cdf(lower));
  r.Pct_upper = 100 * (reversed ? normal.Cdf(-lower) : normal.Cdf(upper));
}

// Positions (1-based, in 1..n) of the 0.1 % and the 99.9 % order statistics: Round,
// halves to even, of 0.001 n and of 0.999 n plus 1, as the credible limits are placed.
void Histogram_positions(std::int64_t n, std::int64_t& lo, std::int64_t& hi);

// The histogram of samples[1..n]. The samples must already be partitioned at the
// positions lo <= hi (every value before a position no larger than the value there, every
// value after it no smaller), as selecting the credible limits leaves them; the two
// order statistics are then selected within the outer stretches. Reorders samples.
tZdcc_histogram Zdcc_histogram(double* samples, std::int64_t n, std::int64_t lo,
                               std::int64_t hi);
