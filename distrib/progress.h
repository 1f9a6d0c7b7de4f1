// SPDX-License-Identifier: GPL-3.0-or-later
// Progress reports and cancellation of a long computation (the Monte Carlo engines and
// the analysis run). A caller that wants neither passes no observer, and the computation
// then does no extra work.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <stdexcept>

// Raised when a computation stops because its caller asked it to. It leaves no partial
// results behind, and it is not an error: callers show no error box for it.
class ECancelled : public std::runtime_error {
 public:
  ECancelled() : std::runtime_error("The computation was cancelled.") {}
};

// What a caller passes to watch a long computation; both members are optional.
struct tProgress_observer {
  // Called on the computing thread with the work done and the total, both in accepted
  // Monte Carlo iterations: at least every 65,536 iterations and at most every few
  // milliseconds of work. It must be quick and must not throw.
  std::function<void(std::int64_t done, std::int64_t total)> Progress;
  // Checked at the same points; once it reads true the computation throws ECancelled.
  const std::atomic<bool>* Cancel = nullptr;

  bool Cancel_requested() const {
    return Cancel != nullptr && Cancel->load(std::memory_order_relaxed);
  }
};
