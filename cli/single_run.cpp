// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/single_run.h"

#include <ostream>

#include "cli/terminal_text.h"

int Finish_single_run(const tSingle_outcome& outcome, const std::function<std::string()>& output,
                      std::ostream& out, std::ostream& err, const tInterrupt* interrupt) {
  if (outcome.Warnings != nullptr) Print_warnings(err, *outcome.Warnings, "");
  if (outcome.Cancelled || Interrupt_requested(interrupt)) {
    err << "kestrum-cli: Interrupted; nothing was written.\n";
    return Interrupted_status(interrupt);
  }
  if (!outcome.Computed) {
    err << Message_for_terminal(outcome.Error) << '\n';
    return outcome.Status;
  }
  out << output();
  const int status = Output_status(out, err, interrupt);
  if (Is_interrupted_status(status)) {
    err << "kestrum-cli: Interrupted while writing the output" << Output_end(out, "") << ".\n";
  }
  return status;
}
