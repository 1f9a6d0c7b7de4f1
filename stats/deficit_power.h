// SPDX-License-Identifier: GPL-3.0-or-later
// The power of the test for a deficit (the modified t-test of a case against N controls)
// computed exactly from the non-central t distribution, its limit as N grows, and the
// power allowing for covariates, averaged over the controls' covariate samples. The case
// differs from the control population by delta population SDs (residual SDs given the
// covariates), under one of two case models:
//   fixed:  the case's score is exactly delta SDs from the population mean; then
//           t sqrt(N + 1) is non-central t with N - 1 df and non-centrality delta sqrt(N);
//   random: the case is a draw from the population shifted by delta SDs; then t itself is
//           non-central t with N - 1 df and non-centrality delta / sqrt(1 + 1/N).
// The test rejects at level alpha when t < -c (one tail, the deficit side) or |t| > c (two
// tails), c the t quantile for alpha or alpha/2. The unstandardized difference test is the
// same test on the difference scores, with delta in SDs of the difference.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "distrib/distrib.h"
#include "distrib/progress.h"

enum class tCase_model { Fixed, Random };

// The smallest control sample the tests take, and the largest the searches go to.
constexpr std::int32_t kMin_power_n = 2;
constexpr std::int32_t kMax_power_n = 10000000;

struct tPower_setting {
  std::int32_t N = 20;
  Extended Delta = -2;  // effect in SDs; the deficit side is negative
  Extended Alpha = 0.05L;
  bool Two_tailed = false;
  tCase_model Case = tCase_model::Fixed;
};

// Refuses (std::invalid_argument, a readable message) alpha outside (0, 1), a delta
// beyond +/-1000 or not finite, and df below 1.
void Check_power_setting(const tPower_setting& s, std::int32_t df);

// The probability that the test rejects when T' = t x scale is non-central t with df
// degrees of freedom and non-centrality ncp: P(T' < -c scale), plus P(T' > c scale) for
// two tails.
Extended Rejection_probability(std::int32_t df, Extended ncp, Extended scale,
                               const tPower_setting& s);

// Exact power of the deficit test without covariates.
Extended Deficit_power(const tPower_setting& s);

// Power of the deficit test given the covariates of the controls (m of them, leverage h
// of the case's covariate profile): df N - m - 1; fixed: t sqrt((1 + h)/h) is non-central
// t with ncp delta / sqrt(h); random: t is non-central t with ncp delta / sqrt(1 + h).
Extended Conditional_deficit_power(const tPower_setting& s, int m, Extended h);

// The limit of the power as N grows (the test then compares the case's population z with
// the normal quantile): random, Phi(-z - delta) (+ Phi(delta - z) for two tails);
// fixed, 1 when |delta| lies beyond z on a rejecting side, 0 inside, 1/2 on the edge.
Extended Deficit_power_limit(const tPower_setting& s);

// The power allowing for m covariates, the case's covariate profile at Mahalanobis
// distance D from the controls' population mean: the conditional power averaged over
// `samples` simulated covariate samples (x-bar from the normal of the mean, (N - 1) S_xx
// from the Wishart with N - 1 df, by Bartlett's construction), sample i drawn from the
// generator state of (seed, i). h depends on the population only through D (the model is
// invariant under affine maps of the covariates), so the covariates' correlations are not
// needed. Sums are kept per block of kPower_block samples and added in block order.
constexpr std::int64_t kPower_block = 250;
struct tBlock_sum {
  Extended Sum = 0, Sum_squares = 0;
  std::int64_t Count = 0;
};
// The block sums of samples first .. first + count - 1 (a whole number of blocks, except
// the run's last). A `stop` that reads true ends it with ECancelled between samples.
std::vector<tBlock_sum> Covariate_power_blocks(const tPower_setting& s, int m, Extended D,
                                               std::int64_t first, std::int64_t count,
                                               std::uint32_t seed,
                                               const std::atomic<bool>* stop = nullptr);
// The mean of the conditional powers and its Monte Carlo standard error from the blocks,
// in order.
void Mean_and_se(const std::vector<tBlock_sum>& blocks, Extended& mean, Extended& se);
// The leverage h of the case for one covariate sample drawn from the current generator
// state (standardized covariates; the case at (D, 0, ..., 0)).
Extended Draw_leverage(std::int32_t N, int m, Extended D);
