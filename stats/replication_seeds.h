// SPDX-License-Identifier: GPL-3.0-or-later
// The generator's state for replication i of a simulation with a given seed, derived from
// (seed, i) alone, so that a simulation gives the same numbers whatever the threads, the
// cores or the machines its replications are spread over. The two 32-bit seeds of
// L'Ecuyer's generator are taken from successive outputs of SplitMix64 (Steele, Lea and
// Flood, OOPSLA 2014), a bijective mixing of a 64-bit counter whose outputs pass BigCrush,
// started at seed x 2^32 + i, and reduced into each seed's own range 1 .. m - 1.
#pragma once

#include <cstdint>

#include "distrib/distrib.h"

// One SplitMix64 step: advances the state by the golden-ratio increment and mixes it.
inline std::uint64_t Split_mix_64(std::uint64_t& state) {
  state += 0x9E3779B97F4A7C15ULL;
  std::uint64_t z = state;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// Sets this thread's Seed1 and Seed2 for replication i (0-based) of a run with `seed`.
inline void Seed_replication(std::uint32_t seed, std::uint64_t i) {
  constexpr std::uint64_t kModulus1 = 2147483563;  // the two moduli of the generator
  constexpr std::uint64_t kModulus2 = 2147483399;
  std::uint64_t state = (std::uint64_t{seed} << 32) ^ i;
  Seed1 = static_cast<std::int32_t>(1 + Split_mix_64(state) % (kModulus1 - 1));
  Seed2 = static_cast<std::int32_t>(1 + Split_mix_64(state) % (kModulus2 - 1));
}
