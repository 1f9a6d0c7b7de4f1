// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the frequentist single-case statistics (stats/metrics_papers.h).
//
// tests/data/frequentist.json is a copy of the project's shared reference file: for five
// control samples and cases, the deficit test, Z-CC and abnormality limits for both tasks
// and the RSDT, computed independently with scipy (the non-central t solved by root
// finding to 1e-13, not by the bisection used here).
#include <gtest/gtest.h>

#include <limits>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "distrib/distrib.h"
#include "stats/metrics_papers.h"
#include "reference_data.h"
#include "tests/support/noncentrality.h"

namespace {

// The reference file as entries of sections ("inputs", "deficit_x", "deficit_y", "rsdt")
// of "key": number pairs.
using tSection = std::map<std::string, double>;
using tEntry = std::map<std::string, tSection>;

const std::vector<tEntry>& Reference() {
  static const std::vector<tEntry> entries = [] {
    std::ifstream in(std::string(KESTRUM_TEST_DATA_DIR) + "/frequentist.json");
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();
    const std::regex pair("\"(\\w+)\":\\s*(\\{|[-+0-9.eE]+)");
    std::vector<tEntry> result;
    std::string section;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pair);
         it != std::sregex_iterator(); ++it) {
      const std::string key = (*it)[1], value = (*it)[2];
      if (value != "{") {
        result.back()[section][key] = std::stod(value);
      } else {
        if (key == "inputs") result.emplace_back();
        section = key;
      }
    }
    return result;
  }();
  return entries;
}

// Counts the warnings given on this thread while it lives.
class tWarning_counter {
 public:
  tWarning_counter() {
    Set_warning_hook([this](const std::string& message) { messages.push_back(message); });
  }
  ~tWarning_counter() { Set_warning_hook(nullptr); }
  std::vector<std::string> messages;
};

// Agreement expected between the algorithm and the reference.
constexpr double kTol_t_and_p = 1e-8;
constexpr double kTol_zcc_limits = 5e-6;    // the bisection on delta stops at width 1e-6
constexpr double kTol_pct_limits = 1e-3;    // percentage points; Simpson's relative test
constexpr double kTol_rsdt_t = 1e-10;

struct tTask {
  const char* Name;
  const char* Case;
  const char* Mean;
  const char* Sd;
};
constexpr tTask kTasks[] = {{"deficit_x", "case_x", "mean_x", "sd_x"},
                            {"deficit_y", "case_y", "mean_y", "sd_y"}};

// ---------------------------------------------------------------------------------------
// Every entry of the reference file, both tasks.

class ReferenceCase : public ::testing::TestWithParam<int> {};

TEST_P(ReferenceCase, DeficitTestsAndLimitsMatchReference) {
  const tEntry& entry = Reference().at(GetParam());
  const tSection& in = entry.at("inputs");
  const Extended n = in.at("n");
  tWarning_counter warnings;
  for (const tTask& task : kTasks) {
    SCOPED_TRACE(task.Name);
    const tSection& ref = entry.at(task.Name);
    const Extended c = in.at(task.Case), m = in.at(task.Mean), s = in.at(task.Sd);

    Extended t = 0, p2 = 0, p1 = 0, pct = 0;
    Deficit_test(c, m, s, n, t, p2, p1, pct);
    EXPECT_NEAR(t, ref.at("T_value"), kTol_t_and_p);
    EXPECT_NEAR(p2, ref.at("P_two_tailed"), kTol_t_and_p);
    EXPECT_NEAR(p1, ref.at("P_one_tailed"), kTol_t_and_p);
    // Pct_below is 100 x a probability; the probability agrees to 1e-8. (The nine-digit
    // 2/pi of the t distribution function alone moves it by up to 2.9e-10 for odd df,
    // that is 2.9e-8 percentage points.)
    EXPECT_NEAR(pct / 100, ref.at("Pct_below") / 100, kTol_t_and_p);

    Extended upper = 0, lower = 0;
    Abnormality_interval(true, c, m, s, n, 95, upper, lower);
    EXPECT_NEAR(upper, ref.at("Pct_upper"), kTol_pct_limits);
    EXPECT_NEAR(lower, ref.at("Pct_lower"), kTol_pct_limits);

    tDeficit_results r;
    Deficit_test_intervals(true, r, c, m, s, n, 95);
    EXPECT_NEAR(r.T_value, ref.at("T_value"), kTol_t_and_p);
    EXPECT_EQ(r.Df, ref.at("Df"));
    EXPECT_NEAR(r.P_one_tailed, ref.at("P_one_tailed"), kTol_t_and_p);
    EXPECT_NEAR(r.P_two_tailed, ref.at("P_two_tailed"), kTol_t_and_p);
    EXPECT_NEAR(r.Pct_below / 100, ref.at("Pct_below") / 100, kTol_t_and_p);
    EXPECT_NEAR(r.Pct_lower, ref.at("Pct_lower"), kTol_pct_limits);
    EXPECT_NEAR(r.Pct_upper, ref.at("Pct_upper"), kTol_pct_limits);
    EXPECT_NEAR(r.Zcc, ref.at("Zcc"), 1e-12);
    EXPECT_NEAR(r.Zcc_lower, ref.at("Zcc_lower"), kTol_zcc_limits);
    EXPECT_NEAR(r.Zcc_upper, ref.at("Zcc_upper"), kTol_zcc_limits);
    // The deficit test inside the record is the deficit test itself.
    EXPECT_EQ(r.T_value, t);
    EXPECT_EQ(r.P_one_tailed, p1);
  }
  // The normal integrations of these limits all converge.
  EXPECT_TRUE(warnings.messages.empty());
}

TEST_P(ReferenceCase, RsdtMatchesReference) {
  const tEntry& entry = Reference().at(GetParam());
  const tSection& in = entry.at("inputs");
  const tSection& ref = entry.at("rsdt");
  double p2 = -1, p1 = -1;
  Extended t = -1;
  Rsdt(in.at("case_x"), in.at("case_y"), in.at("mean_x"), in.at("sd_x"), in.at("mean_y"),
       in.at("sd_y"), in.at("n"), in.at("r"), p2, p1, t);
  EXPECT_NEAR(t, ref.at("T_value"), kTol_rsdt_t);
  EXPECT_NEAR(p2, ref.at("P_two_tailed"), kTol_t_and_p);
  EXPECT_NEAR(p1, ref.at("P_one_tailed"), kTol_t_and_p);
}

INSTANTIATE_TEST_SUITE_P(FrequentistJson, ReferenceCase, ::testing::Range(0, 5));

TEST(ReferenceFile, HoldsFiveEntries) { EXPECT_EQ(Reference().size(), 5u); }

// ---------------------------------------------------------------------------------------
// The normal integral

TEST(NormalCdf, IsTheNormalDistributionFunctionWithoutIntegrating) {
  struct {
    double x, expected;  // mpmath 1.3, erfc(-x / sqrt 2) / 2, 17 digits
  } cases[] = {{1.959964, 0.9750000009035576}, {-1.959964, 0.024999999096442402},
               {1.0, 0.84134474606854295}, {-3.0, 0.0013498980316300945},
               {0.01, 0.5039893563146316}, {0.0, 0.5}};
  tWarning_counter warnings;
  for (const auto& c : cases) EXPECT_NEAR(Normal_cdf(c.x), c.expected, 2e-16) << c.x;
  EXPECT_TRUE(warnings.messages.empty());
  EXPECT_NEAR(Normal_density(0), 0.39894228, 0);
}

TEST(SimpsonIntegral, OverAnEmptyIntervalMakesAllRefinementsAndWarnsOnce) {
  tWarning_counter warnings;
  EXPECT_EQ(Simpson_integral(0, 0), 0);
  ASSERT_EQ(warnings.messages.size(), 1u);
  EXPECT_EQ(warnings.messages[0], "Too many steps");
  // Without a hook the warning is dropped and the computation goes on.
  Set_warning_hook(nullptr);
  EXPECT_EQ(Simpson_integral(0, 0), 0);
  EXPECT_EQ(warnings.messages.size(), 1u);
}

TEST(SimpsonIntegral, WarningHookIsPerThread) {
  tWarning_counter warnings;
  double other = 1;
  std::thread([&] { other = Simpson_integral(0, 0); }).join();
  EXPECT_EQ(other, 0);
  EXPECT_TRUE(warnings.messages.empty());
}

// The refinement state is per thread: integrations running at the same time on two
// threads give the numbers of a single run.
TEST(SimpsonIntegral, ConcurrentIntegrationsGiveSerialResults) {
  std::vector<double> xs;
  for (int i = 1; i <= 3000; ++i) xs.push_back(-60 + 0.04 * i);
  std::vector<double> serial;
  for (double x : xs) serial.push_back(Simpson_integral(0, x));
  std::vector<double> first(xs.size()), second(xs.size());
  std::atomic<int> ready{0};
  auto run = [&](std::vector<double>& out) {
    ++ready;
    while (ready < 2) {
    }
    for (std::size_t i = 0; i < xs.size(); ++i) out[i] = Simpson_integral(0, xs[i]);
  };
  std::thread one(run, std::ref(first)), two(run, std::ref(second));
  one.join();
  two.join();
  EXPECT_TRUE(first == serial && second == serial);
}

// Far beyond the old integration range the distribution function is 0 or 1, not a
// refusal (a covariate with a tiny SD puts a limit's argument near -1E9).
TEST(NormalCdf, ArgumentsBeyondAnyRangeGiveZeroOrOne) {
  EXPECT_EQ(Normal_cdf(-956575045.7), 0);
  EXPECT_EQ(Normal_cdf(2e5), 1);
  EXPECT_THROW(Normal_cdf(std::nan("")), EFloating_point_error);
  EXPECT_THROW(Simpson_integral(0, INFINITY), EFloating_point_error);
}

// ---------------------------------------------------------------------------------------
// Find_noncentrality

struct tSearch_case {
  Extended df, t_obs, prob;
};

TEST(FindNoncentrality, QuantileAtTheResultIsTheObservedValue) {
  const tSearch_case cases[] = {
      {19, -5.8, 0.975}, {19, -5.8, 0.025}, {2, 14.0, 0.025}, {2, 14.0, 0.975},
      {149, 0.3, 0.975}, {999, 316.2, 0.025}, {5.5, 0.4, 0.5},
  };
  for (const auto& c : cases) {
    const Extended delta = Find_noncentrality(c.df, c.t_obs, c.prob);
    tNon_central_t_distribution below(c.df, delta - 1e-6L), above(c.df, delta + 1e-6L);
    // The bisection leaves delta within 1e-6 of the root.
    EXPECT_LE(below.Quantile(c.prob), c.t_obs) << c.df << " " << c.t_obs << " " << c.prob;
    EXPECT_GE(above.Quantile(c.prob), c.t_obs) << c.df << " " << c.t_obs << " " << c.prob;
  }
}

// The bisection exactly as designed: every comparison of T_obs with the quantile
// Q(delta) computed by the quantile search.
Extended Literal_search(Extended df, Extended t_obs, Extended prob) {
  Extended lo = -1, hi = 1;
  tNon_central_t_distribution d(df, hi);
  while (t_obs > d.Quantile(prob)) {
    lo = hi;
    hi = 2 * hi;
    d.Set_parameters(df, hi, 0);
  }
  if (lo < 0) {
    d.Set_parameters(df, lo, 0);
    while (t_obs < d.Quantile(prob)) {
      hi = lo;
      lo = 2 * lo;
      d.Set_parameters(df, lo, 0);
    }
  }
  Extended mid = 0;
  do {
    mid = (hi + lo) / 2;
    d.Set_parameters(df, mid, 0);
    if (t_obs > d.Quantile(prob))
      lo = mid;
    else
      hi = mid;
  } while (!(hi - lo < 1e-6L));
  return mid;
}

// The root of F(T_obs; delta) = Prob lies within the literal bisection's last bracket,
// whose width is 1E-6 (the bisection over quantiles that the design started from).
TEST(FindNoncentrality, LiesInTheLiteralBisectionsBracket) {
  const tSearch_case cases[] = {
      {19, -5.8191, 0.975}, {19, -5.8191, 0.025}, {11, 0.5587, 0.975}, {11, -9.5677, 0.025},
      {2, -5.5426, 0.975},  {2, -5.5426, 0.025},  {149, -47.24, 0.975}, {149, 2.7217, 0.025},
      {999, 316.23, 0.975}, {999, -316.23, 0.025}, {999998, 4.0, 0.975}, {10, 0, 0.5},
      {10, 0.3, 0.5},       {3, 2.5, 0.95},        {2, 1000, 0.025},     {50, -1500, 0.975},
  };
  for (const auto& c : cases) {
    const Extended got = Find_noncentrality(c.df, c.t_obs, c.prob);
    const Extended want = Literal_search(c.df, c.t_obs, c.prob);
    EXPECT_NEAR(static_cast<double>(got), static_cast<double>(want), 1e-6)
        << static_cast<double>(c.df) << " " << static_cast<double>(c.t_obs) << " "
        << static_cast<double>(c.prob);
  }
}

// At T_obs = 0 the non-central t distribution function is Phi(-delta): the median is
// delta = 0 exactly, and the 2.5% and 97.5% points are +/- the normal's 97.5% point
// (mpmath: 1.959963984540054).
TEST(FindNoncentrality, AtZeroIsTheNormalQuantile) {
  EXPECT_NEAR(static_cast<double>(Find_noncentrality(10, 0, 0.5)), 0, 1e-15);
  EXPECT_NEAR(static_cast<double>(Find_noncentrality(99999, 0, 0.025)), 1.959963984540054, 1e-14);
  EXPECT_NEAR(static_cast<double>(Find_noncentrality(99999, 0, 0.975)), -1.959963984540054, 1e-14);
}

// p of the deficit test far out, against mpmath's I_x(df/2, 1/2) / 2 (40 digits) at the
// exact t: once 2.887E-10 (the nine-digit 2/pi) and 0, now to 1E-12 relative.
TEST(DeficitTest, FarCasesKeepTheirPValues) {
  const struct {
    Extended case_score, mean, sd, n;
    double p;
  } cases[] = {
      {-25, 0, 1, 112, 1.5772504104834674e-47},
      {43432, 18401, 3128.9L, 330, 1.1657709235556546e-14},
  };
  for (const auto& c : cases) {
    Extended t = 0, p2 = 0, p1 = 0, pct = 0;
    Deficit_test(c.case_score, c.mean, c.sd, c.n, t, p2, p1, pct);
    EXPECT_NEAR(static_cast<double>(p1) / c.p, 1, 1e-12) << static_cast<double>(c.case_score);
    EXPECT_EQ(p2, 2 * p1);
  }
}

// The cases and two ordinary ones against mpmath (tests/data/limits.json, written
// by tests/data/make_limit_references.py from the chi-square integral of the non-central
// t): the Z-CC limits to 1E-12 relative (1E-14 absolute near 0) and the percentages to
// 1E-12 relative, down to the 4.3E-28 % of a case 8 SD below the mean of 12 controls.
TEST(DeficitLimits, MatchMpmath) {
  const auto tables = kestrum_test::Read_reference_tables("limits.json");
  const auto& cases = tables.at("limits");
  ASSERT_EQ(cases.size(), 5u);
  for (const auto& c : cases) {
    tDeficit_results r;
    const Extended n = c.at("n");
    Deficit_test_intervals(true, r, c.at("zcc"), 0, 1, n, 95);
    const auto near = [](Extended got, double want, double relative) {
      return std::fabs(static_cast<double>(got) - want) <= relative * std::fabs(want) + 1e-14;
    };
    EXPECT_TRUE(near(r.Zcc_lower, c.at("zcc_lower"), 1e-12)) << n << " " << static_cast<double>(r.Zcc_lower);
    EXPECT_TRUE(near(r.Zcc_upper, c.at("zcc_upper"), 1e-12)) << n << " " << static_cast<double>(r.Zcc_upper);
    EXPECT_TRUE(near(r.Pct_lower, c.at("pct_lower"), 1e-12)) << n << " " << static_cast<double>(r.Pct_lower);
    EXPECT_TRUE(near(r.Pct_upper, c.at("pct_upper"), 1e-12)) << n << " " << static_cast<double>(r.Pct_upper);
  }
}

TEST(FindNoncentrality, RefusesArgumentsOutsideItsRange) {
  EXPECT_THROW(Find_noncentrality(0, 1, 0.5), std::range_error);
  EXPECT_THROW(Find_noncentrality(10, 1, 0), std::range_error);
  EXPECT_THROW(Find_noncentrality(10, 1, 1), std::range_error);
  EXPECT_THROW(Find_noncentrality(10, std::nanl(""), 0.5), std::range_error);
  EXPECT_THROW(Find_noncentrality(2e6, 1, 0.5), std::range_error);
}

// ---------------------------------------------------------------------------------------
// The deficit test and its intervals: sign conventions, ties and symmetry

TEST(DeficitTest, CaseAtTheMean) {
  Extended t = -1, p2 = -1, p1 = -1, pct = -1;
  Deficit_test(50, 50, 10, 20, t, p2, p1, pct);
  EXPECT_EQ(t, 0);
  EXPECT_EQ(p2, 1);
  EXPECT_EQ(p1, 0.5);
  EXPECT_EQ(pct, 50);

  tDeficit_results r;
  Deficit_test_intervals(true, r, 50, 50, 10, 20, 95);
  EXPECT_EQ(r.Zcc, 0);
  EXPECT_EQ(r.Pct_below, 50);
  EXPECT_NEAR(r.Zcc_lower, -r.Zcc_upper, 2e-6);
  EXPECT_NEAR(r.Pct_lower + r.Pct_upper, 100, 1e-3);
  EXPECT_LT(r.Zcc_lower, 0);
}

struct tSign_case {
  Extended case_score, mean, sd, n;
};

TEST(DeficitTest, LimitsBracketTheEstimatesOnEitherSide) {
  const tSign_case cases[] = {{80, 100, 15, 20}, {120, 100, 15, 20}, {2, 10, 2.5, 3},
                              {10.3, 10, 2.5, 3}, {0.55, 0.82, 0.07, 150}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "case " << static_cast<double>(c.case_score) << " n "
                                      << static_cast<double>(c.n));
    tDeficit_results r;
    Deficit_test_intervals(true, r, c.case_score, c.mean, c.sd, c.n, 95);
    EXPECT_EQ(r.T_value < 0, c.case_score < c.mean);
    EXPECT_EQ(r.Pct_below < 50, c.case_score < c.mean);
    EXPECT_LT(r.Zcc_lower, r.Zcc);
    EXPECT_LT(r.Zcc, r.Zcc_upper);
    EXPECT_LT(r.Pct_lower, r.Pct_below);
    EXPECT_LT(r.Pct_below, r.Pct_upper);
    EXPECT_NEAR(r.P_two_tailed, 2 * r.P_one_tailed, 1e-15);

    // Mirroring the case about the mean negates Z-CC and swaps its limits.
    tDeficit_results m;
    Deficit_test_intervals(true, m, 2 * c.mean - c.case_score, c.mean, c.sd, c.n, 95);
    EXPECT_NEAR(m.Zcc_lower, -r.Zcc_upper, 2e-6);
    EXPECT_NEAR(m.Zcc_upper, -r.Zcc_lower, 2e-6);
    EXPECT_NEAR(m.Pct_lower, 100 - r.Pct_upper, 1e-3);

    // Abnormality_interval repeats the same searches.
    Extended upper = 0, lower = 0;
    Abnormality_interval(true, c.case_score, c.mean, c.sd, c.n, 95, upper, lower);
    EXPECT_NEAR(upper, r.Pct_upper, 1e-4);
    EXPECT_NEAR(lower, r.Pct_lower, 1e-4);
  }
}

// A one-sided 95% limit is the corresponding limit of the two-sided 90% interval.
TEST(DeficitTest, OneSidedLimitIsTheTwoSidedLimitAtTwiceTheTail) {
  tDeficit_results one, two;
  Deficit_test_intervals(false, one, 80, 100, 15, 20, 95);
  Deficit_test_intervals(true, two, 80, 100, 15, 20, 90);
  EXPECT_NEAR(one.Zcc_lower, two.Zcc_lower, 2e-6);
  EXPECT_NEAR(one.Zcc_upper, two.Zcc_upper, 2e-6);
  Extended upper = 0, lower = 0;
  Abnormality_interval(false, 80, 100, 15, 20, 95, upper, lower);
  EXPECT_NEAR(upper, two.Pct_upper, 1e-3);
  EXPECT_NEAR(lower, two.Pct_lower, 1e-3);
}

// The analysis takes every figure of a task from one Deficit_test_intervals call; they
// must be the very bits that Deficit_test and Abnormality_interval give (their searches
// take the same distance and probabilities in extended precision).
TEST(DeficitTest, IntervalsRecordEqualsTheTestAndTheAbnormalityInterval) {
  struct tTask {
    Extended c, m, s, n;
  };
  std::vector<tTask> tasks = {{70, 100, 15, 20}, {52, 50, 10, 20}, {100, 100, 15, 5},
                              {2, 10, 2.5, 3},   {9, 10, 2.5, 3},  {99.5, 100, 0.061, 999},
                              {-3.25, 1.5, 0.7, 41}};
  std::mt19937_64 random(2024);
  std::uniform_real_distribution<double> z(-6, 6);
  std::uniform_int_distribution<int> n(3, 400);
  for (int i = 0; i < 120; ++i) {
    const Extended size = n(random);
    tasks.push_back({std::round(1000 * (50 + 10 * z(random))) / 1000, 50, 10, size});
  }
  for (const tTask& t : tasks) {
    tDeficit_results all;
    Deficit_test_intervals(true, all, t.c, t.m, t.s, t.n, 95);
    tDeficit_results parts;
    Deficit_test(t.c, t.m, t.s, t.n, parts.T_value, parts.P_two_tailed, parts.P_one_tailed,
                 parts.Pct_below);
    Abnormality_interval(true, t.c, t.m, t.s, t.n, 95, parts.Pct_upper, parts.Pct_lower);
    const Extended pairs[][2] = {{all.T_value, parts.T_value},
                                 {all.P_one_tailed, parts.P_one_tailed},
                                 {all.P_two_tailed, parts.P_two_tailed},
                                 {all.Pct_below, parts.Pct_below},
                                 {all.Pct_lower, parts.Pct_lower},
                                 {all.Pct_upper, parts.Pct_upper}};
    for (const auto& pair : pairs) {
      EXPECT_EQ(pair[0], pair[1]) << static_cast<double>(t.c) << " " << static_cast<double>(t.n);
      EXPECT_EQ(std::signbit(pair[0]), std::signbit(pair[1]));
    }
    EXPECT_EQ(all.Df, t.n - 1);
  }
}

// ---------------------------------------------------------------------------------------
// RSDT

struct tRsdt_case {
  double cx, cy, mx, sx, my, sy, n, r;
};

TEST(Rsdt, EqualStandardizedScoresGiveZero) {
  double p2 = -1, p1 = -1;
  Extended t = -1;
  Rsdt(70, 40, 100, 15, 50, 5, 20, 0.6, p2, p1, t);  // both z = -2
  EXPECT_EQ(t, 0);
  EXPECT_FALSE(std::signbit(t));
  EXPECT_EQ(p2, 1);
  EXPECT_EQ(p1, 0.5);
}

TEST(Rsdt, SwappingTheTasksChangesNothing) {
  const tRsdt_case cases[] = {{80, 40, 100, 15, 50, 10, 20, 0.6},
                              {2, 9, 10, 2.5, 10, 2.5, 3, 0.2},
                              {0.55, 0.81, 0.82, 0.07, 0.79, 0.09, 150, -0.3},
                              {-99999, 999999, 5, 0.001, -3, 7, 999999, 0.999}};
  for (const auto& c : cases) {
    double p2 = 0, p1 = 0, q2 = 0, q1 = 0;
    Extended t = 0, u = 0;
    Rsdt(c.cx, c.cy, c.mx, c.sx, c.my, c.sy, c.n, c.r, p2, p1, t);
    Rsdt(c.cy, c.cx, c.my, c.sy, c.mx, c.sx, c.n, c.r, q2, q1, u);
    EXPECT_EQ(t, u);
    EXPECT_EQ(p2, q2);
    EXPECT_EQ(p1, q1);
    EXPECT_GE(t, 0);
    EXPECT_TRUE(std::isfinite(p2) && std::isfinite(t));
  }
}

// LargeSamplesKeepTheRsdt: t^2 is the root of a u^2 + b u + c = 0 with 4ac tiny beside
// b^2 when N is large; the textbook form cancels to 0 there. For |4ac| << b^2 the root is
// -c/b (1 + ac/b^2 + ...), which is what t^2 must be.
TEST(Rsdt, LargeSamplesKeepTheDifference) {
  struct {
    double n, zx, zy, r;
  } cases[] = {{999999, -0.01, 0.0, 0.5}, {999999, 0.0, 0.003, -0.2}, {5000, -0.2, 0.1, 0.9}};
  for (const auto& c : cases) {
    double p2 = 0, p1 = 0;
    Extended t = 0;
    Rsdt(c.zx, c.zy, 0, 1, 0, 1, c.n, c.r, p2, p1, t);
    const long double r = c.r, n = c.n, d = c.zx - c.zy;
    const long double a = (1 - r * r) * (1 + r);
    const long double b = (1 - r) * (4 * (n - 1) * (n - 1) + 4 * (1 + r) * (n - 1) + (1 + r) * (5 + r));
    const long double cc = -2 * d * d * n * (n - 1) * (n - 1) / (n + 1);
    const long double e = a * cc / (b * b);
    const long double expected = std::sqrt(-cc / b * (1 + e + 2 * e * e));
    EXPECT_NEAR(t, expected, 1e-12 * expected) << c.n;
    EXPECT_GT(t, 0);
  }
}

// ---------------------------------------------------------------------------------------
// Inputs outside the routines' range end with a readable error, never a NaN.

void Expect_refusal(const std::function<void()>& call, const std::string& fragment) {
  try {
    call();
    ADD_FAILURE() << "no error; expected one mentioning \"" << fragment << "\"";
  } catch (const std::range_error& e) {
    EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
  }
}

TEST(Refusals, NamedInputsOutOfRange) {
  Extended a = 0, b = 0, c = 0, d = 0;
  tDeficit_results r;
  double p = 0, q = 0;
  Expect_refusal([&] { Deficit_test(1, 0, 0, 20, a, b, c, d); }, "standard deviation");
  Expect_refusal([&] { Deficit_test(1, 0, 1, 1, a, b, c, d); }, "sample size N");
  Expect_refusal([&] { Deficit_test(1, 0, 1, 0, a, b, c, d); }, "sample size N");
  Expect_refusal([&] { Deficit_test(std::nanl(""), 0, 1, 20, a, b, c, d); }, "case's score");
  Expect_refusal([&] { Abnormality_interval(true, 1, 0, 0, 20, 95, a, b); }, "standard deviation");
  Expect_refusal([&] { Abnormality_interval(true, 1, 0, 1, 1, 95, a, b); }, "sample size N");
  Expect_refusal([&] { Abnormality_interval(true, 1, 0, 1, 20, 100, a, b); }, "confidence level");
  Expect_refusal([&] { Deficit_test_intervals(true, r, 1, 0, -2, 20, 95); }, "standard deviation");
  Expect_refusal([&] { Deficit_test_intervals(true, r, 1, 0, 1, 1, 95); }, "sample size N");
  Expect_refusal([&] { Deficit_test_intervals(true, r, 1, 0, 1, 20, 0); }, "confidence level");
  Expect_refusal([&] { Deficit_test(1, 0, 1, 2e6, a, b, c, d); }, "sample size N");
  Expect_refusal([&] { Rsdt(1, 2, 0, 0, 0, 1, 20, 0.5, p, q, a); }, "task X");
  Expect_refusal([&] { Rsdt(1, 2, 0, 1, 0, 0, 20, 0.5, p, q, a); }, "task Y");
  Expect_refusal([&] { Rsdt(1, 2, 0, 1, 0, 1, 1, 0.5, p, q, a); }, "sample size N");
  Expect_refusal([&] { Rsdt(1, 2, 0, 1, 0, 1, 20, 1, p, q, a); }, "correlation");
  Expect_refusal([&] { Rsdt(1, 2, 0, 1, 0, 1, 20, -1, p, q, a); }, "correlation");
}

// The worksheet accepts N up to 999999 and any six-character scores, so
// sqrt(N) |case - mean| / SD reaches about 1.1e14. The search computes the limits on delta
// up to |delta| = 4096; a limit beyond is no refusal: the results hold the bound,
// +/-4096 / sqrt(N), with its direction, and every other figure is computed.
TEST(FarCases, GiveEveryFigureAndMarkTheLimitsBeyondReach) {
  const struct {
    Extended case_score, mean, sd, n;
    int lower, upper;  // expected directions beyond reach
  } cases[] = {
      {999999, -99999, 0.00001L, 999999, +1, +1},  // the worksheet's worst case
      {-99999, 999999, 0.00001L, 3, -1, -1},
      {4.096001L, 0, 1, 1000000, 0, +1},           // just beyond the bound, largest N
      {-2365, 0, 1, 3, -1, 0},                      // sqrt(3) x 2365 = 4096.3, smallest N
      {99999, 0.0001L, 0.0001L, 100000, +1, +1},   // the N = 100000 case
      {13.1L, 0, 1, 100000, +1, +1},               // 13.1 SD out: both limits beyond
  };
  for (const auto& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    tDeficit_results r;
    ASSERT_NO_THROW(Deficit_test_intervals(true, r, c.case_score, c.mean, c.sd, c.n, 95))
        << static_cast<double>(c.case_score);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(r.Lower_beyond_reach, c.lower) << static_cast<double>(c.case_score);
    EXPECT_EQ(r.Upper_beyond_reach, c.upper) << static_cast<double>(c.case_score);
    const Extended bound = 4096 / std::sqrt(c.n);
    if (c.lower != 0) EXPECT_EQ(r.Zcc_lower, c.lower * bound);
    if (c.upper != 0) EXPECT_EQ(r.Zcc_upper, c.upper * bound);
    EXPECT_LE(r.Zcc_lower, r.Zcc_upper);
    EXPECT_TRUE(std::isfinite(r.T_value) && std::isfinite(r.P_one_tailed) &&
                std::isfinite(r.Pct_below));
  }
  // p at 13.1 SD with N = 100000 (mpmath: I_x(nu/2, 1/2) / 2 = 1.7749660127163846E-39),
  // and the percentages: 100 exactly above (no mark), 100 Phi(-12.9527) below (marked).
  tDeficit_results r;
  Deficit_test_intervals(true, r, 13.1L, 0, 1, 100000, 95);
  EXPECT_NEAR(static_cast<double>(r.P_one_tailed / 1.7749660127163846e-39L), 1, 1e-12);
  EXPECT_EQ(r.Pct_lower, 100);
  EXPECT_EQ(r.Pct_lower_beyond_reach, 0);
  Deficit_test_intervals(true, r, -13.1L, 0, 1, 100000, 95);
  EXPECT_EQ(r.Pct_upper_beyond_reach, -1);
  EXPECT_NEAR(static_cast<double>(r.Pct_upper / 1.1343246067058656e-36L), 1, 1e-12);
}

// Just inside the bound the limits are computed: at N = 999999 the outer limit on delta is
// about 4096, at N = 3 about 4092 (nearly twice the distance of 2130). For N = 999999 the
// non-central t is nearly normal with variance 1 + delta^2/(2 nu), so the upper limit
// solves delta - 1.96 sqrt(1 + delta^2/(2 nu)) = sqrt(N) z: Z-CC upper = -4.084010 (the
// approximation's own error is below 1E-5 here). A large normative sample with a severe
// deficit (N = 100000, z = -7) lies well inside.
TEST(Refusals, CasesJustInsideTheBoundAreComputed) {
  tDeficit_results large, small, normative;
  Deficit_test_intervals(true, large, -4.09, 0, 1, 999999, 95);
  EXPECT_NEAR(large.Zcc_upper, -4.084010, 1e-5);
  Deficit_test_intervals(true, small, -1230, 0, 1, 3, 95);
  Deficit_test_intervals(true, normative, -7, 0, 1, 100000, 95);
  for (const auto& r : {large, small, normative}) {
    EXPECT_LT(r.Zcc_lower, r.Zcc);
    EXPECT_LT(r.Zcc, r.Zcc_upper);
    EXPECT_TRUE(std::isfinite(r.Pct_lower) && std::isfinite(r.Pct_upper));
  }
  EXPECT_GT(small.Zcc_lower * std::sqrt(3.0L), -4096);
  EXPECT_LT(small.Zcc_lower * std::sqrt(3.0L), -4000);
  Extended upper = 0, lower = 0;
  Abnormality_interval(true, -7, 0, 1, 100000, 95, upper, lower);
  EXPECT_LT(lower, upper);
}

// With N = 3 the upper limit on delta is nearly twice the distance: 2252 needs a delta
// near 4500, beyond the search's reach: the upper limits are the bound (100 % exactly for
// the percentage, so unmarked), the lower ones are computed.
TEST(FarCases, LimitBeyondTheBoundGivesTheBound) {
  tDeficit_results r;
  Deficit_test_intervals(true, r, 1300, 0, 1, 3, 95);
  EXPECT_EQ(r.Upper_beyond_reach, 1);
  EXPECT_EQ(r.Zcc_upper, 4096 / std::sqrt(Extended{3}));
  EXPECT_EQ(r.Pct_upper, 100);
  EXPECT_EQ(r.Pct_upper_beyond_reach, 0);
  EXPECT_EQ(r.Lower_beyond_reach, 0);
  EXPECT_LT(r.Zcc_lower, r.Zcc);
}

// The search's own bound, from both sides: a root just inside is found, one just
// outside is refused.
TEST(Refusals, SearchBoundary) {
  if (std::numeric_limits<Extended>::digits < 64)
    GTEST_SKIP() << "x87 only: at a non-centrality of 4000 the double build's search ends within 3E-6, not 2E-6";
  for (const Extended sign : std::initializer_list<Extended>{1.0L, -1.0L}) {
    tNon_central_t_distribution inside(2, sign * 4000), outside(2, sign * 4200);
    const Extended prob = sign > 0 ? 0.025L : 0.975L;
    EXPECT_NEAR(Find_noncentrality(2, inside.Quantile(prob), prob), sign * 4000, 2e-6);
    Expect_refusal([&] { Find_noncentrality(2, outside.Quantile(prob), prob); },
                   "out of range for this method");
  }
  Expect_refusal([] { Find_noncentrality(50, 1e6, 0.5); }, "out of range for this method");
  Expect_refusal([] { Find_noncentrality(50, -1e6, 0.5); }, "out of range for this method");
}

}  // namespace
