// SPDX-License-Identifier: GPL-3.0-or-later
// The unit's exceptions and the readable texts of its message identifiers.
#include <cfenv>
#include <cmath>
#include <string>

#include "distrib/distrib.h"
#include "distrib/fp_check.h"

std::string Message_text(int identifier) {
  switch (identifier) {
    case 1301:
    case 1305:
    case 1309:
      return "Value must be greater than ";
    case 1302:
      return "Value must not be less than ";
    case 1303:
      return "Value must be less than ";
    case 1304:
    case 1308:
    case 1312:
      return "Value must be a whole number";
    case 1315:
      return "Probability must not be greater than ";
    case 1361:
      return "Argument too large for this distribution function";
    case 1362:
      return "The mean does not exist for these degrees of freedom";
    case 1363:
      return "The variance does not exist for these degrees of freedom";
    default:
      return "";
  }
}

EArgumentError::EArgumentError(int identifier, const std::string& formatted_limit)
    : std::runtime_error(Message_text(identifier) + formatted_limit),
      identifier_(identifier),
      formatted_limit_(formatted_limit) {}

void Check_fp_faults() {
  const int raised = Raised_fp_faults();
  if (raised == 0) return;
  Clear_fp_faults();
  if (raised & kFp_invalid) throw EFloating_point_error("Invalid floating point operation");
  if (raised & kFp_divbyzero) throw EFloating_point_error("Floating point division by zero");
  throw EFloating_point_error("Floating point overflow");
}

void Require_finite(Extended x, const char* what) {
  if (std::isfinite(x)) return;
  throw EFloating_point_error(std::string(std::isnan(x) ? "Invalid floating point operation"
                                                        : "Floating point overflow") +
                              " (" + what + ")");
}
