// SPDX-License-Identifier: GPL-3.0-or-later
// A planning job: the power of one test over a grid of sample sizes and effects, or the
// smallest sample reaching a target power for each effect, or the smallest detectable
// effect for each sample size. Exact where the test's distribution is known (the test for a
// deficit and the UDT; with covariates averaged over simulated covariate samples), by
// simulation otherwise. A grid of power values splits into shards of whole replication
// blocks; the merged blocks give the whole run's numbers bit for bit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/power_runner.h"
#include "app/power_simulation.h"
#include "stats/power_search.h"

enum class tPower_analysis { Deficit, Dissociation, Udt };
enum class tPower_goal { Power, Sample_size, Effect };

struct tPower_job {
  tPower_analysis Analysis = tPower_analysis::Deficit;
  // Exact (the frequentist test for a deficit, the UDT) or simulated (Test).
  bool Exact = true;
  tSimulation_setting Setting;          // N, the effects and the grid's first point
  std::vector<std::int32_t> N_values;   // the grid, in the order given
  std::vector<Extended> Effects;        // delta (deficit, UDT) or delta_x (dissociation)
  tPower_goal Goal = tPower_goal::Power;
  Extended Target = 0.8L;
  std::int64_t Replications = 10000;    // simulated replications or covariate samples
  std::int32_t N_max = 2000;            // the sample-size search's end when simulated
  int Threads = 0;                      // 0: every core
};

// Covariates of the job (0 .. 5).
int Covariates_of(const tPower_job& job);
// The name of the job's test ("deficit test", "BSDT (calibrated prior)", ...).
std::string Test_name(const tPower_job& job);
// Whether a power point needs replications (simulated, or exact with covariates).
bool Uses_replications(const tPower_job& job);

// One answer of the job: a grid point's power, or a search's result.
struct tPower_row {
  std::int32_t N = 0;
  Extended Effect = 0;
  Extended Power = 0, Se = 0;  // Se 0 when exact
  std::int64_t Replications = 0;
  std::int64_t Strong = 0, Classical = 0;  // the classification's counts
  Extended Limit = -1;                     // the power's limit in N (-1: not known)
  bool Reached = true;                     // searches: false when the target is not reached
};

// The points of a power grid: every N for each effect, effects outermost.
struct tGrid_point {
  std::int32_t N;
  Extended Effect;
};
std::vector<tGrid_point> Grid_points(const tPower_job& job);

// The blocks of a grid point's shard (1-based; 1/1 for the whole run); empty when the
// point needs no replications.
std::vector<tPower_block> Point_blocks(const tPower_job& job, const tGrid_point& point,
                                       int shard, int shards,
                                       const tProgress_observer* observer);
// A grid point's row from all its blocks, in order.
tPower_row Finish_point(const tPower_job& job, const tGrid_point& point,
                        const std::vector<tPower_block>& blocks);

// The rows of a sample-size or detectable-effect job (one per effect, or per N). The
// observer sees one unit per search finished and may cancel between power values.
std::vector<tPower_row> Run_search(const tPower_job& job, const tProgress_observer* observer);

// Checks a job's simulated test (N from the grid's last, effect from its first) before a
// run; throws std::invalid_argument with a readable message.
void Check_power_job(const tPower_job& job);
// The units of a job's progress: a power grid's replications (one per exact point), or a
// search's searches.
std::int64_t Power_job_units(const tPower_job& job);
// Runs the job: the grid point by point in order, or its searches. The observer sees the
// units done of Power_job_units and may cancel: then the answer is false and rows holds
// the grid points finished (a search's: none).
bool Run_power_job(const tPower_job& job, const tProgress_observer* observer, std::vector<tPower_row>& rows);
