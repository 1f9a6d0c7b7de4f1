// SPDX-License-Identifier: GPL-3.0-or-later
// The end of a single run, for every analysis: its warnings on standard error, then the
// interruption, the error, or the output and the output's status.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "cli/exit_status.h"

struct tSingle_outcome {
  bool Computed = false;
  bool Cancelled = false;
  int Status = kExit_success;
  std::string Error;
  const std::vector<std::string>* Warnings = nullptr;
};

// output is called only for a computed run and returns its whole text. Returns the exit
// status.
int Finish_single_run(const tSingle_outcome& outcome, const std::function<std::string()>& output,
                      std::ostream& out, std::ostream& err, const tInterrupt* interrupt);
