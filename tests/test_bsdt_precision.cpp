// SPDX-License-Identifier: GPL-3.0-or-later
// The Monte Carlo standard error of the BSDT's probability and the histogram of its Z-DCC
// draws, against a direct computation from the same draws drawn again: chained runs of
// one iteration each, without resetting the generator, give the draws one by one (with a
// one-sided level of 1 % the single draw is its own credible limit).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "bayes/bsdt_precision.h"
#include "bayes/bsdt_run.h"
#include "tests/support/bsdt_literal.h"
#include "distrib/distrib.h"

namespace {

// One run under the prior: the engine on the threads given, or the literal procedure.
void Run_evaluated(tPrior prior, tBSDT_inputs in, int threads, bool straightforward,
                   tBSDT_results& r, const tProgress_observer* observer = nullptr,
                   tBSDT_precision* precision = nullptr) {
  in.Prior = prior;
  in.Threads = threads;
  if (straightforward)
    Run_BSDT_literal(in, r, observer, precision);
  else
    Run_BSDT(in, r, observer, precision);
}

tBSDT_inputs Example(std::int32_t iterations) {
  tBSDT_inputs in;
  in.N = 20;
  in.Iterations = iterations;
  in.Mean_x = 100, in.Sd_x = 15, in.Mean_y = 50, in.Sd_y = 10, in.R_xy = 0.6;
  in.Case_x = 80, in.Case_y = 40;
  return in;
}

// The first n Z-DCC draws of a reset run, in order.
std::vector<double> Draws_one_by_one(tPrior prior, tBSDT_inputs in, std::int32_t n) {
  Reset_seeds();
  in.Iterations = 1;
  in.Reset_seed = false;
  in.Two_sided = false;
  in.Level = 1;
  std::vector<double> draws;
  for (std::int32_t i = 0; i < n; ++i) {
    tBSDT_results one;
    Run_evaluated(prior, in, 1, true, one);
    EXPECT_EQ(one.Zdcc_lower, one.Zdcc_upper);
    draws.push_back(static_cast<double>(one.Zdcc_lower));
  }
  return draws;
}

// The standard error of the mean of Phi(d), directly, in two passes.
Extended Direct_standard_error(const std::vector<double>& draws, Extended& mean) {
  const tNormal_distribution normal(0, 1);
  std::vector<Extended> p;
  for (double d : draws) p.push_back(normal.Cdf(d));
  const Extended n = static_cast<Extended>(p.size());
  mean = std::accumulate(p.begin(), p.end(), Extended{0}) / n;
  Extended squares = 0;
  for (Extended x : p) squares += (x - mean) * (x - mean);
  return std::sqrt(squares / (n - 1) / n);
}

// The histogram counted directly: limits at the order statistics' positions, draws
// beyond them apart, the rest into 120 equal bins, the upper edge into the last one.
tZdcc_histogram Direct_histogram(std::vector<double> draws, std::int64_t lo, std::int64_t hi) {
  std::sort(draws.begin(), draws.end());
  tZdcc_histogram h;
  h.Lower = draws[static_cast<std::size_t>(lo - 1)];
  h.Upper = draws[static_cast<std::size_t>(hi - 1)];
  h.Counts.assign(kZdcc_bins, 0);
  const double width = (h.Upper - h.Lower) / kZdcc_bins;
  for (double d : draws) {
    if (d < h.Lower) {
      ++h.Below;
    } else if (d > h.Upper) {
      ++h.Above;
    } else {
      const int bin = std::min(kZdcc_bins - 1, static_cast<int>(std::floor((d - h.Lower) / width)));
      ++h.Counts[static_cast<std::size_t>(bin)];
    }
  }
  return h;
}

void Expect_same_histogram(const tZdcc_histogram& a, const tZdcc_histogram& b, const char* what) {
  EXPECT_EQ(a.Lower, b.Lower) << what;
  EXPECT_EQ(a.Upper, b.Upper) << what;
  EXPECT_EQ(a.Below, b.Below) << what;
  EXPECT_EQ(a.Above, b.Above) << what;
  EXPECT_EQ(a.Counts, b.Counts) << what;
}

// The histogram of values, partitioned first as selecting the two-sided 95 % credible
// limits leaves the engine's draws.
tZdcc_histogram Histogram_of(const std::vector<double>& values) {
  const auto n = static_cast<std::int64_t>(values.size());
  std::vector<double> samples(1, 0.0);
  samples.insert(samples.end(), values.begin(), values.end());
  const std::int64_t lo = std::max<std::int64_t>(1, std::llround(0.025 * n));
  const std::int64_t hi = std::min<std::int64_t>(n, std::llround(0.975 * n) + 1);
  std::nth_element(samples.begin() + 1, samples.begin() + lo, samples.end());
  std::nth_element(samples.begin() + lo + 1, samples.begin() + hi, samples.end());
  return Zdcc_histogram(samples.data(), n, lo, hi);
}

std::int64_t Total(const tZdcc_histogram& h) {
  return h.Below + h.Above + std::accumulate(h.Counts.begin(), h.Counts.end(), std::int64_t{0});
}

}  // namespace

TEST(BsdtPrecision, StandardErrorAndHistogramMatchADirectComputation) {
  constexpr std::int32_t n = 3000;
  for (tPrior prior : {tPrior::Standard, tPrior::Calibrated}) {
    const char* name = prior == tPrior::Standard ? "standard" : "calibrated";
    tBSDT_results results;
    tBSDT_precision precision;
    Run_evaluated(prior, Example(n), 1, true, results, nullptr, &precision);
    const std::int32_t seed1 = Seed1, seed2 = Seed2;

    const std::vector<double> draws = Draws_one_by_one(prior, Example(n), n);
    EXPECT_EQ(Seed1, seed1) << name;  // the same generator use as the run
    EXPECT_EQ(Seed2, seed2) << name;

    Extended mean = 0;
    const Extended se = Direct_standard_error(draws, mean);
    // The draws came back as doubles; their normal probabilities differ by rounding only.
    EXPECT_NEAR(static_cast<double>(std::min(mean, 1 - mean)),
                static_cast<double>(results.P_one_tailed), 1e-13) << name;
    EXPECT_NEAR(static_cast<double>(precision.P_one_tailed_mc_se), static_cast<double>(se),
                1e-9 * static_cast<double>(se)) << name;
    EXPECT_EQ(precision.P_two_tailed_mc_se, 2 * precision.P_one_tailed_mc_se) << name;
    EXPECT_GT(precision.P_one_tailed_mc_se, 0) << name;

    // 0.1 % and 99.9 % of 3000 draws: the 3rd and the 2998th.
    const tZdcc_histogram direct = Direct_histogram(draws, 3, 2998);
    Expect_same_histogram(precision.Zdcc_histogram, direct, name);
    EXPECT_EQ(Total(precision.Zdcc_histogram), n) << name;
    EXPECT_EQ(precision.Zdcc_histogram.Below, 2) << name;
    EXPECT_EQ(precision.Zdcc_histogram.Above, 2) << name;
  }
}

// The fast evaluation (its own normal probabilities, the draws on two threads past a
// size) gives the straightforward one's histogram bit for bit and its standard error to
// the probabilities' agreement, the same with any number of threads; asking for the
// precision leaves the results alone.
TEST(BsdtPrecision, FastEvaluationGivesTheSamePrecision) {
  constexpr std::int32_t n = 70000;
  for (tPrior prior : {tPrior::Standard, tPrior::Calibrated}) {
    for (bool two_sided : {true, false}) {
      tBSDT_inputs in = Example(n);
      in.Two_sided = two_sided;
      tBSDT_results serial_results;
      tBSDT_precision serial;
      Run_evaluated(prior, in, 1, true, serial_results, nullptr, &serial);
      EXPECT_EQ(Total(serial.Zdcc_histogram), n);
      std::vector<tBSDT_precision> fast(2);
      for (int t = 0; t < 2; ++t) {
        const int threads = t == 0 ? 1 : 3;
        tBSDT_results fast_results, plain;
        Run_evaluated(prior, in, threads, false, fast_results, nullptr, &fast[t]);
        EXPECT_NEAR(static_cast<double>(fast[t].P_one_tailed_mc_se),
                    static_cast<double>(serial.P_one_tailed_mc_se),
                    1e-9 * static_cast<double>(serial.P_one_tailed_mc_se)) << threads;
        EXPECT_EQ(fast[t].P_two_tailed_mc_se, 2 * fast[t].P_one_tailed_mc_se);
        Expect_same_histogram(fast[t].Zdcc_histogram, serial.Zdcc_histogram, "fast");
        Run_evaluated(prior, in, threads, false, plain);
        EXPECT_EQ(plain.Zdcc_lower, fast_results.Zdcc_lower);
        EXPECT_EQ(plain.Zdcc_upper, fast_results.Zdcc_upper);
        EXPECT_EQ(plain.P_one_tailed, fast_results.P_one_tailed);
      }
      EXPECT_EQ(fast[0].P_one_tailed_mc_se, fast[1].P_one_tailed_mc_se) << "1 and 3 threads";
    }
  }
}

TEST(BsdtPrecision, StandardErrorOfGivenProbabilities) {
  const struct {
    std::vector<Extended> p;
    Extended se;
  } cases[] = {
      {{0.3L}, 0},                                  // one value: no spread
      {{0, 1}, 0.5L},                               // sd sqrt(1/2) over sqrt(2)
      {{0.2L, 0.2L, 0.2L}, 0},                      // rounding must not give a NaN
      {{0.1L, 0.2L, 0.3L, 0.4L}, std::sqrt(0.05L / 3) / 2},
      {{0.49L, 0.5L, 0.51L}, 0.01L / std::sqrt(3.0L)},
  };
  for (const auto& c : cases) {
    Extended sum = 0, squares = 0;
    for (Extended p : c.p) sum += p, squares += p * p;
    const auto n = static_cast<std::int64_t>(c.p.size());
    EXPECT_NEAR(static_cast<double>(Mc_standard_error(sum, squares, n)),
                static_cast<double>(c.se), 1e-9) << "n " << n;
  }
}

TEST(BsdtPrecision, HistogramLimitsAndEdges) {
  const struct {
    std::int64_t n, lo, hi;
  } positions[] = {{1, 1, 1}, {20, 1, 20}, {2600, 3, 2598}, {3000, 3, 2998},
                   {1000000, 1000, 999001}};
  for (const auto& c : positions) {
    std::int64_t lo = 0, hi = 0;
    Histogram_positions(c.n, lo, hi);
    EXPECT_EQ(lo, c.lo) << c.n;
    EXPECT_EQ(hi, c.hi) << c.n;
  }

  // One draw, and all draws equal: everything in the first bin.
  for (std::int64_t n : {1, 50}) {
    const tZdcc_histogram h = Histogram_of(std::vector<double>(static_cast<std::size_t>(n), -0.75));
    EXPECT_EQ(h.Lower, -0.75);
    EXPECT_EQ(h.Upper, -0.75);
    EXPECT_EQ(h.Counts[0], n);
    EXPECT_EQ(Total(h), n);
  }

  // 1..1000 in a scrambled order: limits 1 and 1000, bins of 999/120, the largest value
  // in the last bin; ties at the lower limit stay inside.
  std::vector<double> scrambled;
  for (int i = 1; i <= 1000; ++i) scrambled.push_back((i * 617) % 1000 + 1);
  tZdcc_histogram h = Histogram_of(scrambled);
  Expect_same_histogram(h, Direct_histogram(scrambled, 1, 1000), "1..1000");
  EXPECT_EQ(h.Lower, 1);
  EXPECT_EQ(h.Upper, 1000);
  EXPECT_EQ(h.Counts[0], 9);    // 1..9, below 1 + 999/120 = 9.325
  EXPECT_EQ(h.Counts[119], 9);  // 992..1000, from 1 + 119 * 8.325 = 991.675
  EXPECT_EQ(Total(h), 1000);

  std::vector<double> ties;
  for (int i = 2000; i >= 1; --i) ties.push_back(i <= 10 ? 0.0 : i);
  h = Histogram_of(ties);
  EXPECT_EQ(h.Lower, 0.0);
  EXPECT_EQ(h.Below, 0);
  EXPECT_EQ(h.Above, 1);  // 2000, above the 1999th value
  EXPECT_GE(h.Counts[0], 10);
  EXPECT_EQ(Total(h), 2000);
}

// A tiny P: the Monte Carlo standard error, taken from the folded tail, agrees with a
// two-pass computation on the tail probabilities of the same draws computed directly in
// extended precision. The case of N = 10, r = 0.871 and Z-DCC = 18.2 (P near 1E-11) gave
// 4.21E-12 against 6.09E-12 when the error came from the other tail's probabilities near
// 1; the second case puts P near 1E-100. Each also mirrored, which leaves P unfolded.
TEST(BsdtPrecision, StandardErrorOfATinyProbability) {
  constexpr std::int32_t n = 4000;
  const struct {
    const char* name;
    std::int32_t size;
    Extended r, distance;  // Case_x - Case_y on the standardized scale
    Extended p_low, p_high;
  } cases[] = {
      {"N 10, r 0.871, Z-DCC 18.2", 10, 0.871L, 18.2L * std::sqrt(2 - 2 * 0.871L), 1e-13L, 1e-9L},
      {"N 1000, r 0, P near 1E-100", 1000, 0, 32.3L, 1e-104L, 1e-96L},
  };
  for (const auto& c : cases) {
    for (const Extended sign : {1.0L, -1.0L}) {
      tBSDT_inputs in = Example(n);
      in.N = c.size;
      in.R_xy = c.r;
      in.Mean_x = in.Mean_y = 0;
      in.Sd_x = in.Sd_y = 1;
      in.Case_x = sign * c.distance;
      in.Case_y = 0;
      const std::vector<double> draws = Draws_one_by_one(tPrior::Standard, in, n);
      // The probabilities of the tail that P lies in, directly, and their two-pass error.
      std::vector<Extended> tail;
      for (double d : draws)
        tail.push_back(0.5L * std::erfc(sign * static_cast<Extended>(d) / std::sqrt(2.0L)));
      const Extended mean = std::accumulate(tail.begin(), tail.end(), Extended{0}) / n;
      Extended squares = 0;
      for (Extended x : tail) squares += (x - mean) * (x - mean);
      const Extended se = std::sqrt(squares / (n - 1) / n);
      ASSERT_GT(mean, c.p_low) << c.name;
      ASSERT_LT(mean, c.p_high) << c.name;
      // The literal evaluation's normal distribution function reaches about 1E-20 at most
      // (below, it gives 0), so it is compared only where P is within its reach.
      for (bool straightforward : {false, true}) {
        if (straightforward && c.p_low < 1e-20L) continue;
        tBSDT_results results;
        tBSDT_precision precision;
        Run_evaluated(tPrior::Standard, in, 1, straightforward, results, nullptr, &precision);
        EXPECT_NEAR(static_cast<double>(precision.P_one_tailed_mc_se / se), 1, 1e-6)
            << c.name << (sign > 0 ? "" : ", mirrored") << (straightforward ? ", straightforward" : "")
            << ": " << static_cast<double>(precision.P_one_tailed_mc_se) << " against "
            << static_cast<double>(se) << ", P " << static_cast<double>(mean);
        if (std::getenv("KESTRUM_SHOW_SE") != nullptr)
          std::printf("%s%s%s: SE %.10Le, two-pass %.10Le, P %.6Le, engine P %.6Le\n", c.name,
                      sign > 0 ? "" : ", mirrored", straightforward ? ", straightforward" : "",
                      static_cast<long double>(precision.P_one_tailed_mc_se),
                      static_cast<long double>(se), static_cast<long double>(mean),
                      static_cast<long double>(results.P_one_tailed));
      }
    }
  }
}

// The fold both engines report their probabilities by. Expected: P / 100 and P / 50, and
// the percentage limits 100 Phi(lower), 100 Phi(upper), or, folded, 100 Phi(-upper) and
// 100 Phi(-lower) (Phi from mpmath's ncdf, 30 digits). A folded limit far in the upper
// tail keeps its digits: 100 (1 - Phi(30)) would be 0.
TEST(BsdtPrecision, FoldedTailGivesBothProbabilitiesAndTheLimits) {
  struct tFolded {
    Extended P_one_tailed = 0, P_two_tailed = 0, Pct_more_extreme = 0, Pct_lower = 0,
             Pct_upper = 0;
  };
  const struct {
    Extended P;
    bool Reversed;
    Extended Lower, Upper;
    long double Pct_lower, Pct_upper;
  } cases[] = {
      {2.5L, false, -3, -1, 0.13498980316300945266518147676L, 15.8655253931457051414767454368L},
      {2.5L, true, 1, 3, 0.13498980316300945266518147676L, 15.8655253931457051414767454368L},
      {50, false, -1, 1, 15.8655253931457051414767454368L, 84.1344746068542948585232545632L},
      {1E-200L, true, 30, 32, 5.45208060351239609196235250387E-223L, 4.90671392714818705953380925658E-196L},
  };
  for (const auto& c : cases) {
    tFolded f;
    Set_folded_tail(f, c.P, c.Reversed, c.Lower, c.Upper);
    EXPECT_EQ(f.Pct_more_extreme, c.P);
    EXPECT_EQ(f.P_one_tailed, c.P / 100);
    EXPECT_EQ(f.P_two_tailed, c.P / 50);
    EXPECT_NEAR(static_cast<double>(f.Pct_lower / c.Pct_lower), 1.0, 1E-12);
    EXPECT_NEAR(static_cast<double>(f.Pct_upper / c.Pct_upper), 1.0, 1E-12);
  }
}
