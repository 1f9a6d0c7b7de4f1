// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's procedure with the choice of how it is evaluated. Internal to the bayes
// unit; the tests use it to compare the fast evaluation with the straightforward one.
#pragma once

#include <cstdint>

#include "bayes/bayes_engines.h"

struct tBSDT_evaluation {
  // True: the literal procedure, on the calling thread whatever in.Threads says: the
  // distribution unit's normal distribution function added to S inside the draw loop,
  // and the draws fully sorted by Quick_sort before the limits are read. The same draws
  // and limits bit for bit as the fast evaluation, P within 1E-10; slower.
  bool Straightforward = false;
};

// Positions of the lower and upper credible limits among the draws sorted ascending
// (1-based): Round, halves to even, of the tail fractions times Iterations, the upper
// one plus 1. Raises EArgumentError with a readable message when a position falls
// outside 1..Iterations (for a level of 95 with equal tails: fewer than 21 iterations).
void Credible_limit_positions(std::int32_t Level, bool Two_sided, std::int32_t Iterations,
                              std::int32_t& lo, std::int32_t& hi);

// Run_BSDT evaluated as `how` says.
void Run_BSDT(const tBSDT_inputs& in, const tBSDT_evaluation& how, tBSDT_results& Results,
              const tProgress_observer* Observer = nullptr,
              tBSDT_precision* Precision = nullptr);
