// SPDX-License-Identifier: GPL-3.0-or-later
// The Bayesian test for a deficit on one task, with or without covariates: the posterior
// of the case's standardized distance from the controls' conditional mean, Z-CCC, by
// Monte Carlo, with its probability, credible limits and the percentage of controls with
// the case's covariate values who score below the case.
#pragma once

#include <cstdint>

#include "bayes/bayes_engines.h"
#include "distrib/progress.h"
#include "stats/covariate_deficit.h"

struct tBayesian_deficit_results {
  // The mean of Phi(z_i), folded to the case's tail as the BSDT folds it: P <= 0.5.
  Extended P_one_tailed = 0;
  Extended P_two_tailed = 0;
  Extended Pct_more_extreme = 0;  // 100 P
  Extended Pct_lower = 0, Pct_upper = 0;  // 100 Phi(credible limits), folded alike
  Extended Zccc = 0;  // point estimate (y* - y-hat*) / s
  Extended Zccc_lower = 0, Zccc_upper = 0;
  Extended P_one_tailed_mc_se = 0;  // Monte Carlo standard error of P_one_tailed
  bool Reversed = false;  // P was folded: the case lies above its predicted score
  tZdcc_histogram Histogram;  // the Z-CCC draws' shape, as the BSDT's of Z-DCC
};

// Iterations as the BSDT (at least 21 for 95 % equal-tailed limits); Reset_seed resets
// the generator's seeds first. Observer: progress and cancellation (ECancelled).
void Bayesian_deficit_test(const tConditional_task& task, std::int32_t Iterations,
                           bool Reset_seed, bool Two_sided, std::int32_t Level,
                           tBayesian_deficit_results& Results,
                           const tProgress_observer* Observer = nullptr);
