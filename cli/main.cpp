// SPDX-License-Identifier: GPL-3.0-or-later
// kestrum-cli: the command-line front end of Kestrum (see cli_run.h).
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <typeinfo>
#include <vector>

#include "cli/cli_run.h"
#include "cli/fd_output.h"
#include "cli/io_wait.h"

namespace {

// Static storage only: nothing here allocates before main.
tInterrupt interrupt;
int wake_write_fd = -1;

constexpr char kOut_of_memory[] = "kestrum-cli: not enough memory to go on.\n";

// Writes a fixed message with no allocation, for when memory has run out.
void Write_stderr(const char* text) {
  std::size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t n = ::write(STDERR_FILENO, text, left);
    if (n <= 0) return;
    text += n;
    left -= static_cast<std::size_t>(n);
  }
}

// Only lock-free stores and a write(2): the run sees the request at its next check, and a
// wait for input or output ends at once.
extern "C" void On_signal(int signal) {
  interrupt.Signal = signal;
  interrupt.Requested.store(true, std::memory_order_relaxed);
  if (wake_write_fd >= 0) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_write_fd, &byte, 1);
    errno = saved;
  }
}

void Catch_interruptions(const tWake_pipe& wake) {
  interrupt.Wake_fd = wake.Read_fd();
  wake_write_fd = wake.Write_fd();
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

// An exception that escapes (memory can run out even while an exception is being made,
// or in a library's own static data) ends the program with a message and status 3, never
// with an abort and a core dump.
[[noreturn]] void On_terminate() {
  const char* message = kOut_of_memory;
  if (const std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (const std::bad_alloc&) {
    } catch (...) {
      message = "kestrum-cli: internal error: an exception was not handled.\n";
    }
  }
  Write_stderr(message);
  std::_Exit(kExit_computation);
}

// Before every static constructor of the program (priority 101 runs first), so that a
// failure there is reported too.
__attribute__((constructor(101))) void Install_terminate_handler() {
  std::set_terminate(On_terminate);
}

}  // namespace

int main(int argc, char** argv) {
  int status = kExit_computation;
  try {
    std::ios::sync_with_stdio(false);
    static const tWake_pipe wake;  // closed only at exit, after the handler lets go of it
    Catch_interruptions(wake);
    {
      tFd_output_buffer buffer(STDOUT_FILENO);
      buffer.Set_wake_fds({wake.Read_fd()});
      std::ostream out(&buffer);
      const std::vector<std::string> args(argv + 1, argv + argc);
      status = Run_cli(args, out, std::cerr, ::isatty(STDERR_FILENO) == 1, &interrupt);
    }
    std::cerr.flush();
  } catch (const std::bad_alloc&) {
    Write_stderr(kOut_of_memory);
    status = kExit_computation;
  }
  // No signal may write to the pipe once it is closed.
  wake_write_fd = -1;
  return status;
}
