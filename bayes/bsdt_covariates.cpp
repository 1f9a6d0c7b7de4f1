// SPDX-License-Identifier: GPL-3.0-or-later
// The BSDT allowing for covariates. The controls' two tasks given m covariates follow a
// multivariate regression with residual covariance Sigma; under the engines' priors on
// (B, Sigma) the posterior of Sigma is inverse Wishart on the residual sums of squares and
// products E with N - m degrees of freedom (standard theory; N - m - 2 for the calibrated
// prior with E scaled by (N - m - 2)/(N - m - 1)), and given Sigma the conditional mean at
// the case's covariate values is normal about y-hat* with covariance h Sigma (Anderson, An
// Introduction to Multivariate Statistical Analysis, 8.2, and any text on Bayesian
// multivariate regression). So the engines run with (N, A, means, 1/N) replaced by
// (N - m, E, y-hat*, h):
//   - the engine's N is N - m, so the chi-square draws have N - m and N - m - 1 (or
//     N - m - 2 and N - m - 3) degrees of freedom and the scale factor is
//     (N - m - 2)/(N - m - 1);
//   - the task means are y-hat*, the SDs the residual SDs sqrt(E_jj/(N - m - 1)) and the
//     correlation E12/sqrt(E11 E22), so that the engine's (N - 1) S is E;
//   - the means' draws are spread by sqrt(h) = Mean_spread/sqrt(N - m), with
//     Mean_spread = sqrt(h (N - m)), which is exactly 1 without covariates.
// Z-DCC's point estimate is then (z10 - z20)/sqrt(2 - 2 rho0) with z_j0 the case's
// distances from y-hat* in residual SDs, as the engines compute it.
//
// Identity: with m = 0 the inputs are the controls' own figures, bit for bit, and the
// spread is 1, so both priors give today's BSDT bit for bit.
#include "bayes/bsdt_covariates.h"

#include <cmath>
#include <string>


void BSDT_with_covariates(tPrior prior, const tConditional_model& model,
                          std::int32_t Iterations, int Threads, tBSDT_results& Results,
                          const tProgress_observer* Observer, tBSDT_precision* Precision) {
  const bool Calibrated = prior == tPrior::Calibrated;
  if (model.Case.size() != 2)
    throw ERefused_input("The BSDT needs the conditional model of two tasks.");
  const std::int32_t n_residual = model.N - model.M;
  const std::int32_t need = Calibrated ? 4 : 3;
  if (n_residual < need)
    throw ERefused_input(
        std::string("The BSDT allowing for covariates under the ") +
        (Calibrated ? "calibrated prior" : "standard-theory prior") + " needs N - m of at least " +
        std::to_string(need) + " (N = " + std::to_string(model.N) + ", m = " +
        std::to_string(model.M) + ")" +
        (Calibrated ? "; use the standard-theory (Jeffreys) prior or fewer covariates." : "."));
  tBSDT_inputs in;
  in.Prior = prior;
  in.N = n_residual;
  in.Iterations = Iterations;
  in.Reset_seed = true;
  in.Mean_x = model.Predicted[0];
  in.Sd_x = model.Residual_sd[0];
  in.Mean_y = model.Predicted[1];
  in.Sd_y = model.Residual_sd[1];
  in.R_xy = model.Residual_r;
  in.Case_x = model.Case[0];
  in.Case_y = model.Case[1];
  in.Two_sided = true;
  in.Level = 95;
  in.Threads = Threads;
  // sqrt(h (N - m)) = sqrt(N h (N - m) / N): 1 exactly without covariates.
  in.Mean_spread = std::sqrt(model.Leverage_factor * static_cast<Extended>(n_residual) /
                             static_cast<Extended>(model.N));
  Run_BSDT(in, Results, Observer, Precision);
}
