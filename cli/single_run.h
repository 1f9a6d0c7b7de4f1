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

// json and report give the output of a computed run (called only for one): the JSON
// object, or the report's lines. Returns the exit status.
int Finish_single_run(const tSingle_outcome& outcome, bool json,
                      const std::function<std::string()>& json_text,
                      const std::function<std::vector<std::string>()>& report_lines,
                      std::ostream& out, std::ostream& err, const tInterrupt* interrupt);
