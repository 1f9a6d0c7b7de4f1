// SPDX-License-Identifier: GPL-3.0-or-later
// Run time of study planning: an exact power curve of the test for a deficit (N = 3 ..
// 1,000), a simulated BSDT power point (R = 10,000 replications of K = 1,000 iterations,
// on every core), and the cost of one replication by the analysis request (checks, interval
// estimates, record) against the engine calls the simulation makes. Wall time (UseRealTime)
// for the parallel runs.
#include <benchmark/benchmark.h>

#include "app/power_job.h"
#include "app/toolkit_analysis.h"
#include "stats/deficit_power.h"

namespace {

void BM_Exact_deficit_power_curve(benchmark::State& state) {
  tPower_setting s;
  s.Delta = -2;
  s.Two_tailed = state.range(0) != 0;
  for (auto _ : state) {
    Extended sum = 0;
    for (std::int32_t n = 3; n <= 1000; ++n) {
      s.N = n;
      sum += Deficit_power(s);
    }
    benchmark::DoNotOptimize(sum);
  }
}

tPower_job Bsdt_job(tPrior prior) {
  tPower_job job;
  job.Analysis = tPower_analysis::Dissociation;
  job.Exact = false;
  job.Setting.Test = tSimulated_test::Bsdt;
  job.Setting.Prior = prior;
  job.Setting.Iterations = 1000;
  job.Setting.Delta_x = -2;
  job.Setting.Correlations = {{1, 0.5L}, {0.5L, 1}};
  job.Replications = 10000;
  job.N_values = {20};
  job.Effects = {-2};
  return job;
}

void BM_Bsdt_power_point(benchmark::State& state) {
  const tPower_job job = Bsdt_job(state.range(0) != 0 ? tPrior::Calibrated : tPrior::Standard);
  for (auto _ : state) {
    const tPower_row row = Finish_point(job, {20, -2}, Point_blocks(job, {20, -2}, 1, 1, nullptr));
    benchmark::DoNotOptimize(row);
  }
}

// One replication's analysis through the request (what the windows and the command line
// run), against the engine calls of the simulation, both on one thread.
void BM_Replication_by_request(benchmark::State& state) {
  tAnalysis_request r;
  r.Kind = tAnalysis_kind::Dissociation;
  r.N = "20";
  r.Tasks = {{"Task X", "0.1", "0.95", "-2"}, {"Task Y", "-0.05", "1.1", "0"}};
  r.Correlations = {{}, {"0.52"}};
  r.Options.Iterations = 1000;
  r.Options.Engine_threads = 1;
  for (auto _ : state) benchmark::DoNotOptimize(Run_analysis(r));
}

void BM_Replication_by_engines(benchmark::State& state) {
  tSimulation_setting s = Bsdt_job(tPrior::Calibrated).Setting;
  s.Test = tSimulated_test::Classification;
  std::int64_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(Simulate_block(s, i++, 1));
}

}  // namespace

BENCHMARK(BM_Exact_deficit_power_curve)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Bsdt_power_point)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Replication_by_request)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Replication_by_engines)->Unit(benchmark::kMicrosecond);
