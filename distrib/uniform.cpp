// SPDX-License-Identifier: GPL-3.0-or-later
// The continuous uniform distribution on [Low, High].
#include "distrib/distrib.h"

tUniform_distribution::tUniform_distribution(Extended Low, Extended High) {
  Num_parameters = 2;
  Parameters[0] = {0, false, -Infinity_value, High};
  Parameters[1] = {0, false, Low, Infinity_value};
  Set_parameters(Low, High, 0);
}

bool tUniform_distribution::Set_parameters(Extended P1, Extended P2, Extended P3) {
  // Each end is the other's limit, so that the checks demand Low < High.
  Parameters[0].Upper_limit = P2;
  Parameters[1].Lower_limit = P1;
  tContinuous_distribution::Set_parameters(P1, P2, P3);
  Low = P1;
  High = P2;
  Support_low = Low;
  Support_high = High;
  return true;
}

Extended tUniform_distribution::Density(Extended x) const {
  return In_support(x) ? 1 / (High - Low) : 0;
}

Extended tUniform_distribution::Cdf(Extended x) const {
  if (!In_support(x)) return tDistribution::Cdf(x);
  return (x - Low) / (High - Low);
}

Extended tUniform_distribution::Mean() const { return (Low + High) / 2; }

Extended tUniform_distribution::Variance() const {
  const Extended width = High - Low;
  return width * width / 12;
}

Extended tUniform_distribution::Random_value() { return Low + Uniform_01() * (High - Low); }
