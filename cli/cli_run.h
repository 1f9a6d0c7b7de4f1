// SPDX-License-Identifier: GPL-3.0-or-later
// kestrum-cli as a function: parses the arguments, runs the analysis (or a batch of
// cases) and writes the output, returning the exit status. main() only connects it to
// the process's streams and signals.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "app/analysis_run.h"
#include "cli/exit_status.h"
#include "cli/terminal_text.h"
#include "app/record_writers.h"
#include "app/result_record.h"

// args are the arguments after the program name. progress: show batch progress on err.
// interrupt: when set, the run stops as soon as it reads true (nullptr: never).
int Run_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            bool progress, tInterrupt* interrupt = nullptr);
