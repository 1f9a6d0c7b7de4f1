// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/safe_text.h"

#include <cstdint>

std::string Safe_utf8(const std::string& text) {
  static constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD
  std::string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    // The well-formed sequences of Unicode's table 3-7: no overlong form, no surrogate,
    // nothing above U+10FFFF.
    const std::size_t len = (c >= 0xC2 && c <= 0xDF)   ? 2
                            : (c >= 0xE0 && c <= 0xEF) ? 3
                            : (c >= 0xF0 && c <= 0xF4) ? 4
                                                       : 0;
    bool ok = len != 0 && i + len <= n;
    for (std::size_t k = 1; ok && k < len; ++k) ok = (s[i + k] & 0xC0) == 0x80;
    if (ok && len == 3) ok = !(c == 0xE0 && s[i + 1] < 0xA0) && !(c == 0xED && s[i + 1] > 0x9F);
    if (ok && len == 4) ok = !(c == 0xF0 && s[i + 1] < 0x90) && !(c == 0xF4 && s[i + 1] > 0x8F);
    if (!ok) {
      out += kReplacement;
      ++i;
      continue;
    }
    std::uint32_t code = c & (len == 2 ? 0x1F : len == 3 ? 0x0F : 0x07);
    for (std::size_t k = 1; k < len; ++k) code = (code << 6) | (s[i + k] & 0x3F);
    const bool c1 = code >= 0x80 && code <= 0x9F;
    const bool bidi = (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
    if (c1 || bidi) {
      out += kReplacement;
    } else {
      out.append(text, i, len);
    }
    i += len;
  }
  return out;
}

std::string Printable_text(const std::string& text) {
  const std::string safe = Safe_utf8(text);
  std::string out;
  out.reserve(safe.size());
  for (std::size_t i = 0; i < safe.size(); ++i) {
    const char c = safe[i];
    const auto u = static_cast<unsigned char>(c);
    if (c == '\t' || c == '\n' || c == '\r') {
      out += ' ';
    } else if (u < 0x20 || u == 0x7F) {
      out += "\xEF\xBF\xBD";
    } else if (u == 0xE2 && i + 2 < safe.size() && safe[i + 1] == '\x80' &&
               (safe[i + 2] == '\xA8' || safe[i + 2] == '\xA9')) {
      out += ' ';  // U+2028 LINE SEPARATOR, U+2029 PARAGRAPH SEPARATOR
      i += 2;
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

std::string One_line(const std::string& message) {
  std::string out;
  for (char c : message) {
    if (c == '\r' || c == '\n') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

std::string Message_for_terminal(const std::string& message) {
  std::string out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t cr = message.find('\r', start);
    out += Printable_text(message.substr(start, cr - start));
    if (cr == std::string::npos) return out;
    out += '\n';
    start = cr + 1;
  }
}

std::vector<std::string> Split_lines(const std::string& text) {
  std::vector<std::string> lines;
  if (text.empty()) return lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  lines.push_back(line);
  return lines;
}
