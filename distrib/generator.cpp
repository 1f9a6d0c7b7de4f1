// SPDX-License-Identifier: GPL-3.0-or-later
// State of the unit's uniform generator (L'Ecuyer's combined multiplicative congruential
// generator, Uniform_01 in distrib.h). Each thread has its own pair of seeds, set to the
// start-up values when the thread first uses them; the engines reset them at their start.
#include "distrib/distrib.h"

thread_local constinit std::int32_t Seed1 = kStart_seed1;
thread_local constinit std::int32_t Seed2 = kStart_seed2;
thread_local constinit tUniform_source* Uniform_source = nullptr;

void Reset_seeds() {
  Seed1 = kStart_seed1;
  Seed2 = kStart_seed2;
}
