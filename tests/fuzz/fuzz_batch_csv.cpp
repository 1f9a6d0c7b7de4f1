// SPDX-License-Identifier: GPL-3.0-or-later
// The batch reader on arbitrary file contents; every row read must survive being written
// to CSV fields and read back (with its control characters made printable), and its id
// must become a valid JSON string.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <variant>

#include "app/batch_rows.h"
#include "cli/cli_run.h"
#include "tests/support/batch_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  const auto parsed = Read_batch_csv(content);
  const auto* table = std::get_if<tBatch_table>(&parsed);
  if (table == nullptr) return 0;
  const auto blank = [](const std::string& text) {
    return text.find_first_not_of(" \t") == std::string::npos;
  };
  // The reader trims the blanks around every field, those made from control characters too.
  const auto printed = [](const std::string& text) {
    const std::string p = Printable_text(text);
    const std::size_t begin = p.find_first_not_of(" \t");
    if (begin == std::string::npos) return std::string();
    return p.substr(begin, p.find_last_not_of(" \t") + 1 - begin);
  };
  for (const tBatch_row& row : table->Rows) {
    if (!row.Error.empty()) {
      if (row.Error.rfind("line ", 0) != 0) std::abort();
      continue;
    }
    // A row whose three fields print as blanks is written as a blank line, which the
    // reader skips.
    const std::string x = printed(row.Case_x), y = printed(row.Case_y);
    if (blank(Printable_text(row.Id)) && blank(x) && blank(y)) continue;
    const std::string id_field = Csv_field(row.Id), x_field = Csv_field(row.Case_x),
                      y_field = Csv_field(row.Case_y);
    // Made printable, a field can outgrow the reader's limit (each control character
    // takes three bytes): that field would be the row's error instead.
    if (std::max({id_field.size(), x_field.size(), y_field.size()}) > kMax_csv_field_length) {
      continue;
    }
    const std::string line = "id,case_x,case_y\n" + id_field + "," + x_field + "," + y_field + "\n";
    const auto again = Read_batch_csv(line);
    const auto* t = std::get_if<tBatch_table>(&again);
    if (t == nullptr || t->Rows.size() != 1) std::abort();
    if (t->Rows[0].Case_x != x || t->Rows[0].Case_y != y) std::abort();
    const std::string json = Json_string(row.Id);
    if (json.size() < 2 || json.front() != '"' || json.back() != '"') std::abort();
  }
  return 0;
}
