// SPDX-License-Identifier: GPL-3.0-or-later
// Frequentist single-case statistics: the modified t-test for a deficit on one task
// (Quarrin & Orlund, 1998), the confidence limits on the effect size Z-CC and on the
// percentage of controls below the case, both found by searching for the non-centrality
// parameter of a non-central t distribution whose quantile equals the observed statistic,
// and the revised standardized difference test (RSDT) on the difference between two
// tasks.
//
// Student_t_cdf is the classical finite series for whole degrees of freedom (Abramowitz
// and Stegun 26.7.3 and 26.7.4) in doubles, with the nine-digit constant 0.636619772 for
// 2/pi; its results are those of that constant. The other routines work in extended
// precision.
//
// Limits of the method. The non-central t sums cost a number of terms that grows with the
// non-centrality delta. The distribution unit evaluates them up to |delta| = 131072 (its
// own bound, where a call takes tens of milliseconds and keeps about 1E-8) and refuses
// beyond; a search calls them hundreds of times, so it needs a tighter bound to finish in
// reasonable time. The worksheet accepts N up to 999999 and any six-character scores,
// which puts sqrt(N) x |case - mean| / SD, about the size of the limits on delta, anywhere
// up to 1e14. The search therefore never brackets beyond |delta| = kMax_noncentrality
// (4096, noncentrality_search.h), and the interval routines turn that refusal into a
// message that names the inputs. Within the bound every accepted input finishes in well
// under a second.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "distrib/fp_check.h"
#include "stats/metrics_papers.h"
#include "stats/noncentrality_search.h"

namespace {

constexpr double kTwo_over_pi = 0.636619772;        // 2/pi to nine digits, as designed
constexpr Extended kBisection_width = 1E-6L;        // the search on delta stops below this
// The largest control sample accepted (the worksheet's six characters allow 999999).
constexpr Extended kMax_sample_size = 1000000;

std::string Number_text(Extended x) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.10Lg", static_cast<long double>(x));
  return buffer;
}

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

[[noreturn]] void Refuse_far_case(const std::string& routine, Extended distance, Extended N) {
  Refuse(routine,
         "the case's score lies too far from the control mean for the interval estimates "
         "of this method. sqrt(N) x |case - mean| / SD is " + Number_text(std::fabs(distance)) +
             " (N = " + Number_text(N) + "), and the confidence limits would need a "
             "non-centrality beyond +/-" + Number_text(kMax_noncentrality) +
             ", the largest this method computes reliably. Check the case's score and the "
             "control mean and standard deviation");
}

// The limits on delta lie beyond sqrt(N) x (case - mean) / SD on one side, so a distance
// beyond the bound is refused before any search.
void Check_search_distance(const std::string& routine, Extended distance, Extended N) {
  if (!(std::fabs(distance) <= kMax_noncentrality)) Refuse_far_case(routine, distance, N);
}

void Check_level(const std::string& routine, Extended Level) {
  if (!(Level > 0 && Level < 100))
    Refuse(routine, "the confidence level must lie strictly between 0 and 100 percent (" +
                        Number_text(Level) + ")");
}

// [v]: v rounded to the nearest whole number, halves to even (the default rounding mode).
std::int32_t Round_to_int(Extended v) { return static_cast<std::int32_t>(std::nearbyint(v)); }

// The Prob-quantile of the non-central t with Df degrees of freedom and the object's
// current delta; a non-finite quantile ends the search.
Extended Checked_quantile(const tNon_central_t_distribution& distribution, Extended Prob) {
  const Extended q = distribution.Quantile(Prob);
  Require_finite(q, "quantile of the non-central t distribution");
  return q;
}

// The search compares T_obs with the quantile Q of the current distribution. The quantile
// search ends with |Cdf(Q) - Prob| at the level of its tolerance (below 1E-11), so
// wherever Cdf(T_obs) differs from Prob by more than this margin, the distribution
// function is monotone between T_obs and Q and the comparison is decided by Cdf(T_obs)
// alone: one evaluation instead of the dozen or so of a quantile search. Only near the
// root, within the margin, is the quantile itself computed. The outcome of every
// comparison, and so every result, is that of comparing with the quantile.
constexpr Extended kDecision_margin = 1E-9L;

// The sign of T_obs - Q(delta): +1, 0 or -1.
int Compare_with_quantile(const tNon_central_t_distribution& distribution, Extended T_obs,
                          Extended Prob) {
  const Extended below = distribution.Cdf(T_obs);
  Require_finite(below, "non-central t distribution function");
  if (below > Prob + kDecision_margin) return 1;
  if (below < Prob - kDecision_margin) return -1;
  const Extended q = Checked_quantile(distribution, Prob);
  return T_obs > q ? 1 : (T_obs < q ? -1 : 0);
}

}  // namespace

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

  // Q(delta) grows with delta: bracket T_obs between Q(lo) and Q(hi), doubling outward
  // from [-1, 1], then bisect.
  Extended lo = -1;
  Extended hi = 1;
  const auto distribution = std::make_unique<tNon_central_t_distribution>(Df, hi);
  while (Compare_with_quantile(*distribution, T_obs, Prob) > 0) {
    if (2 * hi > kMax_noncentrality) throw tBracket_exceeded{};
    lo = hi;
    hi = 2 * hi;
    distribution->Set_parameters(Df, hi, 0);
  }
  if (lo < 0) {  // no upward step was made
    distribution->Set_parameters(Df, lo, 0);
    while (Compare_with_quantile(*distribution, T_obs, Prob) < 0) {
      if (-2 * lo > kMax_noncentrality) throw tBracket_exceeded{};
      hi = lo;
      lo = 2 * lo;
      distribution->Set_parameters(Df, lo, 0);
    }
  }
  Extended mid = 0;
  do {
    mid = (hi + lo) / 2;
    distribution->Set_parameters(Df, mid, 0);
    if (Compare_with_quantile(*distribution, T_obs, Prob) > 0)
      lo = mid;
    else
      hi = mid;  // a tie moves hi
  } while (!(hi - lo < kBisection_width));
  return mid;
}

namespace {

// The two searches of the interval routines, delta_L at p_a and then delta_U at p_b, with
// Df = N - 1.
void Search_limits(const std::string& routine, Extended N, Extended h, Extended p_a,
                   Extended p_b, Extended& delta_L, Extended& delta_U) {
  try {
    delta_L = Search_noncentrality(N - 1, h, p_a);
    delta_U = Search_noncentrality(N - 1, h, p_b);
  } catch (const tBracket_exceeded&) {
    Refuse_far_case(routine, h, N);
  }
}

// 100 x the normal distribution function at delta/sqrt(N).
Extended Percent_below(Extended delta, Extended N) {
  return 100 * static_cast<Extended>(Normal_cdf(static_cast<double>(delta / std::sqrt(N))));
}

}  // namespace

double Student_t_cdf(std::int32_t Df, double t) {
  if (Df < 1)
    Refuse("Student t distribution function",
           "the degrees of freedom must be at least 1 (" + std::to_string(Df) + ")");
  if (std::isnan(t))
    throw EFloating_point_error("Invalid floating point operation (t value of the t test)");
  const double theta = std::atan(t / std::sqrt(static_cast<double>(Df)));
  const double S = std::sin(theta);
  const double C = std::cos(theta);
  double sum = 0;
  if (Df > 1) {
    double term;
    std::int32_t i;
    if (Df % 2 != 0) {
      term = C;
      i = 3;
    } else {
      term = 1;
      i = 2;
    }
    sum = term;
    while (Df > i) {
      term = term * C * C * (i - 1) / i;
      sum = sum + term;
      i = i + 2;
    }
    sum = S * sum;
  }
  if (Df % 2 != 0) sum = (sum + theta) * kTwo_over_pi;
  return 0.5 * (1 + sum);
}

void Deficit_test(Extended Case, Extended Mean, Extended Sd, Extended N, Extended& T_value,
                  Extended& P_two_tailed, Extended& P_one_tailed, Extended& Pct_below) {
  Check_task_inputs("Deficit test", Case, Mean, Sd, N);
  Clear_fp_faults();
  const Extended t = (Case - Mean) / (Sd * std::sqrt((N + 1) / N));
  const std::int32_t df = Round_to_int(N) - 1;
  const Extended F = Student_t_cdf(df, static_cast<double>(std::fabs(t)));
  Check_fp_faults();
  T_value = t;
  P_two_tailed = 2 * (1 - F);
  P_one_tailed = 1 - F;
  Pct_below = t >= 0 ? 100 * F : 100 * (1 - F);
}

void Abnormality_interval(bool Two_sided, Extended Case, Extended Mean, Extended Sd,
                          Extended N, Extended Level, Extended& Pct_upper,
                          Extended& Pct_lower) {
  const std::string routine = "Abnormality interval";
  Check_task_inputs(routine, Case, Mean, Sd, N);
  Check_level(routine, Level);
  Clear_fp_faults();
  const Extended c = Level / 100;
  const double h = static_cast<double>(std::sqrt(N) * (Case - Mean) / Sd);
  Check_search_distance(routine, h, N);
  Check_fp_faults();
  const double p_a = static_cast<double>(Two_sided ? c + (1 - c) / 2 : c);
  const double p_b = static_cast<double>(Two_sided ? (1 - c) / 2 : 1 - c);
  Extended delta_L = 0, delta_U = 0;
  Search_limits(routine, N, h, p_a, p_b, delta_L, delta_U);
  const Extended upper = Percent_below(delta_U, N);
  const Extended lower = Percent_below(delta_L, N);
  Check_fp_faults();
  Pct_upper = upper;
  Pct_lower = lower;
}

void Deficit_test_intervals(bool Two_sided, tDeficit_results& Results, Extended Case,
                            Extended Mean, Extended Sd, Extended N, Extended Level) {
  const std::string routine = "Effect size and abnormality intervals";
  Check_task_inputs(routine, Case, Mean, Sd, N);
  Check_level(routine, Level);
  Clear_fp_faults();
  const Extended zcc = (Case - Mean) / Sd;
  const Extended h = std::sqrt(N) * zcc;
  Check_search_distance(routine, h, N);
  Check_fp_faults();
  Results.Zcc = zcc;

  Results.T_value = (Case - Mean) / (Sd * std::sqrt((N + 1) / N));
  Results.Df = Round_to_int(N) - 1;
  const Extended F =
      Student_t_cdf(Round_to_int(Results.Df), static_cast<double>(std::fabs(Results.T_value)));
  Results.P_two_tailed = 2 * (1 - F);
  Results.P_one_tailed = 1 - F;
  Results.Pct_below = Results.T_value >= 0 ? 100 * F : 100 * (1 - F);

  const Extended c = Level / 100;
  const Extended p_a = Two_sided ? c + (1 - c) / 2 : c;
  const Extended p_b = Two_sided ? (1 - c) / 2 : 1 - c;
  Extended delta_L = 0, delta_U = 0;
  Search_limits(routine, N, h, p_a, p_b, delta_L, delta_U);
  Results.Pct_lower = Percent_below(delta_L, N);
  Results.Pct_upper = Percent_below(delta_U, N);
  Results.Zcc_lower = delta_L / std::sqrt(N);
  Results.Zcc_upper = delta_U / std::sqrt(N);
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
  if (!(Sd_x > 0))
    Refuse(routine, "the control standard deviation on task X must be greater than 0 (" +
                        Number_text(Sd_x) + ")");
  if (!(Sd_y > 0))
    Refuse(routine, "the control standard deviation on task Y must be greater than 0 (" +
                        Number_text(Sd_y) + ")");
  Check_sample_size(routine, N);
  if (!(R_xy > -1 && R_xy < 1))
    Refuse(routine, "the correlation between the tasks must lie strictly between -1 and 1 (" +
                        Number_text(R_xy) + ")");

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
  const double F = Student_t_cdf(df, std::fabs(t));
  Check_fp_faults();
  P_two_tailed = 2 * (1 - F);
  P_one_tailed = 1 - F;
  T_value = t;
}
