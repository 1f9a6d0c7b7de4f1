// SPDX-License-Identifier: GPL-3.0-or-later
// The search for the non-centrality parameter behind the interval estimates. Internal to
// the stats unit; the tests reach it through their own Find_noncentrality.
#pragma once

#include "distrib/distrib.h"

// The bracketing of the search doubles its bound from 1 and stops rather than go beyond
// this non-centrality (2^12): the limits on delta, and every trial of the bisection, stay
// within it. The cost of the non-central t sums grows with delta; at this bound the
// slowest accepted input (N = 3, limits near -4096) takes about 0.4 s per task on one
// core, and the next doubling would take several seconds.
constexpr Extended kMax_noncentrality = 4096;

// Raised by the search when its bracket would pass kMax_noncentrality; each caller turns
// it into a message about its own inputs.
struct tBracket_exceeded {
  int Direction = 0;  // +1: the root lies above +kMax_noncentrality; -1: below its negative
};

// The delta, to a few units in its last place, whose non-central t distribution with Df
// degrees of freedom has T_obs as its Prob-quantile, found as the root of
// F(T_obs; Df, delta) = Prob: brackets the root between -1 and 1, doubling outward, then
// refines it by Brent's method. Refuses (std::range_error) arguments out of range; raises
// tBracket_exceeded when the root lies beyond +/-kMax_noncentrality. The caller handles
// the floating-point flags.
Extended Search_noncentrality(Extended Df, Extended T_obs, Extended Prob);
