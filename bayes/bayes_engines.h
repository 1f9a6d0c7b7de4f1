// The Bayesian Standardized Difference Test (BSDT): two Monte Carlo engines with one
// interface, one per prior. Each draws the control population's covariance matrix
// (inverse Wishart, by Bartlett's construction) and means from their posterior, computes
// the case's standardized difference Z-DCC for each draw, and returns the test's
// probabilities, credible limits for Z-DCC and the percentage of the control population
// with a more extreme difference.
#pragma once

#include <cstdint>

#include "distrib/distrib.h"

// The eight results of an engine, in this order.
struct tBSDT_results {
  Extended P_one_tailed = 0;
  Extended P_two_tailed = 0;
  Extended Pct_more_extreme = 0;
  Extended Pct_lower = 0;
  Extended Pct_upper = 0;
  Extended Zdcc = 0;
  Extended Zdcc_lower = 0;
  Extended Zdcc_upper = 0;
};

// Standard-theory (Jeffreys) prior.
void BSDT_standard(std::int32_t N, std::int32_t Iterations, bool Reset_seed, Extended Mean_x,
                   Extended Sd_x, Extended Mean_y, Extended Sd_y, Extended R_xy,
                   Extended Case_x, Extended Case_y, bool Two_sided, std::int32_t Level,
                   tBSDT_results& Results);

// Calibrated prior (the worksheet's default), with its acceptance step on the drawn
// correlation. Needs N of at least 4.
void BSDT_calibrated(std::int32_t N, std::int32_t Iterations, bool Reset_seed,
                     Extended Mean_x, Extended Sd_x, Extended Mean_y, Extended Sd_y,
                     Extended R_xy, Extended Case_x, Extended Case_y, bool Two_sided,
                     std::int32_t Level, tBSDT_results& Results);
