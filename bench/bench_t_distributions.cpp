// SPDX-License-Identifier: GPL-3.0-or-later
// Time per call of the t and non-central t operations under the interval searches: the
// t(19) distribution function, the non-central t(19, delta = -5) distribution function,
// density and 97.5% quantile, a large-N case of the search (N = 10000, delta = 200), and
// t variates.
#include <benchmark/benchmark.h>

#include "distrib/distrib.h"

namespace {

// Points spread over the body and the tails of a distribution, cycled through.
template <class tDist>
void Points_around(const tDist& d, Extended (&points)[256]) {
  for (int i = 0; i < 256; ++i) points[i] = d.Quantile((i + 0.5L) / 256);
}

void BM_T19_cdf(benchmark::State& state) {
  const tT_distribution t(19);
  Extended points[256];
  Points_around(t, points);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(t.Cdf(points[i]));
    i = (i + 1) & 255;
  }
}
BENCHMARK(BM_T19_cdf);

void BM_Non_central_t19_cdf(benchmark::State& state) {
  const tNon_central_t_distribution t(19, -5);
  Extended points[256];
  Points_around(t, points);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(t.Cdf(points[i]));
    i = (i + 1) & 255;
  }
}
BENCHMARK(BM_Non_central_t19_cdf);

void BM_Non_central_t19_density(benchmark::State& state) {
  const tNon_central_t_distribution t(19, -5);
  Extended points[256];
  Points_around(t, points);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(t.Density(points[i]));
    i = (i + 1) & 255;
  }
}
BENCHMARK(BM_Non_central_t19_density);

void BM_Non_central_t19_quantile_975(benchmark::State& state) {
  const tNon_central_t_distribution t(19, -5);
  for (auto _ : state) benchmark::DoNotOptimize(t.Quantile(0.975L));
}
BENCHMARK(BM_Non_central_t19_quantile_975);

// A control sample of 10000 and a case two standard deviations out: lambda = 20000, so
// each sum runs over about 2000 indices.
void BM_Non_central_t9999_delta200_cdf(benchmark::State& state) {
  const tNon_central_t_distribution t(9999, 200);
  for (auto _ : state) benchmark::DoNotOptimize(t.Cdf(201));
}
BENCHMARK(BM_Non_central_t9999_delta200_cdf)->Unit(benchmark::kMicrosecond);

void BM_T_random_value(benchmark::State& state) {
  tT_distribution t(static_cast<Extended>(state.range(0)) / 2);
  Reset_seeds();
  for (auto _ : state) benchmark::DoNotOptimize(t.Random_value());
}
// Df 1 and 3 (polar), 10 (ratio of uniforms), 0.5 (normal over a gamma); the argument is
// twice the degrees of freedom.
BENCHMARK(BM_T_random_value)->Arg(2)->Arg(6)->Arg(20)->Arg(1);

}  // namespace
