// SPDX-License-Identifier: GPL-3.0-or-later
// The frequentist test for a deficit on one task allowing for covariates: the case's
// score against the controls' conditional distribution given the case's covariate
// values, with the effect size Z-CCC and the percentage of such controls below the case,
// each with confidence limits from a non-central t search. Without covariates it is the
// deficit test with its intervals (Deficit_test_intervals), figure for figure.
#pragma once

#include <cstdint>
#include <string>

#include "stats/conditional_model.h"
#include "stats/metrics_papers.h"

// The figures of one task of a conditional model: the case's score, its predicted score,
// the residual SD, N, the covariates m and the leverage factor N h.
struct tConditional_task {
  Extended Case = 0;
  Extended Predicted = 0;
  Extended Residual_sd = 1;
  std::int32_t N = 0;
  int M = 0;
  Extended Leverage_factor = 1;
};

// Task j (0 or 1) of a built model.
tConditional_task Task_of(const tConditional_model& model, int j);

// Refuses (ERefused_input, the message naming routine) a task that leaves no degrees of
// freedom or no residual variation.
void Check_conditional_task(const std::string& routine, const tConditional_task& task);

// The significance test alone (no interval search): t and the one-tailed p.
void Covariate_deficit_significance(const tConditional_task& task, Extended& T_value,
                                    Extended& P_one_tailed);

// Fills all ten fields of Results (Zcc and its limits hold Z-CCC; Df = N - m - 1), with
// equal-tailed limits when Two_sided, at Level percent. Throws a std::exception with a
// readable message on a computation error.
void Covariate_deficit_test(bool Two_sided, tDeficit_results& Results,
                            const tConditional_task& task, Extended Level);
