// SPDX-License-Identifier: GPL-3.0-or-later
// Frequentist single-case statistics: the modified t-test for a deficit on one task
// (Quarrin & Orlund, 1998), the confidence limits on the effect size Z-CC and on the
// percentage of controls below the case, both found by searching for the non-centrality
// parameter of a non-central t distribution whose quantile equals the observed statistic,
// and the revised standardized difference test (RSDT) on the difference between two
// tasks.
//
// The p-values come from the t distribution's upper tail (T_upper_tail: the incomplete
// beta function's continued fraction on the side where the tail is small), and the
// percentages from the normal tails: both to full relative accuracy however far the case
// lies. The limits on delta are the roots of F(T_obs; delta) = p by Brent's method, to a
// few units in their last place. Everything works in extended precision.
//
// Limits of the method. The non-central t sums cost a number of terms that grows with the
// non-centrality delta, so the search never brackets beyond |delta| = kMax_noncentrality
// (4096, noncentrality_search.h); there a search takes a few milliseconds. A limit beyond
// that reach (a case about 13 SD out at N = 100000, or a covariate with a tiny SD) is not
// a refusal: the results hold the bound it lies beyond and its direction, and every other
// figure is computed.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

#include "distrib/fp_check.h"
#include "distrib/number_text.h"
#include "stats/metrics_papers.h"
#include "stats/noncentrality_search.h"

namespace {

// The largest control sample accepted (the worksheet's six characters allow 999999).
constexpr Extended kMax_sample_size = 1000000;

// A refusal reads as one sentence: the routine, what is wrong, a full stop.
[[noreturn]] void Refuse(const std::string& routine, const std::string& text) {
  throw std::range_error(routine + ": " + text + ".");
}

void Require_finite_input(const std::string& routine, const char* name, Extended value) {
  if (!std::isfinite(value)) Refuse(routine, std::string("the ") + name + " is not a finite number");
}

// The control sample size must leave degrees of freedom and lie within the method's range.
void Check_sample_size(const std::string& routine, Extended N) {
  if (!(N >= 2))
    Refuse(routine, "the control sample size N must be at least 2 (N = " + Number_text(N) +
                        "): a smaller sample leaves no degrees of freedom");
  if (N > kMax_sample_size)
    Refuse(routine, "the control sample size N = " + Number_text(N) +
                        " is beyond this method's range (at most " +
                        Number_text(kMax_sample_size) + ")");
}

// Checks shared by the routines that take one task's control mean, SD and N and the
// case's score on it.
void Check_task_inputs(const std::string& routine, Extended Case, Extended Mean, Extended Sd,
                       Extended N) {
  Require_finite_input(routine, "case's score", Case);
  Require_finite_input(routine, "control mean", Mean);
  Require_finite_input(routine, "control standard deviation", Sd);
  Require_finite_input(routine, "control sample size N", N);
  if (!(Sd > 0))
    Refuse(routine, "the control standard deviation must be greater than 0 (SD = " +
                        Number_text(Sd) + ")");
  Check_sample_size(routine, N);
}

void Check_level(const std::string& routine, Extended Level) {
  if (!(Level > 0 && Level < 100))
    Refuse(routine, "the confidence level must lie strictly between 0 and 100 percent (" +
                        Number_text(Level) + ")");
}

// [v]: v rounded to the nearest whole number, halves to even (the default rounding mode).
std::int32_t Round_to_int(Extended v) { return static_cast<std::int32_t>(std::nearbyint(v)); }

// The search solves G(delta) = F(T_obs; Df, delta) - Prob = 0. G falls strictly as delta
// grows, and T_obs is the Prob-quantile of the distribution with the root's delta, so the
// root is the delta of the quantile search without computing a single quantile.
class tExcess {
 public:
  tExcess(Extended Df, Extended T_obs, Extended Prob)
      : df_(Df), t_obs_(T_obs), prob_(Prob),
        distribution_(std::make_unique<tNon_central_t_distribution>(Df, 1)) {}
  Extended operator()(Extended delta) {
    distribution_->Set_parameters(df_, delta, 0);
    const Extended below = distribution_->Cdf(t_obs_);
    Require_finite(below, "non-central t distribution function");
    return below - prob_;
  }

 private:
  Extended df_, t_obs_, prob_;
  std::unique_ptr<tNon_central_t_distribution> distribution_;
};

// The root is found to a few units in the last place of delta, or to this absolute width
// near delta = 0.
constexpr Extended kRoot_floor = 1E-20L;
constexpr Extended kEpsilon = std::numeric_limits<Extended>::epsilon();
// Brent's method ends in far fewer steps (each halves the bracket at worst every other).
constexpr int kMax_root_steps = 500;

// Brent's method (R. P. Brent, Algorithms for Minimization without Derivatives, 1973,
// ch. 4, procedure zero) on [a, b] with G(a) and G(b) of opposite signs: inverse quadratic
// interpolation or secant steps where they fall well inside the bracket, bisection
// otherwise. The distribution function is good to a few epsilon, so near the root G is
// decided by rounding; the bracket still holds a sign change, and the last step lies in it.
Extended Brent_root(tExcess& G, Extended a, Extended fa, Extended b, Extended fb) {
  Extended c = a, fc = fa, d = b - a, e = d;
  for (int step = 0; step < kMax_root_steps; ++step) {
    if ((fb > 0) == (fc > 0)) {
      c = a;
      fc = fa;
      d = e = b - a;
    }
    if (std::fabs(fc) < std::fabs(fb)) {
      a = b;
      b = c;
      c = a;
      fa = fb;
      fb = fc;
      fc = fa;
    }
    const Extended tol = 2 * kEpsilon * std::fabs(b) + kRoot_floor;
    const Extended m = (c - b) / 2;
    if (std::fabs(m) <= tol || fb == 0) return b;
    if (std::fabs(e) < tol || std::fabs(fa) <= std::fabs(fb)) {
      d = e = m;  // bisection
    } else {
      Extended p, q;
      const Extended s = fb / fa;
      if (a == c) {  // secant
        p = 2 * m * s;
        q = 1 - s;
      } else {  // inverse quadratic interpolation
        const Extended qa = fa / fc, r = fb / fc;
        p = s * (2 * m * qa * (qa - r) - (b - a) * (r - 1));
        q = (qa - 1) * (r - 1) * (s - 1);
      }
      if (p > 0)
        q = -q;
      else
        p = -p;
      if (2 * p < 3 * m * q - std::fabs(tol * q) && p < std::fabs(e * q / 2)) {
        e = d;
        d = p / q;
      } else {
        d = e = m;
      }
    }
    a = b;
    fa = fb;
    b += std::fabs(d) > tol ? d : (m > 0 ? tol : -tol);
    fb = G(b);
  }
  return b;
}

}  // namespace

std::string Number_text(Extended x) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.10Lg", static_cast<long double>(x));
  return buffer;
}

Extended Search_noncentrality(Extended Df, Extended T_obs, Extended Prob) {
  const std::string routine = "Confidence limits";
  Require_finite_input(routine, "degrees of freedom", Df);
  Require_finite_input(routine, "observed t value", T_obs);
  Require_finite_input(routine, "probability", Prob);
  if (!(Df > 0))
    Refuse(routine, "the degrees of freedom must be greater than 0 (" + Number_text(Df) +
                        "); the control sample needs at least 2 members");
  if (Df > kMax_sample_size)
    Refuse(routine, "the degrees of freedom " + Number_text(Df) +
                        " are beyond this method's range (at most " +
                        Number_text(kMax_sample_size) + ")");
  if (!(Prob > 0 && Prob < 1))
    Refuse(routine, "the probability must lie strictly between 0 and 1 (" +
                        Number_text(Prob) + ")");

  // G falls with delta: bracket its root between lo and hi, doubling outward from
  // [-1, 1], then refine by Brent's method.
  tExcess G(Df, T_obs, Prob);
  Extended lo = -1, hi = 1;
  Extended g_hi = G(hi), g_lo = 0;
  bool moved_up = false;
  while (g_hi > 0) {
    if (2 * hi > kMax_noncentrality) throw tBracket_exceeded{+1};
    lo = hi;
    g_lo = g_hi;
    hi = 2 * hi;
    g_hi = G(hi);
    moved_up = true;
  }
  if (g_hi == 0) return hi;
  if (!moved_up) {
    g_lo = G(lo);
    while (g_lo < 0) {
      if (-2 * lo > kMax_noncentrality) throw tBracket_exceeded{-1};
      hi = lo;
      g_hi = g_lo;
      lo = 2 * lo;
      g_lo = G(lo);
    }
    if (g_lo == 0) return lo;
  }
  return Brent_root(G, lo, g_lo, hi, g_hi);
}

namespace {

// One limit on delta; a root beyond the search's reach gives the bound it lies beyond,
// +/-kMax_noncentrality, and its direction in `beyond` (0 when within reach).
Extended Limit_or_bound(Extended Df, Extended h, Extended p, int& beyond) {
  beyond = 0;
  try {
    return Search_noncentrality(Df, h, p);
  } catch (const tBracket_exceeded& e) {
    beyond = e.Direction;
    return e.Direction * kMax_noncentrality;
  }
}

}  // namespace

void Set_percentage_reach(tDeficit_results& r) {
  const auto reach = [](int beyond, Extended pct) {
    if (beyond > 0 && static_cast<double>(pct) >= 100) return 0;
    if (beyond < 0 && static_cast<double>(pct) <= 0) return 0;
    return beyond;
  };
  r.Pct_lower_beyond_reach = reach(r.Lower_beyond_reach, r.Pct_lower);
  r.Pct_upper_beyond_reach = reach(r.Upper_beyond_reach, r.Pct_upper);
}

std::string Beyond_reach_text(int direction, Extended bound) {
  return (direction < 0 ? "<" : ">") + Shortest_text(static_cast<double>(bound));
}

Extended Percent_below_case(Extended t, Extended Q) { return t >= 0 ? 100 * (1 - Q) : 100 * Q; }

void Check_difference_inputs(const std::string& routine, Extended Sd_x, Extended Sd_y,
                             Extended R_xy) {
  if (!(Sd_x > 0))
    Refuse(routine, "the control standard deviation on task X must be greater than 0 (" +
                        Number_text(Sd_x) + ")");
  if (!(Sd_y > 0))
    Refuse(routine, "the control standard deviation on task Y must be greater than 0 (" +
                        Number_text(Sd_y) + ")");
  if (!(R_xy > -1 && R_xy < 1))
    Refuse(routine, "the correlation between the tasks must lie strictly between -1 and 1 (" +
                        Number_text(R_xy) + ")");
}

void Set_deficit_significance(tDeficit_results& r, Extended Distance, Extended Sd,
                              Extended N, Extended Leverage_factor, std::int32_t Df) {
  r.T_value = Distance / (Sd * std::sqrt((N + Leverage_factor) / N));
  r.Df = Df;
  const Extended Q = T_upper_tail(Df, std::fabs(r.T_value));
  r.P_two_tailed = 2 * Q;
  r.P_one_tailed = Q;
  r.Pct_below = Percent_below_case(r.T_value, Q);
}

void Set_deficit_limits(tDeficit_results& r, bool Two_sided, Extended Level, Extended Df,
                        Extended Root, Extended T_obs) {
  const Extended c = Level / 100;
  const Extended p_a = Two_sided ? c + (1 - c) / 2 : c;
  const Extended p_b = Two_sided ? (1 - c) / 2 : 1 - c;
  const Extended delta_L = Limit_or_bound(Df, T_obs, p_a, r.Lower_beyond_reach);
  const Extended delta_U = Limit_or_bound(Df, T_obs, p_b, r.Upper_beyond_reach);
  r.Pct_lower = 100 * Normal_lower_tail(delta_L / Root);
  r.Pct_upper = 100 * Normal_lower_tail(delta_U / Root);
  r.Zcc_lower = delta_L / Root;
  r.Zcc_upper = delta_U / Root;
  Set_percentage_reach(r);
}

void Deficit_test(Extended Case, Extended Mean, Extended Sd, Extended N, Extended& T_value,
                  Extended& P_two_tailed, Extended& P_one_tailed, Extended& Pct_below) {
  Check_task_inputs("Deficit test", Case, Mean, Sd, N);
  Clear_fp_faults();
  tDeficit_results r;
  Set_deficit_significance(r, Case - Mean, Sd, N, 1, Round_to_int(N) - 1);
  Check_fp_faults();
  T_value = r.T_value;
  P_two_tailed = r.P_two_tailed;
  P_one_tailed = r.P_one_tailed;
  Pct_below = r.Pct_below;
}

void Abnormality_interval(bool Two_sided, Extended Case, Extended Mean, Extended Sd,
                          Extended N, Extended Level, Extended& Pct_upper,
                          Extended& Pct_lower) {
  const std::string routine = "Abnormality interval";
  Check_task_inputs(routine, Case, Mean, Sd, N);
  Check_level(routine, Level);
  Clear_fp_faults();
  // Kept in extended precision, as in Deficit_test_intervals: the search resolves delta
  // to its last digits, so rounding h or the probabilities to double would show there.
  const Extended root_n = std::sqrt(N);
  const Extended h = root_n * ((Case - Mean) / Sd);
  Require_finite(h, "the observed non-central t");
  Check_fp_faults();
  tDeficit_results r;
  Set_deficit_limits(r, Two_sided, Level, N - 1, root_n, h);
  Check_fp_faults();
  Pct_upper = r.Pct_upper;
  Pct_lower = r.Pct_lower;
}

void Deficit_test_intervals(bool Two_sided, tDeficit_results& Results, Extended Case,
                            Extended Mean, Extended Sd, Extended N, Extended Level) {
  const std::string routine = "Effect size and abnormality intervals";
  Check_task_inputs(routine, Case, Mean, Sd, N);
  Check_level(routine, Level);
  Clear_fp_faults();
  const Extended zcc = (Case - Mean) / Sd;
  const Extended root_n = std::sqrt(N);
  const Extended h = root_n * zcc;
  Require_finite(h, "the observed non-central t");
  Check_fp_faults();
  Results.Zcc = zcc;
  Set_deficit_significance(Results, Case - Mean, Sd, N, 1, Round_to_int(N) - 1);
  Set_deficit_limits(Results, Two_sided, Level, N - 1, root_n, h);
  Check_fp_faults();
}

void Rsdt(double Case_x, double Case_y, double Mean_x, double Sd_x, double Mean_y,
          double Sd_y, double N, double R_xy, double& P_two_tailed, double& P_one_tailed,
          Extended& T_value) {
  const std::string routine = "RSDT";
  Require_finite_input(routine, "case's score on task X", Case_x);
  Require_finite_input(routine, "case's score on task Y", Case_y);
  Require_finite_input(routine, "control mean on task X", Mean_x);
  Require_finite_input(routine, "control mean on task Y", Mean_y);
  Require_finite_input(routine, "control standard deviation on task X", Sd_x);
  Require_finite_input(routine, "control standard deviation on task Y", Sd_y);
  Require_finite_input(routine, "control sample size N", N);
  Require_finite_input(routine, "correlation", R_xy);
  Check_sample_size(routine, N);
  Check_difference_inputs(routine, Sd_x, Sd_y, R_xy);

  Clear_fp_faults();
  const double r = R_xy;
  const double zx = (Case_x - Mean_x) / Sd_x;
  const double zy = (Case_y - Mean_y) / Sd_y;
  const double a = (1 - r * r) * (1 + r);
  const double b =
      (1 - r) * (4 * (N - 1) * (N - 1) + 4 * (1 + r) * (N - 1) + (1 + r) * (5 + r));
  const double c = -2 * (zx - zy) * (zx - zy) * N * (N - 1) * (N - 1) / (N + 1);
  // t^2 is the positive root of a u^2 + b u + c = 0. With b > 0 and c <= 0 the textbook
  // form (-b + sqrt(b^2 - 4ac)) / 2a cancels badly when 4ac is small beside b^2 (large N
  // or a small difference; at N near 10^6 it returns 0 for a clear difference), so the
  // same root is taken in its equivalent form -2c / (b + sqrt(b^2 - 4ac)).
  const double t = std::sqrt(-2 * c / (b + std::sqrt(b * b - 4 * a * c)));
  const std::int32_t df = static_cast<std::int32_t>(std::nearbyint(N)) - 1;
  const Extended Q = T_upper_tail(df, std::fabs(t));
  Check_fp_faults();
  P_two_tailed = static_cast<double>(2 * Q);
  P_one_tailed = static_cast<double>(Q);
  T_value = t;
}
