// Run time of the two BSDT engines at the worksheet's setting: 1,000,000 iterations,
// N = 20, seeds reset, equal tails, level 95. Reports the process's peak resident memory
// as a counter. Run with --benchmark_repetitions=5 --benchmark_report_aggregates_only
// for medians.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include "bayes/bayes_engines.h"
#include "bayes/bsdt_run.h"

namespace {

double Peak_rss_mb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_BSDT_standard(benchmark::State& state) {
  const auto iterations = static_cast<std::int32_t>(state.range(0));
  tBSDT_results r;
  for (auto _ : state) {
    BSDT_standard(20, iterations, true, 100, 15, 50, 10, 0.6, 70, 52, true, 95, r);
    benchmark::DoNotOptimize(r);
  }
  state.counters["peak_rss_MB"] = Peak_rss_mb();
}

void BM_BSDT_calibrated(benchmark::State& state) {
  const auto iterations = static_cast<std::int32_t>(state.range(0));
  tBSDT_results r;
  for (auto _ : state) {
    BSDT_calibrated(20, iterations, true, 100, 15, 50, 10, 0.6, 70, 52, true, 95, r);
    benchmark::DoNotOptimize(r);
  }
  state.counters["peak_rss_MB"] = Peak_rss_mb();
}

// The straightforward evaluation (normal probabilities inside the draw loop on one
// thread, full Quick_sort), for comparison.
void BM_BSDT_standard_straightforward(benchmark::State& state) {
  tBSDT_inputs in;
  in.N = 20;
  in.Iterations = static_cast<std::int32_t>(state.range(0));
  in.Mean_x = 100;
  in.Sd_x = 15;
  in.Mean_y = 50;
  in.Sd_y = 10;
  in.R_xy = 0.6;
  in.Case_x = 70;
  in.Case_y = 52;
  tBSDT_results r;
  for (auto _ : state) {
    Run_BSDT(tBSDT_prior::Standard, in, tBSDT_evaluation{1, true}, r);
    benchmark::DoNotOptimize(r);
  }
}

}  // namespace

BENCHMARK(BM_BSDT_standard)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BSDT_calibrated)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BSDT_standard_straightforward)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
