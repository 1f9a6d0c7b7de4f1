// SPDX-License-Identifier: GPL-3.0-or-later
// A whole case file read into memory through the command line's batch reader, for the
// tests and the fuzz target (the command line itself reads row by row).
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "app/batch_rows.h"

struct tBatch_table {
  std::vector<tBatch_row> Rows;
};

// The whole table of a case file, or the message when it is not usable.
std::variant<tBatch_table, std::string> Read_batch_csv(const std::string& content);
