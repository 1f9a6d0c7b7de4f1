// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/figure_groups.h"

#include <utility>

const char kUnit_percent[] = "%";
const char kUnit_sd[] = "SD";
const char kUnit_score[] = "score";

void Add_deficit_group(tFigure_table& t, const std::string& group, const std::string& prefix,
                       const tDeficit_results& d, std::int64_t df, bool deficit,
                       const std::string& effect_key) {
  using K = tFigure_kind;
  const auto add = [&](const std::string& key, K kind, const char* unit, tFigure_value v) {
    t.Add(group, key, prefix + key, kind, unit, std::move(v));
  };
  add("t_value", K::Statistic, "", d.T_value);
  add("df", K::Degrees_of_freedom, "", df);
  add("p_one_tailed", K::Probability, "", d.P_one_tailed);
  add("p_two_tailed", K::Probability, "", d.P_two_tailed);
  add("pct_below", K::Percentage, kUnit_percent, d.Pct_below);
  // A limit beyond the search's reach is written as the bound it lies beyond, "<x" or ">x".
  const auto limit = [](Extended value, int beyond) -> tFigure_value {
    if (beyond == 0) return value;
    return Beyond_reach_text(beyond, value);
  };
  add("pct_lower", K::Percentage, kUnit_percent, limit(d.Pct_lower, d.Pct_lower_beyond_reach));
  add("pct_upper", K::Percentage, kUnit_percent, limit(d.Pct_upper, d.Pct_upper_beyond_reach));
  add(effect_key, K::Effect_size, kUnit_sd, d.Zcc);
  add(effect_key + "_lower", K::Effect_size, kUnit_sd, limit(d.Zcc_lower, d.Lower_beyond_reach));
  add(effect_key + "_upper", K::Effect_size, kUnit_sd, limit(d.Zcc_upper, d.Upper_beyond_reach));
  add("deficit", K::Flag, "", deficit);
}

void Add_bsdt_group(tFigure_table& t, const tBSDT_results& b, const tBSDT_precision& precision,
                    bool significant) {
  using K = tFigure_kind;
  const auto add = [&](const char* key, K kind, const char* unit, tFigure_value v) -> tFigure& {
    return t.Add("bsdt", key, std::string("bsdt_") + key, kind, unit, std::move(v));
  };
  add("p_one_tailed", K::Probability, "", b.P_one_tailed);
  add("p_two_tailed", K::Probability, "", b.P_two_tailed);
  add("pct_more_extreme", K::Percentage, kUnit_percent, b.Pct_more_extreme);
  add("pct_lower", K::Percentage, kUnit_percent, b.Pct_lower);
  add("pct_upper", K::Percentage, kUnit_percent, b.Pct_upper);
  add("zdcc", K::Effect_size, kUnit_sd, b.Zdcc);
  add("zdcc_lower", K::Effect_size, kUnit_sd, b.Zdcc_lower);
  add("zdcc_upper", K::Effect_size, kUnit_sd, b.Zdcc_upper);
  add("significant", K::Flag, "", significant);
  add("p_one_tailed_mc_se", K::Standard_error, "", precision.P_one_tailed_mc_se).Added_later = true;
  add("p_two_tailed_mc_se", K::Standard_error, "", precision.P_two_tailed_mc_se).Added_later = true;
}

void Add_rsdt_group(tFigure_table& t, bool computed, Extended t_value, std::int64_t df,
                    double p_one_tailed, double p_two_tailed, bool significant) {
  using K = tFigure_kind;
  const auto value = [computed](tFigure_value v) { return computed ? v : tFigure_value{}; };
  t.Add("rsdt", "t_value", "rsdt_t_value", K::Statistic, "", value(t_value));
  t.Add("rsdt", "df", "rsdt_df", K::Degrees_of_freedom, "", value(df));
  t.Add("rsdt", "p_one_tailed", "rsdt_p_one_tailed", K::Probability, "",
        value(static_cast<Extended>(p_one_tailed)));
  t.Add("rsdt", "p_two_tailed", "rsdt_p_two_tailed", K::Probability, "",
        value(static_cast<Extended>(p_two_tailed)));
  t.Add("rsdt", "significant", "rsdt_significant", K::Flag, "", value(significant));
}
