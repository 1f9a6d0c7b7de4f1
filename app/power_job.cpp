// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/power_job.h"

#include <cmath>
#include <stdexcept>

namespace {

// The largest effect the detectable-effect search tries, in SDs: exact power is cheap up
// to the non-central t's reach; a simulated test at 50 SDs rejects with certainty.
constexpr Extended kMax_exact_effect = 1000;
constexpr Extended kMax_simulated_effect = 50;
// A simulated power is known to a binomial SE of about 0.004 at R = 10,000, which moves
// the detectable effect by some hundredths of an SD: the search stops at 0.005.
constexpr Extended kSimulated_effect_tolerance = 0.005L;

tPower_setting Exact_setting(const tPower_job& job, const tGrid_point& p) {
  tPower_setting s;
  s.N = p.N;
  s.Delta = p.Effect;
  s.Alpha = job.Setting.Alpha;
  s.Two_tailed = job.Setting.Two_tailed;
  s.Case = job.Setting.Case;
  return s;
}

tSimulation_setting Simulated_setting(const tPower_job& job, const tGrid_point& p) {
  tSimulation_setting s = job.Setting;
  s.N = p.N;
  s.Delta_x = p.Effect;
  return s;
}

tBlock_function Block_function(const tPower_job& job, const tGrid_point& p) {
  if (job.Exact) {
    const tPower_setting s = Exact_setting(job, p);
    const int m = Covariates_of(job);
    const Extended D = job.Setting.D;
    const std::uint32_t seed = job.Setting.Seed;
    return [s, m, D, seed](std::int64_t first, std::int64_t count, const std::atomic<bool>* stop) {
      const tBlock_sum b = Covariate_power_blocks(s, m, D, first, count, seed, stop).at(0);
      tPower_block out;
      out.Count = b.Count;
      out.Sum = b.Sum;
      out.Sum_squares = b.Sum_squares;
      return out;
    };
  }
  const tSimulation_setting s = Simulated_setting(job, p);
  return [s](std::int64_t first, std::int64_t count, const std::atomic<bool>* stop) {
    return Simulate_block(s, first, count, stop);
  };
}

// The power at one point, on every core.
tPower_row Power_at(const tPower_job& job, const tGrid_point& p, const tProgress_observer* observer) {
  return Finish_point(job, p, Point_blocks(job, p, 1, 1, observer));
}

// Smallest N for a test: the residual df of the deficit test, and the BSDT's own needs.
std::int32_t Smallest_n(const tPower_job& job) {
  const int m = Covariates_of(job);
  if (job.Exact) return m + 2;
  const tSimulated_test t = job.Setting.Test;
  if (t == tSimulated_test::Bsdt || t == tSimulated_test::Classification)
    return m + (job.Setting.Prior == tPrior::Calibrated ? 4 : 3);
  return m + 3;
}

}  // namespace

int Covariates_of(const tPower_job& job) {
  return static_cast<int>(job.Setting.Correlations.size()) - Tasks_of(job.Setting.Test);
}

bool Uses_replications(const tPower_job& job) { return !job.Exact || Covariates_of(job) > 0; }

std::string Test_name(const tPower_job& job) {
  const std::string prior =
      job.Setting.Prior == tPrior::Calibrated ? " (calibrated prior)" : " (standard-theory prior)";
  if (job.Analysis == tPower_analysis::Udt) return "unstandardized difference test";
  switch (job.Setting.Test) {
    case tSimulated_test::Deficit: return "test for a deficit";
    case tSimulated_test::Bayesian_deficit: return "Bayesian test for a deficit";
    case tSimulated_test::Rsdt: return "RSDT";
    case tSimulated_test::Bsdt: return "BSDT" + prior;
    case tSimulated_test::Classification:
      return std::string("classification as a strong or classical dissociation (") +
             (job.Setting.Criteria == tCriteria::Combined ? "combined criteria" : "Bayesian criteria") +
             ", BSDT" + prior + ")";
  }
  return "";
}

std::vector<tGrid_point> Grid_points(const tPower_job& job) {
  std::vector<tGrid_point> points;
  for (const Extended e : job.Effects)
    for (const std::int32_t n : job.N_values) points.push_back({n, e});
  return points;
}

std::vector<tPower_block> Point_blocks(const tPower_job& job, const tGrid_point& point,
                                       int shard, int shards,
                                       const tProgress_observer* observer) {
  if (!Uses_replications(job)) return {};
  std::int64_t first = 0, end = 0;
  Shard_blocks(job.Replications, shard, shards, first, end);
  return Run_power_blocks(job.Replications, first, end, Block_function(job, point), observer,
                          job.Threads);
}

tPower_row Finish_point(const tPower_job& job, const tGrid_point& point,
                        const std::vector<tPower_block>& blocks) {
  tPower_row row;
  row.N = point.N;
  row.Effect = point.Effect;
  if (job.Exact) row.Limit = Deficit_power_limit(Exact_setting(job, point));
  if (!Uses_replications(job)) {
    row.Power = Deficit_power(Exact_setting(job, point));
    return row;
  }
  const tPower_block total = Total_of(blocks);
  if (total.Count != job.Replications)
    throw std::runtime_error("The blocks hold " + std::to_string(total.Count) +
                             " replications, not the run's " +
                             std::to_string(job.Replications) + ".");
  row.Replications = total.Count;
  if (job.Exact) {
    std::vector<tBlock_sum> sums;
    for (const tPower_block& b : blocks) sums.push_back({b.Sum, b.Sum_squares, b.Count});
    Mean_and_se(sums, row.Power, row.Se);
    return row;
  }
  const Extended n = static_cast<Extended>(total.Count);
  row.Power = static_cast<Extended>(total.Hits[0]) / n;
  row.Se = std::sqrt(row.Power * (1 - row.Power) / n);
  row.Strong = total.Hits[1];
  row.Classical = total.Hits[2];
  return row;
}

std::vector<tPower_row> Run_search(const tPower_job& job, const tProgress_observer* observer) {
  std::vector<tPower_row> rows;
  const auto check = [observer] {
    if (observer != nullptr && observer->Cancel_requested()) throw ECancelled();
  };
  // Simulated power values observe cancellation only; the progress is per search.
  tProgress_observer inner;
  if (observer != nullptr) inner.Cancel = observer->Cancel;
  const std::int64_t total = static_cast<std::int64_t>(
      job.Goal == tPower_goal::Sample_size ? job.Effects.size() : job.N_values.size());
  if (job.Goal == tPower_goal::Sample_size) {
    const std::int32_t n_min = std::max(Smallest_n(job), job.N_values.front());
    const std::int32_t n_max = job.N_values.back();
    for (const Extended e : job.Effects) {
      check();
      tPower_row last;
      const auto power_of_n = [&](std::int32_t n) {
        last = Power_at(job, {n, e}, &inner);
        return last.Power;
      };
      const tSample_size ss = Smallest_sample(power_of_n, n_min, n_max, job.Target);
      tPower_row row = ss.Reached ? Power_at(job, {ss.N, e}, &inner) : last;
      row.Reached = ss.Reached;
      row.Effect = e;
      if (job.Exact) row.Limit = Deficit_power_limit(Exact_setting(job, {ss.N, e}));
      rows.push_back(row);
      if (observer != nullptr && observer->Progress)
        observer->Progress(static_cast<std::int64_t>(rows.size()), total);
    }
    return rows;
  }
  for (const std::int32_t n : job.N_values) {
    check();
    // The effect on the tested side: below the controls (deficit), lower on X (dissociation).
    const auto power_of_effect = [&](Extended e) { return Power_at(job, {n, -e}, &inner).Power; };
    const tDetectable_effect de = Smallest_effect(
        power_of_effect, job.Target, job.Exact ? kMax_exact_effect : kMax_simulated_effect,
        job.Exact ? kEffect_tolerance : kSimulated_effect_tolerance);
    tPower_row row = Power_at(job, {n, -de.Effect}, &inner);
    row.Reached = de.Reached;
    row.Effect = de.Effect;
    rows.push_back(row);
    if (observer != nullptr && observer->Progress)
      observer->Progress(static_cast<std::int64_t>(rows.size()), total);
  }
  return rows;
}

void Check_power_job(const tPower_job& job) {
  if (job.Exact) return;
  tSimulation_setting s = job.Setting;
  s.N = job.N_values.empty() ? 1000 : job.N_values.back();
  s.Delta_x = job.Effects.front();
  Check_simulation_setting(s);
}

std::int64_t Power_job_units(const tPower_job& job) {
  if (job.Goal == tPower_goal::Power)
    return static_cast<std::int64_t>(Grid_points(job).size()) * (Uses_replications(job) ? job.Replications : 1);
  return static_cast<std::int64_t>(job.Goal == tPower_goal::Sample_size ? job.Effects.size() : job.N_values.size());
}

bool Run_power_job(const tPower_job& job, const tProgress_observer* observer, std::vector<tPower_row>& rows) {
  rows.clear();
  try {
    if (job.Goal != tPower_goal::Power) {
      rows = Run_search(job, observer);
      return true;
    }
    const std::int64_t total = Power_job_units(job), per = Uses_replications(job) ? job.Replications : 1;
    std::int64_t before = 0;
    tProgress_observer inner;
    if (observer != nullptr) {
      inner.Cancel = observer->Cancel;
      if (observer->Progress)
        inner.Progress = [&](std::int64_t done, std::int64_t) { observer->Progress(before + done, total); };
    }
    for (const tGrid_point& p : Grid_points(job)) {
      rows.push_back(Finish_point(job, p, Point_blocks(job, p, 1, 1, &inner)));
      before += per;
      if (inner.Progress) inner.Progress(0, total);
      if (inner.Cancel_requested()) throw ECancelled();
    }
    return true;
  } catch (const ECancelled&) {
    return false;
  }
}
