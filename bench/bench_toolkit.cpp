// SPDX-License-Identifier: GPL-3.0-or-later
// Run time of the toolkit's Monte Carlo tests on one core: the Bayesian test for a deficit
// at 1,000,000 iterations (target 0.25 s), and the BSDT allowing for two covariates under
// each prior beside today's BSDT on the same figures (target at most 1.2 times its time).
// Every engine runs on the calling thread only. Run with --benchmark_repetitions=5
// --benchmark_report_aggregates_only for medians.
#include <benchmark/benchmark.h>

#include "bayes/bayes_engines.h"
#include "bayes/bayesian_deficit.h"
#include "bayes/bsdt_covariates.h"
#include "stats/conditional_model.h"
#include "stats/covariate_deficit.h"

namespace {

constexpr std::int32_t kIterations = 1000000;

tConditional_inputs Inputs(bool covariates) {
  tConditional_inputs in;
  in.N = 20;
  in.Tasks = {{"X", 100, 15, 70}, {"Y", 50, 10, 52}};
  if (covariates) {
    in.Covariates = {{"age", 65, 8, 78}, {"edu", 12, 3, 9}};
    in.Correlations = {{1, 0.3, 0.5, 0.4}, {0.3, 1, 0.4, 0.45}, {0.5, 0.4, 1, 0.6},
                       {0.4, 0.45, 0.6, 1}};
  } else {
    in.Correlations = {{1, 0.6}, {0.6, 1}};
  }
  return in;
}

void BM_Bayesian_deficit(benchmark::State& state) {
  tConditional_inputs in = Inputs(state.range(0) != 0);
  in.Tasks.pop_back();
  for (auto& row : in.Correlations) row.pop_back();
  in.Correlations.pop_back();
  const tConditional_task task = Task_of(Build_conditional_model(in), 0);
  tBayesian_deficit_results r;
  for (auto _ : state) {
    Bayesian_deficit_test(task, kIterations, true, true, 95, r);
    benchmark::DoNotOptimize(r);
  }
}

void BM_BSDT_today(benchmark::State& state) {
  tBSDT_inputs in;
  in.Prior = state.range(0) != 0 ? tPrior::Calibrated : tPrior::Standard;
  in.N = 20;
  in.Iterations = kIterations;
  in.Mean_x = 100;
  in.Sd_x = 15;
  in.Mean_y = 50;
  in.Sd_y = 10;
  in.R_xy = 0.6;
  in.Case_x = 70;
  in.Case_y = 52;
  in.Threads = 1;
  tBSDT_results r;
  for (auto _ : state) {
    Run_BSDT(in, r);
    benchmark::DoNotOptimize(r);
  }
}

void BM_BSDT_covariates(benchmark::State& state) {
  const tPrior prior = state.range(0) != 0 ? tPrior::Calibrated : tPrior::Standard;
  const tConditional_model model = Build_conditional_model(Inputs(true), 4);
  tBSDT_results r;
  for (auto _ : state) {
    BSDT_with_covariates(prior, model, kIterations, 1, r);
    benchmark::DoNotOptimize(r);
  }
}

}  // namespace

// Arguments: 0 without covariates, 1 with two.
BENCHMARK(BM_Bayesian_deficit)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
// Arguments: 0 standard prior, 1 calibrated.
BENCHMARK(BM_BSDT_today)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BSDT_covariates)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
