// The case file of a batch run: CSV with a header row naming case_x and case_y and,
// optionally, id; one case per row. Quoted fields ("a,b", "say ""x""") and CR LF line
// ends are read; other columns are ignored.
#pragma once

#include <cstddef>
#include <string>
#include <variant>
#include <vector>

struct tBatch_row {
  std::string Id;      // the id column, else the row's number (1 for the first case)
  std::string Case_x;  // texts, surrounding blanks removed; checked like worksheet fields
  std::string Case_y;
};

struct tBatch_table {
  std::vector<tBatch_row> Rows;
};

// The table, or a readable message when the file is not a usable case file.
std::variant<tBatch_table, std::string> Read_batch_csv(const std::string& content);

// One CSV field as written: quoted when it holds a comma, a quote, a line end or
// surrounding blanks.
std::string Csv_field(const std::string& text);
