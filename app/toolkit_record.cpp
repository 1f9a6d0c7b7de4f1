// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/toolkit_record.h"

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

void Add_deficit(tGroup& g, const tDeficit_results& d, const std::string& effect) {
  g.Add("t_value", K::Statistic, "", d.T_value);
  g.Add("df", K::Degrees_of_freedom, "", static_cast<std::int64_t>(d.Df));
  g.Add("p_one_tailed", K::Probability, "", d.P_one_tailed);
  g.Add("p_two_tailed", K::Probability, "", d.P_two_tailed);
  g.Add("pct_below", K::Percentage, "%", d.Pct_below);
  // A limit beyond the search's reach is written as the bound it lies beyond, "<x" or ">x".
  const auto limit = [](Extended value, int beyond) -> tFigure_value {
    if (beyond == 0) return value;
    return Beyond_reach_text(beyond, value);
  };
  g.Add("pct_lower", K::Percentage, "%", limit(d.Pct_lower, d.Pct_lower_beyond_reach));
  g.Add("pct_upper", K::Percentage, "%", limit(d.Pct_upper, d.Pct_upper_beyond_reach));
  g.Add(effect, K::Effect_size, "SD", d.Zcc);
  g.Add(effect + "_lower", K::Effect_size, "SD", limit(d.Zcc_lower, d.Lower_beyond_reach));
  g.Add(effect + "_upper", K::Effect_size, "SD", limit(d.Zcc_upper, d.Upper_beyond_reach));
}

}  // namespace

std::string Kind_name(tToolkit_kind kind) {
  switch (kind) {
    case tToolkit_kind::Deficit: return "deficit";
    case tToolkit_kind::Dissociation: return "dissociation";
    case tToolkit_kind::Udt: return "udt";
  }
  return "";
}

tFigure_table Toolkit_figures(const tToolkit_results& r) {
  tFigure_table t;
  tGroup top(t, "", "");
  top.Add("analysis", K::Word, "", Kind_name(r.Kind));
  tGroup inputs(t, "inputs", "");
  inputs.Add("n", K::Input, "", static_cast<std::int64_t>(r.Inputs.N));
  const auto variable = [&inputs](const std::string& key, const tVariable_summary& v) {
    inputs.Add(key + "_name", K::Word, "", v.Name);
    inputs.Add(key + "_mean", K::Input, "score", v.Mean);
    inputs.Add(key + "_sd", K::Input, "score", v.Sd);
    inputs.Add(key + "_case", K::Input, "score", v.Case);
  };
  for (std::size_t i = 0; i < r.Inputs.Covariates.size(); ++i)
    variable("covariate" + std::to_string(i + 1), r.Inputs.Covariates[i]);
  const bool two = r.Inputs.Tasks.size() == 2;
  for (std::size_t j = 0; j < r.Inputs.Tasks.size(); ++j)
    variable(two ? (j == 0 ? "task_x" : "task_y") : "task", r.Inputs.Tasks[j]);
  const std::size_t p = r.Inputs.Correlations.size();
  for (std::size_t i = 1; i < p; ++i)
    for (std::size_t j = 0; j < i; ++j)
      inputs.Add("r_" + std::to_string(j + 1) + "_" + std::to_string(i + 1), K::Input, "",
                 r.Inputs.Correlations[i][j]);
  inputs.Add("tail", K::Option, "", std::string(Words(r.Options.Tail).Key));
  if (r.Kind == tToolkit_kind::Dissociation) {
    inputs.Add("criteria", K::Option, "", std::string(Words(r.Options.Criteria).Key));
    inputs.Add("prior", K::Option, "", std::string(Words(r.Options.Prior).Key));
    inputs.Add("udt", K::Option, "", r.With_udt);
  }
  if (r.Kind != tToolkit_kind::Udt)
    inputs.Add("iterations", K::Option, "", static_cast<std::int64_t>(r.Options.Iterations));

  const std::string effect = r.Model.M > 0 ? "zccc" : "zcc";
  if (r.Kind != tToolkit_kind::Udt) {
    tGroup model(t, "model", "model_");
    model.Add("covariates", K::Degrees_of_freedom, "", static_cast<std::int64_t>(r.Model.M));
    model.Add("leverage", K::Statistic, "", r.Model.Leverage);
    for (std::size_t j = 0; j < r.Model.Predicted.size(); ++j) {
      const std::string key = two ? (j == 0 ? "x_" : "y_") : "";
      model.Add(key + "predicted", K::Statistic, "score", r.Model.Predicted[j]);
      model.Add(key + "residual_sd", K::Statistic, "score", r.Model.Residual_sd[j]);
    }
    if (two) model.Add("residual_r", K::Statistic, "", r.Model.Residual_r);
  }
  for (std::size_t j = 0; j < r.Deficit.size(); ++j) {
    const std::string group = two ? (j == 0 ? "deficit_x" : "deficit_y") : "deficit";
    tGroup g(t, group, group + "_");
    Add_deficit(g, r.Deficit[j], effect);
    g.Add("deficit", K::Flag, "", static_cast<bool>(r.Deficit_met[j]));
  }
  if (r.Bayesian_computed) {
    tGroup g(t, "bayesian_deficit", "bayesian_");
    const tBayesian_deficit_results& d = r.Bayesian;
    g.Add("p_one_tailed", K::Probability, "", d.P_one_tailed);
    g.Add("p_two_tailed", K::Probability, "", d.P_two_tailed);
    g.Add("p_one_tailed_mc_se", K::Standard_error, "", d.P_one_tailed_mc_se);
    g.Add("pct_more_extreme", K::Percentage, "%", d.Pct_more_extreme);
    g.Add("pct_lower", K::Percentage, "%", d.Pct_lower);
    g.Add("pct_upper", K::Percentage, "%", d.Pct_upper);
    g.Add(effect, K::Effect_size, "SD", d.Zccc);
    g.Add(effect + "_lower", K::Effect_size, "SD", d.Zccc_lower);
    g.Add(effect + "_upper", K::Effect_size, "SD", d.Zccc_upper);
  }
  if (r.Bsdt_computed) {
    tGroup g(t, "bsdt", "bsdt_");
    g.Add("p_one_tailed", K::Probability, "", r.Bsdt.P_one_tailed);
    g.Add("p_two_tailed", K::Probability, "", r.Bsdt.P_two_tailed);
    g.Add("p_one_tailed_mc_se", K::Standard_error, "", r.Bsdt_precision.P_one_tailed_mc_se);
    g.Add("pct_more_extreme", K::Percentage, "%", r.Bsdt.Pct_more_extreme);
    g.Add("pct_lower", K::Percentage, "%", r.Bsdt.Pct_lower);
    g.Add("pct_upper", K::Percentage, "%", r.Bsdt.Pct_upper);
    g.Add("zdcc", K::Effect_size, "SD", r.Bsdt.Zdcc);
    g.Add("zdcc_lower", K::Effect_size, "SD", r.Bsdt.Zdcc_lower);
    g.Add("zdcc_upper", K::Effect_size, "SD", r.Bsdt.Zdcc_upper);
    g.Add("significant", K::Flag, "", r.Bsdt_significant);
  }
  if (r.Rsdt_computed) {
    tGroup g(t, "rsdt", "rsdt_");
    g.Add("t_value", K::Statistic, "", r.Rsdt_t);
    g.Add("p_one_tailed", K::Probability, "", static_cast<Extended>(r.Rsdt_p_one_tailed));
    g.Add("p_two_tailed", K::Probability, "", static_cast<Extended>(r.Rsdt_p_two_tailed));
    g.Add("significant", K::Flag, "", r.Rsdt_significant);
  }
  if (r.Udt_computed) {
    tGroup g(t, "udt", "udt_");
    Add_deficit(g, r.Udt, "zcc");
  }
  if (r.Kind == tToolkit_kind::Dissociation) {
    const tClassification c = r.Strong ? tClassification::Strong
                                       : (r.Classical ? tClassification::Classical
                                                      : tClassification::Neither);
    top.Add("classification", K::Word, "", std::string(Words(c).Key));
  }
  return t;
}
