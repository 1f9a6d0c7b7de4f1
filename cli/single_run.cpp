// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/single_run.h"

#include <ostream>

#include "cli/terminal_text.h"

int Finish_single_run(const tSingle_outcome& outcome, bool json,
                      const std::function<std::string()>& json_text,
                      const std::function<std::vector<std::string>()>& report_lines,
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
  std::string text;
  if (json) {
    text = json_text() + '\n';
  } else {
    for (const std::string& line : report_lines()) text += line + '\n';
  }
  out << text;
  const int status = Output_status(out, err, interrupt);
  if (Is_interrupted_status(status)) {
    err << "kestrum-cli: Interrupted while writing the output" << Output_end(out, "") << ".\n";
  }
  return status;
}
