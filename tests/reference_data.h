// SPDX-License-Identifier: GPL-3.0-or-later
// Reads the reference tables of tests/data/*.json that have the simple shape
//   { "table": [ { "name": number, ... }, ... ], ... }
// (numbers only inside the records). Enough for the distribution references; not a
// general JSON reader. Numbers are parsed with std::from_chars, so the process locale
// does not matter.
#pragma once

#include <cctype>
#include <charconv>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestrum_test {

using Reference_record = std::map<std::string, double>;
using Reference_tables = std::map<std::string, std::vector<Reference_record>>;

class tReference_reader {
 public:
  explicit tReference_reader(std::string text) : text_(std::move(text)) {}

  Reference_tables Read() {
    Reference_tables tables;
    Expect('{');
    if (Peek() == '}') return tables;
    for (;;) {
      const std::string name = String();
      Expect(':');
      tables[name] = Records();
      if (Peek() == ',') {
        ++pos_;
        continue;
      }
      Expect('}');
      return tables;
    }
  }

 private:
  char Peek() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    if (pos_ >= text_.size()) throw std::runtime_error("reference file ends early");
    return text_[pos_];
  }
  void Expect(char c) {
    if (Peek() != c) {
      throw std::runtime_error(std::string("reference file: expected '") + c + "' at offset " +
                               std::to_string(pos_));
    }
    ++pos_;
  }
  std::string String() {
    Expect('"');
    const auto end = text_.find('"', pos_);
    if (end == std::string::npos) throw std::runtime_error("reference file: open string");
    std::string s = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    return s;
  }
  double Number() {
    Peek();
    double value = 0;
    const char* first = text_.data() + pos_;
    const auto r = std::from_chars(first, text_.data() + text_.size(), value);
    if (r.ec != std::errc()) {
      throw std::runtime_error("reference file: bad number at offset " + std::to_string(pos_));
    }
    pos_ += static_cast<std::size_t>(r.ptr - first);
    return value;
  }
  std::vector<Reference_record> Records() {
    std::vector<Reference_record> records;
    Expect('[');
    if (Peek() == ']') {
      ++pos_;
      return records;
    }
    for (;;) {
      Reference_record record;
      Expect('{');
      for (;;) {
        const std::string key = String();
        Expect(':');
        record[key] = Number();
        if (Peek() == ',') {
          ++pos_;
          continue;
        }
        Expect('}');
        break;
      }
      records.push_back(std::move(record));
      if (Peek() == ',') {
        ++pos_;
        continue;
      }
      Expect(']');
      return records;
    }
  }

  std::string text_;
  std::size_t pos_ = 0;
};

// Reads tests/data/<file_name>; throws with a readable message when it cannot.
inline Reference_tables Read_reference_tables(const std::string& file_name) {
  const std::string path = std::string(KESTRUM_TEST_DATA_DIR) + "/" + file_name;
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return tReference_reader(text.str()).Read();
}

}  // namespace kestrum_test
