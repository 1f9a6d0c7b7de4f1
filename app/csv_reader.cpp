// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/csv_reader.h"

#include <cstring>
#include <utility>

namespace {

constexpr std::size_t kRead_size = 64 * 1024;

}  // namespace

tCsv_reader::tCsv_reader(tByte_source source) : source_(std::move(source)), buffer_(kRead_size) {}

tCsv_reader::tCsv_reader(std::string_view text) : text_(text), end_(text.size()) {
  at_end_ = true;  // nothing to read beyond the text
}

bool tCsv_reader::Fill() {
  if (at_end_) return false;
  const std::size_t n = source_(buffer_.data(), buffer_.size());
  if (n == 0) {
    at_end_ = true;
    return false;
  }
  pos_ = 0;
  end_ = n;
  return true;
}

void tCsv_reader::Detect_separator() {
  if (Peek() < 0) return;
  const char* data = source_ ? buffer_.data() : text_.data();
  std::size_t commas = 0, semicolons = 0;
  bool in_quotes = false, seen = false;
  // Within what is buffered: a header longer than a buffer keeps the comma.
  for (std::size_t i = pos_; i < end_; ++i) {
    const char c = data[i];
    if (c == '"') in_quotes = !in_quotes;
    if (in_quotes) continue;
    if (c == '\n' || c == '\r') {
      if (seen) break;  // blank lines before the header are skipped
      continue;
    }
    if (c != ' ' && c != '\t') seen = true;
    if (c == ',') ++commas;
    if (c == ';') ++semicolons;
  }
  separator_ = (semicolons > 0 && commas == 0) ? ';' : ',';
}

int tCsv_reader::Peek() {
  if (pos_ == end_ && !Fill()) return -1;
  const char c = source_ ? buffer_[pos_] : text_[pos_];
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
    const char* data = source_ ? buffer_.data() : text_.data();
    if (end_ - pos_ >= 3 && std::memcmp(data + pos_, "\xEF\xBB\xBF", 3) == 0) pos_ += 3;
  }
  record.Line = line_;
  if (stopped_ || Peek() < 0) return false;

  std::string field;
  bool in_quotes = false;
  bool field_blank = true;  // only blanks so far: an opening quote may still come
  bool field_too_long = false, record_too_long = false;
  std::size_t length = 0, quote_line = 0;
  const auto add = [&](int c) {
    if (field.size() >= kMax_csv_field_length) {
      field_too_long = true;
      return;
    }
    field += static_cast<char>(c);
  };
  for (int c = Get(); c >= 0; c = Get()) {
    if (++length > kMax_csv_record_length) {
      // A line may have no end at all (/dev/zero): the record is refused here and the
      // reading ends with it.
      record_too_long = true;
      stopped_ = true;
      break;
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
    } else if (c == separator_) {
      record.Fields.push_back(std::move(field));
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
  if (record_too_long) {
    record.Error = "the row is longer than " + std::to_string(kMax_csv_record_length) +
                   " characters; the file is read no further";
  } else if (in_quotes) {
    record.Error = "the quoted field opened on line " + std::to_string(quote_line) +
                   " is never closed";
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

