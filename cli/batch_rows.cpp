// SPDX-License-Identifier: GPL-3.0-or-later
// The rows a batch writes, for any analysis: CSV cells from the record's figures and the
// JSON object of a row (declared in cli/batch_run.h).
#include "app/record_writers.h"
#include "app/safe_text.h"
#include "cli/batch_run.h"

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

