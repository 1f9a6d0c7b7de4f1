// SPDX-License-Identifier: GPL-3.0-or-later
// Run time of the two BSDT engines at the worksheet's setting: 1,000,000 iterations,
// N = 20, seeds reset, equal tails, level 95; the calibrated prior at r = 0.99; the cost
// of an observer and how soon a cancelled run stops. Reports the process's peak resident memory
// as a counter. Run with --benchmark_repetitions=5 --benchmark_report_aggregates_only
// for medians.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <thread>

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

// The calibrated prior with a correlation of 0.99: about seven attempts per accepted draw.
void BM_BSDT_calibrated_r099(benchmark::State& state) {
  tBSDT_results r;
  for (auto _ : state) {
    BSDT_calibrated(20, 1000000, true, 100, 15, 50, 10, 0.99, 70, 52, true, 95, r);
    benchmark::DoNotOptimize(r);
  }
}

// With an observer that counts the progress calls: against BM_BSDT_standard, the cost of
// watching a run.
void BM_BSDT_standard_observed(benchmark::State& state) {
  tBSDT_results r;
  std::atomic<bool> cancel{false};
  std::int64_t calls = 0;
  tProgress_observer observer;
  observer.Cancel = &cancel;
  observer.Progress = [&calls](std::int64_t, std::int64_t) { ++calls; };
  for (auto _ : state) {
    BSDT_standard(20, 1000000, true, 100, 15, 50, 10, 0.6, 70, 52, true, 95, r, &observer);
    benchmark::DoNotOptimize(r);
  }
  state.counters["progress_calls"] =
      static_cast<double>(calls) / static_cast<double>(state.iterations());
}

// Time from a request to stop until the engine has thrown ECancelled, with the request
// made 100 ms into a long run (calibrated prior, r = 0.999). Reported in milliseconds.
void BM_BSDT_cancel_latency(benchmark::State& state) {
  double worst_ms = 0;
  for (auto _ : state) {
    std::atomic<bool> cancel{false};
    tProgress_observer observer;
    observer.Cancel = &cancel;
    std::chrono::steady_clock::time_point asked;
    std::thread stopper([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      asked = std::chrono::steady_clock::now();
      cancel = true;
    });
    tBSDT_results r;
    try {
      BSDT_calibrated(20, 1000000, true, 100, 15, 50, 10, 0.999, 70, 52, true, 95, r,
                      &observer);
    } catch (const ECancelled&) {
    }
    const auto stopped = std::chrono::steady_clock::now();
    stopper.join();
    worst_ms = std::max(
        worst_ms, std::chrono::duration<double, std::milli>(stopped - asked).count());
  }
  state.counters["worst_latency_ms"] = worst_ms;
}

}  // namespace

BENCHMARK(BM_BSDT_standard)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BSDT_calibrated)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BSDT_calibrated_r099)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BSDT_standard_observed)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BSDT_cancel_latency)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
