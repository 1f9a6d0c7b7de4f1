#include "cli/batch_csv.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

using tRecord = std::vector<std::string>;

std::string Trim(const std::string& text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  std::size_t begin = 0, end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Splits the whole text into records of fields (RFC 4180, with LF, CR LF or CR line ends).
std::variant<std::vector<tRecord>, std::string> Split_records(const std::string& text) {
  std::vector<tRecord> records;
  tRecord record;
  std::string field;
  bool in_quotes = false;
  bool field_started = false;  // something was read for the current record
  std::size_t line = 1;
  std::size_t quote_line = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_quotes) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          field += '"';
          ++i;
        } else {
          in_quotes = false;
        }
      } else {
        if (c == '\n') ++line;
        field += c;
      }
      continue;
    }
    if (c == '"' && Trim(field).empty()) {
      field.clear();  // blanks before an opening quote
      in_quotes = true;
      field_started = true;
      quote_line = line;
    } else if (c == ',') {
      record.push_back(field);
      field.clear();
      field_started = true;
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      ++line;
      record.push_back(field);
      records.push_back(record);
      record.clear();
      field.clear();
      field_started = false;
    } else {
      field += c;
      field_started = true;
    }
  }
  if (in_quotes) {
    return "the quoted field opened on line " + std::to_string(quote_line) + " is never closed";
  }
  if (field_started || !field.empty()) {
    record.push_back(field);
    records.push_back(record);
  }
  return records;
}

bool Is_empty_record(const tRecord& record) {
  return std::all_of(record.begin(), record.end(),
                     [](const std::string& f) { return Trim(f).empty(); });
}

}  // namespace

std::variant<tBatch_table, std::string> Read_batch_csv(const std::string& content) {
  std::string text = content;
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);  // UTF-8 byte-order mark
  auto split = Split_records(text);
  if (auto* message = std::get_if<std::string>(&split)) return *message;
  auto& records = std::get<std::vector<tRecord>>(split);
  records.erase(std::remove_if(records.begin(), records.end(), Is_empty_record), records.end());
  if (records.empty()) return std::string("the file is empty: it needs a header row naming case_x and case_y");

  std::optional<std::size_t> col_id, col_x, col_y;
  const tRecord& header = records.front();
  for (std::size_t i = 0; i < header.size(); ++i) {
    const std::string name = Lower(Trim(header[i]));
    std::optional<std::size_t>* slot = name == "id"       ? &col_id
                                       : name == "case_x" ? &col_x
                                       : name == "case_y" ? &col_y
                                                          : nullptr;
    if (slot == nullptr) continue;
    if (slot->has_value()) return "the header names the column " + name + " twice";
    *slot = i;
  }
  if (!col_x || !col_y) {
    return std::string("the header row must name the columns case_x and case_y");
  }

  tBatch_table table;
  table.Rows.reserve(records.size() - 1);
  const auto cell = [](const tRecord& record, std::optional<std::size_t> column) {
    return (column && *column < record.size()) ? Trim(record[*column]) : std::string();
  };
  for (std::size_t r = 1; r < records.size(); ++r) {
    tBatch_row row;
    row.Id = col_id ? cell(records[r], col_id) : std::to_string(r);
    row.Case_x = cell(records[r], col_x);
    row.Case_y = cell(records[r], col_y);
    table.Rows.push_back(std::move(row));
  }
  return table;
}

std::string Csv_field(const std::string& text) {
  const bool quote = text.find_first_of(",\"\r\n") != std::string::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' ' ||
                                        text.front() == '\t' || text.back() == '\t'));
  if (!quote) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}
