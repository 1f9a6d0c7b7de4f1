// SPDX-License-Identifier: GPL-3.0-or-later
// The standard normal distribution function of this unit, by numerical integration of the
// density: Simpson's rule obtained from successive trapezoid refinements (Richardson's
// extrapolation S = (4 T_2n - T_n) / 3, as in Numerical Recipes' qsimp/trapzd), stopped
// by a relative test on two successive Simpson estimates.
//
// Everything here is in doubles, and the density's constant is the eight-digit
// 0.39894228, not the full 1/sqrt(2 pi): the integrals are those of that constant. No
// figure comes from them: Normal_cdf is the normal tail of the distribution unit, exact
// to double precision for every argument.
//
// The refinement state (the number of new points of the next refinement and the current
// trapezoid estimate) is carried from one refinement to the next by the caller: each
// integral owns its own, so that integrals on several threads at once never share it.
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

#include "distrib/fp_check.h"
#include "stats/metrics_papers.h"

namespace {

constexpr double kDensity_constant = 0.39894228;  // 1/sqrt(2 pi) to eight digits
constexpr std::int32_t kMax_refinements = 20;     // Simpson_integral's step limit
constexpr double kRelative_tolerance = 1E-6;      // on two successive Simpson estimates
constexpr double kStart_value = -1E30;            // "no estimate yet"
// Trapezoid_points doubles at each refinement; beyond this it would overflow 32 bits.
constexpr std::int32_t kMax_trapezoid_points = std::int32_t{1} << 30;

const char* const kToo_many_steps = "Too many steps";

thread_local tWarning_hook Warning_hook;

void Show_warning(const std::string& message) {
  if (Warning_hook) Warning_hook(message);
}

}  // namespace

void Set_warning_hook(tWarning_hook hook) { Warning_hook = std::move(hook); }

const tWarning_hook& Current_warning_hook() { return Warning_hook; }

double Normal_density(double x) { return kDensity_constant * std::exp(-0.5 * x * x); }

double Trapezoid_refine(tTrapezoid_state& state, std::int32_t n, double a, double b) {
  std::int32_t& Trapezoid_points = state.Points;
  double& Trapezoid_estimate = state.Estimate;
  if (n <= 1) {
    Trapezoid_estimate = 0.5 * (b - a) * (Normal_density(a) + Normal_density(b));
    Trapezoid_points = 1;
    return Trapezoid_estimate;
  }
  // Only reachable by refining one interval about thirty times over; Simpson_integral
  // stops at twenty.
  if (Trapezoid_points >= kMax_trapezoid_points)
    throw std::range_error("Normal integration: too many trapezoid refinements");
  const std::int32_t k = Trapezoid_points;
  const double h = (b - a) / k;
  double x = a + 0.5 * h;
  double sum = 0;
  for (std::int32_t i = 1; i <= k; ++i) {
    sum += Normal_density(x);
    x += h;
  }
  Trapezoid_estimate = 0.5 * (Trapezoid_estimate + (b - a) * sum / k);
  Trapezoid_points = 2 * k;
  return Trapezoid_estimate;
}

double Simpson_integral(double a, double b) {
  // A NaN bound would end the loop at once with a NaN; an infinite one gives inf - inf.
  if (!std::isfinite(a) || !std::isfinite(b))
    throw EFloating_point_error("Normal integration: a bound of the integral is not finite");
  std::int32_t j = 1;
  double os = kStart_value;
  double s = 1;
  double st = kStart_value;
  tTrapezoid_state state;
  // The estimates of a finite integral of a bounded density stay finite, so the test
  // below never meets a NaN.
  while (j <= kMax_refinements && std::fabs(s - os) >= kRelative_tolerance * std::fabs(os)) {
    os = s;
    const double ost = st;
    st = Trapezoid_refine(state, j, a, b);
    s = (4 * st - ost) / 3;
    ++j;
  }
  // The twentieth estimate is never tested against the nineteenth: after the twentieth
  // refinement the warning is always given. The computation continues with s.
  if (j > kMax_refinements) Show_warning(kToo_many_steps);
  return s;
}

double Normal_cdf(double x) { return static_cast<double>(Normal_lower_tail(x)); }
