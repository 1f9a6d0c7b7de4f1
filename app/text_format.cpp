// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/text_format.h"

#include <charconv>

#include "distrib/number_text.h"

namespace {

std::string Pad_left(std::string text, int width) {
  if (static_cast<int>(text.size()) < width) {
    text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
  }
  return text;
}

}  // namespace

std::string Format_fixed(Extended value, int width, int precision) {
  const std::string text = Fixed_text(value, precision);
  return Pad_left(text.empty() ? "?" : text, width);
}

std::string Format_int(std::int64_t value, int width) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  (void)ec;  // 32 characters always hold a 64-bit integer
  return Pad_left(std::string(buffer, end), width);
}
