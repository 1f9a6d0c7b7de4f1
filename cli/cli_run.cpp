// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_run.h"

#include <exception>
#include <new>
#include <ostream>

#include "cli/power_cli.h"
#include "cli/toolkit_cli.h"
#include "cli/worksheet_cli.h"

int Run_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            bool progress, tInterrupt* interrupt) {
  try {
    // The toolkit's subcommands; with none, the worksheet's analysis as always.
    if (!args.empty() && args[0] == "power") return Run_power_cli(args, out, err, progress, interrupt);
    if (!args.empty() && args[0] == "merge") return Run_merge_cli(args, out, err);
    if (!args.empty() && Is_toolkit_subcommand(args[0]))
      return Run_toolkit_cli(args, out, err, progress, interrupt);
    return Run_worksheet_cli(args, out, err, progress, interrupt);
  } catch (const std::bad_alloc&) {
    err << "kestrum-cli: not enough memory to go on.\n";
  } catch (const std::exception& e) {
    err << "kestrum-cli: " << e.what() << '\n';
  }
  return kExit_computation;
}
