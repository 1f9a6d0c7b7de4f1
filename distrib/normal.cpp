// SPDX-License-Identifier: GPL-3.0-or-later
// The normal distribution, parametrised by its mean and its variance. The distribution
// function is the complementary error function's, Phi(z) = erfc(-z / sqrt(2)) / 2, in the
// precision of Extended; variates by the ratio-of-uniforms method of Kinderman and Monahan (ACM TOMS 3,
// 1977) with quadratic squeeze bounds on -4 ln(u).
#include <cmath>

#include "distrib/distrib.h"

namespace {

// Margin around a bound computed with the double logarithm, within which the extended one
// decides (see Random_value).
constexpr Extended kLog_margin = 1E-12L;

}  // namespace

tNormal_distribution::tNormal_distribution(Extended Mean, Extended Variance) {
  Num_parameters = 2;
  Parameters[0] = {0, false, -Infinity_value, Infinity_value};
  Parameters[1] = {0, false, 0, Infinity_value};
  Set_parameters(Mean, Variance, 0);
}

bool tNormal_distribution::Set_parameters(Extended P1, Extended P2, Extended P3) {
  tContinuous_distribution::Set_parameters(P1, P2, P3);
  Mu = P1;
  Sigma_sq = P2;
  Sd = std::sqrt(Sigma_sq);
  Log_norm = -(std::log(2 * 3.14159265358979323846264338327950288L) + std::log(Sigma_sq)) / 2;
  // The ratio-of-uniforms region of exp(-x^2 / 2) spans |v| <= sqrt(2 / e).
  Ratio_bound = std::sqrt(2 / std::exp(1.0L));
  return true;
}

Extended tNormal_distribution::Density(Extended x) const {
  if (!In_support(x)) return 0;
  const Extended dx = x - Mu;
  return std::exp(Log_norm - dx * dx / (2 * Sigma_sq));
}

Extended tNormal_distribution::Cdf(Extended x) const {
  if (!In_support(x)) return tDistribution::Cdf(x);
  // The tail below x directly (tails.cpp): full relative accuracy however far out x lies,
  // and 0 or 1 beyond the range of Extended.
  return Normal_lower_tail((x - Mu) / Sd);
}

Extended tNormal_distribution::Random_value() {
  Extended x;
  for (;;) {
    const Extended u = Uniform_01();  // u first, then v
    const Extended v = (2 * Uniform_01() - 1) * Ratio_bound;
    x = v / u;
    const Extended s = x * x;
    // Accept below the inner bound 6 - 8u + 2u^2 <= -4 ln(u), reject above the outer
    // bound 2/u - 2u >= -4 ln(u); only between them is the logarithm needed.
    if (s <= 6 - 8 * u + 2 * u * u) break;
    if (s >= 2 / u - 2 * u) continue;
    // The extended logarithm is slow; a double one decides the test unless s lies within
    // 1E-12 of the bound (its error is below 2E-14 there), so the decision, and every
    // variate, is the one the extended logarithm gives.
    const Extended bound = -4 * static_cast<Extended>(std::log(static_cast<double>(u)));
    if (s < bound - kLog_margin) break;
    if (s > bound + kLog_margin) continue;
    if (s <= -4 * std::log(u)) break;
  }
  return Mu + Sd * x;
}

Extended Standard_normal_probability(Extended z) {
  if (std::isnan(z))
    throw EFloating_point_error(
        "Invalid floating point operation (distribution function of a value that is not a "
        "number)");
  // Beyond +/-65536 the tail is below 1E-900000000: 0 or 1, never an error (a Monte
  // Carlo draw can land anywhere, and no draw may end a run).
  if (z < -65536) return 0;
  if (z > 65536) return 1;
  constexpr Extended kSqrt_half = 0.707106781186547524400844362104849039L;
  return 0.5L * static_cast<Extended>(std::erfc(static_cast<double>(-z * kSqrt_half)));
}
