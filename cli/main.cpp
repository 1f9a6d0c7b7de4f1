// SPDX-License-Identifier: GPL-3.0-or-later
// kestrum-cli: the command-line front end of Kestrum (see cli_run.h).
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "cli/fd_output.h"

namespace {

tInterrupt interrupt;

// Only lock-free stores: the run sees the request and stops at its next check.
extern "C" void On_signal(int signal) {
  interrupt.Signal = signal;
  interrupt.Requested.store(true, std::memory_order_relaxed);
}

void Catch_interruptions() {
  struct sigaction action {};
  action.sa_handler = On_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // A signal ignored by the parent (nohup, a background job) stays ignored.
    if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  Catch_interruptions();
  int status = kExit_computation;
  {
    tFd_output_buffer buffer(STDOUT_FILENO);
    std::ostream out(&buffer);
    try {
      const std::vector<std::string> args(argv + 1, argv + argc);
      status = Run_cli(args, out, std::cerr, ::isatty(STDERR_FILENO) == 1, &interrupt);
    } catch (const std::bad_alloc&) {
      std::cerr << "kestrum-cli: not enough memory to go on.\n";
    }
  }
  std::cerr.flush();
  return status;
}
