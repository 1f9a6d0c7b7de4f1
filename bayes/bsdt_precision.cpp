// SPDX-License-Identifier: GPL-3.0-or-later
// Monte Carlo standard error and histogram of the BSDT's draws.
//
// P is the mean of the draws' normal probabilities p_i, so its Monte Carlo standard error
// is s / sqrt(n), s the sample standard deviation of the p_i, which is also that of the
// u_i = 1 - p_i: folding P to 100 - P does not change it, but the engine computes it from
// the folded tail's values (see bsdt_precision.h). The two-tailed probability is twice
// the one-tailed one, and so is its error.
#include "bayes/bsdt_precision.h"

#include <algorithm>
#include <cmath>

Extended Mc_standard_error(Extended sum, Extended sum_squares, std::int64_t n) {
  if (n < 2) return 0;
  const Extended count = static_cast<Extended>(n);
  const Extended squares = std::max<Extended>(sum_squares - sum * sum / count, 0);
  return std::sqrt(squares / (count - 1)) / std::sqrt(count);
}

Extended Mc_standard_error(Extended sum, const tSquares_sum& squares, std::int64_t n) {
  if (!(squares.Scale > 0)) return 0;
  return squares.Scale * Mc_standard_error(sum / squares.Scale, squares.Ssq, n);
}

void Histogram_positions(std::int64_t n, std::int64_t& lo, std::int64_t& hi) {
  const Extended count = static_cast<Extended>(n);
  lo = std::clamp<std::int64_t>(static_cast<std::int64_t>(std::nearbyint(0.001L * count)), 1,
                                n);
  hi = std::clamp<std::int64_t>(
      static_cast<std::int64_t>(std::nearbyint(0.999L * count)) + 1, 1, n);
}

tZdcc_histogram Zdcc_histogram(double* samples, std::int64_t n, std::int64_t lo,
                               std::int64_t hi) {
  tZdcc_histogram h;
  h.Counts.assign(kZdcc_bins, 0);
  if (n < 1) return h;
  std::int64_t first, last;
  Histogram_positions(n, first, last);
  double* const begin = samples + 1;
  double* const end = samples + n + 1;
  if (first <= lo && last >= hi) {
    // Within the outer stretches: samples[1..lo] and samples[hi..n].
    std::nth_element(begin, samples + first, samples + lo + 1);
    std::nth_element(samples + hi, samples + last, end);
  } else {
    std::nth_element(begin, samples + first, end);
    if (last > first) std::nth_element(samples + first + 1, samples + last, end);
  }
  h.Lower = samples[first];
  h.Upper = samples[last];
  const double scale = h.Upper > h.Lower ? kZdcc_bins / (h.Upper - h.Lower) : 0;
  for (const double* x = begin; x != end; ++x) {
    if (*x < h.Lower) {
      ++h.Below;
    } else if (*x > h.Upper) {
      ++h.Above;
    } else {
      // The upper edge belongs to the last bin; equal limits put everything in bin 0.
      const int bin = std::min(static_cast<int>((*x - h.Lower) * scale), kZdcc_bins - 1);
      ++h.Counts[static_cast<std::size_t>(bin)];
    }
  }
  return h;
}
