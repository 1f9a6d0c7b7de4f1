// SPDX-License-Identifier: GPL-3.0-or-later
// Upper tails of the standard normal distribution and of Student's t with whole degrees of
// freedom, computed where they are small and never as 1 - (a value near 1), so that they
// keep their relative accuracy down to the smallest positive number.
//
// Normal: Q(z) = erfc(z / sqrt(2)) / 2, the C library's complementary error function in
// the precision of Extended; the rounding of z / sqrt(2) costs a relative z^2 epsilon.
//
// Student's t with nu whole degrees of freedom, t > 0: Q = I_x(nu/2, 1/2) / 2 with
// x = nu / (nu + t^2), the regularized incomplete beta function (Abramowitz and Stegun
// 26.7.1 with 26.5.1). Below the mean of the beta distribution, (a + 1)/(a + b + 2), its
// continued fraction (Beta_continued_fraction, to one epsilon in about sqrt(nu) steps)
// gives I_x itself, so the tail keeps its relative accuracy however small it is; above,
// where the tail is not small, I_x = 1 - I_(1-x)(1/2, nu/2). The prefactor
// x^a (1 - x)^b / B(a, b) is one exponential of logarithms: ln x = -ln(1 + u^2) with
// u = t / sqrt(nu) (no overflow for any finite t), and B(nu/2, 1/2) from the gamma ratio
// G(n + 1/2) / G(n + 1), n = floor(nu/2), by Stirling's series with the large logarithms
// cancelled exactly (a product of n factors for small n). The old finite series of
// 26.7.3/26.7.4 lose to cancellation in the tail and gather n roundings.
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#include "distrib/distrib.h"

namespace {

constexpr Extended kLn_pi = 1.14472988584940017414342735135305871L;  // ln(pi)
constexpr Extended kSqrt_pi = 1.77245385090551602729816748334114518L;
constexpr Extended kSqrt_half = 0.707106781186547524400844362104849039L;

// Below this n the gamma ratio is a product of n factors; from it on Stirling's series,
// whose first omitted term is below 1E-22 there.
constexpr std::int32_t kStirling_from = 32;

// The Stirling correction ln G(z) - ((z - 1/2) ln z - z + ln(2 pi)/2), five terms.
Extended Stirling_correction(Extended z) {
  const Extended w = 1 / (z * z);
  return (1.0L / 12 - w * (1.0L / 360 - w * (1.0L / 1260 - w * (1.0L / 1680 - w / 1188)))) / z;
}

// ln(G(n + 1/2) / G(n + 1)).
Extended Ln_half_gamma_ratio(std::int32_t n) {
  if (n < kStirling_from) {
    Extended r = kSqrt_pi;  // G(1/2) / G(1)
    for (std::int32_t k = 0; k < n; ++k) r *= (k + 0.5L) / (k + 1);
    return std::log(r);
  }
  // n ln(n + 1/2) - (n + 1/2) ln(n + 1) + 1/2 with the logarithms' large parts cancelled
  // exactly: -ln(n + 1)/2 + n log1p(-1/(2n + 2)) + 1/2.
  const Extended z = n;
  return -std::log(z + 1) / 2 + (z * std::log1p(-1 / (2 * z + 2)) + 0.5L) +
         Stirling_correction(z + 0.5L) - Stirling_correction(z + 1);
}

// The geometry of the point: u = t / sqrt(nu) > 0, without overflow for any finite t.
struct tT_point {
  Extended x = 0;      // 1 / (1 + u^2)
  Extended ln_x = 0;   // -ln(1 + u^2)
  Extended S = 0;      // u / sqrt(1 + u^2)
  Extended C = 0;      // 1 / sqrt(1 + u^2)
};

tT_point Point_of(Extended u) {
  tT_point p;
  if (u > 1) {
    const Extended v = 1 / u;  // 1 + u^2 = u^2 (1 + v^2)
    const Extended root = std::sqrt(1 + v * v);
    p.ln_x = -(2 * std::log(u) + std::log1p(v * v));
    p.S = 1 / root;
    p.C = v / root;
    p.x = p.C * p.C;
  } else {
    const Extended root = std::sqrt(1 + u * u);
    p.ln_x = -std::log1p(u * u);
    p.S = u / root;
    p.C = 1 / root;
    p.x = 1 / (1 + u * u);
  }
  return p;
}

// ln B(nu/2, 1/2) = ln G(nu/2) + ln(pi)/2 - ln G(nu/2 + 1/2), with n = floor(nu/2):
// for even nu, G(n)/G(n + 1/2) = 1/(n R); for odd nu, G(n + 1/2)/G(n + 1) = R, where
// R = G(n + 1/2)/G(n + 1).
Extended Ln_beta_half(std::int32_t nu) {
  const std::int32_t n = nu / 2;
  const Extended ln_ratio = Ln_half_gamma_ratio(n);
  if (nu % 2 == 0) return kLn_pi / 2 - std::log(static_cast<Extended>(n)) - ln_ratio;
  return kLn_pi / 2 + ln_ratio;
}

}  // namespace

Extended Normal_upper_tail(Extended z) {
  if (std::isnan(z))
    throw EFloating_point_error(
        "Invalid floating point operation (normal tail of a value that is not a number)");
  return std::erfc(z * kSqrt_half) / 2;
}

Extended Normal_lower_tail(Extended z) { return Normal_upper_tail(-z); }

Extended T_upper_tail(std::int32_t nu, Extended t) {
  Check_limit(1302, nu, 1);
  if (std::isnan(t))
    throw EFloating_point_error(
        "Invalid floating point operation (t tail of a value that is not a number)");
  if (t < 0) return 1 - T_upper_tail(nu, -t);
  if (t == 0) return 0.5L;
  if (std::isinf(t)) return 0;
  const tT_point p = Point_of(t / std::sqrt(static_cast<Extended>(nu)));
  const Extended a = static_cast<Extended>(nu) / 2;
  const Extended b = 0.5L;
  // x^a (1 - x)^(1/2) / B(a, 1/2), with 1 - x = S^2.
  const Extended front = std::exp(a * p.ln_x + std::log(p.S) - Ln_beta_half(nu));
  if (front == 0) return 0;  // below the smallest positive number
  // Below the mean the tail itself; above it the tail is at least about 0.3 and comes
  // from the other side's fraction.
  if (p.x < (a + 1) / (a + b + 2)) return front * Beta_continued_fraction(p.x, a, b) / (2 * a);
  return (1 - front * Beta_continued_fraction(p.S * p.S, b, a) / b) / 2;
}
