// SPDX-License-Identifier: GPL-3.0-or-later
// The base operations of the distribution family: parameter storage and checks, the
// support, the distribution function and interval probability in terms of each other,
// the generic quantile search of the continuous classes, and variates by inversion.
//
// Floating-point faults in the family: the distribution function refuses a NaN point, the
// quantile search refuses a NaN probability and stops with EFloating_point_error on a
// value that is not finite or a search that does not converge, and parameter checks
// refuse NaNs (math_functions.cpp). Random_value and Cdf never read the sticky flags:
// they run a million times per Monte Carlo run, and the engines check the flags once at
// the end of the run (Check_fp_faults). For valid parameters no variate or distribution
// function raises a trapped flag.
#include <cmath>
#include <string>

#include "distrib/distrib.h"
#include "distrib/fp_check.h"

namespace {

// The quantile search expands its bracket by a factor of 8 a step and then halves it at
// worst; both finish in well under a hundred steps for any bracket inside the 32-bit
// support. A search still running after these limits has met values on which it cannot
// converge and reports that instead of spinning.
constexpr int kMax_expansions = 20000;
constexpr int kMax_search_steps = 2000;

[[noreturn]] void Search_fault(const char* what) {
  throw EFloating_point_error(std::string("Invalid floating point operation (quantile search: ") +
                              what + ")");
}

}  // namespace

bool tDistribution::Set_parameters(Extended P1, Extended P2, Extended P3) {
  Parameters[0].Value = P1;
  Parameters[1].Value = P2;
  Parameters[2].Value = P3;
  for (int i = 1; i <= Num_parameters && i <= 3; ++i) {
    const tParameter& parameter = Parameters[i - 1];
    // Both limits are exclusive: a value equal to a limit fails.
    Check_limit(4 * i + 1297, parameter.Value, parameter.Lower_limit);  // 1301, 1305, 1309
    Check_limit(1303, parameter.Value, parameter.Upper_limit);
    if (parameter.Whole_number) {
      Check_condition(!Is_whole(parameter.Value), 4 * i + 1300);  // 1304, 1308, 1312
    }
  }
  Support_low = -Infinity_value;
  Support_high = Infinity_value;
  return true;
}

bool tDistribution::In_support(Extended x) const {
  return Support_low <= x && x <= Support_high;
}

Extended tDistribution::Density(Extended) const { return 0; }

Extended tDistribution::Point_probability(Extended) const { return 0; }

// The concrete classes call this for points outside their support: 0 below it, 1 at or
// above its upper end.
Extended tDistribution::Cdf(Extended x) const {
  // A NaN compares false with both ends and would send the call round through
  // Interval_probability and back for ever.
  if (std::isnan(x)) {
    throw EFloating_point_error(
        "Invalid floating point operation (distribution function of a value that is not a "
        "number)");
  }
  if (x < Support_low) return 0;
  if (x >= Support_high) return 1;
  return Interval_probability(Support_low, x);
}

Extended tDistribution::Interval_probability(Extended L, Extended U) const {
  if (L < Support_low) L = Support_low;
  if (U > Support_high) U = Support_high;
  Extended r;
  if (U >= Infinity_value) {
    r = (1 - Cdf(L)) + Point_probability(L);
  } else if (L <= -Infinity_value) {
    r = Cdf(U);
  } else {
    r = Cdf(U) - Cdf(L) + Point_probability(L);
  }
  // A reversed interval, or rounding in the difference, must not give a negative
  // probability.
  if (r < 0) return 0;
  if (r > 1) return 1;
  return r;
}

bool tDistribution::Mean_exists() const { return true; }

bool tDistribution::Variance_exists() const { return true; }

Extended tDistribution::Standard_deviation() const {
  Check_condition(!Variance_exists(), 1363);
  return std::sqrt(Variance());
}

Extended tDistribution::Random_value() { return Quantile(Uniform_01()); }

// Brackets the quantile from the centre of the distribution outwards (steps of eight times
// the distance from the centre), then refines it by Newton steps, each kept only when it
// promises to stay well inside the bracket, otherwise by bisection. The tolerance is
// absolute.
Extended tContinuous_distribution::Quantile(Extended p) const {
  if (std::isnan(p)) Search_fault("the probability is not a number");
  Check_limit(1302, p, 0);
  if (Nearly_equal(p, 0)) return Support_low;
  Check_limit(1315, p, 1);
  if (Nearly_equal(1, p)) return Support_high;

  Extended lo = Support_low;
  Extended hi = Support_high;
  const Extended c = Mean_exists() ? Mean() : (lo + hi) / 2;
  const Extended w = Variance_exists() ? 2 * Standard_deviation() : 8;
  if (!std::isfinite(c) || !std::isfinite(w)) Search_fault("the centre or spread is not finite");
  if (hi > c + w) hi = c + w;
  if (lo < c - w) lo = c - w;

  // Expand upwards until the upper end has at least probability p below it. At the end
  // of the support the quantile lies beyond every representable point: stop there (the
  // search below then settles on the end, which stands for infinity).
  int expansions = 0;
  while (p > Cdf(hi)) {
    if (hi >= Support_high) break;
    lo = hi;
    hi = c + 8 * (hi - c);
    if (hi > Support_high) hi = Support_high;
    if (++expansions > kMax_expansions) Search_fault("the bracket does not grow");
  }
  // Only when neither end was clipped and the upward expansion did not move.
  if (std::fabs(2 * w - (hi - lo)) < kTolerance) {
    while (p < Cdf(lo)) {
      if (lo <= Support_low) break;
      hi = lo;
      lo = c + 8 * (lo - c);
      if (lo < Support_low) lo = Support_low;
      if (++expansions > kMax_expansions) Search_fault("the bracket does not grow");
    }
  }

  Extended x = (lo + hi) / 2;
  Extended x0;
  int steps = 0;
  do {
    const Extended d = Cdf(x) - p;
    const Extended f = Density(x);
    if (!std::isfinite(d) || !std::isfinite(f)) Search_fault("a value is not finite");
    x0 = x;
    if (d <= 0) lo = x;
    if (d >= 0) hi = x;
    if ((hi - lo) * f > std::fabs(2 * d)) {
      x = x - d / f;
    } else {
      x = (lo + hi) / 2;
    }
    if (++steps > kMax_search_steps) Search_fault("no convergence");
  } while (!(std::fabs(x - x0) < kTolerance));
  Require_finite(x, "quantile");
  // A final Newton step may land a hair beyond an end of the support when the quantile
  // lies at that end (its probability is beyond every representable point).
  if (x > Support_high) return Support_high;
  if (x < Support_low) return Support_low;
  return x;
}
