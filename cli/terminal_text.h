// SPDX-License-Identifier: GPL-3.0-or-later
// Text for the terminal: the statistics' warnings, with nothing copied from an input able
// to steer the terminal (the worksheet's messages: Message_for_terminal, app/safe_text.h).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "app/safe_text.h"

// Each warning as "kestrum-cli: <prefix>warning: <text>".
void Print_warnings(std::ostream& err, const std::vector<std::string>& warnings,
                    const std::string& prefix);
