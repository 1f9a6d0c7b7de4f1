// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/toolkit_record.h"

namespace {

class tBuilder {
 public:
  std::vector<tRecord_entry> entries;
  std::string group;
  void Number(const std::string& name, Extended v) {
    entries.push_back({group, name, static_cast<double>(v)});
  }
  void Integer(const std::string& name, std::int64_t v) { entries.push_back({group, name, v}); }
  void Flag(const std::string& name, bool v) { entries.push_back({group, name, v}); }
  void Text(const std::string& name, const std::string& v) { entries.push_back({group, name, v}); }
};

void Add_deficit(tBuilder& b, const tDeficit_results& d, const std::string& effect) {
  b.Number("t_value", d.T_value);
  b.Integer("df", static_cast<std::int64_t>(d.Df));
  b.Number("p_one_tailed", d.P_one_tailed);
  b.Number("p_two_tailed", d.P_two_tailed);
  b.Number("pct_below", d.Pct_below);
  b.Number("pct_lower", d.Pct_lower);
  b.Number("pct_upper", d.Pct_upper);
  b.Number(effect, d.Zcc);
  b.Number(effect + "_lower", d.Zcc_lower);
  b.Number(effect + "_upper", d.Zcc_upper);
}

const char* Prior_name(tPrior p) { return p == tPrior::Standard ? "jeffreys" : "calibrated"; }

}  // namespace

std::string Kind_name(tToolkit_kind kind) {
  switch (kind) {
    case tToolkit_kind::Deficit: return "deficit";
    case tToolkit_kind::Dissociation: return "dissociation";
    case tToolkit_kind::Udt: return "udt";
  }
  return "";
}

std::vector<tRecord_entry> Toolkit_record(const tToolkit_results& r) {
  tBuilder b;
  b.Text("analysis", Kind_name(r.Kind));
  b.Integer("n", r.Inputs.N);
  b.Integer("covariates", static_cast<std::int64_t>(r.Inputs.Covariates.size()));
  b.Text("tail", r.Options.Tail == tTail::One ? "one" : "two");
  if (r.Kind == tToolkit_kind::Dissociation) {
    b.Text("criteria", r.Options.Criteria == tCriteria::Combined ? "combined" : "bayesian");
    b.Text("prior", Prior_name(r.Options.Prior));
  }
  if (r.Kind != tToolkit_kind::Udt) b.Integer("iterations", r.Options.Iterations);
  const std::string effect = r.Model.M > 0 ? "zccc" : "zcc";
  if (r.Model.M > 0) b.Number("leverage", r.Model.Leverage);
  for (std::size_t j = 0; j < r.Deficit.size(); ++j) {
    b.group = r.Deficit.size() == 1 ? "deficit" : (j == 0 ? "deficit_x" : "deficit_y");
    b.Text("task", r.Inputs.Tasks[j].Name);
    b.Number("predicted", r.Model.Predicted[j]);
    b.Number("residual_sd", r.Model.Residual_sd[j]);
    Add_deficit(b, r.Deficit[j], effect);
    b.Flag("deficit", r.Deficit_met[j]);
  }
  if (r.Bayesian_computed) {
    b.group = "bayesian_deficit";
    const tBayesian_deficit_results& d = r.Bayesian;
    b.Number("p_one_tailed", d.P_one_tailed);
    b.Number("p_two_tailed", d.P_two_tailed);
    b.Number("p_one_tailed_mc_se", d.P_one_tailed_mc_se);
    b.Number("pct_more_extreme", d.Pct_more_extreme);
    b.Number("pct_lower", d.Pct_lower);
    b.Number("pct_upper", d.Pct_upper);
    b.Number(effect, d.Zccc);
    b.Number(effect + "_lower", d.Zccc_lower);
    b.Number(effect + "_upper", d.Zccc_upper);
  }
  if (r.Bsdt_computed) {
    b.group = "bsdt";
    b.Number("residual_r", r.Model.Residual_r);
    b.Number("p_one_tailed", r.Bsdt.P_one_tailed);
    b.Number("p_two_tailed", r.Bsdt.P_two_tailed);
    b.Number("p_one_tailed_mc_se", r.Bsdt_precision.P_one_tailed_mc_se);
    b.Number("pct_more_extreme", r.Bsdt.Pct_more_extreme);
    b.Number("pct_lower", r.Bsdt.Pct_lower);
    b.Number("pct_upper", r.Bsdt.Pct_upper);
    b.Number("zdcc", r.Bsdt.Zdcc);
    b.Number("zdcc_lower", r.Bsdt.Zdcc_lower);
    b.Number("zdcc_upper", r.Bsdt.Zdcc_upper);
    b.Flag("significant", r.Bsdt_significant);
  }
  if (r.Rsdt_computed) {
    b.group = "rsdt";
    b.Number("t_value", r.Rsdt_t);
    b.Number("p_one_tailed", r.Rsdt_p_one_tailed);
    b.Number("p_two_tailed", r.Rsdt_p_two_tailed);
    b.Flag("significant", r.Rsdt_significant);
  }
  if (r.Udt_computed) {
    b.group = "udt";
    Add_deficit(b, r.Udt, "zcc");
  }
  if (r.Kind == tToolkit_kind::Dissociation) {
    b.group = "";
    b.Text("classification", r.Strong ? "strong" : (r.Classical ? "classical" : "neither"));
  }
  return b.entries;
}
