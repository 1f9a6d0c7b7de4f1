// SPDX-License-Identifier: GPL-3.0-or-later
// The case file of a batch run: CSV with a header row naming case_x and case_y and,
// optionally, id; one case per row. Quoted fields ("a,b", "say ""x""") and CR LF line
// ends are read; other columns are ignored. The fields are separated by commas, or by
// semicolons when the header row has semicolons and no comma (the CSV of a spreadsheet
// set up for decimal commas). A row with more or fewer fields than the header is that
// row's error: unquoted decimal commas would otherwise shift its figures. The file is
// read record by record, so a file of any size is read in bounded memory: a field over
// the limit below becomes that row's error, and a record over it ends the reading there
// (a line without end, as from /dev/zero, is never read to its end).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "app/safe_text.h"

// The longest record (all its fields, separators and quotes) and the longest field kept.
// A record longer than kMax_csv_record_length is that row's error and the last one read.
constexpr std::size_t kMax_csv_record_length = 64 * 1024;
constexpr std::size_t kMax_csv_field_length = 1024;

struct tBatch_row {
  std::string Id;      // the id column, else the row's number (1 for the first case)
  std::string Case_x;  // texts, surrounding blanks removed; checked like worksheet fields
  std::string Case_y;  // (the first two case columns, for the worksheet's two tasks)
  // Every column the reader was asked for, in its order (empty for a column not given).
  std::vector<std::string> Values;
  std::vector<bool> Given;  // per column asked for: whether the file has it
  std::size_t Line = 0;  // the line on which the row starts
  std::string Error;     // not empty when the row could not be read (too long, open quote)
};

// One CSV record as read.
struct tCsv_record {
  std::vector<std::string> Fields;
  std::size_t Line = 0;  // the line on which the record starts
  std::string Error;     // not empty when the record could not be read; Fields then empty
};

// The message of a row with the wrong number of fields ends with this.
extern const char kDecimal_comma_hint[];

// Reads CSV records (RFC 4180, with LF, CR LF or CR line ends) from a file descriptor or
// a text in memory, a buffer at a time.
class tCsv_reader {
 public:
  explicit tCsv_reader(int fd);
  explicit tCsv_reader(std::string_view text);
  // Waits for input are cut short when one of these becomes readable (tIo_woken is then
  // thrown). The descriptor may be non-blocking.
  // Negative numbers (no pipe) are left out.
  void Set_wake_fds(const std::vector<int>& fds);
  // Looks at the first line that is not blank and takes ';' as the separator when it has
  // semicolons and no comma outside quotes. Call before the first record.
  void Detect_separator();
  char Separator() const { return separator_; }
  // The next record; false at the end of the input. Throws std::runtime_error when the
  // file cannot be read, tIo_woken when a wait was cut short.
  bool Next(tCsv_record& record);

 private:
  int Get();   // the next byte, or -1 at the end
  int Peek();  // the next byte without taking it, or -1
  bool Fill();

  int fd_ = -1;
  std::string_view text_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0, end_ = 0;
  bool at_end_ = false;
  bool stopped_ = false;  // a record over the length limit ended the reading
  std::size_t line_ = 1;
  char separator_ = ',';
  std::vector<int> wake_fds_;
};

// The columns a case file must and may have (matched without regard to case). With
// Refuse_unknown, a column that is none of them nor id is refused, so that a misspelt
// covariate column does not pass unnoticed.
struct tBatch_columns {
  std::vector<std::string> Required{"case_x", "case_y"};
  std::vector<std::string> Optional;
  bool Refuse_unknown = false;
};

// The rows of a case file, read one at a time after its header.
class tBatch_reader {
 public:
  explicit tBatch_reader(tCsv_reader& records, tBatch_columns columns = {})
      : records_(records), columns_(std::move(columns)) {}
  // After Read_header: whether the file has the column of that index (required first,
  // then optional).
  bool Has_column(std::size_t k) const { return k < cols_.size() && cols_[k] >= 0; }
  // Reads the header; a readable message when the file is not a usable case file, else
  // an empty text.
  std::string Read_header();
  // The next case; false at the end of the file. Blank records are skipped.
  bool Next(tBatch_row& row);

 private:
  tCsv_reader& records_;
  tBatch_columns columns_;
  long long col_id_ = -1;
  std::vector<long long> cols_;  // per column asked for: its index in the file, or -1
  std::size_t fields_ = 0;  // the header's number of fields
  std::size_t count_ = 0;
};
