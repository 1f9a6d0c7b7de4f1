// SPDX-License-Identifier: GPL-3.0-or-later
// A toolkit analysis as one flat record of named figures, in groups, in a fixed order:
// what the JSON object and the batch CSV columns of the command line are written from.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "app/toolkit_analysis.h"

struct tRecord_entry {
  std::string Group;  // "" for the record's top level
  std::string Name;
  std::variant<double, std::int64_t, bool, std::string> Value;
};

std::vector<tRecord_entry> Toolkit_record(const tToolkit_results& results);

// "deficit", "dissociation", "udt".
std::string Kind_name(tToolkit_kind kind);
