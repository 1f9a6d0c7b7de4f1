// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/exit_status.h"

#include <cerrno>
#include <cstring>
#include <ostream>

#include "app/safe_text.h"
#include "cli/fd_output.h"

int Interrupted_status(const tInterrupt* interrupt) {
  const int signal = interrupt != nullptr ? static_cast<int>(interrupt->Signal) : 0;
  return kExit_signal_base + (signal > 0 ? signal : SIGINT);
}

std::string Output_end(const std::ostream& out, const std::string& last_whole) {
  const auto* buffer = dynamic_cast<const tFd_output_buffer*>(out.rdbuf());
  const bool partial = buffer != nullptr && buffer->Ends_in_partial_row();
  if (last_whole.empty()) return partial ? "; part of the output was written" : "";
  return "; the output ends after " + last_whole + ", the last whole row" +
         (partial ? ", and part of the next row that could not be removed" : "");
}

int Output_status(std::ostream& out, std::ostream& err, const tInterrupt* interrupt,
                  const std::string& last_whole) {
  out.flush();
  auto* buffer = dynamic_cast<tFd_output_buffer*>(out.rdbuf());
  if (out) {
    if (buffer != nullptr) buffer->Mark_whole();
    return kExit_success;
  }
  const int error = buffer != nullptr ? buffer->Error() : 0;
  if (error == EPIPE) return kExit_broken_pipe;
  if (error == EINTR) return Interrupted_status(interrupt);
  err << "kestrum-cli: cannot write the output: "
      << (error != 0 ? std::strerror(error) : "the output stream failed")
      << Printable_text(Output_end(out, last_whole)) << '\n';
  return kExit_computation;
}

bool Is_interrupted_status(int status) {
  return status == kExit_signal_base + SIGINT || status == kExit_signal_base + SIGTERM ||
         status == kExit_signal_base + SIGHUP;
}

bool Interrupt_requested(const tInterrupt* interrupt) {
  return interrupt != nullptr && interrupt->Requested.load(std::memory_order_relaxed);
}

