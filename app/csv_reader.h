// SPDX-License-Identifier: GPL-3.0-or-later
// CSV records (RFC 4180): quoted fields ("a,b", "say ""x""") and LF, CR LF or CR line
// ends. The fields are separated by commas, or by semicolons when the first line has
// semicolons and no comma (the CSV of a spreadsheet set up for decimal commas). The input
// is a text in memory or any source read a buffer at a time (a file descriptor on the
// command line), so a file of any size is read in bounded memory: a field over the limit
// below becomes that record's error, and a record over it ends the reading there (a line
// without end, as from /dev/zero, is never read to its end).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The longest record (all its fields, separators and quotes) and the longest field kept.
// A record longer than kMax_csv_record_length is that row's error and the last one read.
constexpr std::size_t kMax_csv_record_length = 64 * 1024;
constexpr std::size_t kMax_csv_field_length = 1024;

// One CSV record as read.
struct tCsv_record {
  std::vector<std::string> Fields;
  std::size_t Line = 0;  // the line on which the record starts
  std::string Error;     // not empty when the record could not be read; Fields then empty
};

// Fills a buffer with the next bytes of the input: their number, 0 at the end. Throws
// std::runtime_error when the input cannot be read (or what its caller chooses, to leave
// a wait).
using tByte_source = std::function<std::size_t(char* buffer, std::size_t size)>;

// Reads CSV records from a byte source or a text in memory.
class tCsv_reader {
 public:
  explicit tCsv_reader(tByte_source source);
  explicit tCsv_reader(std::string_view text);
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

  tByte_source source_;
  std::string_view text_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0, end_ = 0;
  bool at_end_ = false;
  bool stopped_ = false;  // a record over the length limit ended the reading
  std::size_t line_ = 1;
  char separator_ = ',';
};

