// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/batch_table.h"

#include <string_view>

std::variant<tBatch_table, std::string> Read_batch_csv(const std::string& content) {
  tCsv_reader records{std::string_view(content)};
  records.Detect_separator();
  tBatch_reader reader(records);
  const std::string message = reader.Read_header();
  if (!message.empty()) return message;
  tBatch_table table;
  tBatch_row row;
  while (reader.Next(row)) table.Rows.push_back(row);
  return table;
}
