// SPDX-License-Identifier: GPL-3.0-or-later
// Sample size and detectable effect by bracketing and bisection (the integer bisection
// keeps the invariant power(lo) < target <= power(hi), so it ends on the smallest N of the
// bracket where the power is increasing).
#include "stats/power_search.h"

#include <algorithm>
#include <stdexcept>
#include <tuple>
#include <type_traits>
#include <utility>

namespace {

// Sample sizes tried one by one before the doubling starts.
constexpr std::int32_t kLinear_scan = 32;

// Bisection of a bracket (lo, hi] with power(lo) < target <= power(hi) = p_hi, until
// hi - lo <= width; the bracket's upper end and its power. Integers halve at
// lo + (hi - lo) / 2, effects at (lo + hi) / 2.
template <typename T, typename F>
std::pair<T, Extended> Bisect(T lo, T hi, Extended p_hi, T width, Extended target,
                              const F& power_of) {
  while (hi - lo > width) {
    T mid;
    if constexpr (std::is_integral_v<T>) mid = lo + (hi - lo) / 2;
    else mid = (lo + hi) / 2;
    const Extended pm = power_of(mid);
    if (pm >= target) {
      hi = mid;
      p_hi = pm;
    } else {
      lo = mid;
    }
  }
  return {hi, p_hi};
}

}  // namespace

tSample_size Smallest_sample(const std::function<Extended(std::int32_t)>& power_of_n,
                             std::int32_t n_min, std::int32_t n_max, Extended target) {
  if (!(target > 0 && target < 1))
    throw std::invalid_argument("The target power must lie between 0 and 1.");
  if (n_max < n_min) throw std::invalid_argument("The largest sample is below the smallest.");
  tSample_size r;
  std::int32_t n = n_min;
  for (; n <= n_max && n < n_min + kLinear_scan; ++n) {
    r.Power = power_of_n(n);
    if (r.Power >= target) {
      r.Reached = true;
      r.N = n;
      return r;
    }
  }
  std::int32_t below = n - 1;
  while (below < n_max) {
    const std::int32_t next = below > n_max / 2 ? n_max : std::max(below * 2, below + 1);
    const Extended p = power_of_n(next);
    if (p >= target) {
      r.Reached = true;
      std::tie(r.N, r.Power) = Bisect<std::int32_t>(below, next, p, 1, target, power_of_n);
      return r;
    }
    r.Power = p;
    below = next;
  }
  r.N = n_max;
  return r;
}

tDetectable_effect Smallest_effect(const std::function<Extended(Extended)>& power_of_effect,
                                   Extended target, Extended max_effect, Extended tolerance) {
  if (!(target > 0 && target < 1))
    throw std::invalid_argument("The target power must lie between 0 and 1.");
  tDetectable_effect r;
  Extended p0 = power_of_effect(0);
  if (p0 >= target) {
    r.Reached = true;
    r.Power = p0;
    return r;
  }
  Extended lo = 0, hi = 1, p_hi = 0;
  for (;;) {
    p_hi = power_of_effect(hi);
    if (p_hi >= target) break;
    if (hi >= max_effect) {
      r.Effect = hi;
      r.Power = p_hi;
      return r;
    }
    lo = hi;
    hi = std::min(hi * 2, max_effect);
  }
  // At most log2(max_effect / tolerance) halvings: no NaN can keep it going.
  tolerance = std::max(tolerance, kEffect_tolerance);
  r.Reached = true;
  std::tie(r.Effect, r.Power) = Bisect<Extended>(lo, hi, p_hi, tolerance, target, power_of_effect);
  return r;
}
