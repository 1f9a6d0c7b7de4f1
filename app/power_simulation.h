// SPDX-License-Identifier: GPL-3.0-or-later
// Power by simulation, for the tests whose statistic has no known distribution under an
// effect: the RSDT, the BSDT (either prior, with or without covariates), the Bayesian test
// for a deficit and the classification of a dissociation (also the frequentist test for a
// deficit, whose exact power checks the simulation). Each replication draws a control
// sample's summary statistics from the population (means from the normal of the mean, the
// covariance matrix from the Wishart with N - 1 df), places or draws the case, runs the
// test by the same engine calls the analysis run makes, and records whether it rejects.
#pragma once

#include <cstdint>
#include <vector>

#include "app/power_runner.h"
#include "app/texts.h"
#include "bayes/bayes_engines.h"
#include "stats/deficit_power.h"

enum class tSimulated_test { Deficit, Bayesian_deficit, Rsdt, Bsdt, Classification };

struct tSimulation_setting {
  tSimulated_test Test = tSimulated_test::Bsdt;
  std::int32_t N = 20;
  // The case's effects on task X (the one task of a deficit) and task Y, in SDs of each
  // task given the covariates (population SDs without covariates).
  Extended Delta_x = -2, Delta_y = 0;
  Extended Alpha = 0.05L;
  bool Two_tailed = false;
  tCase_model Case = tCase_model::Fixed;
  tPrior Prior = tPrior::Calibrated;
  tCriteria Criteria = tCriteria::Bayesian;  // the classification: Combined adds the RSDT
  std::int32_t Iterations = 1000;            // K of the Bayesian tests
  // The population correlation matrix of every variable, covariates first, then the task
  // (or tasks X and Y); m = its size less the tasks.
  std::vector<std::vector<Extended>> Correlations = {{1, 0.5L}, {0.5L, 1}};
  Extended D = 0;  // the case's covariate profile: Mahalanobis distance from their mean
  std::uint32_t Seed = 1;
};

// The number of tasks the test takes (1 or 2).
int Tasks_of(tSimulated_test test);

// Refuses a setting that cannot run (std::invalid_argument with a readable message): N too
// small for the covariates or the prior, a correlation matrix not positive definite, and
// the like.
void Check_simulation_setting(const tSimulation_setting& s);

// The replications [first, first + count). Hits[0] counts rejections: one tail, on the
// deficit side (a case below the controls; lower on X than on Y); two tails, either; the
// classification, a strong or classical dissociation by the run's own tail rule. Hits[1]
// and Hits[2] count the strong and the classical dissociations.
// A `stop` that reads true ends it with ECancelled between replications.
tPower_block Simulate_block(const tSimulation_setting& s, std::int64_t first,
                            std::int64_t count, const std::atomic<bool>* stop = nullptr);
