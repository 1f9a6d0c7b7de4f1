// SPDX-License-Identifier: GPL-3.0-or-later
// The criteria for a deficit and for a dissociation, decided once for every analysis.
// Every comparison is strict and made in extended precision against the extended alpha,
// so that a probability of exactly 0.05 never passes, whichever analysis computed it.
#pragma once

#include "app/texts.h"
#include "stats/metrics_papers.h"

// The significance level of every criterion.
constexpr Extended kAlpha = 0.05L;

// A deficit: one-tailed p below alpha and the case below the controls (t < 0).
bool Meets_deficit(const tDeficit_results& d);

// A probability below alpha.
bool Significant(Extended p);

// The classification from the number of tasks with a deficit (0, 1 or 2) and whether the
// difference between the tasks is significant by every test the criteria ask for.
tClassification Classify(int deficits, bool difference_significant);
