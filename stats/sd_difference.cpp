// SPDX-License-Identifier: GPL-3.0-or-later
// Standard deviation of the difference of two variables with standard deviations s1 and
// s2 and correlation r: sqrt(s1^2 + s2^2 - 2 s1 s2 r).
#include <cmath>

#include "stats/metrics_papers.h"

Extended Sd_difference(Extended s1, Extended s2, Extended r) {
  return std::sqrt(s1 * s1 + s2 * s2 - 2 * s1 * s2 * r);
}
