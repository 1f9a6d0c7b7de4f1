// SPDX-License-Identifier: GPL-3.0-or-later
// Exact power of the test for a deficit from the non-central t distribution (Owen,
// Technometrics 7, 1965, for the non-central t as the distribution of a t statistic under
// an alternative; the program's distribution function is Lenth's AS 243 mixture). With
// covariates the leverage of the case varies with the controls' covariate sample; the
// conditional power is then averaged over samples drawn from the population, x-bar ~
// N(mu, I/N) and (N - 1) S_xx ~ Wishart(N - 1, I) by Bartlett's decomposition (Bartlett,
// Proc. Roy. Soc. Edinburgh 53, 1933): W = T T' with T lower triangular, T_ii^2 chi-square
// with N - 1 - i df (i = 0 .. m - 1) and standard normal entries below the diagonal.
// Then (x* - x-bar)' S_xx^-1 (x* - x-bar) / (N - 1) = |T^-1 (x* - x-bar)|^2.
#include "stats/deficit_power.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include "distrib/fp_check.h"
#include "stats/replication_seeds.h"

namespace {

// The largest |delta| taken: the non-central t's non-centrality delta sqrt(N) stays
// within its reach (131072) up to N of about 17,000 at this bound, and far beyond any
// effect a study plans for.
constexpr Extended kMax_delta = 1000;

Extended Critical_t(std::int32_t df, const tPower_setting& s) {
  const tT_distribution t(df);
  return t.Quantile(1 - (s.Two_tailed ? s.Alpha / 2 : s.Alpha));
}

}  // namespace

void Check_power_setting(const tPower_setting& s, std::int32_t df) {
  if (!(s.Alpha > 0 && s.Alpha < 1))
    throw std::invalid_argument("The significance level alpha must lie between 0 and 1.");
  if (!std::isfinite(s.Delta) || std::fabs(s.Delta) > kMax_delta)
    throw std::invalid_argument("The effect must be a number from -1000 to 1000 SDs.");
  if (df < 1)
    throw std::invalid_argument("Too few controls: the test needs at least " +
                                std::to_string(s.N - df + 1) + ".");
}

Extended Rejection_probability(std::int32_t df, Extended ncp, Extended scale,
                               const tPower_setting& s) {
  const Extended c = Critical_t(df, s) * scale;
  const tNon_central_t_distribution t(df, ncp);
  Extended p = t.Cdf(-c);
  if (s.Two_tailed) p += 1 - t.Cdf(c);
  if (!std::isfinite(p)) throw EFloating_point_error("The power was not a finite number.");
  return std::fmin(1, std::fmax(0, p));
}

Extended Deficit_power(const tPower_setting& s) {
  const std::int32_t df = s.N - 1;
  Check_power_setting(s, df);
  const Extended n = s.N;
  if (s.Case == tCase_model::Fixed)
    return Rejection_probability(df, s.Delta * std::sqrt(n), std::sqrt(n + 1), s);
  return Rejection_probability(df, s.Delta / std::sqrt(1 + 1 / n), 1, s);
}

Extended Conditional_deficit_power(const tPower_setting& s, int m, Extended h) {
  const std::int32_t df = s.N - m - 1;
  Check_power_setting(s, df);
  if (s.Case == tCase_model::Fixed)
    return Rejection_probability(df, s.Delta / std::sqrt(h), std::sqrt((1 + h) / h), s);
  return Rejection_probability(df, s.Delta / std::sqrt(1 + h), 1, s);
}

Extended Deficit_power_limit(const tPower_setting& s) {
  Check_power_setting(s, 1);
  const tNormal_distribution normal(0, 1);
  const Extended z = normal.Quantile(1 - (s.Two_tailed ? s.Alpha / 2 : s.Alpha));
  if (s.Case == tCase_model::Random) {
    Extended p = Normal_lower_tail(-z - s.Delta);
    if (s.Two_tailed) p += Normal_upper_tail(z - s.Delta);
    return p;
  }
  // Fixed: t tends to delta itself.
  const auto side = [](Extended a, Extended b) -> Extended {
    return a > b ? 1 : (a == b ? Extended{0.5L} : Extended{0});
  };
  Extended p = side(-s.Delta, z);
  if (s.Two_tailed) p += side(s.Delta, z);
  return p;
}

Extended Draw_leverage(std::int32_t N, int m, Extended D) {
  tNormal_distribution normal(0, 1);
  Extended d[8];
  const Extended sqrt_n = std::sqrt(static_cast<Extended>(N));
  for (int j = 0; j < m; ++j) d[j] = (j == 0 ? D : 0) - normal.Random_value() / sqrt_n;
  // Bartlett's factor, row by row, and forward substitution T u = d as the rows come.
  Extended u[8];
  Extended q = 0;
  for (int i = 0; i < m; ++i) {
    tChi_square_distribution chi(N - 1 - i);
    const Extended t_ii = std::sqrt(chi.Random_value());
    Extended r = d[i];
    for (int j = 0; j < i; ++j) r -= normal.Random_value() * u[j];
    u[i] = r / t_ii;
    q += u[i] * u[i];
  }
  return 1 / static_cast<Extended>(N) + q;
}

std::vector<tBlock_sum> Covariate_power_blocks(const tPower_setting& s, int m, Extended D,
                                               std::int64_t first, std::int64_t count,
                                               std::uint32_t seed,
                                               const std::atomic<bool>* stop) {
  if (m < 1 || m > 5) throw std::invalid_argument("The covariates must number 1 to 5.");
  if (!std::isfinite(D) || D < 0 || D > 100)
    throw std::invalid_argument("The Mahalanobis distance D must lie from 0 to 100.");
  Check_power_setting(s, s.N - m - 1);
  std::vector<tBlock_sum> blocks;
  for (std::int64_t i = first; i < first + count; ++i) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) throw ECancelled();
    if (blocks.empty() || (i % kPower_block) == 0) blocks.emplace_back();
    Seed_replication(seed, static_cast<std::uint64_t>(i));
    const Extended p = Conditional_deficit_power(s, m, Draw_leverage(s.N, m, D));
    tBlock_sum& b = blocks.back();
    b.Sum += p;
    b.Sum_squares += p * p;
    ++b.Count;
  }
  return blocks;
}

void Mean_and_se(const std::vector<tBlock_sum>& blocks, Extended& mean, Extended& se) {
  Extended sum = 0, squares = 0;
  std::int64_t n = 0;
  for (const tBlock_sum& b : blocks) {
    sum += b.Sum;
    squares += b.Sum_squares;
    n += b.Count;
  }
  if (n == 0) throw std::invalid_argument("No samples to average.");
  mean = sum / static_cast<Extended>(n);
  const Extended var = n > 1 ? std::fmax(0, (squares - sum * mean) / static_cast<Extended>(n - 1)) : 0;
  se = std::sqrt(var / static_cast<Extended>(n));
}
