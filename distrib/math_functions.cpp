// SPDX-License-Identifier: GPL-3.0-or-later
// Special functions of the distribution unit: comparison and formatting helpers for the
// parameter checks, real and whole-number powers, a floor, the logarithm of the gamma
// function (Lanczos), the regularized incomplete gamma function (series and continued
// fraction, as in Numerical Recipes' gser/gcf) and the regularized incomplete beta
// function (the continued fraction of Numerical Recipes' betacf).
//
// Everything is computed in Extended; every tolerance is kTolerance = 5E-12.
//
// Floating-point faults are detected by the values themselves, not by reading the sticky
// flags on every call (that would cost more than some of these routines): arguments that
// would take a logarithm or a division out of its domain are refused before the
// operation, results are checked to be finite, and every loop without an iteration limit
// stops with EFloating_point_error when it meets a NaN or an infinity. Incomplete_beta is
// the one routine that handles its own faults: it reads the flags under tFp_flag_guard.
#include <charconv>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "distrib/distrib.h"
#include "distrib/fp_check.h"
#include "distrib/number_text.h"

namespace {

// Largest and smallest values of a signed 32-bit integer, as Extended.
constexpr Extended kInt32_max = 2147483647.0L;
constexpr Extended kInt32_min = -2147483648.0L;

// Square root of 2 pi, the Lanczos multiplier.
constexpr Extended kSqrt_two_pi = 2.5066282746310005L;

// Lanczos' six coefficients (shift 5.5), in the order they are summed.
constexpr Extended kLanczos[6] = {76.18009172947146L,     -86.50532032941678L,
                                  24.01409824083091L,     -1.231739572450155L,
                                  0.001208650973866179L,  -0.000005395239384953L};

// The series of the incomplete gamma function stops after this many terms past the first.
constexpr int kMax_series_terms = 100;

// The continued fractions converge in a few dozen steps for the arguments routed to them;
// a fraction still running after this many steps has met values on which it cannot
// converge, and reports it instead of spinning.
constexpr long kMax_fraction_steps = 1000000;

// Ln_gamma of the shape, remembered between calls: the normal distribution function always
// asks for shape 1/2, and a quantile search asks for one shape many times. The value is
// the one Ln_gamma gives, so results do not change. One entry per thread.
struct tLn_gamma_memo {
  Extended x = std::numeric_limits<Extended>::quiet_NaN();  // equal to no argument
  Extended value = 0;
};
thread_local constinit tLn_gamma_memo Last_shape_ln_gamma;

Extended Shape_ln_gamma(Extended a) {
  tLn_gamma_memo& memo = Last_shape_ln_gamma;
  if (a != memo.x) {
    memo.value = Ln_gamma(a);  // raises before the memo changes
    memo.x = a;
  }
  return memo.value;
}

[[noreturn]] void Fraction_fault(const char* routine) {
  throw EFloating_point_error(std::string("Invalid floating point operation (") + routine +
                              " met a value that is not a finite number)");
}

}  // namespace

bool Nearly_equal(Extended a, Extended b) { return std::fabs(b - a) < kTolerance; }

bool Is_whole(Extended x) {
  if (!(std::fabs(x) < Infinity_value)) return false;  // also false for a NaN
  return Nearly_equal(x, std::nearbyint(x));
}

// The pattern "0.############": at least one digit before the decimal point, at most
// twelve after it, trailing zeros dropped, no exponent, no thousands separator. The
// decimal separator is always "." (number_text.h ignores the process locale, which the
// desktop toolkit sets from the environment). Values of 1E18 and above do not fit the
// pattern and are written with an exponent, as the original run-time library did.
std::string Format_limit(Extended x) {
  if (std::isnan(x)) return "NAN";
  if (std::isinf(x)) return x > 0 ? "INF" : "-INF";
  if (std::fabs(x) >= 1E18L) {
    std::string text = Scientific_text(x, 14);
    // Drop trailing zeros of the mantissa ("1.00000000000000e+30" -> "1E+30").
    const auto e = text.find('e');
    std::string mantissa = text.substr(0, e);
    std::string exponent = text.substr(e + 1);
    while (!mantissa.empty() && mantissa.back() == '0') mantissa.pop_back();
    if (!mantissa.empty() && mantissa.back() == '.') mantissa.pop_back();
    return mantissa + "E" + exponent;
  }
  // A double holds about 15 significant digits: digits beyond them would show the
  // binary representation's error (123456.789 as 123456.789000000004), so the decimals
  // stop there. The x87 type holds 18, more than the pattern's twelve decimals need.
  int decimals = 12;
  if constexpr (std::numeric_limits<Extended>::digits < 64) {
    int integer_digits = 1;
    for (Extended a = std::fabs(x); a >= 10 && integer_digits < 19; a /= 10) ++integer_digits;
    decimals = std::clamp(15 - integer_digits, 0, 12);
  }
  std::string text = Fixed_text(x, decimals);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  if (text == "-0") text = "0";  // a value that rounds to zero carries no sign
  return text;
}

bool Check_condition(bool condition, int identifier) {
  if (condition) throw EArgumentError(identifier, "");
  return true;
}

bool Check_limit(int identifier, Extended value, Extended limit) {
  // A comparison with a NaN was an invalid operation on the platform this design comes
  // from; without that trap a NaN would pass every check below.
  if (std::isnan(value) || std::isnan(limit)) {
    throw EFloating_point_error("Invalid floating point operation (a value is not a number)");
  }
  bool fails = false;
  switch (identifier) {
    case 1301:
    case 1305:
    case 1309:
      fails = limit >= value;
      break;
    case 1302:
    case 1306:
    case 1310:
      fails = limit > value;
      break;
    case 1303:
    case 1307:
    case 1311:
      fails = limit <= value;
      break;
    case 1315:
      fails = limit < value;
      break;
    default:
      fails = false;
  }
  if (fails) throw EArgumentError(identifier, Format_limit(limit));
  return true;
}

// Binary powering: square the base, multiply it in for every set bit of |n|.
Extended Int_power(Extended base, std::int32_t n) {
  // |n| as unsigned, so that n = -2147483648 does not overflow.
  std::uint32_t m = n < 0 ? 0u - static_cast<std::uint32_t>(n) : static_cast<std::uint32_t>(n);
  if (m == 0) return 1;
  Extended r = 1;
  for (;;) {
    if (m & 1u) {
      r *= base;
      if (m < 2) break;
    }
    m >>= 1;
    base *= base;
  }
  return n < 0 ? 1 / r : r;
}

Extended Power(Extended base, Extended exponent) {
  if (exponent == 0) return 1;  // also for a zero base
  if (base == 0 && exponent > 0) return 0;
  Extended r;
  if (exponent == std::trunc(exponent) && std::fabs(exponent) <= kInt32_max) {
    r = Int_power(base, static_cast<std::int32_t>(exponent));
  } else {
    // A negative base to a fractional power is the logarithm's domain error; a NaN
    // argument lands here too.
    if (!(base >= 0)) {
      throw EFloating_point_error(
          "Invalid floating point operation (a negative number raised to a fractional "
          "power)");
    }
    r = std::exp(exponent * std::log(base));
  }
  if (!std::isfinite(r)) {
    if (std::isnan(r)) throw EFloating_point_error("Invalid floating point operation (Power)");
    throw EFloating_point_error(base == 0 ? "Floating point division by zero (zero raised to "
                                            "a negative power)"
                                          : "Floating point overflow (Power)");
  }
  return r;
}

std::int32_t Floor_int(Extended x) {
  const Extended f = std::floor(x);
  // Converting a value outside the 32-bit range was an invalid operation on the original
  // platform; here it would silently wrap, so it is refused.
  if (!(f >= kInt32_min && f <= kInt32_max)) {
    throw EFloating_point_error("Invalid floating point operation (Floor_int of " +
                                Format_limit(x) + " is outside the 32-bit integer range)");
  }
  return static_cast<std::int32_t>(f);
}

// Lanczos' approximation with six terms and shift 5.5 (Numerical Recipes' gammln),
// accurate to about 2E-10 in the value for x > 0.
Extended Ln_gamma(Extended x) {
  if (!(x > 0)) {
    throw EFloating_point_error(
        "Invalid floating point operation (Ln_gamma of a number that is not positive)");
  }
  Extended y = x - 1;
  Extended t = y + 5.5L;
  t = (y + 0.5L) * std::log(t) - t;
  Extended s = 1;
  for (const Extended c : kLanczos) {
    y += 1;
    s += c / y;
  }
  const Extended r = t + std::log(kSqrt_two_pi * s);
  Require_finite(r, "Ln_gamma");
  return r;
}

// P(a, x) by its power series; used for x < a + 1, where it converges quickly.
Extended Gamma_series(Extended x, Extended a) {
  if (Nearly_equal(0, x)) return 0;
  Extended ap = a;
  Extended term = 1 / a;
  Extended sum = term;
  int n = 1;
  do {
    ap += 1;
    term = term * x / ap;
    sum += term;
    ++n;
  } while (!(std::fabs(term) < std::fabs(sum) * kTolerance) && n <= kMax_series_terms);
  return sum * std::exp(a * std::log(x) - x - Shape_ln_gamma(a));
}

// Q(a, x) = 1 - P(a, x) by Legendre's continued fraction, evaluated through the
// three-term recurrences of its numerators and denominators, rescaled by the latest
// numerator at each step so that neither overflows; used for x >= a + 1.
Extended Gamma_fraction(Extended x, Extended a) {
  Extended g = 0, g_old = 1;
  Extended a0 = 1, a1 = x, b0 = 0, b1 = 1, fac = 1;
  long n = 1;
  for (;;) {
    const Extended an = n - a;
    a0 = (a1 + a0 * an) * fac;
    b0 = (b1 + b0 * an) * fac;
    const Extended anf = n * fac;
    a1 = x * a0 + anf * a1;
    b1 = x * b0 + anf * b1;
    if (a1 != 0) {
      g_old = g;
      fac = 1 / a1;
      g = b1 * fac;
    }
    ++n;
    // A NaN or infinity here would make the convergence test false for ever; a zero g
    // would divide by zero in it.
    if (!std::isfinite(g) || !std::isfinite(a1) || !std::isfinite(fac) || g == 0 ||
        n > kMax_fraction_steps) {
      Fraction_fault("Gamma_fraction");
    }
    if (std::fabs((g - g_old) / g) < kTolerance) break;
  }
  return g * std::exp(a * std::log(x) - x - Shape_ln_gamma(a));
}

Extended Gamma_p(Extended x, Extended a) {
  Check_limit(1302, x, 0);
  Check_condition(x > Infinity_value, 1361);
  Check_limit(1301, a, 0);
  Check_condition(a > Infinity_value, 1361);
  // The series converges fast below the mean-ish point a + 1, the fraction above it.
  const Extended r = x < a + 1 ? Gamma_series(x, a) : 1 - Gamma_fraction(x, a);
  Require_finite(r, "Gamma_p");
  return r;
}

// The continued fraction of the incomplete beta function (Numerical Recipes' betacf),
// even and odd steps of its recurrence in one pass, renormalised by the denominator.
Extended Beta_fraction(Extended x, Extended a, Extended b) {
  const Extended qab = a + b, qap = a + 1, qam = a - 1;
  Extended am = 1, bm = 1, az = 1;
  Extended bz = 1 - qab * x / qap;
  long m = 1;
  for (;;) {
    const Extended em = m;
    const Extended tem = 2 * em;
    Extended d = em * (b - em) * x / ((qam + tem) * (a + tem));
    const Extended ap = az + d * am;
    const Extended bp = bz + d * bm;
    d = -(a + em) * (qab + em) * x / ((a + tem) * (qap + tem));
    const Extended app = ap + d * az;
    const Extended bpp = bp + d * bz;
    const Extended az_old = az;
    am = ap / bpp;
    bm = bp / bpp;
    az = app / bpp;
    bz = 1;
    ++m;
    if (!std::isfinite(az) || !std::isfinite(am) || !std::isfinite(bm) ||
        m > kMax_fraction_steps) {
      Fraction_fault("Beta_fraction");
    }
    if (std::fabs(az - az_old) < kTolerance * std::fabs(az)) break;
  }
  return az;
}

Extended Incomplete_beta(Extended x, Extended a, Extended b) {
  // The point is compared before the guarded evaluation begins, so a NaN point is a
  // fault of the caller's (an invalid comparison), not a result of 1.
  if (std::isnan(x)) {
    throw EFloating_point_error("Invalid floating point operation (Incomplete_beta of a NaN)");
  }
  if (x <= 0) return 0;
  if (x >= 1) return 1;
  // Any fault in the evaluation gives 1. The guard clears the trapped flags for the
  // evaluation, and puts back the caller's flags afterwards, so that a fault swallowed
  // here is not reported again by a later check of the caller's.
  tFp_flag_guard guard;
  try {
    const Extended bt = std::exp(Ln_gamma(a + b) + a * std::log(x) + b * std::log(1 - x) -
                                 Ln_gamma(a) - Ln_gamma(b));
    Extended r;
    // The fraction converges fast on the side of the mean a / (a + b) nearer to x;
    // beyond it, use the symmetry I_x(a, b) = 1 - I_(1-x)(b, a).
    if (x < (a + 1) / (a + b + 2)) {
      r = bt * Beta_fraction(x, a, b) / a;
    } else {
      r = 1 - bt * Beta_fraction(1 - x, b, a) / b;
    }
    if (guard.Faulted() || !std::isfinite(r)) return 1;
    return r;
  } catch (const EFloating_point_error&) {
    return 1;
  }
}
