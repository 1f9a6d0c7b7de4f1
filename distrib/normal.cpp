// SPDX-License-Identifier: GPL-3.0-or-later
// The normal distribution, parametrised by its mean and its variance. The distribution
// function comes from the incomplete gamma function, Phi(z) = (1 + P(1/2, z^2/2)) / 2 for
// z >= 0; variates by the ratio-of-uniforms method of Kinderman and Monahan (ACM TOMS 3,
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
  const Extended z = (x - Mu) / Sd;
  const Extended q = Gamma_p(z * z / 2, 0.5L);
  return z >= 0 ? 0.5L + 0.5L * q : 0.5L - 0.5L * q;
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
  if (z < -Infinity_value) return 0;
  if (z > Infinity_value) return 1;
  // Gamma_p(z^2 / 2, 1/2), behind tNormal_distribution::Cdf, refuses this argument.
  Check_condition(z * z / 2 > Infinity_value, 1361);
  constexpr Extended kSqrt_half = 0.707106781186547524400844362104849039L;
  return 0.5L * static_cast<Extended>(std::erfc(static_cast<double>(-z * kSqrt_half)));
}
