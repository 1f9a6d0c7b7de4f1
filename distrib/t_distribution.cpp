// SPDX-License-Identifier: GPL-3.0-or-later
// Student's t distribution with Df degrees of freedom (any positive real Df).
//
// Distribution function: I_b(Df/2, 1/2) with b = Df / (Df + x^2), the regularized
// incomplete beta function; above 1000 degrees of freedom the standard normal
// distribution function instead (its error there is about 3E-5 at the 97.5% point).
//
// Variates, by Df:
// - Df = 1 and Df = 3: from a point (u, v) uniform in the unit disc (the polar method),
//   v / u for the Cauchy and sqrt(3) v / (u + 1) for three degrees of freedom;
// - Df > 1 otherwise: the ratio-of-uniforms method of Kinderman and Monahan (ACM TOMS 3,
//   1977) on the region u^2 <= (1 + x^2/Df)^(-(Df+1)/2), x = v / u;
// - Df < 1: a standard normal divided by the square root of an independent chi-square
//   over its degrees of freedom (the chi-square as twice a gamma with shape Df/2).
#include <cmath>
#include <limits>
#include <numbers>

#include "distrib/distrib.h"
#include "distrib/fp_check.h"

namespace {

constexpr Extended kPi = std::numbers::pi_v<Extended>;
constexpr Extended kSqrt3 = std::numbers::sqrt3_v<Extended>;

// Above this many degrees of freedom the distribution function is the normal one.
constexpr Extended kNormal_approximation_df = 1000;

// Half-width of the ratio-of-uniforms region for Df >= 1:
// sqrt(2 Df) (Df - 1)^((Df - 1)/4) / (Df + 1)^((Df + 1)/4).
Extended Ratio_of_uniforms_bound(Extended df) {
  // In a double build the powers overflow from about 280 degrees of freedom on: there the
  // logarithms serve from 100 on.
  constexpr Extended kPowers_up_to =
      std::numeric_limits<Extended>::digits >= 64 ? kNormal_approximation_df : 100;
  if (df <= kPowers_up_to) {
    return std::sqrt(2 * df) * Power(df - 1, (df - 1) / 4) / Power(df + 1, (df + 1) / 4);
  }
  // The two powers overflow the extended range from about 5400 degrees of freedom on,
  // although their quotient is near 1 / sqrt(Df): take the quotient in logarithms.
  return std::sqrt(2 * df) *
         std::exp((df - 1) / 4 * std::log(df - 1) - (df + 1) / 4 * std::log(df + 1));
}

}  // namespace

tT_distribution::tT_distribution(Extended Df) {
  Num_parameters = 1;
  Parameters[0] = {0, false, 0, Infinity_value};
  Std_normal = std::make_unique<tNormal_distribution>(0, 1);
  Half_df_gamma = std::make_unique<tGamma_distribution>(Df / 2, 1);
  Set_parameters(Df, 0, 0);
}

bool tT_distribution::Set_parameters(Extended P1, Extended P2, Extended P3) {
  tContinuous_distribution::Set_parameters(P1, P2, P3);
  Df = P1;
  Log_norm = Ln_gamma((Df + 1) / 2) - Ln_gamma(Df / 2) - std::log(Df * kPi) / 2;
  if (Df >= 1) {
    Ratio_bound = Ratio_of_uniforms_bound(Df);
  } else {
    // Below one degree of freedom the variate is z / sqrt(2g / Df) with g a gamma(Df/2)
    // variate: z sqrt(Df/2) / sqrt(g).
    Ratio_bound = std::sqrt(Df / 2);
    Half_df_gamma->Set_parameters(Df / 2, 1, 0);
  }
  Require_finite(Log_norm, "t distribution: normalising constant");
  Require_finite(Ratio_bound, "t distribution: variate constant");
  return true;
}

Extended tT_distribution::Density(Extended x) const {
  if (!In_support(x)) return 0;
  return std::exp(Log_norm + std::log(Df / (Df + x * x)) * (Df + 1) / 2);
}

Extended tT_distribution::Cdf(Extended x) const {
  // Outside the support (and for a NaN, which the base refuses): 0 below, 1 above.
  if (!In_support(x)) return tDistribution::Cdf(x);
  if (Df > kNormal_approximation_df) {
    // Normal approximation: Phi(x) = (1 +/- P(1/2, x^2/2)) / 2.
    const Extended h = x * x / 2;
    // Beyond the incomplete gamma function's domain (|x| > 65536) the normal tail is
    // below 1E-900000000: the answer is 0 or 1, not an argument error.
    if (h > Infinity_value) return x > 0 ? 1 : 0;
    const Extended q = Gamma_p(h, 0.5L);
    return x > 0 ? (1 + q) / 2 : (1 - q) / 2;
  }
  // P(|T| > |x|) = I_b(Df/2, 1/2); half of it lies beyond each side. A failed incomplete
  // beta evaluation gives 1, so r = 0.5 and the result 0.5: never an error.
  const Extended b = Df / (Df + x * x);
  const Extended r = 0.5L * Incomplete_beta(b, Df / 2, 0.5L);
  return x >= 0 ? 1 - r : r;
}

bool tT_distribution::Mean_exists() const { return Df > 1; }

bool tT_distribution::Variance_exists() const { return Df > 2; }

Extended tT_distribution::Mean() const {
  Check_condition(!Mean_exists(), 1362);
  return 0;
}

Extended tT_distribution::Variance() const {
  Check_condition(!Variance_exists(), 1363);
  return Df / (Df - 2);
}

Extended tT_distribution::Random_value() {
  if (Df == 1 || Df == 3) {
    // Polar method: a point uniform in the unit disc, u drawn before v.
    Extended u, v;
    do {
      u = 2 * Uniform_01() - 1;
      v = 2 * Uniform_01() - 1;
    } while (u * u + v * v > 1);
    if (Df == 1) return v / u;
    return kSqrt3 * v / (u + 1);
  }
  if (Df > 1) {
    // Ratio of uniforms: accept x = v / u when u^2 <= (1 + x^2/Df)^(-(Df+1)/2).
    for (;;) {
      const Extended u = Uniform_01();
      const Extended v = (2 * Uniform_01() - 1) * Ratio_bound;
      const Extended x = v / u;
      if (x * x <= Df * (Power(u, -4 / (Df + 1)) - 1)) return x;
    }
  }
  // Df < 1: the normal draw comes before the gamma draw.
  const Extended z = Std_normal->Random_value();
  const Extended g = Half_df_gamma->Random_value();
  return z * Ratio_bound / std::sqrt(g);
}
