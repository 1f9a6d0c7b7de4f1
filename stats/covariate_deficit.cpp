// SPDX-License-Identifier: GPL-3.0-or-later
// Test for a deficit allowing for covariates. In the controls' regression of the task on
// m covariates (residual SD s on N - m - 1 degrees of freedom), a new control with the
// case's covariate values scores y-hat* + s sqrt(1 + h) T, with T Student t on N - m - 1
// degrees of freedom and h the case's leverage (the prediction interval of a regression;
// e.g. Draper and Smith, Applied Regression Analysis, ch. 3). So
//   t = (y* - y-hat*) / (s sqrt(1 + h)),  p from F_df(t),  percentage below = 100 F_df(t),
//   Z-CCC = (y* - y-hat*) / s.
// Limits: t' = (y* - y-hat*) / (s sqrt(h)) is non-central t with N - m - 1 degrees of
// freedom and non-centrality Z-CCC / sqrt(h); the non-centrality limits, found by the
// deficit test's search, times sqrt(h) are the Z-CCC limits, and 100 Phi of those the
// percentage's limits.
//
// Every expression is written with N h (1 without covariates) so that with m = 0 it is,
// operation for operation, the deficit test's: sqrt(1 + h) = sqrt((N + Nh)/N),
// 1/sqrt(h) = sqrt(N/Nh).
#include "stats/covariate_deficit.h"

#include <cmath>
#include <string>

#include "distrib/fp_check.h"

namespace {

const std::string kRoutine = "Deficit test allowing for covariates";

}  // namespace

tConditional_task Task_of(const tConditional_model& model, int j) {
  tConditional_task t;
  t.Case = model.Case.at(j);
  t.Predicted = model.Predicted.at(j);
  t.Residual_sd = model.Residual_sd.at(j);
  t.N = model.N;
  t.M = model.M;
  t.Leverage_factor = model.Leverage_factor;
  return t;
}

void Covariate_deficit_significance(const tConditional_task& task, Extended& T_value,
                                    Extended& P_one_tailed) {
  const std::int32_t df = task.N - task.M - 1;
  if (df < 1 || !(task.Residual_sd > 0))
    throw ERefused_input(kRoutine + ": too few controls or no residual variation.");
  const Extended N = task.N;
  Clear_fp_faults();
  const Extended t = (task.Case - task.Predicted) /
                     (task.Residual_sd * std::sqrt((N + task.Leverage_factor) / N));
  const Extended Q = T_upper_tail(df, std::fabs(t));
  Check_fp_faults();
  T_value = t;
  P_one_tailed = Q;
}

void Covariate_deficit_test(bool Two_sided, tDeficit_results& Results,
                            const tConditional_task& task, Extended Level) {
  const Extended N = task.N;
  const Extended g = task.Leverage_factor;
  const std::int32_t df = task.N - task.M - 1;
  if (df < 1)
    throw ERefused_input(kRoutine + ": the control sample is too small for " +
                         std::to_string(task.M) + " covariates (N = " +
                         std::to_string(task.N) + ").");
  if (!(task.Residual_sd > 0) || !std::isfinite(task.Residual_sd))
    throw ERefused_input(kRoutine + ": the residual standard deviation must be greater "
                                    "than 0 (do the covariates explain the task entirely?).");
  if (!(Level > 0 && Level < 100))
    throw ERefused_input(kRoutine + ": the confidence level must lie strictly between 0 "
                                    "and 100 percent.");

  Clear_fp_faults();
  tDeficit_results r;
  r.Zcc = (task.Case - task.Predicted) / task.Residual_sd;
  const Extended root_n_over_g = std::sqrt(N / g);
  const Extended t_prime = root_n_over_g * r.Zcc;
  Check_fp_faults();
  Require_finite(t_prime, "the observed non-central t of the deficit test");

  r.T_value = (task.Case - task.Predicted) / (task.Residual_sd * std::sqrt((N + g) / N));
  r.Df = df;
  const Extended Q = T_upper_tail(df, std::fabs(r.T_value));
  r.P_two_tailed = 2 * Q;
  r.P_one_tailed = Q;
  r.Pct_below = Percent_below_case(r.T_value, Q);

  const Extended c = Level / 100;
  const Extended p_a = Two_sided ? c + (1 - c) / 2 : c;
  const Extended p_b = Two_sided ? (1 - c) / 2 : 1 - c;
  Extended delta_L = 0, delta_U = 0;
  Noncentrality_limits(kRoutine, N - task.M - 1, t_prime, p_a, p_b, delta_L, delta_U,
                       r.Lower_beyond_reach, r.Upper_beyond_reach);
  r.Pct_lower = 100 * Normal_lower_tail(delta_L / root_n_over_g);
  r.Pct_upper = 100 * Normal_lower_tail(delta_U / root_n_over_g);
  r.Zcc_lower = delta_L / root_n_over_g;
  r.Zcc_upper = delta_U / root_n_over_g;
  Set_percentage_reach(r);
  Check_fp_faults();
  for (const Extended v : {r.T_value, r.P_one_tailed, r.P_two_tailed, r.Pct_below, r.Pct_lower,
                           r.Pct_upper, r.Zcc, r.Zcc_lower, r.Zcc_upper})
    Require_finite(v, "a result of the deficit test allowing for covariates");
  Results = r;
}
