// SPDX-License-Identifier: GPL-3.0-or-later
// The searches of study planning over a power function: the smallest sample that reaches a
// target power, and the smallest effect detectable with it at a given sample size. Each
// takes the power as a function, so that exact and simulated power share them (a simulated
// power function uses the same replications at every N, common random numbers, so that
// its values are monotone in N wherever the true power is, up to a few replications).
#pragma once

#include <cstdint>
#include <functional>

#include "distrib/distrib.h"

struct tSample_size {
  bool Reached = false;  // false: no N up to the search's end reaches the target
  std::int32_t N = 0;    // the smallest N found that reaches it
  Extended Power = 0;    // the power there (the last one computed when not reached)
};

// Scans N = n_min .. n_min + 31 one by one (small samples, where power may not yet be
// monotone), then doubles N until the target is reached or n_max passed, then bisects
// between the last N below and the first at or above the target (power increasing in N
// there). power_of_n may throw; the search passes the exception on.
tSample_size Smallest_sample(const std::function<Extended(std::int32_t)>& power_of_n,
                             std::int32_t n_min, std::int32_t n_max, Extended target);

struct tDetectable_effect {
  bool Reached = false;  // false: not even an effect of max_effect SDs reaches the target
  Extended Effect = 0;   // the smallest |delta| reaching the target, to kEffect_tolerance
  Extended Power = 0;    // the power at Effect
};

// |delta| to this absolute tolerance.
constexpr Extended kEffect_tolerance = 1E-6L;

// power_of_effect(e) is the power at the effect of size e >= 0 on the tested side,
// increasing in e; the search brackets the target by doubling from 1 SD, up to max_effect,
// then bisects to `tolerance` (at least kEffect_tolerance).
tDetectable_effect Smallest_effect(const std::function<Extended(Extended)>& power_of_effect,
                                   Extended target, Extended max_effect,
                                   Extended tolerance = kEffect_tolerance);
