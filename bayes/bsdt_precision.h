// SPDX-License-Identifier: GPL-3.0-or-later
// The Monte Carlo precision of the BSDT's probability and the shape of its Z-DCC draws.
// Internal to the bayes unit.
#pragma once

#include <cstdint>

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

// Positions (1-based, in 1..n) of the 0.1 % and the 99.9 % order statistics: Round,
// halves to even, of 0.001 n and of 0.999 n plus 1, as the credible limits are placed.
void Histogram_positions(std::int64_t n, std::int64_t& lo, std::int64_t& hi);

// The histogram of samples[1..n]. The samples must already be partitioned at the
// positions lo <= hi (every value before a position no larger than the value there, every
// value after it no smaller), as selecting the credible limits leaves them; the two
// order statistics are then selected within the outer stretches. Reorders samples.
tZdcc_histogram Zdcc_histogram(double* samples, std::int64_t n, std::int64_t lo,
                               std::int64_t hi);
