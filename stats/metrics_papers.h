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

// A figure in a refusal's message: ten significant digits.
std::string Number_text(Extended x);

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

// Refuses (std::range_error, the message naming routine) the figures of a difference
// between two tasks that give it no spread: an SD not above 0, a correlation not strictly
// between -1 and 1.
void Check_difference_inputs(const std::string& routine, Extended Sd_x, Extended Sd_y,
                             Extended R_xy);

// The two steps that every test of a single score against controls shares (the deficit
// test, the unstandardized difference test through it, the test allowing for covariates).
// Significance: a case at Distance from the controls' (predicted) mean, Sd the controls'
// (residual) SD, N controls, the leverage factor g = N h (1 without covariates) and Df
// degrees of freedom: t = Distance / (Sd sqrt((N + g) / N)), p one-tailed = P(T > |t|),
// twice that two-tailed, and the percentage below the case (T_value, Df, P_one_tailed,
// P_two_tailed, Pct_below of r).
void Set_deficit_significance(tDeficit_results& r, Extended Distance, Extended Sd,
                              Extended N, Extended Leverage_factor, std::int32_t Df);
// Limits: the non-centrality delta of a non-central t on Df degrees of freedom whose
// quantile at p_a (then p_b) is the observed T_obs = Root Zcc, Root = sqrt(N / g); the
// effect size's limits are delta / Root and the percentage's 100 Phi(delta / Root), with
// equal tails when Two_sided, at Level percent. A limit beyond the search's reach gives
// the bound it lies beyond and its direction (Zcc_lower ... Pct_upper and the reach flags
// of r).
void Set_deficit_limits(tDeficit_results& r, bool Two_sided, Extended Level, Extended Df,
                        Extended Root, Extended T_obs);

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
