// SPDX-License-Identifier: GPL-3.0-or-later
// The unstandardized difference test (UDT), for two tasks on the same scale: the deficit
// test with its intervals applied to the difference scores X - Y, whose control mean is
// Mean_x - Mean_y and whose SD is sqrt(Sd_x^2 + Sd_y^2 - 2 r Sd_x Sd_y).
#pragma once

#include "stats/metrics_papers.h"

void Unstandardized_difference_test(bool Two_sided, tDeficit_results& Results,
                                    Extended Case_x, Extended Case_y, Extended Mean_x,
                                    Extended Sd_x, Extended Mean_y, Extended Sd_y,
                                    Extended R_xy, Extended N, Extended Level);
