// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_text.h"

#include <ostream>

#include "app/batch_output.h"

void Print_warnings(std::ostream& err, const std::vector<std::string>& warnings,
                    const std::string& prefix) {
  err << Warning_lines(warnings, prefix);
}
