// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/batch_csv.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "cli/io_wait.h"

const char kDecimal_comma_hint[] =
    "decimal commas must be quoted or use a semicolon-separated file";

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
    // Wait first, so that a pipe or a terminal with nothing to read can be left on a
    // signal; a regular file is always ready.
    if (!wake_fds_.empty() && !Wait_for_io(fd_, POLLIN, wake_fds_)) throw tIo_woken{};
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
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // A non-blocking descriptor with nothing yet: wait for it.
      if (wake_fds_.empty()) Wait_for_io(fd_, POLLIN, wake_fds_);
      continue;
    }
    if (errno != EINTR) {
      throw std::runtime_error(std::string("cannot read the file (") + std::strerror(errno) +
                               ")");
    }
  }
}

void tCsv_reader::Set_wake_fds(const std::vector<int>& fds) {
  wake_fds_.clear();
  for (const int fd : fds) {
    if (fd >= 0) wake_fds_.push_back(fd);
  }
}

void tCsv_reader::Detect_separator() {
  if (Peek() < 0) return;
  const char* data = fd_ >= 0 ? buffer_.data() : text_.data();
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

namespace {

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
