// SPDX-License-Identifier: GPL-3.0-or-later
// Text for the terminal: the worksheet's messages and the statistics' warnings, with
// nothing copied from an input able to steer the terminal.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// A worksheet message for a terminal: each CR becomes a line end; any other control
// character (copied from the input) is replaced as Printable_text does.
std::string Message_for_terminal(const std::string& message);

// Each warning as "kestrum-cli: <prefix>warning: <text>".
void Print_warnings(std::ostream& err, const std::vector<std::string>& warnings,
                    const std::string& prefix);
