// SPDX-License-Identifier: GPL-3.0-or-later
// kestrum-cli as a function: parses the arguments, runs the analysis (or a batch of
// cases) and writes the output, returning the exit status. main() only connects it to
// the process's streams and signals.
#pragma once

#include <atomic>
#include <csignal>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/analysis_run.h"
#include "app/record_writers.h"
#include "app/result_record.h"

// Exit statuses.
constexpr int kExit_success = 0;
constexpr int kExit_usage = 1;
constexpr int kExit_input = 2;
constexpr int kExit_computation = 3;
// An interrupted run ends with 128 + the signal's number, as a shell reports a process
// ended by that signal (130 for SIGINT, 143 for SIGTERM, 129 for SIGHUP).
constexpr int kExit_signal_base = 128;

// A request to stop, set by a signal handler: Signal first, then Requested, both with
// plain lock-free stores; the handler then writes a byte to the pipe whose read end is
// Wake_fd, so that every wait for input or output ends (-1: no such pipe).
struct tInterrupt {
  std::atomic<bool> Requested{false};
  volatile std::sig_atomic_t Signal = 0;
  int Wake_fd = -1;
};
static_assert(std::atomic<bool>::is_always_lock_free);

// args are the arguments after the program name. progress: show batch progress on err.
// interrupt: when set, the run stops as soon as it reads true (nullptr: never).
int Run_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            bool progress, tInterrupt* interrupt = nullptr);

// A worksheet message for a terminal: each CR becomes a line end; any other control
// character (copied from the input) is replaced as Printable_text does.
std::string Message_for_terminal(const std::string& message);
