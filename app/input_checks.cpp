// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/input_checks.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string_view>

#include "app/text_format.h"
#include "distrib/number_text.h"

const char kNumeric_only_message[] = "INPUT ERROR\r\rEnter numeric data only.";
const char kMax_length_message[] = "Maximum length of input is 6 characters.";

const std::array<const char*, 8> kField_captions = {
    "Mean of the control or normative sample on Task X:",
    "Standard deviation for the normative sample on Task X:",
    "Mean of the control or normative sample on Task Y:",
    "Standard deviation for the normative sample on Task Y:",
    "Correlation between Tasks X and Y in normative sample:",
    "Sample size of the normative sample:",
    "Case's test score on Task X:",
    "Case's test score on Task Y:",
};

const std::array<const char*, 8> kExample_fields = {"100", "15", "50", "10", "0.6", "20", "80", "40"};

char Key_filter(char key) {
  if (key == ',') return '.';
  switch (key) {
    case 8:   // backspace
    case 9:   // tab
    case 13:  // carriage return
    case '-':
    case '.':
      return key;
    default:
      return (key >= '0' && key <= '9') ? key : '\0';
  }
}

char Key_filter_code(char32_t code) {
  if (code == kMinus_sign) return '-';
  return code < 0x80 ? Key_filter(static_cast<char>(code)) : '\0';
}

tPasted_text Paste_into_field(const std::string& field, std::size_t from, std::size_t to,
                              const std::string& pasted) {
  constexpr std::string_view kSurrounding = " \t\r\n\v\f";
  // U+2212 in UTF-8.
  constexpr std::string_view kMinus_utf8 = "\xE2\x88\x92";
  tPasted_text result;
  const std::size_t first = pasted.find_first_not_of(kSurrounding);
  const std::string_view core =
      first == std::string::npos
          ? std::string_view()
          : std::string_view(pasted).substr(first, pasted.find_last_not_of(kSurrounding) - first + 1);
  std::string typed;
  for (std::size_t i = 0; i < core.size(); ++i) {
    char key = '\0';
    if (core.substr(i, kMinus_utf8.size()) == kMinus_utf8) {
      key = Key_filter_code(kMinus_sign);
      i += kMinus_utf8.size() - 1;
    } else if (static_cast<unsigned char>(core[i]) < 0x80) {
      key = Key_filter(core[i]);
    }
    // Backspace, tab and carriage return edit a field when typed; inside a paste they
    // are refused like any other character that is not text.
    if (key == '\0' || key == 8 || key == 9 || key == 13) {
      result.Message = kNumeric_only_message;
      return result;
    }
    typed += key;
  }
  from = std::min(from, field.size());
  to = std::clamp(to, from, field.size());
  std::string text = field.substr(0, from) + typed + field.substr(to);
  if (text.size() > kMax_field_length) {
    result.Message = kMax_length_message;
    return result;
  }
  result.Ok = true;
  result.Text = std::move(text);
  return result;
}

std::string Limit_length(const std::string& text) {
  return text.size() > kMax_field_length ? text.substr(0, kMax_field_length) : text;
}

tTyped_text Check_typed_text(const std::string& text, const std::string& caption) {
  tTyped_text typed;
  const std::string shown = "INPUT ERROR\r(  " + caption + "  " + text + "  )\r\r";
  for (const char c : text) {
    const char key = Key_filter(c);
    // Backspace, tab and carriage return are keys that edit or leave a field, not text.
    if (key == '\0' || key == 8 || key == 9 || key == 13) {
      typed.Message = shown + "Enter numeric data only.";
      return typed;
    }
    typed.Text += key;
  }
  if (typed.Text.size() > kMax_field_length) {
    typed.Text.clear();
    typed.Message = shown + kMax_length_message;
    return typed;
  }
  typed.Ok = true;
  return typed;
}

namespace {

tField_value Refused(const std::string& message) { return {false, 0.0, message}; }

// "INPUT ERROR" + CR + "(  caption  value  )" + CR + message, the value as "%3.3f".
tField_value Range_error(const std::string& caption, double value, const std::string& message) {
  return Refused("INPUT ERROR\r(  " + caption + "  " + Format_fixed(value, 3, 3) + "  )\r" +
                 message);
}

}  // namespace

tField_value Read_number(const std::string& text, const std::string& caption) {
  if (text.empty()) {
    return Refused("INPUT ERROR\r\r(  " + caption + "  )\r\rData have not been entered in this field.");
  }
  // The characters are scanned as the worksheet always has (spaces ignored, "-" only
  // first, one point); the accepted digits are then converted in one step, so that the
  // value is the double nearest the decimal typed (digit-by-digit sums of d / 10^k carry a
  // rounding error at every step).
  std::string digits;  // "-" digits "." digits, without the spaces
  bool integer_part = true;
  bool valid = true;
  bool any_digit = false;
  for (std::size_t i = 0; i < text.size() && valid; ++i) {
    const char c = text[i];
    if (c == ' ') continue;
    if (c == '-') {
      if (i == 0) {
        digits += c;
      } else {
        valid = false;
      }
    } else if (c == '.') {
      if (!integer_part) {
        valid = false;
      } else {
        integer_part = false;
        digits += c;
      }
    } else if (c >= '0' && c <= '9') {
      any_digit = true;
      digits += c;
    } else {
      valid = false;
    }
  }
  // A text with no digit at all ("-", ".", "-.") would otherwise read as 0, so a slip of
  // the finger would become a value; and a run of digits too long for a double must not
  // become an infinity.
  double result = 0;
  if (valid && any_digit) {
    const char* end = nullptr;
    const std::errc ec = Parse_double(digits.data(), digits.data() + digits.size(), result, &end);
    valid = ec == std::errc{} && end == digits.data() + digits.size() && std::isfinite(result);
    if (result == 0) result = 0;  // "-0" is 0, not a negative zero printed as "-0.00"
  }
  if (!valid || !any_digit) {
    return Refused("INPUT ERROR\r(  " + caption + "  " + text + "  )\r\rEnter numeric data only.");
  }
  return {true, result, {}};
}

int Text_decimals(const std::string& text) {
  const std::size_t point = text.find('.');
  if (point == std::string::npos) return 0;
  int decimals = 0;
  for (std::size_t i = point + 1; i < text.size(); ++i)
    if (text[i] >= '0' && text[i] <= '9') ++decimals;
  return decimals;
}

tField_value Check_sd(const std::string& caption, double value) {
  if (value > 0) return {true, value, {}};
  return Range_error(caption, value, "Standard deviations must have a positive value.");
}

tField_value Check_correlation(const std::string& caption, double value) {
  if (value > -1 && value < 1) return {true, value, {}};
  return Range_error(caption, value, "The correlation must lie between  -1.0 and 1.0. ");
}

tField_value Check_sample_size(const std::string& caption, double value) {
  if (!(value == std::trunc(value) && value > 2)) {
    return Range_error(caption, value,
                       "The value for sample size must be an integer greater than 2.");
  }
  // The sample size is held as a 32-bit integer; only a typed-in text (the command line)
  // can exceed it.
  if (value > std::numeric_limits<std::int32_t>::max()) {
    return Range_error(caption, value,
                       "The value for sample size must be an integer no greater than 2147483647.");
  }
  return {true, value, {}};
}

tField_value Check_calibrated_sample_size(const std::string& caption, double value) {
  if (value >= 4) return {true, value, {}};
  return Range_error(caption, value,
                     "The calibrated prior needs a sample size of at least 4; the standard "
                     "theory (Jeffreys) prior accepts a sample size of 3.");
}
