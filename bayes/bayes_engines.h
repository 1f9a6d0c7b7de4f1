// SPDX-License-Identifier: GPL-3.0-or-later
// The Bayesian Standardized Difference Test (BSDT): two Monte Carlo engines with one
// interface, one per prior. Each draws the control population's covariance matrix
// (inverse Wishart, by Bartlett's construction) and means from their posterior, computes
// the case's standardized difference Z-DCC for each draw, and returns the test's
// probabilities, credible limits for Z-DCC and the percentage of the control population
// with a more extreme difference.
#pragma once

#include <cstdint>
#include <vector>

#include "distrib/distrib.h"
#include "distrib/progress.h"

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

// The Z-DCC draws' shape: kZdcc_bins equal bins from Lower (the 0.1 % order statistic)
// to Upper (the 99.9 % one), with the draws below Lower and above Upper counted apart.
// Below + Above + the sum of Counts equals the iterations.
constexpr int kZdcc_bins = 120;
struct tZdcc_histogram {
  double Lower = 0, Upper = 0;
  std::int64_t Below = 0, Above = 0;
  std::vector<std::int64_t> Counts;
};

// How precise the Monte Carlo estimate is, and the draws' shape, from the same pass as
// the eight results: the standard errors of the one- and two-tailed probabilities (the
// standard deviation of the draws' normal probabilities over sqrt(iterations)) and the
// histogram of the Z-DCC draws.
struct tBSDT_precision {
  Extended P_one_tailed_mc_se = 0;
  Extended P_two_tailed_mc_se = 0;
  tZdcc_histogram Zdcc_histogram;
};

// The prior of the BSDT: calibrated (the worksheet's default, with its acceptance step on
// the drawn correlation; needs N of at least 4) or standard theory (Jeffreys).
enum class tPrior { Calibrated, Standard };

// Everything one run of the engine takes: the prior, the control sample's summary
// statistics and size, the case's two scores, the Monte Carlo iterations, whether the
// generator's seeds are reset first (the worksheet always asks: the same inputs then give
// the same draws), equal tails or one, and the credible level in percent. Threads says how
// the run is evaluated, not what it computes: 0 for two where the machine has them
// (shorter runs, but about a third more CPU time in all), 1 for the calling thread only
// (the least CPU time, for callers that run several cases at once), 2 or more for two.
// Runs of fewer than 65,536 iterations stay on the calling thread. The results are the
// same bit for bit whatever the threads.
struct tBSDT_inputs {
  tPrior Prior = tPrior::Calibrated;
  std::int32_t N = 0;
  std::int32_t Iterations = 1000000;
  bool Reset_seed = true;
  Extended Mean_x = 0, Sd_x = 1, Mean_y = 0, Sd_y = 1, R_xy = 0;
  Extended Case_x = 0, Case_y = 0;
  bool Two_sided = true;
  std::int32_t Level = 95;
  int Threads = 0;
  // The means' draws have covariance Sigma h, with h = Mean_spread^2 / N: 1 for the
  // controls' own means (h = 1/N); sqrt(h (N - m)) on the conditional model given m
  // covariates, where N is N - m (see bsdt_covariates.h).
  Extended Mean_spread = 1;
};

// One run of the engine the prior names. Observer (progress and cancellation: ECancelled,
// with Results and Precision untouched) and Precision (the Monte Carlo standard errors and
// the Z-DCC histogram) are optional. Raises EArgumentError or EFloating_point_error with a
// readable message, and std::runtime_error when the draws do not fit in memory.
void Run_BSDT(const tBSDT_inputs& in, tBSDT_results& Results,
              const tProgress_observer* Observer = nullptr,
              tBSDT_precision* Precision = nullptr);

// The two engines with their positional arguments: each fills the inputs and calls
// Run_BSDT. Threads as in tBSDT_inputs.

// Standard-theory (Jeffreys) prior.
void BSDT_standard(std::int32_t N, std::int32_t Iterations, bool Reset_seed, Extended Mean_x,
                   Extended Sd_x, Extended Mean_y, Extended Sd_y, Extended R_xy,
                   Extended Case_x, Extended Case_y, bool Two_sided, std::int32_t Level,
                   tBSDT_results& Results, const tProgress_observer* Observer = nullptr,
                   tBSDT_precision* Precision = nullptr, int Threads = 0);

// Calibrated prior. Needs N of at least 4.
void BSDT_calibrated(std::int32_t N, std::int32_t Iterations, bool Reset_seed,
                     Extended Mean_x, Extended Sd_x, Extended Mean_y, Extended Sd_y,
                     Extended R_xy, Extended Case_x, Extended Case_y, bool Two_sided,
                     std::int32_t Level, tBSDT_results& Results,
                     const tProgress_observer* Observer = nullptr,
                     tBSDT_precision* Precision = nullptr, int Threads = 0);
