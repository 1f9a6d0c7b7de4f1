// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/noncentrality.h"

#include <cstdio>
#include <stdexcept>
#include <string>

#include "distrib/fp_check.h"
#include "stats/noncentrality_search.h"

Extended Find_noncentrality(Extended Df, Extended T_obs, Extended Prob) {
  Clear_fp_faults();
  Extended delta = 0;
  try {
    delta = Search_noncentrality(Df, T_obs, Prob);
  } catch (const tBracket_exceeded&) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "Confidence limits: no non-centrality within +/-%.10Lg gives a non-central t "
                  "quantile equal to the observed value %.10Lg; the observed value is out of "
                  "range for this method.",
                  static_cast<long double>(kMax_noncentrality), static_cast<long double>(T_obs));
    throw std::range_error(text);
  }
  Check_fp_faults();
  return delta;
}
