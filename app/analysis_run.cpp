// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/analysis_run.h"

#include <cmath>

#include "app/criteria.h"
#include "app/figure_groups.h"
#include "app/warning_collector.h"
#include "distrib/fp_check.h"

namespace {

constexpr std::int32_t kLevel = kCredible_level;

}  // namespace

namespace {

void Require_finite_record(const tDeficit_results& d, const char* task) {
  const std::string prefix = std::string("the deficit test on task ") + task + ": ";
  const struct {
    Extended value;
    const char* name;
  } items[] = {{d.T_value, "t"},          {d.P_one_tailed, "p (one-tailed)"},
               {d.P_two_tailed, "p (two-tailed)"}, {d.Pct_below, "percentage below"},
               {d.Pct_lower, "lower limit of the percentage"},
               {d.Pct_upper, "upper limit of the percentage"},
               {d.Zcc, "Z-CC"}, {d.Zcc_lower, "lower limit of Z-CC"},
               {d.Zcc_upper, "upper limit of Z-CC"}};
  for (const auto& item : items) Require_finite(item.value, (prefix + item.name).c_str());
}

}  // namespace

tRun_results Compute_analysis(const tChecked_inputs& in, const tRun_options& options,
                              const tProgress_observer* observer) {
  tRun_results r;
  const tWarning_collector warnings(r.Warnings);
  r.Inputs = in;
  r.Options = options;
  const Extended n_real = in.N;
  // Between the interval searches (each well under half a second) a request to stop is
  // honoured; the engine honours it within its draws.
  const auto checkpoint = [observer] {
    if (observer != nullptr && observer->Cancel_requested()) throw ECancelled();
  };
  Clear_fp_faults();

  // One pass per task: the deficit test, the abnormality limits and the interval
  // estimates of Z-CC from the same two non-central t searches.
  Deficit_test_intervals(true, r.Deficit_x_results, in.Case_x, in.Mean_x, in.Sd_x, n_real,
                         kLevel);
  checkpoint();
  Deficit_test_intervals(true, r.Deficit_y_results, in.Case_y, in.Mean_y, in.Sd_y, n_real,
                         kLevel);
  const tDeficit_results& dx = r.Deficit_x_results;
  const tDeficit_results& dy = r.Deficit_y_results;

  if (options.Criteria == tCriteria::Combined) {
    Rsdt(in.Case_x, in.Case_y, in.Mean_x, in.Sd_x, in.Mean_y, in.Sd_y, in.N, in.R_xy,
         r.Rsdt_p_two_tailed, r.Rsdt_p_one_tailed, r.Rsdt_t);
    r.Rsdt_computed = true;
  }

  checkpoint();

  // The engine of the chosen prior; it resets the generator's seeds, so the same inputs
  // give the same draws. Equal-tailed limits whatever the tail option.
  tBSDT_inputs engine;
  engine.Prior = options.Prior;
  engine.N = in.N;
  engine.Iterations = options.Iterations;
  engine.Reset_seed = true;
  engine.Mean_x = in.Mean_x;
  engine.Sd_x = in.Sd_x;
  engine.Mean_y = in.Mean_y;
  engine.Sd_y = in.Sd_y;
  engine.R_xy = in.R_xy;
  engine.Case_x = in.Case_x;
  engine.Case_y = in.Case_y;
  engine.Two_sided = true;
  engine.Level = kLevel;
  engine.Threads = options.Engine_threads;
  Run_BSDT(engine, r.Bsdt, observer, &r.Bsdt_precision);

  r.Z_x = (in.Case_x - in.Mean_x) / in.Sd_x;
  r.Z_y = (in.Case_y - in.Mean_y) / in.Sd_y;

  // Nothing non-finite may reach a report: a value that is not a number ends the run with
  // a readable message instead.
  Require_finite(r.Z_x, "the z score on task X");
  Require_finite(r.Z_y, "the z score on task Y");
  Require_finite_record(dx, "X");
  Require_finite_record(dy, "Y");
  if (r.Rsdt_computed) {
    Require_finite(r.Rsdt_t, "the RSDT t value");
    Require_finite(r.Rsdt_p_two_tailed, "the RSDT p (two-tailed)");
    Require_finite(r.Rsdt_p_one_tailed, "the RSDT p (one-tailed)");
  }
  const struct {
    Extended value;
    const char* name;
  } bsdt[] = {{r.Bsdt.P_one_tailed, "the BSDT p (one-tailed)"},
              {r.Bsdt.P_two_tailed, "the BSDT p (two-tailed)"},
              {r.Bsdt.Pct_more_extreme, "the BSDT percentage more extreme"},
              {r.Bsdt.Pct_lower, "the BSDT lower limit of the percentage"},
              {r.Bsdt.Pct_upper, "the BSDT upper limit of the percentage"},
              {r.Bsdt.Zdcc, "Z-DCC"},
              {r.Bsdt.Zdcc_lower, "the lower limit of Z-DCC"},
              {r.Bsdt.Zdcc_upper, "the upper limit of Z-DCC"}};
  for (const auto& item : bsdt) Require_finite(item.value, item.name);

  Apply_criteria(r);
  Fill_figures(r);
  return r;
}

void Apply_criteria(tRun_results& r) {
  const bool combined = r.Options.Criteria == tCriteria::Combined;
  const bool two_tailed = r.Options.Tail == tTail::Two;
  r.Deficit_x = Meets_deficit(r.Deficit_x_results);
  r.Deficit_y = Meets_deficit(r.Deficit_y_results);
  r.Bsdt_significant = Significant(two_tailed ? r.Bsdt.P_two_tailed : r.Bsdt.P_one_tailed);
  r.Rsdt_significant =
      combined && Significant(two_tailed ? r.Rsdt_p_two_tailed : r.Rsdt_p_one_tailed);
  r.Classification =
      Classify(static_cast<int>(r.Deficit_x) + static_cast<int>(r.Deficit_y),
               r.Bsdt_significant && (!combined || r.Rsdt_significant));
  r.Strong = r.Classification == tClassification::Strong;
  r.Classical = r.Classification == tClassification::Classical;
  r.Neither = r.Classification == tClassification::Neither;
}

void Fill_figures(tRun_results& r) {
  using K = tFigure_kind;
  const tChecked_inputs& in = r.Inputs;
  const std::int32_t df = in.N - 1;
  tFigure_table t;

  const auto input = [&](const char* key, const char* unit, Extended value, int field) {
    t.Add("inputs", key, key, K::Input, unit, value).Text_decimals =
        in.Decimals[static_cast<std::size_t>(field)];
  };
  input("mean_x", kUnit_score, in.Mean_x, 0);
  input("sd_x", kUnit_score, in.Sd_x, 1);
  input("mean_y", kUnit_score, in.Mean_y, 2);
  input("sd_y", kUnit_score, in.Sd_y, 3);
  input("r", "", in.R_xy, 4);
  t.Add("inputs", "n", "n", K::Input, "", std::int64_t{in.N});
  input("case_x", kUnit_score, in.Case_x, 6);
  input("case_y", kUnit_score, in.Case_y, 7);
  t.Add("inputs", "criteria", "criteria", K::Option, "",
        std::string(Words(r.Options.Criteria).Key));
  t.Add("inputs", "tail", "tail", K::Option, "", std::string(Words(r.Options.Tail).Key));
  t.Add("inputs", "prior", "prior", K::Option, "", std::string(Words(r.Options.Prior).Key));
  t.Add("inputs", "iterations", "iterations", K::Option, "",
        std::int64_t{r.Options.Iterations});

  t.Add("", "z_x", "z_x", K::Z_score, kUnit_sd, static_cast<Extended>(r.Z_x));
  t.Add("", "z_y", "z_y", K::Z_score, kUnit_sd, static_cast<Extended>(r.Z_y));
  Add_deficit_group(t, "deficit_x", "x_", r.Deficit_x_results, df, r.Deficit_x);
  Add_deficit_group(t, "deficit_y", "y_", r.Deficit_y_results, df, r.Deficit_y);
  Add_bsdt_group(t, r.Bsdt, r.Bsdt_precision, r.Bsdt_significant);
  Add_rsdt_group(t, r.Rsdt_computed, r.Rsdt_t, df, r.Rsdt_p_one_tailed, r.Rsdt_p_two_tailed,
                 r.Rsdt_significant);

  t.Add("", "classification", "classification", K::Word, "",
        std::string(Words(r.Classification).Key));
  r.Figures = std::move(t);
}
