// SPDX-License-Identifier: GPL-3.0-or-later
// Whole analysis runs as the worksheet and the command line make them: the deficit tests
// with their interval estimates on both tasks, the RSDT, the BSDT (1,000,000 iterations,
// N = 20) and the criteria, under each prior; the engine on two threads (the windows) and
// on one (the command line). Reports wall time and the process's CPU time per run. Run
// with --benchmark_repetitions=5 --benchmark_report_aggregates_only for medians.
#include <benchmark/benchmark.h>

#include "app/analysis_run.h"

namespace {

tChecked_inputs Worksheet_case() {
  tChecked_inputs in;
  in.Mean_x = 100;
  in.Sd_x = 15;
  in.Mean_y = 50;
  in.Sd_y = 10;
  in.R_xy = 0.6;
  in.N_real = 20;
  in.N = 20;
  in.Case_x = 70;
  in.Case_y = 52;
  return in;
}

// range(0): 1 calibrated, 0 standard-theory prior; range(1): engine threads.
void BM_Whole_run(benchmark::State& state) {
  tRun_options options;
  options.Criteria = tCriteria::Combined;
  options.Prior = state.range(0) == 1 ? tPrior::Calibrated : tPrior::Standard;
  options.Engine_threads = static_cast<int>(state.range(1));
  const tChecked_inputs in = Worksheet_case();
  for (auto _ : state) {
    tRun_results r = Compute_analysis(in, options);
    benchmark::DoNotOptimize(r);
  }
}

// The frequentist half alone: the BSDT with the fewest iterations it accepts.
void BM_Frequentist_part(benchmark::State& state) {
  tRun_options options;
  options.Criteria = tCriteria::Combined;
  options.Prior = tPrior::Standard;
  options.Iterations = 21;
  options.Engine_threads = 1;
  const tChecked_inputs in = Worksheet_case();
  for (auto _ : state) {
    tRun_results r = Compute_analysis(in, options);
    benchmark::DoNotOptimize(r);
  }
}

}  // namespace

BENCHMARK(BM_Whole_run)
    ->Args({1, 1})
    ->Args({1, 2})
    ->Args({0, 1})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_Frequentist_part)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
