// SPDX-License-Identifier: GPL-3.0-or-later
// The difference of two variables has mean Mean_x - Mean_y and variance
// Sd_x^2 + Sd_y^2 - 2 r Sd_x Sd_y; a case's difference score is tested against it as a
// single score is by the deficit test.
#include "stats/unstandardized_difference.h"

void Unstandardized_difference_test(bool Two_sided, tDeficit_results& Results,
                                    Extended Case_x, Extended Case_y, Extended Mean_x,
                                    Extended Sd_x, Extended Mean_y, Extended Sd_y,
                                    Extended R_xy, Extended N, Extended Level) {
  Check_difference_inputs("Unstandardized difference test", Sd_x, Sd_y, R_xy);
  const Extended sd = Sd_difference(Sd_x, Sd_y, R_xy);
  Deficit_test_intervals(Two_sided, Results, Case_x - Case_y, Mean_x - Mean_y, sd, N, Level);
}
