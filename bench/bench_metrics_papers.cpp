// SPDX-License-Identifier: GPL-3.0-or-later
// The interval estimates of one analysis run: Abnormality_interval and
// Deficit_test_intervals for both tasks, eight non-central t searches in all, for a small
// control sample, a large one with a far case, and the worst cases the worksheet accepts
// (the largest accepted distances of the case from the control mean, at a small, a middle
// and the largest N) and refuses.
//
// "Threads" runs the four calls on four threads at once and checks that every result is
// bit-identical to the serial order (the counter "identical" is 1 when it is).
#include <benchmark/benchmark.h>

#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

#include "stats/metrics_papers.h"

namespace {

struct tScenario {
  Extended N;
  Extended Case_x, Mean_x, Sd_x;
  Extended Case_y, Mean_y, Sd_y;
};

struct tFour_results {
  Extended Upper_x = 0, Lower_x = 0, Upper_y = 0, Lower_y = 0;
  tDeficit_results Record_x, Record_y;
};

void Serial(const tScenario& s, tFour_results& r) {
  Abnormality_interval(true, s.Case_x, s.Mean_x, s.Sd_x, s.N, 95, r.Upper_x, r.Lower_x);
  Abnormality_interval(true, s.Case_y, s.Mean_y, s.Sd_y, s.N, 95, r.Upper_y, r.Lower_y);
  Deficit_test_intervals(true, r.Record_x, s.Case_x, s.Mean_x, s.Sd_x, s.N, 95);
  Deficit_test_intervals(true, r.Record_y, s.Case_y, s.Mean_y, s.Sd_y, s.N, 95);
}

void Threaded(const tScenario& s, tFour_results& r) {
  std::thread a([&] {
    Abnormality_interval(true, s.Case_x, s.Mean_x, s.Sd_x, s.N, 95, r.Upper_x, r.Lower_x);
  });
  std::thread b([&] {
    Abnormality_interval(true, s.Case_y, s.Mean_y, s.Sd_y, s.N, 95, r.Upper_y, r.Lower_y);
  });
  std::thread c([&] { Deficit_test_intervals(true, r.Record_x, s.Case_x, s.Mean_x, s.Sd_x, s.N, 95); });
  Deficit_test_intervals(true, r.Record_y, s.Case_y, s.Mean_y, s.Sd_y, s.N, 95);
  a.join();
  b.join();
  c.join();
}

bool Same_bits(const Extended& a, const Extended& b) {
  return std::memcmp(&a, &b, 10) == 0;  // the 80 significant bits of the x87 value
}

bool Same_bits(const tDeficit_results& a, const tDeficit_results& b) {
  const Extended* x = &a.T_value;
  const Extended* y = &b.T_value;
  for (int i = 0; i < 10; ++i)
    if (!Same_bits(x[i], y[i])) return false;
  return true;
}

bool Same_bits(const tFour_results& a, const tFour_results& b) {
  return Same_bits(a.Upper_x, b.Upper_x) && Same_bits(a.Lower_x, b.Lower_x) &&
         Same_bits(a.Upper_y, b.Upper_y) && Same_bits(a.Lower_y, b.Lower_y) &&
         Same_bits(a.Record_x, b.Record_x) && Same_bits(a.Record_y, b.Record_y);
}

void Run_serial(benchmark::State& state, tScenario s) {
  for (auto _ : state) {
    tFour_results r;
    Serial(s, r);
    benchmark::DoNotOptimize(r);
  }
}

void Run_threaded(benchmark::State& state, tScenario s) {
  tFour_results serial;
  Serial(s, serial);
  bool identical = true;
  for (auto _ : state) {
    tFour_results r;
    Threaded(s, r);
    identical = identical && Same_bits(r, serial);
    benchmark::DoNotOptimize(r);
  }
  state.counters["identical"] = identical ? 1 : 0;
}

// Refused inputs: the time until the readable error.
void Refused(benchmark::State& state, tScenario s) {
  int refusals = 0;
  for (auto _ : state) {
    tFour_results r;
    try {
      Serial(s, r);
    } catch (const std::range_error&) {
      ++refusals;
    }
  }
  state.counters["refused"] = refusals == static_cast<int>(state.iterations()) ? 1 : 0;
}

// The worksheet's worst input: N = 999999, scores 1.1e11 control SDs from the mean
// (refused before any search); and N = 3 with the case 1300 SDs from the mean, whose
// upper limit on delta (about 4500) the search refuses once its bracket passes 4096.
const tScenario kWorst_input{999999, 999999, -99999, 0.00001, -99999, 999999, 0.00001};
const tScenario kBeyond_bound{3, -1300, 0, 1, 1300, 0, 1};

// Control samples: N = 20, cases at z = -4 and +4 (and at -2 and +1); N = 1000, z = -10
// and +10; and near the largest distances accepted, where the outer limit on delta
// approaches the search's bound of 4096: at N = 3 (where that limit is about twice the
// distance sqrt(N) |z|), at N = 1000 and at N = 999999.
const tScenario kSmall_far{20, 60, 100, 10, 140, 100, 10};
const tScenario kSmall_typical{20, 80, 100, 10, 110, 100, 10};
const tScenario kLarge{1000, 0, 100, 10, 200, 100, 10};
const tScenario kWorst_small_n{3, -1230, 0, 1, 1230, 0, 1};
const tScenario kWorst_middle_n{1000, -124, 0, 1, 124, 0, 1};
const tScenario kWorst_large_n{999999, -4.09, 0, 1, 4.09, 0, 1};

}  // namespace

BENCHMARK_CAPTURE(Run_serial, N20_z4, kSmall_far)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run_serial, N20_z2, kSmall_typical)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run_serial, N1000_z10, kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run_serial, N3_worst_accepted, kWorst_small_n)
    ->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_CAPTURE(Run_serial, N1000_worst_accepted, kWorst_middle_n)
    ->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_CAPTURE(Run_serial, N999999_worst_accepted, kWorst_large_n)
    ->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_CAPTURE(Refused, worksheet_worst_input, kWorst_input)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Refused, N3_beyond_bound, kBeyond_bound)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Run_threaded, N20_z4, kSmall_far)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Run_threaded, N1000_z10, kLarge)->Unit(benchmark::kMillisecond)->UseRealTime();
