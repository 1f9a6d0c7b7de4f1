// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/toolkit_plots.h"

#include <cmath>
#include <stdexcept>

#include "app/text_format.h"

namespace {

// Every "from" in text replaced by "to".
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::string Fixed3(double v) { return Format_fixed(v, 1, 3); }

}  // namespace

tResult_plots Toolkit_plots(const tToolkit_results& r) {
  if (r.Kind == tToolkit_kind::Udt)
    throw std::invalid_argument("The unstandardized difference test has no pictures.");
  tResult_plots plots;
  const bool covariates = r.Model.M > 0;
  if (r.Kind == tToolkit_kind::Dissociation) {
    const double z1 = static_cast<double>((r.Model.Case[0] - r.Model.Predicted[0]) / r.Model.Residual_sd[0]);
    const double z2 = static_cast<double>((r.Model.Case[1] - r.Model.Predicted[1]) / r.Model.Residual_sd[1]);
    plots.Case = Case_plot(static_cast<double>(r.Model.Residual_r), z1, z2);
    const std::string given = covariates ? " given the covariates (z)" : " (z)";
    plots.Case.X_title = r.Inputs.Tasks[0].Name + given;
    plots.Case.Y_title = r.Inputs.Tasks[1].Name + given;
    plots.Case.Caption = covariates ? "The case among the controls with the case's covariate values"
                                    : "The case among the controls";
    plots.Posterior = Posterior_plot(r.Bsdt, r.Bsdt_precision.Zdcc_histogram, kCredible_level);
    plots.Posterior.Caption = "Posterior of Z-DCC, " + std::string(Words(r.Options.Prior).Caption);
    plots.Title = r.Inputs.Tasks[0].Name + " and " + r.Inputs.Tasks[1].Name + ", N = " +
                  std::to_string(r.Inputs.N) + ", " + std::to_string(r.Model.M) + " covariate(s)";
    return plots;
  }
  // Deficit: the prediction's z is (y-hat* - mean)/(sd R), the task's (y* - mean)/sd.
  const tVariable_summary& y = r.Inputs.Tasks[0];
  const Extended explained = 1 - (r.Model.Residual_sd[0] * r.Model.Residual_sd[0]) /
                                     (y.Sd * y.Sd) * static_cast<Extended>(r.Model.Df) /
                                     static_cast<Extended>(r.Inputs.N - 1);
  const double multiple_r = explained > 0 ? static_cast<double>(std::sqrt(explained)) : 0;
  const double x = multiple_r > 0 ? static_cast<double>((r.Model.Predicted[0] - y.Mean) / (y.Sd * multiple_r)) : 0;
  plots.Case = Case_plot(multiple_r, x, static_cast<double>((y.Case - y.Mean) / y.Sd));
  plots.Case.X_title = covariates ? "Prediction from the covariates (z)" : "No covariates";
  plots.Case.Y_title = y.Name + " (z)";
  plots.Case.Caption = covariates ? "The case on the controls' conditional distribution (R = " +
                                        Fixed3(multiple_r) + ")"
                                  : "The case among the controls";
  tBSDT_results as_posterior;
  as_posterior.Zdcc = r.Bayesian.Zccc;
  as_posterior.Zdcc_lower = r.Bayesian.Zccc_lower;
  as_posterior.Zdcc_upper = r.Bayesian.Zccc_upper;
  plots.Posterior = Posterior_plot(as_posterior, r.Bayesian.Histogram, kCredible_level);
  const std::string effect = covariates ? "Z-CCC" : "Z-CC";
  plots.Posterior.X_title = effect;
  plots.Posterior.Estimate_label = Replaced(plots.Posterior.Estimate_label, "Z-DCC", effect);
  plots.Posterior.Caption = "Posterior of " + effect;
  plots.Title = y.Name + ", N = " + std::to_string(r.Inputs.N) + ", " +
                std::to_string(r.Model.M) + " covariate(s)";
  return plots;
}
