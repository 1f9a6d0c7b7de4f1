// SPDX-License-Identifier: GPL-3.0-or-later
// The subcommands `power` (deficit, dissociation, udt) and `merge` of kestrum-cli:
// planning a study from command-line settings, with a report, JSON or CSV, split into
// shards (--shard K/N) whose files `merge` combines into the whole run's output.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "app/power_request.h"
#include "cli/cli_args.h"
#include "cli/exit_status.h"

std::string Power_usage_text();

int Run_power_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  bool progress, tInterrupt* interrupt);
int Run_merge_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
