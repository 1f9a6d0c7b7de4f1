// SPDX-License-Identifier: GPL-3.0-or-later
// Recursive descent over the grammar of RFC 8259, with a depth limit so that a hostile
// file cannot exhaust the stack.
#include "app/json_reader.h"

#include <stdexcept>

namespace {

constexpr int kMax_depth = 64;

class tParser {
 public:
  explicit tParser(std::string_view text) : s_(text) {}

  tJson_value Document() {
    tJson_value v = Value(0);
    Skip_space();
    if (pos_ != s_.size()) Fail("text after the end of the document");
    return v;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(pos_));
  }
  void Skip_space() {
    while (pos_ < s_.size() &&
           (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
      ++pos_;
  }
  char Peek() {
    Skip_space();
    if (pos_ >= s_.size()) Fail("unexpected end of text");
    return s_[pos_];
  }
  void Expect(char c) {
    if (Peek() != c) Fail(std::string("expected '") + c + "'");
    ++pos_;
  }
  bool Literal(std::string_view word) {
    if (s_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  tJson_value Value(int depth) {
    if (depth > kMax_depth) Fail("nesting too deep");
    tJson_value v;
    const char c = Peek();
    if (c == '{') {
      v.Kind = tJson_value::tKind::Object;
      ++pos_;
      if (Peek() == '}') {
        ++pos_;
        return v;
      }
      for (;;) {
        if (Peek() != '"') Fail("expected a member name");
        std::string name = String();
        Expect(':');
        v.Members.push_back(tJson_member{std::move(name), Value(depth + 1)});
        if (Peek() == ',') {
          ++pos_;
          continue;
        }
        Expect('}');
        return v;
      }
    }
    if (c == '[') {
      v.Kind = tJson_value::tKind::Array;
      ++pos_;
      if (Peek() == ']') {
        ++pos_;
        return v;
      }
      for (;;) {
        v.Items.push_back(Value(depth + 1));
        if (Peek() == ',') {
          ++pos_;
          continue;
        }
        Expect(']');
        return v;
      }
    }
    if (c == '"') {
      v.Kind = tJson_value::tKind::String;
      v.Text = String();
      return v;
    }
    if (Literal("true")) {
      v.Kind = tJson_value::tKind::Bool;
      v.Bool = true;
      return v;
    }
    if (Literal("false")) {
      v.Kind = tJson_value::tKind::Bool;
      return v;
    }
    if (Literal("null")) return v;
    if (c == '-' || (c >= '0' && c <= '9')) {
      v.Kind = tJson_value::tKind::Number;
      const std::size_t start = pos_;
      if (s_[pos_] == '-') ++pos_;
      const auto digits = [this] {
        const std::size_t from = pos_;
        while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
        if (pos_ == from) Fail("a digit expected in a number");
      };
      digits();
      if (pos_ < s_.size() && s_[pos_] == '.') {
        ++pos_;
        digits();
      }
      if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
        ++pos_;
        if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
        digits();
      }
      v.Text = std::string(s_.substr(start, pos_ - start));
      return v;
    }
    Fail("unexpected character");
  }

  void Append_utf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  unsigned Hex4() {
    if (pos_ + 4 > s_.size()) Fail("a short \\u escape");
    unsigned cp = 0;
    for (int i = 0; i < 4; ++i) {
      const char h = s_[pos_++];
      cp <<= 4;
      if (h >= '0' && h <= '9') cp |= static_cast<unsigned>(h - '0');
      else if (h >= 'a' && h <= 'f') cp |= static_cast<unsigned>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F') cp |= static_cast<unsigned>(h - 'A' + 10);
      else Fail("a bad \\u escape");
    }
    return cp;
  }
  std::string String() {
    Expect('"');
    std::string out;
    for (;;) {
      if (pos_ >= s_.size()) Fail("an unterminated string");
      const char c = s_[pos_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) Fail("a control character in a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= s_.size()) Fail("an unterminated string");
      const char e = s_[pos_++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          unsigned cp = Hex4();
          if (cp >= 0xD800 && cp < 0xDC00 && s_.substr(pos_, 2) == "\\u") {
            pos_ += 2;
            const unsigned low = Hex4();
            if (low >= 0xDC00 && low < 0xE000) cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            else cp = 0xFFFD;
          } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;
          }
          Append_utf8(out, cp);
          break;
        }
        default: Fail("a bad escape in a string");
      }
    }
  }

  std::string_view s_;
  std::size_t pos_ = 0;
};

}  // namespace

const tJson_value* tJson_value::Find(const std::string& name) const {
  for (const auto& [key, value] : Members)
    if (key == name) return &value;
  return nullptr;
}

tJson_value Parse_json(std::string_view text) { return tParser(text).Document(); }
