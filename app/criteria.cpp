// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/criteria.h"

bool Meets_deficit(const tDeficit_results& d) { return d.P_one_tailed < kAlpha && d.T_value < 0; }

bool Significant(Extended p) { return p < kAlpha; }

tClassification Classify(int deficits, bool difference_significant) {
  if (!difference_significant) return tClassification::Neither;
  if (deficits == 2) return tClassification::Strong;
  if (deficits == 1) return tClassification::Classical;
  return tClassification::Neither;
}
