// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/toolkit_record.h"

#include <cmath>

#include "app/criteria.h"
#include "app/figure_groups.h"
#include "app/record_writers.h"

namespace {

using K = tFigure_kind;

// Adds figures of one group; each figure's name is the group's prefix and its key.
class tGroup {
 public:
  tGroup(tFigure_table& table, std::string group, std::string prefix)
      : table_(table), group_(std::move(group)), prefix_(std::move(prefix)) {}
  void Add(const std::string& key, K kind, const std::string& unit, tFigure_value value) {
    table_.Add(group_, key, prefix_ + key, kind, unit, std::move(value));
  }

 private:
  tFigure_table& table_;
  std::string group_, prefix_;
};

}  // namespace

tAnalysis_record Blank_toolkit_results(const tAnalysis_request& q) {
  tAnalysis_record r;
  r.Kind = q.Kind;
  r.Options = q.Options;
  r.With_udt = q.With_udt;
  const std::vector<std::string> names = Variable_names(q);
  for (std::size_t i = 0; i < q.Covariates.size(); ++i) r.Inputs.Covariates.push_back({names[i], 0, 1, 0});
  for (std::size_t j = 0; j < q.Tasks.size(); ++j)
    r.Inputs.Tasks.push_back({names[q.Covariates.size() + j], 0, 1, 0});
  const std::size_t p = names.size();
  r.Inputs.Correlations.assign(p, std::vector<Extended>(p, 0));
  r.Model.M = static_cast<int>(q.Covariates.size());
  r.Model.Predicted.assign(q.Tasks.size(), 0);
  r.Model.Residual_sd.assign(q.Tasks.size(), 0);
  if (q.Kind != tAnalysis_kind::Udt) {
    r.Deficit.assign(q.Tasks.size(), tDeficit_results{});
    r.Deficit_met.assign(q.Tasks.size(), false);
  }
  r.Bayesian_computed = q.Kind == tAnalysis_kind::Deficit;
  r.Bsdt_computed = q.Kind == tAnalysis_kind::Dissociation;
  r.Rsdt_computed = r.Bsdt_computed && q.Options.Criteria == tCriteria::Combined;
  r.Udt_computed = q.Kind == tAnalysis_kind::Udt || (r.Bsdt_computed && q.With_udt);
  return r;
}

tFigure_table Toolkit_figures(const tAnalysis_record& r) {
  tFigure_table t;
  tGroup top(t, "", "");
  const bool dissociation = r.Kind == tAnalysis_kind::Dissociation;
  const bool two = r.Inputs.Tasks.size() == 2;
  const std::size_t m = r.Inputs.Covariates.size();
  // A dissociation's figures are named and ordered as the worksheet's (which is the
  // dissociation without covariates): its record has no "analysis" word.
  if (!dissociation) top.Add("analysis", K::Word, "", Analysis_word(r.Kind));
  tGroup inputs(t, "inputs", "");
  const auto task = [&](std::size_t j, const char* key) {
    return std::string(key) + (two ? (j == 0 ? "_x" : "_y") : "");
  };
  // The tasks as the worksheet lists them: means and SDs, the correlation, N, the scores.
  for (std::size_t j = 0; j < r.Inputs.Tasks.size(); ++j) {
    inputs.Add(task(j, "mean"), K::Input, kUnit_score, r.Inputs.Tasks[j].Mean);
    inputs.Add(task(j, "sd"), K::Input, kUnit_score, r.Inputs.Tasks[j].Sd);
  }
  if (two) inputs.Add("r", K::Input, "", r.Inputs.Correlations[m + 1][m]);
  inputs.Add("n", K::Input, "", static_cast<std::int64_t>(r.Inputs.N));
  for (std::size_t j = 0; j < r.Inputs.Tasks.size(); ++j)
    inputs.Add(task(j, "case"), K::Input, kUnit_score, r.Inputs.Tasks[j].Case);
  // Names other than the defaults.
  for (std::size_t j = 0; j < r.Inputs.Tasks.size(); ++j) {
    const std::string& name = r.Inputs.Tasks[j].Name;
    const char* default_name = two ? (j == 0 ? "Task X" : "Task Y") : "Task";
    if (name != default_name) inputs.Add(task(j, "name"), K::Word, "", name);
  }
  for (std::size_t i = 0; i < m; ++i) {
    const std::string key = "covariate" + std::to_string(i + 1);
    const tVariable_summary& v = r.Inputs.Covariates[i];
    inputs.Add(key + "_name", K::Word, "", v.Name);
    inputs.Add(key + "_mean", K::Input, kUnit_score, v.Mean);
    inputs.Add(key + "_sd", K::Input, kUnit_score, v.Sd);
    inputs.Add(key + "_case", K::Input, kUnit_score, v.Case);
  }
  // The correlations with the covariates, r_<i>_<j> in the matrix's numbering.
  for (std::size_t i = 1; i < r.Inputs.Correlations.size(); ++i)
    for (std::size_t j = 0; j < i && j < m; ++j)
      inputs.Add("r_" + std::to_string(j + 1) + "_" + std::to_string(i + 1), K::Input, "",
                 r.Inputs.Correlations[i][j]);
  if (dissociation) {
    inputs.Add("criteria", K::Option, "", std::string(Words(r.Options.Criteria).Key));
    inputs.Add("tail", K::Option, "", std::string(Words(r.Options.Tail).Key));
    inputs.Add("prior", K::Option, "", std::string(Words(r.Options.Prior).Key));
  } else {
    inputs.Add("tail", K::Option, "", std::string(Words(r.Options.Tail).Key));
  }
  if (r.Kind != tAnalysis_kind::Udt)
    inputs.Add("iterations", K::Option, "", static_cast<std::int64_t>(r.Options.Iterations));
  if (dissociation && r.With_udt) inputs.Add("udt", K::Option, "", r.With_udt);

  if (dissociation) {
    // The case's z scores on the controls' raw figures, in double as the worksheet's.
    for (std::size_t j = 0; j < 2; ++j) {
      const tVariable_summary& v = r.Inputs.Tasks[j];
      const double z = (static_cast<double>(v.Case) - static_cast<double>(v.Mean)) /
                       static_cast<double>(v.Sd);
      top.Add(j == 0 ? "z_x" : "z_y", K::Z_score, kUnit_sd, static_cast<Extended>(z));
    }
  }

  const std::string effect = r.Model.M > 0 ? "zccc" : "zcc";
  if (r.Kind != tAnalysis_kind::Udt && r.Model.M > 0) {
    tGroup model(t, "model", "model_");
    model.Add("covariates", K::Degrees_of_freedom, "", static_cast<std::int64_t>(r.Model.M));
    model.Add("leverage", K::Statistic, "", r.Model.Leverage);
    for (std::size_t j = 0; j < r.Model.Predicted.size(); ++j) {
      const std::string key = two ? (j == 0 ? "x_" : "y_") : "";
      model.Add(key + "predicted", K::Statistic, kUnit_score, r.Model.Predicted[j]);
      model.Add(key + "residual_sd", K::Statistic, kUnit_score, r.Model.Residual_sd[j]);
      // The case's distance from its predicted score, in residual SDs.
      const Extended z = r.Model.Residual_sd[j] > 0
                             ? (r.Model.Case.size() > j ? r.Model.Case[j] - r.Model.Predicted[j] : 0) /
                                   r.Model.Residual_sd[j]
                             : 0;
      model.Add(key + "z", K::Z_score, kUnit_sd, z);
    }
    if (two) model.Add("residual_r", K::Statistic, "", r.Model.Residual_r);
    if (!two) {
      // The multiple correlation R of the task on the covariates, from the residual
      // variance (R^2 = 1 - s^2 (N - m - 1) / (sd^2 (N - 1))), and the prediction in
      // units of sd R: the coordinates of the deficit's picture.
      const tVariable_summary& y = r.Inputs.Tasks[0];
      const Extended explained =
          r.Inputs.N > 1 && y.Sd > 0
              ? 1 - (r.Model.Residual_sd[0] * r.Model.Residual_sd[0]) / (y.Sd * y.Sd) *
                        static_cast<Extended>(r.Model.Df) / static_cast<Extended>(r.Inputs.N - 1)
              : 0;
      const Extended multiple_r = explained > 0 ? std::sqrt(explained) : 0;
      model.Add("multiple_r", K::Statistic, "", multiple_r);
      model.Add("predicted_z", K::Z_score, kUnit_sd,
                multiple_r > 0 ? (r.Model.Predicted[0] - y.Mean) / (y.Sd * multiple_r) : 0);
    }
  }
  for (std::size_t j = 0; j < r.Deficit.size(); ++j) {
    const std::string group = two ? (j == 0 ? "deficit_x" : "deficit_y") : "deficit";
    const std::string prefix = two ? (j == 0 ? "x_" : "y_") : "";
    Add_deficit_group(t, group, prefix, r.Deficit[j], static_cast<std::int64_t>(r.Deficit[j].Df),
                      static_cast<bool>(r.Deficit_met[j]), effect);
  }
  if (r.Bayesian_computed) {
    tGroup g(t, "bayesian_deficit", "bayesian_");
    const tBayesian_deficit_results& d = r.Bayesian;
    g.Add("p_one_tailed", K::Probability, "", d.P_one_tailed);
    g.Add("p_two_tailed", K::Probability, "", d.P_two_tailed);
    g.Add("pct_more_extreme", K::Percentage, kUnit_percent, d.Pct_more_extreme);
    g.Add("pct_lower", K::Percentage, kUnit_percent, d.Pct_lower);
    g.Add("pct_upper", K::Percentage, kUnit_percent, d.Pct_upper);
    g.Add(effect, K::Effect_size, kUnit_sd, d.Zccc);
    g.Add(effect + "_lower", K::Effect_size, kUnit_sd, d.Zccc_lower);
    g.Add(effect + "_upper", K::Effect_size, kUnit_sd, d.Zccc_upper);
    g.Add("p_one_tailed_mc_se", K::Standard_error, "", d.P_one_tailed_mc_se);
  }
  if (dissociation) {
    Add_bsdt_group(t, r.Bsdt, r.Bsdt_precision, r.Bsdt_significant);
    Add_rsdt_group(t, r.Rsdt_computed, r.Rsdt_t, static_cast<std::int64_t>(r.Inputs.N) - 1,
                   r.Rsdt_p_one_tailed, r.Rsdt_p_two_tailed, r.Rsdt_significant);
  }
  if (r.Udt_computed) Add_deficit_group(t, "udt", "udt_", r.Udt, static_cast<std::int64_t>(r.Udt.Df),
                                        Meets_deficit(r.Udt));
  if (dissociation) {
    const tClassification c = r.Strong ? tClassification::Strong
                                       : (r.Classical ? tClassification::Classical
                                                      : tClassification::Neither);
    top.Add("classification", K::Word, "", std::string(Words(c).Key));
  }
  return t;
}

std::string Toolkit_json(const tAnalysis_record& results) {
  return Record_json(Toolkit_figures(results), [&results](const std::string& group) -> std::string {
    if (group != "bsdt") return "";
    return ", \"zdcc_histogram\": " + Histogram_json(results.Bsdt_precision.Zdcc_histogram);
  });
}
