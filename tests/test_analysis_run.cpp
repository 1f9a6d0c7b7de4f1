// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis run: the criteria for a dissociation, the whole computation against
// independently computed reference values, reproducibility (also across threads), and
// computation errors that end the run instead of reaching a report.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>

#include "app/analysis_run.h"

namespace {

// ---------------------------------------------------------------------------------------
// Criteria table

struct tCriteria_case {
  const char* name;
  tCriteria criteria;
  tTail tail;
  Extended t_x, p1_x, t_y, p1_y;
  Extended bsdt_p2, bsdt_p1;
  double rsdt_p2, rsdt_p1;
  bool deficit_x, deficit_y, strong, classical;
};

TEST(Criteria, Table) {
  const auto B = tCriteria::Bayesian;
  const auto C = tCriteria::Combined;
  const auto two = tTail::Two;
  const auto one = tTail::One;
  const tCriteria_case cases[] = {
      {"deficits on both, BSDT significant", B, two, -3, 0.01L, -2.5L, 0.02L, 0.03L, 0.015L, 1, 1, true, true, true, false},
      {"deficit on X only", B, two, -3, 0.01L, -1, 0.2L, 0.03L, 0.015L, 1, 1, true, false, false, true},
      {"deficit on Y only", B, two, -1, 0.2L, -3, 0.001L, 0.001L, 0.0005L, 1, 1, false, true, false, true},
      {"no deficit", B, two, -1, 0.2L, -1, 0.2L, 0.001L, 0.0005L, 1, 1, false, false, false, false},
      {"both p exactly 0.05: no deficit", B, two, -3, 0.05L, -3, 0.05L, 0.01L, 0.005L, 1, 1, false, false, false, false},
      {"p of a double 0.05: no deficit", B, two, -3, 0.05, -3, 0.05, 0.01L, 0.005L, 1, 1, false, false, false, false},
      {"case above both means, tiny p", B, two, 4, 1e-6L, 5, 1e-8L, 1e-5L, 5e-6L, 1, 1, false, false, false, false},
      {"t of exactly 0 is no deficit", B, two, 0, 0.01L, -3, 0.01L, 0.01L, 0.005L, 1, 1, false, true, false, true},
      {"both deficits, BSDT p exactly 0.05", B, two, -3, 0.01L, -3, 0.01L, 0.05L, 0.025L, 1, 1, true, true, false, false},
      {"BSDT p just below 0.05", B, two, -3, 0.01L, -3, 0.01L, 0.0499999L, 0.025L, 1, 1, true, true, true, false},
      {"one-tailed uses the one-tailed BSDT p", B, one, -3, 0.01L, -1, 0.3L, 0.08L, 0.04L, 1, 1, true, false, false, true},
      {"two-tailed ignores the one-tailed BSDT p", B, two, -3, 0.01L, -1, 0.3L, 0.08L, 0.04L, 1, 1, true, false, false, false},
      {"combined: BSDT and RSDT significant", C, two, -3, 0.01L, -1, 0.3L, 0.03L, 0.015L, 0.04, 0.02, true, false, false, true},
      {"combined: RSDT not significant", C, two, -3, 0.01L, -1, 0.3L, 0.03L, 0.015L, 0.06, 0.03, true, false, false, false},
      {"combined: RSDT p exactly 0.05", C, two, -3, 0.01L, -3, 0.01L, 0.03L, 0.015L, 0.05, 0.025, true, true, false, false},
      {"combined one-tailed: one-tailed RSDT p", C, one, -3, 0.01L, -1, 0.3L, 0.06L, 0.03L, 0.06, 0.03, true, false, false, true},
      {"combined one-tailed: RSDT one-tailed not significant", C, one, -3, 0.01L, -3, 0.01L, 0.06L, 0.03L, 0.02, 0.07, true, true, false, false},
      {"combined: BSDT not significant", C, two, -3, 0.01L, -3, 0.01L, 0.07L, 0.035L, 0.01, 0.005, true, true, false, false},
  };
  for (const tCriteria_case& c : cases) {
    tRun_results r;
    r.Options.Criteria = c.criteria;
    r.Options.Tail = c.tail;
    r.Deficit_x_results.T_value = c.t_x;
    r.Deficit_x_results.P_one_tailed = c.p1_x;
    r.Deficit_y_results.T_value = c.t_y;
    r.Deficit_y_results.P_one_tailed = c.p1_y;
    r.Bsdt.P_two_tailed = c.bsdt_p2;
    r.Bsdt.P_one_tailed = c.bsdt_p1;
    r.Rsdt_computed = c.criteria == tCriteria::Combined;
    r.Rsdt_p_two_tailed = c.rsdt_p2;
    r.Rsdt_p_one_tailed = c.rsdt_p1;
    Apply_criteria(r);
    EXPECT_EQ(r.Deficit_x, c.deficit_x) << c.name;
    EXPECT_EQ(r.Deficit_y, c.deficit_y) << c.name;
    EXPECT_EQ(r.Strong, c.strong) << c.name;
    EXPECT_EQ(r.Classical, c.classical) << c.name;
    EXPECT_EQ(r.Neither, !c.strong && !c.classical) << c.name;
  }
}

// ---------------------------------------------------------------------------------------
// The whole computation against reference values

struct tReference_case {
  tChecked_inputs inputs;
  // Deficit test on X and Y: t, p one-tailed, percentage below with its limits, Z-CC with
  // its limits.
  double x[8], y[8];
  double rsdt_t, rsdt_p1, rsdt_p2;
  // BSDT after 10,000 iterations, both priors: p one, p two, percentage more extreme,
  // its limits, Z-DCC and its limits. NaN for a prior not run.
  double standard[8], calibrated[8];
};

// Copied from tests/data/frequentist.json and tests/data/bsdt_10000.json, the project's
// independently computed reference values (the BSDT ones for 10,000 iterations).
const double kNo = std::nan("");
const tReference_case kReference[] = {
    {{100, 15, 50, 10, 0.6, 20, 80, 40, 20},
     {-1.3012000972647106, 0.10437436922856014, 10.43743692285602, 2.669556814314472, 23.684044851898683, -1.3333333333333333, -1.9317437957962469, -0.7165028683053445},
     {-0.9759000729485331, 0.17068823945226397, 17.068823945226402, 6.282803153636542, 32.59333021991749, -1.0, -1.531458712294349, -0.45117059017709366},
     0.3482573387183655, 0.3657379393034308, 0.7314758786068616,
     {0.3601015706108748, 0.7202031412217496, 36.010157061087476, 15.169090924464685, 60.69799166007829, -0.3726779962499649, -1.0292082667801186, 0.27145622063975544},
     {0.36556062212327634, 0.7311212442465527, 36.55606221232763, 15.416568624339666, 61.58751257380873, -0.3726779962499649, -1.0187295652418933, 0.29466507073929166}},
    {{100, 15, 50, 10, 0.6, 20, 70, 52, 20},
     {-1.9518001458970662, 0.03293011197431939, 3.2930111974319325, 0.2894688032389233, 11.067502708914528, -2.0, -2.7594781378153757, -1.2229461021228132},
     {0.1951800145897066, 0.423662036823669, 57.6337963176331, 40.30927030104529, 73.89877468292742, 0.2, -0.24535004407250188, 0.6402278084200604},
     2.2889961376865617, 0.016851724864431983, 0.033703449728863966,
     {0.012671222058625453, 0.025342444117250906, 1.2671222058625453, 0.025414329590195434, 6.0655950534342375, -2.459674775249769, -3.47635099238261, kNo},
     {kNo, 0.03239895892849559, kNo, kNo, kNo, kNo, kNo, kNo}},
};

void Expect_close(Extended got, double expected, double tolerance, const std::string& what) {
  if (std::isnan(expected)) return;
  EXPECT_NEAR(static_cast<double>(got), expected, tolerance) << what;
}

// The frequentist unit's own accuracy: t and p to 1e-8 (Simpson's rule), the Z-CC limits
// to 5e-6 (bisection on the non-centrality), the percentage limits to 1e-3 points. Tight
// enough to catch a limit taken from the wrong task or an upper limit shown as the lower.
void Expect_deficit(const tDeficit_results& d, const double (&e)[8], const std::string& task) {
  Expect_close(d.T_value, e[0], 1e-8, task + " t");
  Expect_close(d.P_one_tailed, e[1], 1e-8, task + " p");
  Expect_close(d.Pct_below, e[2], 1e-6, task + " pct below");
  Expect_close(d.Pct_lower, e[3], 1e-3, task + " pct lower");
  Expect_close(d.Pct_upper, e[4], 1e-3, task + " pct upper");
  Expect_close(d.Zcc, e[5], 1e-12, task + " zcc");
  Expect_close(d.Zcc_lower, e[6], 5e-6, task + " zcc lower");
  Expect_close(d.Zcc_upper, e[7], 5e-6, task + " zcc upper");
}

void Expect_bsdt(const tBSDT_results& b, const double (&e)[8], const std::string& prior) {
  const Extended got[8] = {b.P_one_tailed, b.P_two_tailed, b.Pct_more_extreme, b.Pct_lower,
                           b.Pct_upper,    b.Zdcc,         b.Zdcc_lower,       b.Zdcc_upper};
  for (int i = 0; i < 8; ++i) Expect_close(got[i], e[i], 1e-9 * std::max(1.0, std::fabs(e[i])), prior + " #" + std::to_string(i));
}

TEST(AnalysisRun, MatchesReferenceValuesWithBothPriors) {
  for (const tReference_case& c : kReference) {
    for (tPrior prior : {tPrior::Standard, tPrior::Calibrated}) {
      tRun_options options{tCriteria::Combined, tTail::Two, prior, 10000};
      const tRun_results r = Compute_analysis(c.inputs, options);
      SCOPED_TRACE("case x " + std::to_string(c.inputs.Case_x));
      EXPECT_DOUBLE_EQ(r.Z_x, (c.inputs.Case_x - c.inputs.Mean_x) / c.inputs.Sd_x);
      Expect_deficit(r.Deficit_x_results, c.x, "X");
      Expect_deficit(r.Deficit_y_results, c.y, "Y");
      EXPECT_EQ(r.Deficit_x_results.Df, c.inputs.N - 1);
      ASSERT_TRUE(r.Rsdt_computed);
      Expect_close(r.Rsdt_t, c.rsdt_t, 1e-10, "rsdt t");
      Expect_close(r.Rsdt_p_one_tailed, c.rsdt_p1, 1e-8, "rsdt p1");
      Expect_close(r.Rsdt_p_two_tailed, c.rsdt_p2, 1e-8, "rsdt p2");
      Expect_bsdt(r.Bsdt, prior == tPrior::Standard ? c.standard : c.calibrated,
                  prior == tPrior::Standard ? "standard" : "calibrated");
    }
  }
}

TEST(AnalysisRun, ClassicalPatternUnderBothCriteria) {
  // Case 70 and 52: a deficit on X only (p = 0.0329), BSDT two-tailed p = 0.025 and
  // RSDT two-tailed p = 0.0337, so a classical dissociation under both criteria.
  const tChecked_inputs in{100, 15, 50, 10, 0.6, 20, 70, 52, 20};
  for (tCriteria criteria : {tCriteria::Bayesian, tCriteria::Combined}) {
    const tRun_results r = Compute_analysis(in, {criteria, tTail::Two, tPrior::Standard, 10000});
    EXPECT_TRUE(r.Deficit_x);
    EXPECT_FALSE(r.Deficit_y);
    EXPECT_TRUE(r.Classical);
    EXPECT_FALSE(r.Strong);
    EXPECT_EQ(r.Rsdt_computed, criteria == tCriteria::Combined);
    EXPECT_EQ(r.Figures.Word("classification"), "classical");
  }
}

TEST(AnalysisRun, SampleOfThreeRunsWithTheStandardPrior) {
  // bsdt_10000.json: N = 3, standard prior, two-tailed p = 0.17174887274571296.
  const tChecked_inputs in{10, 2.5, 10, 2.5, 0.2, 3, 2, 9, 3};
  const tRun_results r = Compute_analysis(in, {tCriteria::Bayesian, tTail::Two, tPrior::Standard, 10000});
  EXPECT_NEAR(static_cast<double>(r.Bsdt.P_two_tailed), 0.17174887274571296, 1e-9);
  EXPECT_EQ(r.Deficit_x_results.Df, 2);
}

bool Same_bits(const tRun_results& a, const tRun_results& b) {
  const Extended va[] = {a.Bsdt.P_one_tailed, a.Bsdt.P_two_tailed, a.Bsdt.Pct_more_extreme,
                         a.Bsdt.Pct_lower, a.Bsdt.Pct_upper, a.Bsdt.Zdcc, a.Bsdt.Zdcc_lower,
                         a.Bsdt.Zdcc_upper, a.Deficit_x_results.Zcc_lower,
                         a.Deficit_x_results.Pct_upper, a.Deficit_y_results.Zcc_upper,
                         a.Rsdt_t};
  const Extended vb[] = {b.Bsdt.P_one_tailed, b.Bsdt.P_two_tailed, b.Bsdt.Pct_more_extreme,
                         b.Bsdt.Pct_lower, b.Bsdt.Pct_upper, b.Bsdt.Zdcc, b.Bsdt.Zdcc_lower,
                         b.Bsdt.Zdcc_upper, b.Deficit_x_results.Zcc_lower,
                         b.Deficit_x_results.Pct_upper, b.Deficit_y_results.Zcc_upper,
                         b.Rsdt_t};
  for (std::size_t i = 0; i < std::size(va); ++i) {
    if (!(va[i] == vb[i])) return false;
  }
  return true;
}

TEST(AnalysisRun, SameInputsGiveTheSameResultsAlsoOnAnotherThread) {
  const tChecked_inputs first{100, 15, 50, 10, 0.6, 20, 80, 40, 20};
  const tChecked_inputs other{24.5, 3.1, 61.2, 8.4, 0.35, 12, 25, 38, 12};
  const tRun_options options{tCriteria::Combined, tTail::Two, tPrior::Calibrated, 20000};
  const tRun_results a = Compute_analysis(first, options);
  const tRun_results b = Compute_analysis(first, options);
  EXPECT_TRUE(Same_bits(a, b));
  // A thread that first runs another case must still reproduce the single run.
  tRun_results c;
  std::thread worker([&] {
    Compute_analysis(other, options);
    c = Compute_analysis(first, options);
  });
  worker.join();
  EXPECT_TRUE(Same_bits(a, c));
}

TEST(AnalysisRun, FarCaseCompletesWithItsLimitsBeyondReach) {
  // A case 10^5 standard deviations from the control mean: the interval searches cannot
  // reach its limits, which hold the bound 4096 / sqrt(N) and say so; every figure is
  // finite.
  const tChecked_inputs in{0, 1, 0, 1, 0.5, 4, 99999, 0, 4};
  const tRun_results r =
      Compute_analysis(in, {tCriteria::Bayesian, tTail::Two, tPrior::Standard, 1000});
  EXPECT_EQ(r.Deficit_x_results.Lower_beyond_reach, 1);
  EXPECT_EQ(r.Deficit_x_results.Upper_beyond_reach, 1);
  EXPECT_EQ(r.Deficit_x_results.Zcc_lower, 2048);
  EXPECT_EQ(r.Deficit_y_results.Lower_beyond_reach, 0);
}

// An observer sees the engine's progress up to the total; a request to stop ends the run
// with ECancelled, whether it comes before the interval searches or during the draws, and
// the next run is the one a run never cancelled gives.
TEST(AnalysisRun, ObserverSeesProgressAndCanCancel) {
  const tChecked_inputs in{100, 15, 50, 10, 0.6, 20, 80, 40, 20};
  const tRun_options options{tCriteria::Combined, tTail::Two, tPrior::Calibrated, 100000};
  const tRun_results plain = Compute_analysis(in, options);

  std::int64_t last_done = -1, total = 0;
  tProgress_observer watch;
  watch.Progress = [&](std::int64_t done, std::int64_t of) {
    last_done = done;
    total = of;
  };
  EXPECT_TRUE(Same_bits(Compute_analysis(in, options, &watch), plain));
  EXPECT_EQ(last_done, 100000);
  EXPECT_EQ(total, 100000);

  for (const std::int64_t stop_at : {std::int64_t{-1}, std::int64_t{40000}}) {
    std::atomic<bool> cancel{stop_at < 0};  // -1: already set before the run
    tProgress_observer stopper;
    stopper.Cancel = &cancel;
    stopper.Progress = [&](std::int64_t done, std::int64_t) {
      if (done >= stop_at) cancel = true;
    };
    EXPECT_THROW(Compute_analysis(in, options, &stopper), ECancelled) << stop_at;
    EXPECT_TRUE(Same_bits(Compute_analysis(in, options), plain)) << stop_at;
  }
}

}  // namespace
