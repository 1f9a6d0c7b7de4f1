// The batch reader on arbitrary file contents; every id read must survive being written
// to a CSV field and read back, and become a valid JSON string.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <variant>

#include "cli/batch_csv.h"
#include "cli/cli_run.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  const auto parsed = Read_batch_csv(content);
  const auto* table = std::get_if<tBatch_table>(&parsed);
  if (table == nullptr) return 0;
  for (const tBatch_row& row : table->Rows) {
    // A row whose three read fields are all empty is written as a blank line, which the
    // reader skips.
    if (row.Id.empty() && row.Case_x.empty() && row.Case_y.empty()) continue;
    const std::string line = "id,case_x,case_y\n" + Csv_field(row.Id) + "," +
                             Csv_field(row.Case_x) + "," + Csv_field(row.Case_y) + "\n";
    const auto again = Read_batch_csv(line);
    const auto* t = std::get_if<tBatch_table>(&again);
    if (t == nullptr || t->Rows.size() != 1) std::abort();
    if (t->Rows[0].Case_x != row.Case_x || t->Rows[0].Case_y != row.Case_y) std::abort();
    const std::string json = Json_string(row.Id);
    if (json.size() < 2 || json.front() != '"' || json.back() != '"') std::abort();
  }
  return 0;
}
