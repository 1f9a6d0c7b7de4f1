// SPDX-License-Identifier: GPL-3.0-or-later
// Time per call of the operations the Monte Carlo engines repeat about a million times a
// run: the uniform generator, normal and chi-square variates, and the normal distribution
// function.
#include <benchmark/benchmark.h>

#include "distrib/distrib.h"

namespace {

void BM_Uniform_01(benchmark::State& state) {
  Reset_seeds();
  for (auto _ : state) benchmark::DoNotOptimize(Uniform_01());
}
BENCHMARK(BM_Uniform_01);

void BM_Normal_random_value(benchmark::State& state) {
  Reset_seeds();
  tNormal_distribution normal(0, 1);
  for (auto _ : state) benchmark::DoNotOptimize(normal.Random_value());
}
BENCHMARK(BM_Normal_random_value);

void BM_Chi_square_20_random_value(benchmark::State& state) {
  Reset_seeds();
  tChi_square_distribution chi_square(20);
  for (auto _ : state) benchmark::DoNotOptimize(chi_square.Random_value());
}
BENCHMARK(BM_Chi_square_20_random_value);

// Over a spread of points, so that both the series (|z| below about 1.7) and the
// continued fraction of the incomplete gamma function are timed in their proportion
// for standard normal arguments.
void BM_Normal_cdf(benchmark::State& state) {
  Reset_seeds();
  tNormal_distribution normal(0, 1);
  Extended points[1024];
  for (Extended& z : points) z = normal.Random_value();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(normal.Cdf(points[i]));
    i = (i + 1) & 1023;
  }
}
BENCHMARK(BM_Normal_cdf);

}  // namespace
