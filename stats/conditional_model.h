// SPDX-License-Identifier: GPL-3.0-or-later
// The controls' conditional model of one or two tasks given m covariates, from summary
// statistics: means, standard deviations, the correlation matrix of every variable and
// the sample size N. It gives the case's predicted score on each task from the
// regression on the covariates, the residual standard deviations and sums of squares and
// products, their correlation, and the case's leverage. With no covariates it gives the
// controls' own figures unchanged (prediction = mean, residual SD = SD, leverage 1/N).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "distrib/distrib.h"

// Covariates allowed in one analysis.
constexpr int kMax_covariates = 5;

// One variable of the controls and the case's score on it.
struct tVariable_summary {
  std::string Name;
  Extended Mean = 0;
  Extended Sd = 1;
  Extended Case = 0;
};

struct tConditional_inputs {
  std::int32_t N = 0;
  std::vector<tVariable_summary> Covariates;  // m = 0 .. kMax_covariates
  std::vector<tVariable_summary> Tasks;       // one or two
  // The correlation matrix of every variable, covariates first, then the tasks, in the
  // order of the two lists above; square and symmetric with 1 on the diagonal.
  std::vector<std::vector<Extended>> Correlations;
};

// A refused input: the message says what is wrong in the user's terms. Nothing is
// computed from refused input.
class ERefused_input : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

struct tConditional_model {
  std::int32_t N = 0;
  int M = 0;  // covariates
  // Residual degrees of freedom N - m - 1.
  std::int32_t Df = 0;
  // Per task: the case's predicted score y-hat* = mean + S_yx S_xx^-1 (x* - x-bar), the
  // residual standard deviation s = sqrt(E / (N - m - 1)), and the case's score.
  std::vector<Extended> Predicted, Residual_sd, Case;
  // Residual sums of squares and products E = (N - 1)(S_yy - S_yx S_xx^-1 S_xy), per
  // pair of tasks (row-major, tasks x tasks), and the residual correlation
  // E12 / sqrt(E11 E22) (two tasks; 0 for one).
  std::vector<Extended> E;
  Extended Residual_r = 0;
  // The case's leverage h = 1/N + (x* - x-bar)' S_xx^-1 (x* - x-bar) / (N - 1), and
  // N h, which is exactly 1 without covariates (the interval routines divide by it).
  Extended Leverage = 0;
  Extended Leverage_factor = 1;
};

// Checks the inputs (finite figures, SDs > 0, N a whole number leaving at least
// min_residual_n = N - m, every correlation strictly between -1 and 1, the matrix
// symmetric with a unit diagonal and positive definite) and builds the model. Throws
// ERefused_input with a readable message on the first failure.
tConditional_model Build_conditional_model(const tConditional_inputs& inputs,
                                           std::int32_t min_residual_n = 2);

// Checks that a square symmetric matrix with unit diagonal and off-diagonal entries in
// (-1, 1) is positive definite, by its Cholesky factorization. `names` label the rows in
// the messages. Throws ERefused_input.
void Check_correlation_matrix(const std::vector<std::vector<Extended>>& r,
                              const std::vector<std::string>& names);
