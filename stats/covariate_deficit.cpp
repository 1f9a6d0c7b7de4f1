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

void Check_conditional_task(const std::string& routine, const tConditional_task& task) {
  if (task.N - task.M - 1 < 1)
    throw ERefused_input(routine + ": the control sample is too small for " +
                         std::to_string(task.M) + " covariates (N = " +
                         std::to_string(task.N) + ").");
  if (!(task.Residual_sd > 0) || !std::isfinite(task.Residual_sd))
    throw ERefused_input(routine + ": the residual standard deviation must be greater "
                                   "than 0 (do the covariates explain the task entirely?).");
}

void Covariate_deficit_significance(const tConditional_task& task, Extended& T_value,
                                    Extended& P_one_tailed) {
  Check_conditional_task(kRoutine, task);
  Clear_fp_faults();
  tDeficit_results r;
  Set_deficit_significance(r, task.Case - task.Predicted, task.Residual_sd, task.N,
                           task.Leverage_factor, task.N - task.M - 1);
  Check_fp_faults();
  T_value = r.T_value;
  P_one_tailed = r.P_one_tailed;
}

void Covariate_deficit_test(bool Two_sided, tDeficit_results& Results,
                            const tConditional_task& task, Extended Level) {
  Check_conditional_task(kRoutine, task);
  if (!(Level > 0 && Level < 100))
    throw ERefused_input(kRoutine + ": the confidence level must lie strictly between 0 "
                                    "and 100 percent.");
  const Extended N = task.N;
  Clear_fp_faults();
  tDeficit_results r;
  r.Zcc = (task.Case - task.Predicted) / task.Residual_sd;
  const Extended root_n_over_g = std::sqrt(N / task.Leverage_factor);
  const Extended t_prime = root_n_over_g * r.Zcc;
  Check_fp_faults();
  Require_finite(t_prime, "the observed non-central t of the deficit test");
  Set_deficit_significance(r, task.Case - task.Predicted, task.Residual_sd, N,
                           task.Leverage_factor, task.N - task.M - 1);
  Set_deficit_limits(r, Two_sided, Level, N - task.M - 1, root_n_over_g, t_prime);
  Check_fp_faults();
  for (const Extended v : {r.T_value, r.P_one_tailed, r.P_two_tailed, r.Pct_below, r.Pct_lower,
                           r.Pct_upper, r.Zcc, r.Zcc_lower, r.Zcc_upper})
    Require_finite(v, "a result of the deficit test allowing for covariates");
  Results = r;
}
