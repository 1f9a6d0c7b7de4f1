// SPDX-License-Identifier: GPL-3.0-or-later
// The BSDT allowing for covariates: either engine run on the controls' conditional model
// given the covariates instead of their raw figures.
#pragma once

#include <cstdint>

#include "bayes/bayes_engines.h"
#include "stats/conditional_model.h"

// Either prior. Needs
// N - m of at least 3 (standard) or 4 (calibrated); refuses fewer with ERefused_input.
// Threads, Observer and Precision as for the engines.
void BSDT_with_covariates(tPrior prior, const tConditional_model& model,
                          std::int32_t Iterations, int Threads, tBSDT_results& Results,
                          const tProgress_observer* Observer = nullptr,
                          tBSDT_precision* Precision = nullptr);
