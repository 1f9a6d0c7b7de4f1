// SPDX-License-Identifier: GPL-3.0-or-later
// A pool of std::threads taking blocks from an atomic counter; the calling thread waits,
// reports progress and forwards a cancellation. Block results land at their own index, so
// the order of completion does not matter.
#include "app/power_runner.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

// The watching thread looks at the cancellation this often, and reports progress every
// kProgress_polls looks.
constexpr auto kPoll_interval = std::chrono::milliseconds(10);
constexpr int kProgress_polls = 5;

}  // namespace

void Shard_blocks(std::int64_t replications, int shard, int shards, std::int64_t& first_block,
                  std::int64_t& end_block) {
  if (shards < 1 || shard < 1 || shard > shards)
    throw std::invalid_argument("A shard must be K/N with 1 <= K <= N.");
  const std::int64_t blocks = (replications + kPower_block - 1) / kPower_block;
  first_block = blocks * (shard - 1) / shards;
  end_block = blocks * shard / shards;
}

std::vector<tPower_block> Run_power_blocks(std::int64_t replications, std::int64_t first_block,
                                           std::int64_t end_block, const tBlock_function& fn,
                                           const tProgress_observer* observer, int threads) {
  const std::int64_t blocks = end_block - first_block;
  std::vector<tPower_block> out(static_cast<std::size_t>(std::max<std::int64_t>(blocks, 0)));
  if (blocks <= 0) return out;
  if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  threads = static_cast<int>(std::min<std::int64_t>(threads, blocks));
  std::int64_t total = 0;
  for (std::int64_t b = 0; b < blocks; ++b)
    total += std::min(kPower_block, replications - (first_block + b) * kPower_block);
  if (threads == 1) {
    // On the calling thread alone, with no watcher (a build without threads, as the web
    // page's, can start none): the blocks in order, progress after each, and the
    // cancellation read by the blocks themselves.
    const std::atomic<bool>* stop = observer != nullptr ? observer->Cancel : nullptr;
    std::int64_t done = 0;
    for (std::int64_t b = 0; b < blocks; ++b) {
      if (observer != nullptr && observer->Cancel_requested()) throw ECancelled();
      const std::int64_t first = (first_block + b) * kPower_block;
      const std::int64_t count = std::min(kPower_block, replications - first);
      out[static_cast<std::size_t>(b)] = fn(first, count, stop);
      done += count;
      if (observer != nullptr && observer->Progress) observer->Progress(done, total);
    }
    return out;
  }
  std::atomic<std::int64_t> next{0}, done{0};
  std::atomic<bool> stop{false}, finished{false};
  std::mutex error_lock;
  std::int64_t error_block = blocks;
  std::exception_ptr error;
  const auto worker = [&] {
    for (;;) {
      if (stop.load(std::memory_order_relaxed)) return;
      const std::int64_t b = next.fetch_add(1);
      if (b >= blocks) return;
      const std::int64_t first = (first_block + b) * kPower_block;
      const std::int64_t count = std::min(kPower_block, replications - first);
      try {
        out[static_cast<std::size_t>(b)] = fn(first, count, &stop);
        done.fetch_add(count);
      } catch (const ECancelled&) {
        return;
      } catch (...) {
        const std::lock_guard<std::mutex> lock(error_lock);
        if (b < error_block) {
          error_block = b;
          error = std::current_exception();
        }
        stop = true;
        return;
      }
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(worker);
  bool cancelled = false;
  std::thread watcher;
  if (observer != nullptr) {
    watcher = std::thread([&] {
      for (int polls = 0; !finished.load(); ++polls) {
        if (observer->Progress && polls % kProgress_polls == 0) observer->Progress(done.load(), total);
        if (observer->Cancel_requested()) {
          cancelled = true;
          stop = true;
          return;
        }
        std::this_thread::sleep_for(kPoll_interval);
      }
    });
  }
  worker();
  for (std::thread& t : pool) t.join();
  finished = true;
  if (watcher.joinable()) watcher.join();
  if (error) std::rethrow_exception(error);
  if (cancelled || (observer != nullptr && observer->Cancel_requested() && done.load() < total))
    throw ECancelled();
  if (observer != nullptr && observer->Progress) observer->Progress(total, total);
  return out;
}

tPower_block Total_of(const std::vector<tPower_block>& blocks) {
  tPower_block t;
  for (const tPower_block& b : blocks) {
    t.Count += b.Count;
    for (int k = 0; k < 3; ++k) t.Hits[k] += b.Hits[k];
    t.Sum += b.Sum;
    t.Sum_squares += b.Sum_squares;
  }
  return t;
}
