// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_text.h"

#include <ostream>

#include "app/safe_text.h"

std::string Message_for_terminal(const std::string& message) {
  std::string out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t cr = message.find('\r', start);
    out += Printable_text(message.substr(start, cr - start));
    if (cr == std::string::npos) return out;
    out += '\n';
    start = cr + 1;
  }
}

void Print_warnings(std::ostream& err, const std::vector<std::string>& warnings,
                    const std::string& prefix) {
  for (const std::string& w : warnings) {
    err << "kestrum-cli: " << Printable_text(prefix) << "warning: " << w << '\n';
  }
}

