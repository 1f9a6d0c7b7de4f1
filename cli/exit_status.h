// SPDX-License-Identifier: GPL-3.0-or-later
// The exit statuses of kestrum-cli, the request to stop that a signal makes, and the
// status of a finished output (a full disk, a closed pipe, an interrupted write).
#pragma once

#include <atomic>
#include <csignal>
#include <iosfwd>
#include <string>

#include "app/run_status.h"

// Exit statuses: app/run_status.h, and these.
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

// A closed pipe (the reader of `| head` has gone) ends the run quietly, as a process
// ended by SIGPIPE would.
constexpr int kExit_broken_pipe = kExit_signal_base + SIGPIPE;

// 128 + the signal that asked to stop (SIGINT when none is known).
int Interrupted_status(const tInterrupt* interrupt);
bool Is_interrupted_status(int status);
bool Interrupt_requested(const tInterrupt* interrupt);

// What a failed output holds at its end, for the message: "; the output ends after
// <last_whole>" and whether part of the next row follows it.
std::string Output_end(const std::ostream& out, const std::string& last_whole);

// Flushes out. 0 when everything written so far arrived (which is then marked as whole
// rows); else the exit status, with the cause on err (nothing for a closed pipe, and
// nothing for a wait cut short by an interruption, which the caller reports).
// last_whole names the last whole row written, for the message.
int Output_status(std::ostream& out, std::ostream& err, const tInterrupt* interrupt = nullptr,
                  const std::string& last_whole = "");
