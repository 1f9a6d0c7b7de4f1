// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/analysis_run.h"

#include <cmath>

#include "app/criteria.h"
#include "app/figure_groups.h"
#include "app/toolkit_analysis.h"
#include "distrib/fp_check.h"

tRun_results Compute_analysis(const tChecked_inputs& in, const tRun_options& options,
                              const tProgress_observer* observer) {
  // The worksheet's analysis is the dissociation without covariates: one computation.
  tConditional_inputs inputs;
  inputs.N = in.N;
  inputs.Tasks = {{"Task X", in.Mean_x, in.Sd_x, in.Case_x}, {"Task Y", in.Mean_y, in.Sd_y, in.Case_y}};
  inputs.Correlations = {{1, in.R_xy}, {in.R_xy, 1}};
  tAnalysis_request request;
  request.Kind = tAnalysis_kind::Dissociation;
  request.Options = options;
  tAnalysis_record t = Run_checked_analysis(request, inputs, {observer});

  tRun_results r;
  r.Inputs = in;
  r.Options = options;
  r.Deficit_x_results = t.Deficit[0];
  r.Deficit_y_results = t.Deficit[1];
  r.Rsdt_computed = t.Rsdt_computed;
  r.Rsdt_p_two_tailed = t.Rsdt_p_two_tailed;
  r.Rsdt_p_one_tailed = t.Rsdt_p_one_tailed;
  r.Rsdt_t = t.Rsdt_t;
  r.Bsdt = t.Bsdt;
  r.Bsdt_precision = std::move(t.Bsdt_precision);
  r.Warnings = std::move(t.Warnings);
  r.Z_x = (in.Case_x - in.Mean_x) / in.Sd_x;
  r.Z_y = (in.Case_y - in.Mean_y) / in.Sd_y;
  Require_finite(r.Z_x, "the z score on task X");
  Require_finite(r.Z_y, "the z score on task Y");
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
