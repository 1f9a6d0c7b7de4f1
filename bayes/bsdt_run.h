// SPDX-License-Identifier: GPL-3.0-or-later
// Internal to the bayes unit: where the engine puts its credible limits among the draws
// (the tests' literal procedure places them the same way).
#pragma once

#include <cstdint>

#include "bayes/bayes_engines.h"

// Positions of the lower and upper credible limits among the draws sorted ascending
// (1-based): Round, halves to even, of the tail fractions times Iterations, the upper
// one plus 1. Raises EArgumentError with a readable message when a position falls
// outside 1..Iterations (for a level of 95 with equal tails: fewer than 21 iterations).
void Credible_limit_positions(std::int32_t Level, bool Two_sided, std::int32_t Iterations,
                              std::int32_t& lo, std::int32_t& hi);
