// SPDX-License-Identifier: GPL-3.0-or-later
// The gamma distribution with shape a and rate b (density b^a x^(a-1) e^(-b x) / Gamma(a)),
// and the chi-square distribution as the gamma with shape Df/2 and rate 1/2.
//
// Distribution function: the regularized incomplete gamma function, or for shapes above
// 500 the Wilson-Hilferty cube-root normal approximation (Proc. Natl. Acad. Sci. 17, 1931).
// Variates: exponential by inversion for shape 1; for shape above 1 the ratio-of-uniforms
// method on the density shifted to its mode (Kinderman and Monahan's construction, with
// quadratic squeezes on the logarithm); for shape below 1 Ahrens and Dieter's rejection
// method GS (Computing 12, 1974).
#include <cmath>

#include "distrib/distrib.h"

namespace {

// Shapes above this use the Wilson-Hilferty approximation in the distribution function.
constexpr Extended kWilson_hilferty_shape = 500;

// Relative margin around a comparison made with double logarithms, within which the
// extended ones decide (see Random_value).
constexpr Extended kLog_relative_margin = 1E-12L;

}  // namespace

tGamma_distribution::tGamma_distribution(Extended Shape, Extended Rate) {
  Num_parameters = 2;
  Parameters[0] = {0, false, 0, Infinity_value};
  Parameters[1] = {0, false, 0, Infinity_value};
  Set_parameters(Shape, Rate, 0);
}

bool tGamma_distribution::Set_parameters(Extended P1, Extended P2, Extended P3) {
  tContinuous_distribution::Set_parameters(P1, P2, P3);
  Shape = P1;
  Rate = P2;
  Log_norm = Shape * std::log(Rate) - Ln_gamma(Shape);
  Support_low = 0;
  Support_high = Infinity_value;
  if (Shape > 1) {
    // Bounds of v in the ratio-of-uniforms region of the density shifted to its mode
    // Shape - 1: the region's extent where x = v / u reaches Shape - 1 -/+ h.
    const Extended h = std::sqrt(2 * Shape - 1);
    V_low = (1 - h) * std::sqrt(std::exp((Shape - 1) * (std::log(Shape - h) -
                                                        std::log(Shape - 1)) + h - 1));
    V_high = (1 + h) * std::sqrt(std::exp((Shape - 1) * (std::log(Shape + h) -
                                                         std::log(Shape - 1)) - h - 1));
  } else if (Shape < 1) {
    const Extended e = std::exp(1.0L);
    V_low = (e + Shape) / e;  // b = 1 + Shape / e of method GS
    V_high = 1 / Shape;
  }
  return true;
}

bool tGamma_distribution::In_support(Extended x) const {
  // Below shape 1 the density is unbounded at 0, which is left out of the support.
  if (Shape < 1) return tContinuous_distribution::In_support(x) && x > 0;
  return tContinuous_distribution::In_support(x);
}

Extended tGamma_distribution::Density(Extended x) const {
  if (In_support(x) && x > 0) return std::exp((Shape - 1) * std::log(x) + Log_norm - Rate * x);
  if (Nearly_equal(Shape, 1) && x == 0) return Rate;  // the exponential density at 0
  return 0;
}

Extended tGamma_distribution::Cdf(Extended x) const {
  if (!In_support(x)) {
    // 0 is outside the support for shapes below 1, yet has all of the (zero) probability
    // below it; the generic base path would go round through Interval_probability and
    // back here for ever.
    if (x <= Support_low) return 0;
    return tDistribution::Cdf(x);
  }
  if (Shape <= kWilson_hilferty_shape) return Gamma_p(x * Rate, Shape);
  // (X / mean)^(1/3) is nearly normal with mean 1 - 1/(9 Shape) and variance 1/(9 Shape);
  // the normal probability comes from the incomplete gamma function with shape 1/2.
  const Extended c = Power(x * Rate / Shape, 1.0L / 3) - 1 + 1 / (9 * Shape);
  const Extended q = Gamma_p(4.5L * Shape * c * c, 0.5L);
  return c >= 0 ? (1 + q) / 2 : (1 - q) / 2;
}

Extended tGamma_distribution::Mean() const { return Shape / Rate; }

Extended tGamma_distribution::Variance() const { return Shape / (Rate * Rate); }

Extended tGamma_distribution::Random_value() {
  Extended y;
  if (Shape == 1) {
    y = -std::log(Uniform_01());
  } else if (Shape > 1) {
    const Extended shape_m1 = Shape - 1;
    for (;;) {
      const Extended u = Uniform_01();
      const Extended w = Uniform_01();
      const Extended v = V_low + w * (V_high - V_low);
      const Extended x = v / u;
      y = x + Shape - 1;
      const Extended s = x * x;
      const Extended q = -2 * u * u + 8 * u - 6;
      bool accept;
      bool reject;
      if (x >= 0) {
        accept = -s * (x + y) >= q * y * y;
        reject = -u * s <= y * (2 * u * u - 2);
      } else {
        accept = -s >= q * y;
        reject = -u * s <= shape_m1 * (2 * u * u - 2);
      }
      if (accept) break;  // the quick accept wins over the quick reject
      if (reject) continue;
      if (y <= 0) continue;
      // The extended logarithm is slow; double ones decide the test unless the two sides
      // lie within a margin far above the double rounding errors (about 4E-16 times the
      // magnitudes below), so the decision is the one the extended logarithms give.
      const Extended t = x / shape_m1 + 1;
      const Extended log_u = std::log(static_cast<double>(u));
      const Extended log_t = std::log(static_cast<double>(t));
      const Extended lhs = 2 * log_u + x;
      const Extended rhs = shape_m1 * log_t;
      const Extended margin =
          kLog_relative_margin * (2 * std::fabs(log_u) + std::fabs(x) + 2 +
                                  shape_m1 * (std::fabs(log_t) + 1));
      if (lhs < rhs - margin) break;
      if (lhs > rhs + margin) continue;
      if (2 * std::log(u) + x <= shape_m1 * std::log(t)) break;
    }
  } else {
    // Method GS: V_low is b = 1 + Shape / e, V_high is 1 / Shape.
    for (;;) {
      const Extended u = Uniform_01();
      const Extended p = V_low * u;
      const Extended w = Uniform_01();
      if (p <= 1) {
        y = Power(p, V_high);
        if (-y >= std::log(w)) break;
      } else {
        y = -std::log((V_low - p) * V_high);
        if (w <= Power(y, Shape - 1)) break;
      }
    }
  }
  return y / Rate;
}

tChi_square_distribution::tChi_square_distribution(Extended Df) {
  Num_parameters = 2;
  Parameters[0] = {0, false, 0, Infinity_value};
  Parameters[1] = {0, false, 0, Infinity_value};
  Set_parameters(Df, 0, 0);
}

bool tChi_square_distribution::Set_parameters(Extended P1, Extended, Extended) {
  tGamma_distribution::Set_parameters(P1 / 2, 0.5L, 0);
  Df = P1;
  return true;
}
