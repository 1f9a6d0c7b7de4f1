// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/batch_csv.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

constexpr std::size_t kRead_size = 64 * 1024;

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

}  // namespace

tCsv_reader::tCsv_reader(int fd) : fd_(fd), buffer_(kRead_size) {}

tCsv_reader::tCsv_reader(std::string_view text) : text_(text), end_(text.size()) {
  at_end_ = true;  // nothing to read beyond the text
}

bool tCsv_reader::Fill() {
  if (at_end_) return false;
  for (;;) {
    const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
    if (n > 0) {
      pos_ = 0;
      end_ = static_cast<std::size_t>(n);
      return true;
    }
    if (n == 0) {
      at_end_ = true;
      return false;
    }
    if (errno != EINTR) {
      throw std::runtime_error(std::string("cannot read the file (") + std::strerror(errno) +
                               ")");
    }
  }
}

int tCsv_reader::Peek() {
  if (pos_ == end_ && !Fill()) return -1;
  const char c = fd_ >= 0 ? buffer_[pos_] : text_[pos_];
  return static_cast<unsigned char>(c);
}

int tCsv_reader::Get() {
  const int c = Peek();
  if (c >= 0) ++pos_;
  return c;
}

bool tCsv_reader::Next(tCsv_record& record) {
  record.Fields.clear();
  record.Error.clear();
  if (line_ == 1 && Peek() == 0xEF) {
    // A UTF-8 byte-order mark at the start of the file is not part of the first field.
    const char* data = fd_ >= 0 ? buffer_.data() : text_.data();
    if (end_ - pos_ >= 3 && std::memcmp(data + pos_, "\xEF\xBB\xBF", 3) == 0) pos_ += 3;
  }
  record.Line = line_;
  if (Peek() < 0) return false;

  std::string field;
  bool in_quotes = false;
  bool field_blank = true;  // only blanks so far: an opening quote may still come
  bool field_too_long = false, record_too_long = false;
  std::size_t length = 0, quote_line = 0;
  const auto add = [&](int c) {
    if (record_too_long) return;
    if (field.size() >= kMax_csv_field_length) {
      field_too_long = true;
      return;
    }
    field += static_cast<char>(c);
  };
  for (int c = Get(); c >= 0; c = Get()) {
    if (!record_too_long && ++length > kMax_csv_record_length) {
      // Keep reading to the record's end, but store nothing more of it.
      record_too_long = true;
      record.Fields.clear();
      record.Fields.shrink_to_fit();
      field.clear();
      field.shrink_to_fit();
    }
    if (in_quotes) {
      if (c == '"') {
        if (Peek() == '"') {
          Get();
          ++length;
          add('"');
          field_blank = false;
        } else {
          in_quotes = false;
        }
      } else {
        if (c == '\n') ++line_;
        if (c != ' ' && c != '\t') field_blank = false;
        add(c);
      }
      continue;
    }
    if (c == '"' && field_blank) {
      field.clear();  // blanks before an opening quote
      in_quotes = true;
      quote_line = line_;
    } else if (c == ',') {
      if (!record_too_long) record.Fields.push_back(std::move(field));
      field.clear();
      field_blank = true;
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && Peek() == '\n') Get();
      ++line_;
      break;
    } else {
      if (c != ' ' && c != '\t') field_blank = false;
      add(c);
    }
  }
  if (in_quotes) {
    record.Error = "the quoted field opened on line " + std::to_string(quote_line) +
                   " is never closed";
  } else if (record_too_long) {
    record.Error = "the row is longer than " + std::to_string(kMax_csv_record_length) +
                   " characters";
  } else if (field_too_long) {
    record.Error = "a field is longer than " + std::to_string(kMax_csv_field_length) +
                   " characters";
  }
  if (!record.Error.empty()) {
    record.Fields.clear();
  } else {
    record.Fields.push_back(std::move(field));
  }
  return true;
}

std::string tBatch_reader::Read_header() {
  tCsv_record header;
  do {
    if (!records_.Next(header)) {
      return "the file is empty: it needs a header row naming case_x and case_y";
    }
  } while (Is_blank_record(header));
  if (!header.Error.empty()) return "line " + std::to_string(header.Line) + ": " + header.Error;
  for (std::size_t i = 0; i < header.Fields.size(); ++i) {
    const std::string name = Lower(Trim(header.Fields[i]));
    long long* slot = name == "id"       ? &col_id_
                      : name == "case_x" ? &col_x_
                      : name == "case_y" ? &col_y_
                                         : nullptr;
    if (slot == nullptr) continue;
    if (*slot >= 0) return "the header names the column " + name + " twice";
    *slot = static_cast<long long>(i);
  }
  if (col_x_ < 0 || col_y_ < 0) return "the header row must name the columns case_x and case_y";
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
  row.Case_x = cell(col_x_);
  row.Case_y = cell(col_y_);
  row.Line = record.Line;
  row.Error = record.Error.empty() ? std::string()
                                   : "line " + std::to_string(record.Line) + ": " + record.Error;
  return true;
}

std::string Printable_text(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\t' || c == '\n' || c == '\r') {
      out += ' ';
    } else if (u < 0x20 || u == 0x7F) {
      out += "\xEF\xBF\xBD";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Csv_field(const std::string& text) {
  const std::string printable = Printable_text(text);
  const bool quote = printable.find_first_of(",\"") != std::string::npos ||
                     (!printable.empty() && (printable.front() == ' ' || printable.back() == ' '));
  if (!quote) return printable;
  std::string out = "\"";
  for (char c : printable) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}
