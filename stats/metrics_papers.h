// SPDX-License-Identifier: GPL-3.0-or-later
// Frequentist single-case statistics: the modified t-test for a deficit on one task, the
// confidence limits on the effect size Z-CC and on the abnormality of the case's score
// (by search over non-central t distributions), and the revised standardized difference
// test (RSDT) on the difference between two tasks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "distrib/distrib.h"

// The ten results of the deficit test for one task, filled in this order by
// Deficit_test_intervals.
struct tDeficit_results {
  Extended T_value = 0;
  Extended Df = 0;
  Extended P_one_tailed = 0;
  Extended P_two_tailed = 0;
  Extended Pct_below = 0;
  Extended Pct_lower = 0;
  Extended Pct_upper = 0;
  Extended Zcc = 0;
  Extended Zcc_lower = 0;
  Extended Zcc_upper = 0;
  // A limit whose non-centrality lies beyond the search's reach (+/-4096): -1 below, +1
  // above, 0 within reach. Its Zcc and percentage then hold the bound it lies beyond.
  int Lower_beyond_reach = 0;
  int Upper_beyond_reach = 0;
  // The same for the percentages, except where the bound's percentage is already 0 or 100
  // to the last digit (the limit then is that value).
  int Pct_lower_beyond_reach = 0;
  int Pct_upper_beyond_reach = 0;
};

// Sets the percentages' flags from the limits' (see tDeficit_results).
void Set_percentage_reach(tDeficit_results& r);

// Standard deviation of a difference: sqrt(s1^2 + s2^2 - 2 s1 s2 r).
Extended Sd_difference(Extended s1, Extended s2, Extended r);

// The text of a limit beyond the search's reach: "<" (direction -1) or ">" (+1) and the
// bound it lies beyond, in its shortest exact decimal form.
std::string Beyond_reach_text(int direction, Extended bound);

// The percentage of controls below a case whose t value is t, from Q = P(T > |t|):
// 100 (1 - Q) above the mean, 100 Q below it.
Extended Percent_below_case(Extended t, Extended Q);

double Normal_density(double x);
// The state of successive trapezoid refinements of one integral: the number of new
// points of the next refinement and the current estimate. Refinement n = 1 starts it.
struct tTrapezoid_state {
  std::int32_t Points = 1;
  double Estimate = 0;
};
double Trapezoid_refine(tTrapezoid_state& state, std::int32_t n, double a, double b);
double Simpson_integral(double a, double b);
double Normal_cdf(double x);

// The two limits on the non-centrality delta of a non-central t with Df degrees of
// freedom, for an observed value T_obs: delta_L where T_obs is the p_a quantile, then
// delta_U where it is the p_b quantile, by the interval estimates' search. A limit beyond
// the search's reach gives the bound it lies beyond and its direction (-1 below, +1
// above, else 0); a T_obs that is not finite is refused with a message naming `routine`.
void Noncentrality_limits(const std::string& routine, Extended Df, Extended T_obs,
                          Extended p_a, Extended p_b, Extended& delta_L, Extended& delta_U,
                          int& lower_beyond, int& upper_beyond);

void Deficit_test(Extended Case, Extended Mean, Extended Sd, Extended N, Extended& T_value,
                  Extended& P_two_tailed, Extended& P_one_tailed, Extended& Pct_below);

void Abnormality_interval(bool Two_sided, Extended Case, Extended Mean, Extended Sd,
                          Extended N, Extended Level, Extended& Pct_upper,
                          Extended& Pct_lower);

void Deficit_test_intervals(bool Two_sided, tDeficit_results& Results, Extended Case,
                            Extended Mean, Extended Sd, Extended N, Extended Level);

void Rsdt(double Case_x, double Case_y, double Mean_x, double Sd_x, double Mean_y,
          double Sd_y, double N, double R_xy, double& P_two_tailed, double& P_one_tailed,
          Extended& T_value);

// The unit's one message, "Too many steps", is a warning: the computation continues.
// A front end installs a hook to show it (a modal box, a line on standard error); with no
// hook installed nothing is shown. The hook is per thread.
using tWarning_hook = std::function<void(const std::string& message)>;
void Set_warning_hook(tWarning_hook hook);
// The hook this thread has installed (empty for none).
const tWarning_hook& Current_warning_hook();
