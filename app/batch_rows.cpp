// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/batch_rows.h"

#include <algorithm>
#include <cctype>

#include "app/record_writers.h"
#include "app/safe_text.h"

const char kDecimal_comma_hint[] =
    "decimal commas must be quoted or use a semicolon-separated file";

namespace {

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

bool Is_blank_record(const tCsv_record& record) {
  return record.Error.empty() &&
         std::all_of(record.Fields.begin(), record.Fields.end(),
                     [](const std::string& f) { return Trim(f).empty(); });
}

// "case_x and case_y", "case", "a, b and c".
std::string Listed(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i)
    text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
  return text;
}

}  // namespace

std::string tBatch_reader::Read_header() {
  const std::string required = Listed(columns_.Required);
  tCsv_record header;
  do {
    if (!records_.Next(header)) {
      return "the file is empty: it needs a header row naming " + required;
    }
  } while (Is_blank_record(header));
  if (!header.Error.empty()) return "line " + std::to_string(header.Line) + ": " + header.Error;
  // UTF-16 (or UTF-32) text: a byte-order mark FF FE or FE FF, or NUL bytes between the
  // characters of the names.
  for (const std::string& field : header.Fields) {
    if (field.find('\0') != std::string::npos || field.rfind("\xFF\xFE", 0) == 0 ||
        field.rfind("\xFE\xFF", 0) == 0) {
      return "UTF-16 is not supported: save the file as UTF-8";
    }
  }
  fields_ = header.Fields.size();
  std::vector<std::string> wanted;
  for (const std::string& name : columns_.Required) wanted.push_back(Lower(name));
  for (const std::string& name : columns_.Optional) wanted.push_back(Lower(name));
  cols_.assign(wanted.size(), -1);
  for (std::size_t i = 0; i < header.Fields.size(); ++i) {
    const std::string name = Lower(Trim(header.Fields[i]));
    long long* slot = name == "id" ? &col_id_ : nullptr;
    for (std::size_t k = 0; slot == nullptr && k < wanted.size(); ++k)
      if (name == wanted[k]) slot = &cols_[k];
    if (slot == nullptr) {
      if (columns_.Refuse_unknown)
        return "the header names the column " + Printable_text(Trim(header.Fields[i])) +
               ", which is none of id, " + Listed(wanted);
      continue;
    }
    if (*slot >= 0) return "the header names the column " + name + " twice";
    *slot = static_cast<long long>(i);
  }
  for (std::size_t k = 0; k < columns_.Required.size(); ++k)
    if (cols_[k] < 0) return "the header row must name the columns " + required;
  return {};
}

bool tBatch_reader::Next(tBatch_row& row) {
  tCsv_record record;
  do {
    if (!records_.Next(record)) return false;
  } while (Is_blank_record(record));
  ++count_;
  const auto cell = [&record](long long column) {
    return (column >= 0 && static_cast<std::size_t>(column) < record.Fields.size())
               ? Trim(record.Fields[static_cast<std::size_t>(column)])
               : std::string();
  };
  row.Id = col_id_ >= 0 ? cell(col_id_) : std::to_string(count_);
  row.Values.clear();
  row.Given.clear();
  for (const long long column : cols_) {
    row.Values.push_back(cell(column));
    row.Given.push_back(column >= 0);
  }
  row.Case_x = row.Values.size() > 0 ? row.Values[0] : std::string();
  row.Case_y = row.Values.size() > 1 ? row.Values[1] : std::string();
  row.Line = record.Line;
  row.Error = record.Error.empty() ? std::string()
                                   : "line " + std::to_string(record.Line) + ": " + record.Error;
  if (row.Error.empty() && record.Fields.size() != fields_) {
    row.Error = "line " + std::to_string(record.Line) + ": the row has " +
                std::to_string(record.Fields.size()) + " fields and the header " +
                std::to_string(fields_) + "; " + kDecimal_comma_hint;
    row.Case_x.clear();
    row.Case_y.clear();
    for (std::string& value : row.Values) value.clear();
  }
  return true;
}


tCsv_layout Csv_layout_of(const tFigure_table& blank) {
  tCsv_layout l;
  for (const tFigure& f : blank.Figures) {
    if (f.Group == "inputs") continue;
    (f.Added_later ? l.Later : l.Results).push_back(f.Name);
  }
  return l;
}

std::string Csv_header(const std::string& leading, const tCsv_layout& layout) {
  std::string header = leading;
  for (const std::string& name : layout.Results) header += "," + name;
  header += ",error";
  for (const std::string& name : layout.Later) header += "," + name;
  return header + "\n";
}

std::string Csv_cells(const tCsv_layout& layout, const tFigure_table* figures,
                      const std::string& error) {
  std::string cells;
  for (std::size_t i = 0; i < layout.Results.size(); ++i) {
    if (i > 0) cells += ',';
    if (figures != nullptr) cells += Csv_value(figures->At(layout.Results[i]));
  }
  cells += "," + error;
  for (const std::string& name : layout.Later) {
    cells += ',';
    if (figures != nullptr) cells += Csv_value(figures->At(name));
  }
  return cells;
}

std::string Csv_row(const tCsv_layout& layout, const tBatch_row& row,
                    const std::vector<std::string>& values, const tCase_outcome& c) {
  std::string text = Csv_field(row.Id);
  for (const std::string& value : values) text += ',' + Csv_field(value);
  text += ',';
  text += c.Computed ? Csv_cells(layout, &c.Figures, "")
                     : Csv_cells(layout, nullptr, Csv_field(One_line(c.Error)));
  return text + '\n';
}

std::string Json_row(const tBatch_row& row, const std::vector<std::string>& names,
                     const std::vector<std::string>& values, const tCase_outcome& c) {
  std::string text = "{\"id\": " + Json_string(row.Id);
  for (std::size_t k = 0; k < names.size() && k < values.size(); ++k)
    text += ", " + Json_string(names[k]) + ": " + Json_string(values[k]);
  return text + ", \"error\": " + (c.Computed ? "null" : Json_string(One_line(c.Error))) +
         ", \"results\": " + (c.Computed ? c.Json : "null") + "}";
}

