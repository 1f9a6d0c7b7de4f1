// SPDX-License-Identifier: GPL-3.0-or-later
// The conditional model of the tasks given the covariates, from the controls' summary
// statistics (multivariate regression; see any text on the multivariate normal, e.g.
// Anderson, An Introduction to Multivariate Statistical Analysis, ch. 2 and 8).
//
// The algebra is done in correlation units: with D_x the covariates' SDs and
// u = D_x^-1 (x* - x-bar), S_xx^-1 (x* - x-bar) = D_x^-1 R_xx^-1 u, so
//   y-hat*_j   = y-bar_j + sd_j r_jx' R_xx^-1 u,
//   E_jk       = (N - 1) sd_j sd_k (r_jk - r_jx' R_xx^-1 r_xk),
//   N h        = 1 + N u' R_xx^-1 u / (N - 1).
// R_xx = L L' by Cholesky, and every quadratic form is a dot product of forward-solved
// vectors (b_j = L^-1 r_xj, w = L^-1 u). The correlation units keep every entry near 1
// whatever the scale of the variables, and with no covariates every sum is empty, so the
// prediction is the mean, the residual SD the SD and N h = 1, exactly.
#include "stats/conditional_model.h"

#include <cmath>

#include "stats/metrics_papers.h"

namespace {

// A Cholesky pivot of a correlation matrix is 1 - R^2 of that variable on the ones
// before it; at or below this the matrix is taken as singular (not positive definite).
constexpr Extended kMin_pivot = 1E-10L;
// How far a diagonal entry may lie from 1, or two mirrored entries from each other.
constexpr Extended kEntry_tolerance = 1E-12L;

[[noreturn]] void Refuse(const std::string& text) { throw ERefused_input(text); }

void Check_variable(const tVariable_summary& v, const std::string& label) {
  const std::string who = label + (v.Name.empty() ? "" : " \"" + v.Name + "\"");
  if (!std::isfinite(v.Mean)) Refuse("The mean of " + who + " is not a finite number.");
  if (!std::isfinite(v.Case)) Refuse("The case's score on " + who + " is not a finite number.");
  if (!std::isfinite(v.Sd) || !(v.Sd > 0))
    Refuse("The standard deviation of " + who + " must be greater than 0 (" +
           Number_text(v.Sd) + ").");
}

// Lower-triangular L with L L' = the leading n x n block of r; `name(k)` labels row k.
// Refuses a matrix that is not positive definite.
template <typename tName>
std::vector<std::vector<Extended>> Cholesky(const std::vector<std::vector<Extended>>& r,
                                            std::size_t n, tName&& name) {
  std::vector<std::vector<Extended>> l(n, std::vector<Extended>(n, 0));
  for (std::size_t j = 0; j < n; ++j) {
    Extended d = r[j][j];
    for (std::size_t k = 0; k < j; ++k) d -= l[j][k] * l[j][k];
    if (!(d > kMin_pivot))
      Refuse("The correlation matrix is not positive definite: no variables can have these "
             "correlations together (the contradiction shows at " + name(j) +
             "). Check the correlations.");
    l[j][j] = std::sqrt(d);
    for (std::size_t i = j + 1; i < n; ++i) {
      Extended s = r[i][j];
      for (std::size_t k = 0; k < j; ++k) s -= l[i][k] * l[j][k];
      l[i][j] = s / l[j][j];
    }
  }
  return l;
}

// w = L^-1 v (forward substitution).
std::vector<Extended> Forward_solve(const std::vector<std::vector<Extended>>& l,
                                    const std::vector<Extended>& v) {
  std::vector<Extended> w(v.size(), 0);
  for (std::size_t i = 0; i < v.size(); ++i) {
    Extended s = v[i];
    for (std::size_t k = 0; k < i; ++k) s -= l[i][k] * w[k];
    w[i] = s / l[i][i];
  }
  return w;
}

Extended Dot(const std::vector<Extended>& a, const std::vector<Extended>& b) {
  Extended s = 0;
  for (std::size_t i = 0; i < a.size(); ++i) s += a[i] * b[i];
  return s;
}

}  // namespace

void Check_correlation_matrix(const std::vector<std::vector<Extended>>& r,
                              const std::vector<std::string>& names) {
  const std::size_t n = names.size();
  if (r.size() != n)
    Refuse("The correlation matrix has " + std::to_string(r.size()) + " rows; " +
           std::to_string(n) + " are needed, one per variable.");
  for (std::size_t i = 0; i < n; ++i)
    if (r[i].size() != n)
      Refuse("Row " + std::to_string(i + 1) + " of the correlation matrix has " +
             std::to_string(r[i].size()) + " entries; " + std::to_string(n) +
             " are needed.");
  for (std::size_t i = 0; i < n; ++i) {
    if (!(std::fabs(r[i][i] - 1) <= kEntry_tolerance))
      Refuse("The correlation of " + names[i] + " with itself must be 1 (" +
             Number_text(r[i][i]) + ").");
    for (std::size_t j = 0; j < i; ++j) {
      const Extended v = r[i][j];
      const std::string pair = names[j] + " and " + names[i];
      if (!std::isfinite(v) || !(std::fabs(r[j][i] - v) <= kEntry_tolerance))
        Refuse("The correlation matrix must be symmetric: the correlation between " + pair +
               " is given as " + Number_text(v) + " and " + Number_text(r[j][i]) + ".");
      if (!(v > -1 && v < 1))
        Refuse("The correlation between " + pair +
               " must lie strictly between -1 and 1 (" + Number_text(v) + ").");
    }
  }
  Cholesky(r, n, [&names](std::size_t k) { return names[k]; });
}

tConditional_model Build_conditional_model(const tConditional_inputs& in,
                                           std::int32_t min_residual_n) {
  const std::size_t m = in.Covariates.size();
  const std::size_t tasks = in.Tasks.size();
  if (m > static_cast<std::size_t>(kMax_covariates))
    Refuse("At most " + std::to_string(kMax_covariates) + " covariates are allowed (" +
           std::to_string(m) + " given).");
  if (tasks < 1 || tasks > 2) Refuse("One or two tasks are needed.");

  std::vector<std::string> names;
  for (std::size_t i = 0; i < m; ++i) {
    Check_variable(in.Covariates[i], "covariate " + std::to_string(i + 1));
    names.push_back(in.Covariates[i].Name.empty() ? "covariate " + std::to_string(i + 1)
                                                  : in.Covariates[i].Name);
  }
  for (std::size_t j = 0; j < tasks; ++j) {
    const std::string label = tasks == 1 ? "the task" : (j == 0 ? "task X" : "task Y");
    Check_variable(in.Tasks[j], label);
    names.push_back(in.Tasks[j].Name.empty() ? label : in.Tasks[j].Name);
  }
  // Enough controls: N - m residual cases at least.
  const std::int32_t need = min_residual_n + static_cast<std::int32_t>(m);
  if (in.N < need)
    Refuse("The control sample is too small for " + std::to_string(m) + " covariate" +
           (m == 1 ? "" : "s") + ": N must be at least " + std::to_string(need) + " (N = " +
           std::to_string(in.N) + ").");
  if (in.N > 1000000)
    Refuse("The control sample size N = " + std::to_string(in.N) +
           " is beyond this method's range (at most 1000000).");
  Check_correlation_matrix(in.Correlations, names);

  const auto& r = in.Correlations;
  const Extended N = in.N;
  tConditional_model model;
  model.N = in.N;
  model.M = static_cast<int>(m);
  model.Df = in.N - static_cast<std::int32_t>(m) - 1;

  const auto l = Cholesky(r, m, [&names](std::size_t k) { return names[k]; });
  std::vector<Extended> u(m);
  for (std::size_t i = 0; i < m; ++i)
    u[i] = (in.Covariates[i].Case - in.Covariates[i].Mean) / in.Covariates[i].Sd;
  const std::vector<Extended> w = Forward_solve(l, u);
  std::vector<std::vector<Extended>> b(tasks);
  for (std::size_t j = 0; j < tasks; ++j) {
    std::vector<Extended> r_xj(m);
    for (std::size_t i = 0; i < m; ++i) r_xj[i] = r[m + j][i];
    b[j] = Forward_solve(l, r_xj);
  }

  // (N - 1)/(N - m - 1): s^2 = E/(N - m - 1) = sd^2 (1 - R^2) (N - 1)/(N - m - 1).
  const Extended df_total = N - 1;
  const Extended df_residual = N - static_cast<Extended>(m) - 1;
  for (std::size_t j = 0; j < tasks; ++j) {
    const tVariable_summary& y = in.Tasks[j];
    model.Predicted.push_back(y.Mean + y.Sd * Dot(b[j], w));
    const Extended unexplained = 1 - Dot(b[j], b[j]);
    model.Residual_sd.push_back(y.Sd * std::sqrt(unexplained * df_total / df_residual));
    model.Case.push_back(y.Case);
  }
  model.E.assign(tasks * tasks, 0);
  for (std::size_t j = 0; j < tasks; ++j)
    for (std::size_t k = 0; k < tasks; ++k) {
      const Extended r_jk = j == k ? 1 : r[m + j][m + k];
      model.E[j * tasks + k] =
          df_total * in.Tasks[j].Sd * in.Tasks[k].Sd * (r_jk - Dot(b[j], b[k]));
    }
  if (tasks == 2)
    model.Residual_r = (r[m + 1][m] - Dot(b[0], b[1])) /
                       std::sqrt((1 - Dot(b[0], b[0])) * (1 - Dot(b[1], b[1])));
  model.Leverage_factor = 1 + N * Dot(w, w) / df_total;
  model.Leverage = model.Leverage_factor / N;

  for (const Extended v : model.Predicted)
    if (!std::isfinite(v)) Refuse("The case's predicted score is not a finite number.");
  if (!std::isfinite(model.Leverage_factor))
    Refuse("The case's leverage is not a finite number: its covariate scores lie too far "
           "from the controls' means.");
  return model;
}
