// SPDX-License-Identifier: GPL-3.0-or-later
// The shared procedure behind BSDT_standard and BSDT_calibrated, with the choices of how
// it is evaluated. Internal to the bayes unit; the tests use it to compare the fast
// evaluation with the straightforward one.
#pragma once

#include <cstdint>

#include "bayes/bayes_engines.h"

enum class tBSDT_prior { Standard, Calibrated };

struct tBSDT_inputs {
  std::int32_t N = 0;
  std::int32_t Iterations = 0;
  bool Reset_seed = true;
  Extended Mean_x = 0, Sd_x = 1, Mean_y = 0, Sd_y = 1, R_xy = 0;
  Extended Case_x = 0, Case_y = 0;
  bool Two_sided = true;
  std::int32_t Level = 95;
};

struct tBSDT_evaluation {
  // Threads for the draws: 0 for two where the machine has two cores or more, 1 for the
  // calling thread only, 2 or more for two. Runs of fewer than 65,536 iterations stay on
  // the calling thread.
  int Threads = 0;
  // True: the literal procedure, on the calling thread: the distribution unit's normal
  // distribution function added to S inside the draw loop, and the draws fully sorted by
  // Quick_sort before the limits are read. The same draws and limits bit for bit, P
  // within 1E-10; slower.
  bool Straightforward = false;
};

// Positions of the lower and upper credible limits among the draws sorted ascending
// (1-based): Round, halves to even, of the tail fractions times Iterations, the upper
// one plus 1. Raises EArgumentError with a readable message when a position falls
// outside 1..Iterations (for a level of 95 with equal tails: fewer than 21 iterations).
void Credible_limit_positions(std::int32_t Level, bool Two_sided, std::int32_t Iterations,
                              std::int32_t& lo, std::int32_t& hi);

// Observer and Precision are optional (see bayes_engines.h).
void Run_BSDT(tBSDT_prior prior, const tBSDT_inputs& in, const tBSDT_evaluation& how,
              tBSDT_results& Results, const tProgress_observer* Observer = nullptr,
              tBSDT_precision* Precision = nullptr);
