// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the two BSDT engines.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bayes/bayes_engines.h"
#include "bayes/bsdt_run.h"
#include "tests/support/bsdt_literal.h"
#include "distrib/fp_check.h"

namespace {

// The bytes that hold a value: the x87 type's 80 bits, or the whole double.
constexpr std::size_t kValue_bytes = std::numeric_limits<Extended>::digits == 64 ? 10 : sizeof(Extended);

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

// ---------------------------------------------------------------------------------------
// tests/data/bsdt_10000.json: an array of entries, each with "inputs", "prior",
// "iterations" and "results". Every key is unique within an entry, so an entry is read
// by finding each key in its text.

std::vector<std::string> Reference_entries() {
  std::ifstream in(std::string(KESTRUM_TEST_DATA_DIR) + "/bsdt_10000.json");
  if (!in) throw std::runtime_error("cannot open bsdt_10000.json");
  std::ostringstream text;
  text << in.rdbuf();
  const std::string all = text.str();
  std::vector<std::string> entries;
  for (std::size_t at = all.find("\"inputs\""); at != std::string::npos;) {
    const std::size_t next = all.find("\"inputs\"", at + 1);
    entries.push_back(all.substr(at, next == std::string::npos ? next : next - at));
    at = next;
  }
  return entries;
}

double Number(const std::string& entry, const std::string& key) {
  const std::size_t at = entry.find("\"" + key + "\":");
  if (at == std::string::npos) throw std::runtime_error("no " + key + " in reference entry");
  std::size_t p = at + key.size() + 3;
  while (entry[p] == ' ') ++p;
  double value = 0;
  if (std::from_chars(entry.data() + p, entry.data() + entry.size(), value).ec != std::errc())
    throw std::runtime_error("bad number for " + key);
  return value;
}

// ---------------------------------------------------------------------------------------
// Helpers.

void Run_engine(tPrior prior, const tBSDT_inputs& in, tBSDT_results& r) {
  if (prior == tPrior::Standard)
    BSDT_standard(in.N, in.Iterations, in.Reset_seed, in.Mean_x, in.Sd_x, in.Mean_y, in.Sd_y,
                  in.R_xy, in.Case_x, in.Case_y, in.Two_sided, in.Level, r);
  else
    BSDT_calibrated(in.N, in.Iterations, in.Reset_seed, in.Mean_x, in.Sd_x, in.Mean_y,
                    in.Sd_y, in.R_xy, in.Case_x, in.Case_y, in.Two_sided, in.Level, r);
}

tBSDT_inputs Inputs(std::int32_t n, Extended mean_x, Extended sd_x, Extended mean_y,
                    Extended sd_y, Extended r, Extended case_x, Extended case_y,
                    std::int32_t iterations) {
  tBSDT_inputs in;
  in.N = n;
  in.Iterations = iterations;
  in.Mean_x = mean_x;
  in.Sd_x = sd_x;
  in.Mean_y = mean_y;
  in.Sd_y = sd_y;
  in.R_xy = r;
  in.Case_x = case_x;
  in.Case_y = case_y;
  return in;
}

std::vector<Extended> Values(const tBSDT_results& r) {
  return {r.P_one_tailed, r.P_two_tailed, r.Pct_more_extreme, r.Pct_lower,
          r.Pct_upper,    r.Zdcc,         r.Zdcc_lower,       r.Zdcc_upper};
}

const char* const kNames[8] = {"P_one_tailed", "P_two_tailed", "Pct_more_extreme",
                               "Pct_lower",    "Pct_upper",    "Zdcc",
                               "Zdcc_lower",   "Zdcc_upper"};

bool Bit_identical(const tBSDT_results& a, const tBSDT_results& b) {
  const auto x = Values(a), y = Values(b);
  for (int i = 0; i < 8; ++i)
    if (std::memcmp(&x[i], &y[i], kValue_bytes) != 0) return false;  // the 80 significant bits
  return true;
}

tBSDT_results Sentinel_results() {
  tBSDT_results r;
  r.P_one_tailed = r.P_two_tailed = r.Pct_more_extreme = r.Pct_lower = r.Pct_upper = r.Zdcc =
      r.Zdcc_lower = r.Zdcc_upper = -12345;
  return r;
}

const char* Prior_name(tPrior p) {
  return p == tPrior::Standard ? "standard" : "calibrated";
}

// ---------------------------------------------------------------------------------------
// Reference values: tests/data/bsdt_10000.json, copied from the project's shared
// reference set. Eight results of each engine, 10,000 iterations, seeds reset, equal
// tails, level 95, computed draw for draw by a separate double-precision transcription of
// the procedure. Equal draws must give equal results: 1e-9 for the probabilities and
// Z-DCC values, 1e-6 for the percentages (the transcription's normal distribution
// function differs from ours in the last digits of its log-gamma).

tPrior Reference_prior(const std::string& e) {
  return e.find("\"prior\": \"standard\"") != std::string::npos ? tPrior::Standard
                                                                : tPrior::Calibrated;
}

tBSDT_inputs Reference_inputs(const std::string& e) {
  return Inputs(static_cast<std::int32_t>(Number(e, "n")), Number(e, "mean_x"),
                Number(e, "sd_x"), Number(e, "mean_y"), Number(e, "sd_y"), Number(e, "r"),
                Number(e, "case_x"), Number(e, "case_y"),
                static_cast<std::int32_t>(Number(e, "iterations")));
}

TEST(BsdtReference, EveryEntryMatches) {
  const std::vector<std::string> entries = Reference_entries();
  ASSERT_EQ(entries.size(), 9u);
  for (const std::string& e : entries) {
    const tPrior prior = Reference_prior(e);
    const tBSDT_inputs in = Reference_inputs(e);
    tBSDT_results got;
    Run_engine(prior, in, got);
    const auto values = Values(got);
    for (int i = 0; i < 8; ++i) {
      const bool percentage = i >= 2 && i <= 4;
      EXPECT_NEAR(static_cast<double>(values[i]), Number(e, kNames[i]),
                  percentage ? 1e-6 : 1e-9)
          << Prior_name(prior) << " N=" << in.N << " case ("
          << static_cast<double>(in.Case_x) << ", " << static_cast<double>(in.Case_y) << ") "
          << kNames[i];
    }
  }
}

// ---------------------------------------------------------------------------------------
// Determinism and the fast evaluation.

struct tEval_case {
  const char* name;
  tPrior prior;
  tBSDT_inputs in;
  bool two_sided;
};

std::vector<tEval_case> Eval_cases() {
  return {
      {"standard_lower_tail", tPrior::Standard,
       Inputs(20, 100, 15, 50, 10, 0.6, 70, 52, 150000), true},
      {"calibrated_lower_tail", tPrior::Calibrated,
       Inputs(20, 100, 15, 50, 10, 0.6, 70, 52, 150000), true},
      {"calibrated_upper_tail_one_sided", tPrior::Calibrated,
       Inputs(12, 24.5, 3.1, 61.2, 8.4, 0.35, 25, 38, 100003), false},
      {"standard_N3_upper_tail", tPrior::Standard,
       Inputs(3, 10, 2.5, 10, 2.5, 0.2, 9, 2, 70001), true},
  };
}

// The threaded normal probabilities and the selected limits must give the serial loop's
// results bit for bit, with any number of threads, and use the generator alike.
// The fast evaluation (probabilities from erfc, draws on two threads) against the literal
// one: the same draws, so the same Z-DCC values and limits bit for bit, and P within
// 1E-10 of the literal sum of the distribution unit's normal distribution function.
void Expect_same_as_straightforward(tPrior prior, const tBSDT_inputs& in,
                                    const std::string& name) {
  tBSDT_results serial;
  Run_evaluated(prior, in, 1, true, serial);
  const std::int32_t seed1 = Seed1, seed2 = Seed2;
  for (int threads : {1, 2, 3}) {
    tBSDT_results fast;
    Run_evaluated(prior, in, threads, false, fast);
    const auto x = Values(serial), y = Values(fast);
    for (int i = 0; i < 8; ++i) {
      const bool probability = i <= 2;  // P one- and two-tailed, and as a percentage
      if (probability)
        EXPECT_NEAR(x[i], y[i], i == 2 ? 1E-8L : 2E-10L) << name << " " << kNames[i];
      else
        EXPECT_EQ(std::memcmp(&x[i], &y[i], kValue_bytes), 0) << name << " " << kNames[i];
    }
    EXPECT_EQ(Seed1, seed1) << name;
    EXPECT_EQ(Seed2, seed2) << name;
  }
}

TEST(BsdtEvaluation, FastPathAgreesWithStraightforward) {
  for (const tEval_case& c : Eval_cases()) {
    tBSDT_inputs in = c.in;
    in.Two_sided = c.two_sided;
    Expect_same_as_straightforward(c.prior, in, c.name);
  }
  for (const std::string& e : Reference_entries()) {
    const tBSDT_inputs in = Reference_inputs(e);
    Expect_same_as_straightforward(Reference_prior(e), in,
                                   "reference N=" + std::to_string(in.N));
  }
}

TEST(BsdtDeterminism, RepeatedCallsIdenticalAndSameGeneratorState) {
  for (tPrior prior : {tPrior::Standard, tPrior::Calibrated}) {
    const tBSDT_inputs in = Inputs(20, 100, 15, 50, 10, 0.6, 80, 40, 5000);
    tBSDT_results first, second;
    Run_engine(prior, in, first);
    const std::int32_t seed1 = Seed1, seed2 = Seed2;
    Uniform_01();  // whatever came before, a reset run starts from the same point
    Run_engine(prior, in, second);
    EXPECT_TRUE(Bit_identical(first, second)) << Prior_name(prior);
    EXPECT_EQ(Seed1, seed1);
    EXPECT_EQ(Seed2, seed2);

    // Without the reset the run continues the generator's sequence: from the start-up
    // seeds it repeats the reset run, from elsewhere it differs.
    tBSDT_inputs cont = in;
    cont.Reset_seed = false;
    Reset_seeds();
    tBSDT_results continued;
    Run_engine(prior, cont, continued);
    EXPECT_TRUE(Bit_identical(first, continued)) << Prior_name(prior);
    Run_engine(prior, cont, continued);
    EXPECT_NE(continued.Zdcc_lower, first.Zdcc_lower) << Prior_name(prior);
  }
}

// ---------------------------------------------------------------------------------------
// Properties of the results.

TEST(BsdtResults, ProbabilitiesFoldingAndLimitsAreConsistent) {
  // Cases in both directions, both priors, both tail options, N = 4 under the
  // calibrated prior (chi-square draws with 2 and 1 degrees of freedom). The point
  // estimate is (zx0 - zy0) / sqrt(2 - 2r) from the sample statistics alone.
  struct tCase {
    tBSDT_inputs in;
    bool two_sided;
    bool upper;  // the case's difference lies in the upper direction
  };
  const tCase cases[] = {
      {Inputs(20, 100, 15, 50, 10, 0.6, 70, 52, 4000), true, false},
      {Inputs(20, 100, 15, 50, 10, 0.6, 70, 52, 4000), false, false},
      {Inputs(20, 50, 10, 100, 15, 0.6, 52, 70, 4000), true, true},
      {Inputs(12, 24.5, 3.1, 61.2, 8.4, 0.35, 25, 38, 4000), true, true},
      {Inputs(12, 24.5, 3.1, 61.2, 8.4, 0.35, 25, 38, 4000), false, true},
      {Inputs(150, 0.82, 0.07, 0.79, 0.09, -0.3, 0.55, 0.81, 4000), true, false},
      {Inputs(4, 10, 2, 10, 2, 0.9, 12, 6, 4000), true, true},
  };
  for (const tCase& c : cases) {
    for (tPrior prior : {tPrior::Standard, tPrior::Calibrated}) {
      tBSDT_inputs in = c.in;
      in.Two_sided = c.two_sided;
      tBSDT_results r;
      Run_engine(prior, in, r);
      SCOPED_TRACE(std::string(Prior_name(prior)) + " N=" + std::to_string(in.N) +
                   (c.two_sided ? " two-sided" : " one-sided"));
      EXPECT_EQ(r.P_two_tailed, 2 * r.P_one_tailed);
      EXPECT_LE(r.P_two_tailed, 1);
      EXPECT_LE(r.Pct_more_extreme, 50);
      EXPECT_EQ(r.P_one_tailed, r.Pct_more_extreme / 100);
      EXPECT_LE(r.Pct_lower, r.Pct_upper);
      EXPECT_LT(r.Zdcc_lower, r.Zdcc_upper);
      const Extended zx0 = (in.Case_x - in.Mean_x) / in.Sd_x;
      const Extended zy0 = (in.Case_y - in.Mean_y) / in.Sd_y;
      EXPECT_EQ(r.Zdcc, (zx0 - zy0) / std::sqrt(2 - 2 * in.R_xy));
      // The percentage limits are 100 Phi of the Z-DCC limits, mirrored when the
      // probability was folded into the upper tail.
      const tNormal_distribution phi(0, 1);
      const Extended lower = 100 * phi.Cdf(r.Zdcc_lower), upper = 100 * phi.Cdf(r.Zdcc_upper);
      if (c.upper) {
        // Mirrored from the upper tails directly (never 100 - a percentage near 100).
        EXPECT_GT(r.Zdcc, 0);
        EXPECT_EQ(r.Pct_lower, 100 * phi.Cdf(-r.Zdcc_upper));
        EXPECT_EQ(r.Pct_upper, 100 * phi.Cdf(-r.Zdcc_lower));
        EXPECT_NEAR(static_cast<double>(r.Pct_lower), static_cast<double>(100 - upper), 1e-12);
        EXPECT_NEAR(static_cast<double>(r.Pct_upper), static_cast<double>(100 - lower), 1e-12);
      } else {
        EXPECT_LE(r.Zdcc, 0);
        EXPECT_EQ(r.Pct_lower, lower);
        EXPECT_EQ(r.Pct_upper, upper);
      }
      // The credible interval of Z-DCC covers the point estimate.
      EXPECT_LT(r.Zdcc_lower, r.Zdcc);
      EXPECT_GT(r.Zdcc_upper, r.Zdcc);
    }
  }
}

// ---------------------------------------------------------------------------------------
// Positions of the credible limits: Round with halves to even, the upper one plus 1.

TEST(BsdtLimits, PositionsOfTheCredibleLimits) {
  struct tCase {
    std::int32_t level;
    bool two_sided;
    std::int32_t iterations, lo, hi;
  };
  const tCase cases[] = {
      {95, true, 1000000, 25000, 975001},  // 24,999 draws outside each limit
      {95, false, 1000000, 50000, 950001},
      {95, true, 10000, 250, 9751},        // the reference runs
      {95, true, 21, 1, 21},               // the fewest iterations that work
      {95, true, 100, 2, 99},              // 2.5 -> 2 and 97.5 -> 98: halves to even
      {95, true, 60, 2, 59},               // 1.5 -> 2 and 58.5 -> 58
      {90, false, 1000, 100, 901},
      {99, true, 1000, 5, 996},
  };
  for (const tCase& c : cases) {
    std::int32_t lo = 0, hi = 0;
    Credible_limit_positions(c.level, c.two_sided, c.iterations, lo, hi);
    EXPECT_EQ(lo, c.lo) << c.level << " " << c.two_sided << " " << c.iterations;
    EXPECT_EQ(hi, c.hi) << c.level << " " << c.two_sided << " " << c.iterations;
  }
}

TEST(BsdtLimits, TooFewIterationsAreRefusedBeforeAnyDraw) {
  // 20 iterations put the upper limit at position 21; 0 iterations have no draws.
  for (std::int32_t iterations : {20, 1, 0, -5}) {
    Reset_seeds();
    tBSDT_results r = Sentinel_results();
    try {
      Run_engine(tPrior::Standard, Inputs(20, 100, 15, 50, 10, 0.6, 70, 52, iterations), r);
      ADD_FAILURE() << iterations << " iterations accepted";
    } catch (const EArgumentError& e) {
      EXPECT_NE(std::string(e.what()).find("iterations"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(Bit_identical(r, Sentinel_results()));
    EXPECT_EQ(Seed1, kStart_seed1);
  }
}

// ---------------------------------------------------------------------------------------
// Faults mended.

// The results must not depend on the units: scaling means, standard deviations and
// case scores of both tasks by the same factor keeps all eight results. On the raw scale
// the Wishart draws scale like 1/Sd^2, and the inverse's absolute pivot tolerance
// rejected draws from about Sd = 5E4 on (75,000 and 50,000 changed the lower limit).
TEST(BsdtFaults, LargeStandardDeviationsKeepResults) {
  struct tBase {
    std::int32_t n;
    Extended mean_x, sd_x, mean_y, sd_y, r, case_x, case_y;
  };
  const tBase bases[] = {
      {20, 100, 15, 50, 10, 0.6, 70, 52},
      {12, 24.5, 3.1, 61.2, 8.4, 0.35, 25, 38},
      {25, 300, 75, 120, 50, 0.95, 150, 110},  // high correlation
      {8, 1, 0.001, 2, 0.002, -0.9, 0.997, 2.001},
  };
  for (const tBase& b : bases) {
    for (tPrior prior : {tPrior::Standard, tPrior::Calibrated}) {
      tBSDT_results unscaled;
      Run_engine(prior, Inputs(b.n, b.mean_x, b.sd_x, b.mean_y, b.sd_y, b.r, b.case_x, b.case_y, 3000),
          unscaled);
      for (Extended k : {1E-5L, 1E-3L, 0.1L, 7.0L, 1E3L, 5E3L, 1E5L}) {
        tBSDT_results scaled;
        Run_engine(prior,
            Inputs(b.n, k * b.mean_x, k * b.sd_x, k * b.mean_y, k * b.sd_y, b.r, k * b.case_x,
                   k * b.case_y, 3000),
            scaled);
        const auto u = Values(unscaled), s = Values(scaled);
        for (int i = 0; i < 8; ++i)
          EXPECT_NEAR(static_cast<double>(s[i]), static_cast<double>(u[i]), 1e-9)
              << Prior_name(prior) << " factor " << static_cast<double>(k) << " "
              << kNames[i] << " sd_x " << static_cast<double>(b.sd_x);
      }
    }
  }
}

// A singular scale matrix (correlation 1) or one that is not positive definite, zero
// standard deviations, a NaN: a readable floating-point error, no results, no hang.
TEST(BsdtFaults, FloatingPointFaultsEndTheCallWithoutResults) {
  const Extended nan = std::numeric_limits<Extended>::quiet_NaN();
  struct tCase {
    const char* name;
    tBSDT_inputs in;
  };
  const tCase cases[] = {
      {"correlation 1", Inputs(20, 100, 15, 50, 10, 1, 70, 52, 1000)},
      {"correlation -1", Inputs(20, 100, 15, 50, 10, -1, 70, 52, 1000)},
      {"correlation 1.5", Inputs(20, 100, 15, 50, 10, 1.5, 70, 52, 1000)},
      {"sd_x 0", Inputs(20, 100, 0, 50, 10, 0.6, 70, 52, 1000)},
      {"sd_y 0, case at mean", Inputs(20, 100, 15, 50, 0, 0.6, 70, 50, 1000)},
      {"NaN mean", Inputs(20, nan, 15, 50, 10, 0.6, 70, 52, 1000)},
      {"NaN correlation", Inputs(20, 100, 15, 50, 10, nan, 70, 52, 1000)},
  };
  for (const tCase& c : cases) {
    for (tPrior prior : {tPrior::Standard, tPrior::Calibrated}) {
      tBSDT_results r = Sentinel_results();
      try {
        Run_evaluated(prior, c.in, 0, false, r);
        ADD_FAILURE() << c.name << ": no error";
      } catch (const EFloating_point_error& e) {
        EXPECT_NE(std::string(e.what()).find("No results were computed"), std::string::npos)
            << c.name << ": " << e.what();
      }
      EXPECT_TRUE(Bit_identical(r, Sentinel_results())) << c.name;
      EXPECT_EQ(Raised_fp_faults(), 0) << c.name;
    }
  }
  // A correlation of 1 - 1E-13 is strictly inside (-1, 1): the scale matrix is inverted
  // by partial pivoting, and the draws' Z-DCC of about 5E6 lie beyond the normal
  // distribution function's range, where it is 0 or 1: the run completes, with P = 0.
  // (The calibrated prior would accept about one attempt in two million here.)
  tBSDT_results r = Sentinel_results();
  EXPECT_NO_THROW(Run_evaluated(tPrior::Standard,
                                Inputs(20, 100, 15, 50, 10, 1 - 1E-13L, 70, 52, 1000), 0,
                                false, r));
  EXPECT_EQ(r.P_one_tailed, 0);
  EXPECT_EQ(Raised_fp_faults(), 0);
}

// A P folded into a tiny upper tail is the mean of the draws' upper-tail probabilities
// (the literal procedure sums them in extended precision from its own normal
// distribution function): 100 - (the lower-tail percentage near 100) was off by 1.6E-8
// relative here, and the percentage limits by as much.
TEST(BsdtResults, FoldedTinyProbabilityKeepsItsDigits) {
  const tBSDT_inputs in = Inputs(409, 75446, 3357.8L, 19036, 932.84L, -0.095L, 84970, 12655, 10000);
  tBSDT_results engine, literal;
  Run_evaluated(tPrior::Standard, in, 1, false, engine);
  Run_evaluated(tPrior::Standard, in, 1, true, literal);
  const auto relative = [](Extended a, Extended b) {
    return static_cast<double>(std::fabs(a - b) / std::fabs(b));
  };
  EXPECT_LT(engine.P_one_tailed, 2e-10);
  EXPECT_LT(relative(engine.P_one_tailed, literal.P_one_tailed), 1e-12);
  EXPECT_LT(relative(engine.Pct_lower, literal.Pct_lower), 1e-12);
  EXPECT_LT(relative(engine.Pct_upper, literal.Pct_upper), 1e-12);
}

// Draws whose Z-DCC lie beyond the normal distribution function's range (|z| above
// about 65536) once ended the run with "Argument too large"; they complete it, also when
// the probabilities are computed on other threads.
TEST(BsdtFaults, DrawsBeyondTheNormalRangeCompleteTheRun) {
  const tBSDT_inputs in = Inputs(20, 0, 1, 0, 1, 0.6, 1E6L, -1E6L, 70000);
  tBSDT_results r = Sentinel_results();
  EXPECT_NO_THROW(Run_evaluated(tPrior::Standard, in, 2, false, r));
  EXPECT_EQ(r.P_one_tailed, 0);
  EXPECT_GT(r.Zdcc_lower, 65536);
}

// The engines leave a caller's floating-point flags as they found them.
TEST(BsdtFaults, CallersFlagsAreKept) {
  std::feclearexcept(FE_ALL_EXCEPT);
  std::feraiseexcept(FE_DIVBYZERO);
  tBSDT_results r;
  BSDT_standard(20, 1000, true, 100, 15, 50, 10, 0.6, 70, 52, true, 95, r);
  if (kHas_fp_flags) {
    EXPECT_EQ(Raised_fp_faults(), kFp_divbyzero);
  }
  std::feclearexcept(FE_ALL_EXCEPT);
}

// Chi-square B of the calibrated prior has N - 3 degrees of freedom: N = 3 is refused
// with a readable argument error before the seeds are touched or anything is drawn.
TEST(BsdtFaults, CalibratedPriorRefusesSampleOfThree) {
  for (std::int32_t n : {3, 2}) {
    Seed1 = 12345;
    Seed2 = 67890;
    tBSDT_results r = Sentinel_results();
    try {
      BSDT_calibrated(n, 1000, true, 10, 2.5, 10, 2.5, 0.2, 2, 9, true, 95, r);
      ADD_FAILURE() << "N = " << n << " accepted";
    } catch (const EArgumentError& e) {
      EXPECT_NE(std::string(e.what()).find("at least 4"), std::string::npos) << e.what();
    }
    EXPECT_EQ(Seed1, 12345);
    EXPECT_EQ(Seed2, 67890);
    EXPECT_TRUE(Bit_identical(r, Sentinel_results()));
  }
  Reset_seeds();
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The smallest samples under the calibrated prior: chi-square B has one degree of freedom
// at N = 4, so a drawn Wishart matrix can be near singular (its second pivot below 1E-10)
// while well within working precision.

// The calibrated procedure computed independently of the engine's matrix routines: the
// same variates in the same order, but the inverse Wishart draw from its triangular
// factor (Sigma = H H' with H = (T L')^-1 upper triangular, in closed form), the normal
// probabilities from erfc, and a full sort for the limits.
tBSDT_results Independent_calibrated(const tBSDT_inputs& in) {
  const int n = in.N;
  const Extended zx0 = (in.Case_x - in.Mean_x) / in.Sd_x;
  const Extended zy0 = (in.Case_y - in.Mean_y) / in.Sd_y;
  const Extended r = in.R_xy;
  // A = (N - 2)[[1, r], [r, 1]]; A^-1 = [[1, -r], [-r, 1]] / ((N - 2)(1 - r^2)); L its
  // lower Cholesky factor.
  const Extended s = 1 / ((n - 2) * (1 - r * r));
  const Extended l11 = std::sqrt(s), l21 = -r * s / l11;
  const Extended l22 = std::sqrt(s - l21 * l21);
  Reset_seeds();
  tChi_square_distribution chi_a(n - 2), chi_b(n - 3);
  tNormal_distribution normal(0, 1);
  tUniform_distribution uniform(0, 1);
  std::vector<double> samples;
  Extended sum = 0;
  for (int i = 0; i < in.Iterations; ++i) {
    Extended h11, h12, h22, rho;
    for (;;) {
      const Extended c1 = std::sqrt(chi_a.Random_value());
      const Extended c2 = std::sqrt(chi_b.Random_value());
      const Extended z = normal.Random_value();
      // W = L T' T L' = G' G with G = T L' upper triangular, so Sigma = W^-1 = H H'
      // with H = G^-1.
      const Extended g11 = c1 * l11, g12 = c1 * l21 + z * l22, g22 = c2 * l22;
      h11 = 1 / g11;
      h22 = 1 / g22;
      h12 = -g12 / (g11 * g22);
      const Extended s11 = h11 * h11 + h12 * h12, s12 = h12 * h22, s22 = h22 * h22;
      rho = s12 / std::sqrt(s11 * s22);
      if (const Extended u = uniform.Random_value(); u * u <= 1 - rho * rho) break;
    }
    // Sigma = H H': its Cholesky factor C from the entries.
    const Extended s11 = h11 * h11 + h12 * h12, s12 = h12 * h22, s22 = h22 * h22;
    const Extended c11 = std::sqrt(s11), c21 = s12 / c11;
    const Extended c22 = std::sqrt(s22 - c21 * c21);
    const Extended z1 = normal.Random_value(), z2 = normal.Random_value();
    const Extended mu_x = z1 * c11 / std::sqrt(Extended(n));
    const Extended mu_y = (z1 * c21 + z2 * c22) / std::sqrt(Extended(n));
    const Extended d = ((zx0 - mu_x) / std::sqrt(s11) - (zy0 - mu_y) / std::sqrt(s22)) /
                       std::sqrt(2 - 2 * rho);
    samples.push_back(static_cast<double>(d));
    sum += std::erfc(-d / std::sqrt(2.0L)) / 2;
  }
  std::sort(samples.begin(), samples.end());
  tBSDT_results out;
  Extended p = sum / in.Iterations * 100;
  if (p > 50) p = 100 - p;
  out.P_one_tailed = p / 100;
  out.Zdcc_lower = samples[std::nearbyint(0.025L * in.Iterations) - 1];
  out.Zdcc_upper = samples[std::nearbyint(0.975L * in.Iterations)];
  return out;
}

// At N = 4 some draws of the first few hundred thousand have no pivot of 1E-10 (the
// first at iteration 4676 here); the engine inverts them by partial pivoting.
TEST(BsdtSmallSamples, CalibratedNFourAgreesWithAnIndependentComputation) {
  const tBSDT_inputs in = Inputs(4, 100, 15, 50, 10, 0.6, 70, 52, 300000);
  tBSDT_results engine;
  Run_engine(tPrior::Calibrated, in, engine);
  const tBSDT_results independent = Independent_calibrated(in);
  EXPECT_NEAR(engine.P_one_tailed, independent.P_one_tailed, 1E-9L);
  EXPECT_NEAR(engine.Zdcc_lower, independent.Zdcc_lower, 1E-9L);
  EXPECT_NEAR(engine.Zdcc_upper, independent.Zdcc_upper, 1E-9L);
}

// Every input that used to stop with "no pivot of at least 1E-10" completes at the
// worksheet's million iterations.
TEST(BsdtSmallSamples, CalibratedRunsCompleteAtAMillionIterations) {
  for (const std::int32_t n : {4, 5})
    for (const Extended r : std::initializer_list<Extended>{0.6L, 0.0L, 0.3L, 0.9L, -0.5L}) {
      const tBSDT_inputs in = Inputs(n, 100, 15, 50, 10, r, 70, 52, 1000000);
      tBSDT_results results = Sentinel_results();
      EXPECT_NO_THROW(Run_engine(tPrior::Calibrated, in, results)) << n << " " << r;
      EXPECT_GT(results.P_one_tailed, 0) << n << " " << r;
      EXPECT_LT(results.Zdcc_lower, results.Zdcc_upper) << n << " " << r;
    }
}

// ---------------------------------------------------------------------------------------
// Progress and cancellation.

TEST(BsdtObserver, ProgressIsReportedOftenAndEndsAtTheTotal) {
  for (tPrior prior : {tPrior::Standard, tPrior::Calibrated}) {
    const tBSDT_inputs in = Inputs(20, 100, 15, 50, 10, 0.9, 80, 40, 200000);
    std::vector<std::int64_t> done;
    tProgress_observer observer;
    observer.Progress = [&](std::int64_t d, std::int64_t total) {
      EXPECT_EQ(total, in.Iterations);
      done.push_back(d);
    };
    tBSDT_results watched, plain;
    Run_evaluated(prior, in, 0, false, watched, &observer);
    Run_evaluated(prior, in, 0, false, plain);
    EXPECT_TRUE(Bit_identical(watched, plain)) << Prior_name(prior);
    ASSERT_FALSE(done.empty());
    EXPECT_EQ(done.back(), in.Iterations);
    std::int64_t previous = 0;
    for (const std::int64_t d : done) {
      EXPECT_GE(d, previous);
      EXPECT_LE(d - previous, 65536);
      previous = d;
    }
  }
}

TEST(BsdtObserver, CancelLeavesNoResultsAndTheNextRunIsUnchanged) {
  for (tPrior prior : {tPrior::Standard, tPrior::Calibrated}) {
    const tBSDT_inputs in = Inputs(20, 100, 15, 50, 10, 0.6, 80, 40, 100000);
    tBSDT_results expected;
    Run_evaluated(prior, in, 0, false, expected);

    std::atomic<bool> cancel{false};
    tProgress_observer observer;
    observer.Cancel = &cancel;
    observer.Progress = [&](std::int64_t d, std::int64_t) {
      if (d >= 30000) cancel = true;  // stop part-way through the draws
    };
    tBSDT_results results = Sentinel_results();
    tBSDT_precision precision;
    precision.P_one_tailed_mc_se = -1;
    try {
      Run_evaluated(prior, in, 0, false, results, &observer, &precision);
      ADD_FAILURE() << "not cancelled";
    } catch (const ECancelled& e) {
      EXPECT_STREQ(e.what(), "The computation was cancelled.");
    }
    EXPECT_TRUE(Bit_identical(results, Sentinel_results()));
    EXPECT_EQ(precision.P_one_tailed_mc_se, -1);

    tBSDT_results after;
    Run_evaluated(prior, in, 0, false, after);
    EXPECT_TRUE(Bit_identical(after, expected)) << Prior_name(prior);
  }
}
