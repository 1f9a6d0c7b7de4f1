// Monte Carlo standard error and histogram of the BSDT's draws.
//
// P is the mean of the draws' normal probabilities p_i, so its Monte Carlo standard error
// is s / sqrt(n), s the sample standard deviation of the p_i (computed in two passes for
// accuracy; Chan, Golub and LeVeque, Am. Stat. 37, 1983). The two-tailed probability is
// twice the one-tailed one, and so is its error. Folding P to 100 - P changes neither.
#include "bayes/bsdt_precision.h"

#include <algorithm>
#include <cmath>

Extended Mc_standard_error(const Extended* p, std::int64_t n) {
  if (n < 2) return 0;
  Extended sum = 0;
  for (std::int64_t i = 1; i <= n; ++i) sum += p[i];
  const Extended mean = sum / n;
  Extended squares = 0;
  for (std::int64_t i = 1; i <= n; ++i) {
    const Extended e = p[i] - mean;
    squares += e * e;
  }
  return std::sqrt(squares / (n - 1)) / std::sqrt(static_cast<Extended>(n));
}

void Histogram_positions(std::int64_t n, std::int64_t& lo, std::int64_t& hi) {
  const Extended count = static_cast<Extended>(n);
  lo = std::clamp<std::int64_t>(static_cast<std::int64_t>(std::nearbyint(0.001L * count)), 1, n);
  hi = std::clamp<std::int64_t>(static_cast<std::int64_t>(std::nearbyint(0.999L * count)) + 1,
                                1, n);
}

tZdcc_histogram Zdcc_histogram(double* samples, std::int64_t n) {
  tZdcc_histogram h;
  h.Counts.assign(kZdcc_bins, 0);
  if (n < 1) return h;
  std::int64_t lo, hi;
  Histogram_positions(n, lo, hi);
  double* const first = samples + 1;
  double* const end = samples + n + 1;
  std::nth_element(first, samples + lo, end);
  h.Lower = samples[lo];
  if (hi > lo) std::nth_element(samples + lo + 1, samples + hi, end);
  h.Upper = samples[hi];
  const double width = (h.Upper - h.Lower) / kZdcc_bins;
  for (const double* x = first; x != end; ++x) {
    if (*x < h.Lower) {
      ++h.Below;
    } else if (*x > h.Upper) {
      ++h.Above;
    } else {
      // The upper edge belongs to the last bin; equal limits put everything in bin 0.
      int bin = width > 0 ? static_cast<int>((*x - h.Lower) / width) : 0;
      bin = std::min(bin, kZdcc_bins - 1);
      ++h.Counts[static_cast<std::size_t>(bin)];
    }
  }
  return h;
}
