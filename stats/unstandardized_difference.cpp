// SPDX-License-Identifier: GPL-3.0-or-later
// The difference of two variables has mean Mean_x - Mean_y and variance
// Sd_x^2 + Sd_y^2 - 2 r Sd_x Sd_y; a case's difference score is tested against it as a
// single score is by the deficit test.
#include "stats/unstandardized_difference.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

void Unstandardized_difference_test(bool Two_sided, tDeficit_results& Results,
                                    Extended Case_x, Extended Case_y, Extended Mean_x,
                                    Extended Sd_x, Extended Mean_y, Extended Sd_y,
                                    Extended R_xy, Extended N, Extended Level) {
  if (!(R_xy > -1 && R_xy < 1)) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "Unstandardized difference test: the correlation between the tasks must "
                  "lie strictly between -1 and 1 (%.10Lg).", static_cast<long double>(R_xy));
    throw std::invalid_argument(text);
  }
  if (!(Sd_x > 0) || !(Sd_y > 0))
    throw std::invalid_argument(
        "Unstandardized difference test: the standard deviations must be greater than 0.");
  const Extended sd = Sd_difference(Sd_x, Sd_y, R_xy);
  Deficit_test_intervals(Two_sided, Results, Case_x - Case_y, Mean_x - Mean_y, sd, N, Level);
}
