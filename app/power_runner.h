// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the replications of a power computation on every core. The replications are split
// into fixed blocks of kPower_block; block b holds replications b x kPower_block onward,
// and each block's result depends on its replications' indices alone (each draws from the
// generator state of (seed, i)), so the blocks can be computed on any thread, in any order,
// on any machine, and added in block order to the same bits. A shard K of N is the range
// of whole blocks [floor((K - 1) B / N), floor(K B / N)) of the B blocks.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "distrib/distrib.h"
#include "distrib/progress.h"
#include "stats/deficit_power.h"

// One block's result: replications, counts of up to three events (a simulated test's
// rejections; the classification's strong and classical dissociations) and the sum and
// sum of squares of a value (the covariate power's conditional powers).
struct tPower_block {
  std::int64_t Count = 0;
  std::int64_t Hits[3] = {0, 0, 0};
  Extended Sum = 0, Sum_squares = 0;
};

// The block of replications [first, first + count) of a run. It checks `stop` between
// replications and throws ECancelled once it reads true.
using tBlock_function = std::function<tPower_block(std::int64_t first, std::int64_t count,
                                                   const std::atomic<bool>* stop)>;

// Shard `shard` (1-based) of `shards` of a run of `replications`: its first block and the
// block after its last.
void Shard_blocks(std::int64_t replications, int shard, int shards, std::int64_t& first_block,
                  std::int64_t& end_block);

// Computes blocks [first_block, end_block) of a run of `replications` on `threads` threads
// (0: every core), in parallel, and returns them in order. The observer sees replications
// done (from the calling thread, every 50 ms or so) and may cancel: the workers stop after
// their current replication and ECancelled is thrown. The first exception of a block
// (the lowest block's, whatever the timing) is rethrown.
std::vector<tPower_block> Run_power_blocks(std::int64_t replications, std::int64_t first_block,
                                           std::int64_t end_block, const tBlock_function& fn,
                                           const tProgress_observer* observer, int threads = 0);

// Sums blocks in order.
tPower_block Total_of(const std::vector<tPower_block>& blocks);
