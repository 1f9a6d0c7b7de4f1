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
  return r;
}

namespace {

// Units of the figures.
const char* const kPercent = "%";
const char* const kSd = "SD";
const char* const kScore = "score";

void Add_deficit(tFigure_table& t, const char* group, const std::string& prefix,
                 const tDeficit_results& d, std::int32_t df, bool deficit) {
  using K = tFigure_kind;
  const auto add = [&](const char* key, K kind, const char* unit, tFigure_value v) {
    t.Add(group, key, prefix + key, kind, unit, std::move(v));
  };
  add("t_value", K::Statistic, "", d.T_value);
  add("df", K::Degrees_of_freedom, "", std::int64_t{df});
  add("p_one_tailed", K::Probability, "", d.P_one_tailed);
  add("p_two_tailed", K::Probability, "", d.P_two_tailed);
  add("pct_below", K::Percentage, kPercent, d.Pct_below);
  // A limit beyond the search's reach is written as the bound it lies beyond, "<x" or ">x".
  const auto limit = [](Extended value, int beyond) -> tFigure_value {
    if (beyond == 0) return value;
    return Beyond_reach_text(beyond, value);
  };
  add("pct_lower", K::Percentage, kPercent, limit(d.Pct_lower, d.Pct_lower_beyond_reach));
  add("pct_upper", K::Percentage, kPercent, limit(d.Pct_upper, d.Pct_upper_beyond_reach));
  add("zcc", K::Effect_size, kSd, d.Zcc);
  add("zcc_lower", K::Effect_size, kSd, limit(d.Zcc_lower, d.Lower_beyond_reach));
  add("zcc_upper", K::Effect_size, kSd, limit(d.Zcc_upper, d.Upper_beyond_reach));
  add("deficit", K::Flag, "", deficit);
}

}  // namespace

void Fill_figures(tRun_results& r) {
  using K = tFigure_kind;
  const tChecked_inputs& in = r.Inputs;
  const std::int32_t df = in.N - 1;
  tFigure_table t;

  const auto input = [&](const char* key, const char* unit, Extended value, int field) {
    t.Add("inputs", key, key, K::Input, unit, value).Text_decimals =
        in.Decimals[static_cast<std::size_t>(field)];
  };
  input("mean_x", kScore, in.Mean_x, 0);
  input("sd_x", kScore, in.Sd_x, 1);
  input("mean_y", kScore, in.Mean_y, 2);
  input("sd_y", kScore, in.Sd_y, 3);
  input("r", "", in.R_xy, 4);
  t.Add("inputs", "n", "n", K::Input, "", std::int64_t{in.N});
  input("case_x", kScore, in.Case_x, 6);
  input("case_y", kScore, in.Case_y, 7);
  t.Add("inputs", "criteria", "criteria", K::Option, "",
        std::string(Words(r.Options.Criteria).Key));
  t.Add("inputs", "tail", "tail", K::Option, "", std::string(Words(r.Options.Tail).Key));
  t.Add("inputs", "prior", "prior", K::Option, "", std::string(Words(r.Options.Prior).Key));
  t.Add("inputs", "iterations", "iterations", K::Option, "",
        std::int64_t{r.Options.Iterations});

  t.Add("", "z_x", "z_x", K::Z_score, kSd, static_cast<Extended>(r.Z_x));
  t.Add("", "z_y", "z_y", K::Z_score, kSd, static_cast<Extended>(r.Z_y));
  Add_deficit(t, "deficit_x", "x_", r.Deficit_x_results, df, r.Deficit_x);
  Add_deficit(t, "deficit_y", "y_", r.Deficit_y_results, df, r.Deficit_y);

  const tBSDT_results& b = r.Bsdt;
  const auto bsdt = [&](const char* key, K kind, const char* unit, tFigure_value v) -> tFigure& {
    return t.Add("bsdt", key, std::string("bsdt_") + key, kind, unit, std::move(v));
  };
  bsdt("p_one_tailed", K::Probability, "", b.P_one_tailed);
  bsdt("p_two_tailed", K::Probability, "", b.P_two_tailed);
  bsdt("pct_more_extreme", K::Percentage, kPercent, b.Pct_more_extreme);
  bsdt("pct_lower", K::Percentage, kPercent, b.Pct_lower);
  bsdt("pct_upper", K::Percentage, kPercent, b.Pct_upper);
  bsdt("zdcc", K::Effect_size, kSd, b.Zdcc);
  bsdt("zdcc_lower", K::Effect_size, kSd, b.Zdcc_lower);
  bsdt("zdcc_upper", K::Effect_size, kSd, b.Zdcc_upper);
  bsdt("significant", K::Flag, "", r.Bsdt_significant);
  bsdt("p_one_tailed_mc_se", K::Standard_error, "", r.Bsdt_precision.P_one_tailed_mc_se)
      .Added_later = true;
  bsdt("p_two_tailed_mc_se", K::Standard_error, "", r.Bsdt_precision.P_two_tailed_mc_se)
      .Added_later = true;

  const bool rsdt = r.Rsdt_computed;
  const auto value = [rsdt](tFigure_value v) { return rsdt ? v : tFigure_value{}; };
  t.Add("rsdt", "t_value", "rsdt_t_value", K::Statistic, "", value(r.Rsdt_t));
  t.Add("rsdt", "df", "rsdt_df", K::Degrees_of_freedom, "", value(std::int64_t{df}));
  t.Add("rsdt", "p_one_tailed", "rsdt_p_one_tailed", K::Probability, "",
        value(static_cast<Extended>(r.Rsdt_p_one_tailed)));
  t.Add("rsdt", "p_two_tailed", "rsdt_p_two_tailed", K::Probability, "",
        value(static_cast<Extended>(r.Rsdt_p_two_tailed)));
  t.Add("rsdt", "significant", "rsdt_significant", K::Flag, "", value(r.Rsdt_significant));

  t.Add("", "classification", "classification", K::Word, "",
        std::string(Words(r.Classification).Key));
  r.Figures = std::move(t);
}
