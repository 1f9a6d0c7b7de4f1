// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/analysis_run.h"

#include <cmath>

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
  r.Inputs = in;
  r.Options = options;
  r.Criteria_option = options.Criteria == tCriteria::Combined ? 2 : 1;
  const Extended n_real = in.N;
  // Between the interval searches (each well under half a second) a request to stop is
  // honoured; the engine honours it within its draws.
  const auto checkpoint = [observer] {
    if (observer != nullptr && observer->Cancel_requested()) throw ECancelled();
  };
  Clear_fp_faults();

  // Deficit test and abnormality limits for X, then for Y.
  tDeficit_results& dx = r.Deficit_x_results;
  tDeficit_results& dy = r.Deficit_y_results;
  Deficit_test(in.Case_x, in.Mean_x, in.Sd_x, n_real, dx.T_value, dx.P_two_tailed,
               dx.P_one_tailed, dx.Pct_below);
  Abnormality_interval(true, in.Case_x, in.Mean_x, in.Sd_x, n_real, kLevel, dx.Pct_upper,
                       dx.Pct_lower);
  checkpoint();
  Deficit_test(in.Case_y, in.Mean_y, in.Sd_y, n_real, dy.T_value, dy.P_two_tailed,
               dy.P_one_tailed, dy.Pct_below);
  Abnormality_interval(true, in.Case_y, in.Mean_y, in.Sd_y, n_real, kLevel, dy.Pct_upper,
                       dy.Pct_lower);
  checkpoint();

  // The interval estimates of Z-CC; only the effect sizes are taken from these records.
  tDeficit_results effect_x, effect_y;
  Deficit_test_intervals(true, effect_x, in.Case_x, in.Mean_x, in.Sd_x, n_real, kLevel);
  checkpoint();
  Deficit_test_intervals(true, effect_y, in.Case_y, in.Mean_y, in.Sd_y, n_real, kLevel);
  for (auto [to, from] : {std::pair{&dx, &effect_x}, std::pair{&dy, &effect_y}}) {
    to->Zcc = from->Zcc;
    to->Zcc_lower = from->Zcc_lower;
    to->Zcc_upper = from->Zcc_upper;
    to->Df = in.N - 1;
  }

  if (r.Criteria_option == 2) {
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
  return r;
}
