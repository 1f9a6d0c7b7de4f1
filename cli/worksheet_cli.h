// SPDX-License-Identifier: GPL-3.0-or-later
// kestrum-cli without a subcommand: the worksheet's analysis (see cli_args.h).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/exit_status.h"

int Run_worksheet_cli(const std::vector<std::string>& args, std::ostream& out,
                      std::ostream& err, bool progress, tInterrupt* interrupt);
