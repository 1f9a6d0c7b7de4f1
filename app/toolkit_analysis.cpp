// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/toolkit_analysis.h"

#include <cmath>

#include "app/criteria.h"
#include "app/input_checks.h"
#include "app/safe_text.h"
#include "app/warning_collector.h"
#include "bayes/bsdt_covariates.h"
#include "distrib/fp_check.h"
#include "stats/covariate_deficit.h"
#include "stats/unstandardized_difference.h"

namespace {

constexpr std::int32_t kLevel = kCredible_level;

// A field text through the worksheet's rules: typed characters and length, then the
// number; the range check follows.
tField_value Read_field(const std::string& text, const std::string& caption) {
  const tTyped_text typed = Check_typed_text(text, caption);
  if (!typed.Ok) return {false, 0, typed.Message};
  return Read_number(typed.Text, caption);
}

std::string Task_label(const tAnalysis_request& r, std::size_t j) {
  if (!r.Tasks[j].Name.empty()) return Printable_text(r.Tasks[j].Name);
  if (r.Tasks.size() == 1) return "Task";
  return j == 0 ? "Task X" : "Task Y";
}

}  // namespace

void Require_finite_record(const tDeficit_results& d, const std::string& task) {
  const std::string prefix = "the deficit test on task " + task + ": ";
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

void Require_finite_bsdt(const tBSDT_results& b) {
  const struct {
    Extended value;
    const char* name;
  } items[] = {{b.P_one_tailed, "the BSDT p (one-tailed)"},
               {b.P_two_tailed, "the BSDT p (two-tailed)"},
               {b.Pct_more_extreme, "the BSDT percentage more extreme"},
               {b.Pct_lower, "the BSDT lower limit of the percentage"},
               {b.Pct_upper, "the BSDT upper limit of the percentage"},
               {b.Zdcc, "Z-DCC"},
               {b.Zdcc_lower, "the lower limit of Z-DCC"},
               {b.Zdcc_upper, "the upper limit of Z-DCC"}};
  for (const auto& item : items) Require_finite(item.value, item.name);
}

std::vector<std::string> Variable_names(const tAnalysis_request& r) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < r.Covariates.size(); ++i)
    names.push_back(r.Covariates[i].Name.empty() ? "Covariate " + std::to_string(i + 1)
                                                 : Printable_text(r.Covariates[i].Name));
  for (std::size_t j = 0; j < r.Tasks.size(); ++j) names.push_back(Task_label(r, j));
  return names;
}

std::variant<tConditional_inputs, std::string> Check_request(const tAnalysis_request& r) {
  const std::size_t tasks_needed = r.Kind == tAnalysis_kind::Deficit ? 1 : 2;
  if (r.Tasks.size() != tasks_needed)
    return std::string(tasks_needed == 1 ? "This analysis takes one task."
                                         : "This analysis takes two tasks.");
  if (r.Kind == tAnalysis_kind::Udt && !r.Covariates.empty())
    return std::string("The unstandardized difference test allows for no covariates; use the "
                       "dissociation analysis with its unstandardized difference option.");
  if (r.Covariates.size() > static_cast<std::size_t>(kMax_covariates))
    return "At most " + std::to_string(kMax_covariates) + " covariates are allowed.";
  const bool dissociation = r.Kind == tAnalysis_kind::Dissociation;
  if (dissociation && r.Options.Criteria == tCriteria::Combined && !r.Covariates.empty())
    return std::string("The combined Bayesian / frequentist criteria need the RSDT, which "
                       "allows for no covariates: use the Bayesian criteria with covariates.");

  tConditional_inputs in;
  const tField_value n = Read_field(r.N, "Sample size");
  if (!n.Ok) return n.Message;
  const tField_value n_checked = Check_sample_size("Sample size", n.Value);
  if (!n_checked.Ok) return n_checked.Message;
  in.N = static_cast<std::int32_t>(n.Value);

  const std::vector<std::string> names = Variable_names(r);
  const auto read_variable = [](const tVariable_texts& t, const std::string& name,
                                tVariable_summary& v) -> std::string {
    const tField_value mean = Read_field(t.Mean, name + ": mean");
    if (!mean.Ok) return mean.Message;
    const tField_value sd = Read_field(t.Sd, name + ": SD");
    if (!sd.Ok) return sd.Message;
    const tField_value sd_checked = Check_sd(name + ": SD", sd.Value);
    if (!sd_checked.Ok) return sd_checked.Message;
    const tField_value score = Read_field(t.Case, name + ": case");
    if (!score.Ok) return score.Message;
    v = {name, mean.Value, sd.Value, score.Value};
    return {};
  };
  std::size_t k = 0;
  for (const auto& c : r.Covariates) {
    tVariable_summary v;
    if (std::string e = read_variable(c, names[k++], v); !e.empty()) return e;
    in.Covariates.push_back(v);
  }
  for (const auto& t : r.Tasks) {
    tVariable_summary v;
    if (std::string e = read_variable(t, names[k++], v); !e.empty()) return e;
    in.Tasks.push_back(v);
  }

  const std::size_t p = names.size();
  if (r.Correlations.size() != p)
    return "The correlations must form a matrix of " + std::to_string(p) + " variables.";
  in.Correlations.assign(p, std::vector<Extended>(p, 0));
  for (std::size_t i = 0; i < p; ++i) {
    in.Correlations[i][i] = 1;
    if (r.Correlations[i].size() < i)
      return "Row " + std::to_string(i + 1) + " of the correlations is incomplete.";
    for (std::size_t j = 0; j < i; ++j) {
      const std::string caption = "r(" + names[j] + ", " + names[i] + ")";
      const tField_value v = Read_field(r.Correlations[i][j], caption);
      if (!v.Ok) return v.Message;
      const tField_value checked = Check_correlation(caption, v.Value);
      if (!checked.Ok) return checked.Message;
      in.Correlations[i][j] = in.Correlations[j][i] = v.Value;
    }
  }

  // Enough controls: the worksheet's N > 2 for the residual sample N - m, and N - m >= 4
  // for a dissociation under the calibrated prior.
  const std::int32_t min_residual_n =
      dissociation && r.Options.Prior == tPrior::Calibrated ? 4 : 3;
  try {
    (void)Build_conditional_model(in, min_residual_n);
  } catch (const ERefused_input& e) {
    return std::string("INPUT ERROR\r\r") + e.what();
  }
  return in;
}

tAnalysis_record Run_analysis(const tAnalysis_request& request, const tRun_context& context) {
  const auto checked = Check_request(request);
  if (const auto* message = std::get_if<std::string>(&checked)) throw ERefused_input(*message);
  return Run_checked_analysis(request, std::get<tConditional_inputs>(checked), context);
}

tAnalysis_record Run_checked_analysis(const tAnalysis_request& request,
                                      const tConditional_inputs& inputs,
                                      const tRun_context& context) {
  const tProgress_observer* const observer = context.Observer;
  tAnalysis_record r;
  const tWarning_collector warnings(r.Warnings);
  r.Kind = request.Kind;
  r.Options = request.Options;
  r.With_udt = request.With_udt;
  r.Inputs = inputs;
  r.Model = Build_conditional_model(inputs, 2);
  const auto checkpoint = [observer] {
    if (observer != nullptr && observer->Cancel_requested()) throw ECancelled();
  };
  Clear_fp_faults();

  if (request.Kind != tAnalysis_kind::Udt) {
    for (std::size_t j = 0; j < inputs.Tasks.size(); ++j) {
      tDeficit_results d;
      const tVariable_summary& task = inputs.Tasks[j];
      if (r.Model.M == 0) {
        // No covariates: the worksheet's deficit test and interval estimates, on the same
        // doubles the worksheet reads (the regression's figures would equal them).
        Deficit_test_intervals(true, d, static_cast<double>(task.Case),
                               static_cast<double>(task.Mean), static_cast<double>(task.Sd),
                               static_cast<Extended>(inputs.N), kLevel);
      } else {
        Covariate_deficit_test(true, d, Task_of(r.Model, static_cast<int>(j)), kLevel);
      }
      Require_finite_record(d, inputs.Tasks.size() == 2 ? (j == 0 ? "X" : "Y") : task.Name);
      r.Deficit.push_back(d);
      r.Deficit_met.push_back(Meets_deficit(d));
      checkpoint();
    }
  }
  const bool two_sided = true;
  if (request.Kind == tAnalysis_kind::Deficit) {
    Bayesian_deficit_test(Task_of(r.Model, 0), request.Options.Iterations, true, two_sided,
                          kLevel, r.Bayesian, observer);
    r.Bayesian_computed = true;
  }
  if (request.Kind == tAnalysis_kind::Udt ||
      (request.Kind == tAnalysis_kind::Dissociation && request.With_udt)) {
    const auto& x = inputs.Tasks[0];
    const auto& y = inputs.Tasks[1];
    const Extended r_xy = inputs.Correlations[inputs.Covariates.size() + 1][inputs.Covariates.size()];
    Unstandardized_difference_test(true, r.Udt, x.Case, y.Case, x.Mean, x.Sd, y.Mean, y.Sd,
                                   r_xy, inputs.N, kLevel);
    r.Udt_computed = true;
    checkpoint();
  }
  if (request.Kind == tAnalysis_kind::Dissociation) {
    const bool one_tailed = request.Options.Tail == tTail::One;
    if (request.Options.Criteria == tCriteria::Combined) {
      // No covariates (refused by the checks): today's RSDT.
      const auto& x = inputs.Tasks[0];
      const auto& y = inputs.Tasks[1];
      Rsdt(static_cast<double>(x.Case), static_cast<double>(y.Case), static_cast<double>(x.Mean),
           static_cast<double>(x.Sd), static_cast<double>(y.Mean), static_cast<double>(y.Sd),
           inputs.N, static_cast<double>(inputs.Correlations[1][0]), r.Rsdt_p_two_tailed,
           r.Rsdt_p_one_tailed, r.Rsdt_t);
      r.Rsdt_computed = true;
      r.Rsdt_significant = Significant(one_tailed ? r.Rsdt_p_one_tailed : r.Rsdt_p_two_tailed);
    }
    BSDT_with_covariates(request.Options.Prior, r.Model, request.Options.Iterations,
                         request.Options.Engine_threads, r.Bsdt, observer, &r.Bsdt_precision);
    r.Bsdt_computed = true;
    r.Bsdt_significant = Significant(one_tailed ? r.Bsdt.P_one_tailed : r.Bsdt.P_two_tailed);
    const bool significant = r.Bsdt_significant && (!r.Rsdt_computed || r.Rsdt_significant);
    const int deficits = static_cast<int>(r.Deficit_met[0]) + static_cast<int>(r.Deficit_met[1]);
    const tClassification c = Classify(deficits, significant);
    r.Strong = c == tClassification::Strong;
    r.Classical = c == tClassification::Classical;
    r.Neither = c == tClassification::Neither;
  }
  // Nothing non-finite may reach an output: a value that is not a number ends the run
  // with a readable message instead.
  if (r.Udt_computed) Require_finite_record(r.Udt, "of the unstandardized difference");
  if (r.Rsdt_computed) {
    Require_finite(r.Rsdt_t, "the RSDT t value");
    Require_finite(r.Rsdt_p_two_tailed, "the RSDT p (two-tailed)");
    Require_finite(r.Rsdt_p_one_tailed, "the RSDT p (one-tailed)");
  }
  if (r.Bsdt_computed) Require_finite_bsdt(r.Bsdt);
  Check_fp_faults();
  return r;
}

std::optional<tAnalysis_kind> Analysis_of(const std::string& word) {
  for (const tAnalysis_kind kind :
       {tAnalysis_kind::Deficit, tAnalysis_kind::Dissociation, tAnalysis_kind::Udt})
    if (word == Analysis_word(kind)) return kind;
  return std::nullopt;
}

const char* Analysis_word(tAnalysis_kind kind) {
  switch (kind) {
    case tAnalysis_kind::Deficit: return "deficit";
    case tAnalysis_kind::Dissociation: return "dissociation";
    case tAnalysis_kind::Udt: return "udt";
  }
  return "";
}
