// SPDX-License-Identifier: GPL-3.0-or-later
// The worksheet's input fields: the key filter and length limit applied while typing, the
// parser of a field's text, and the range checks run when "Compute" starts an analysis.
// Messages use "\r" for a carriage return; a window or terminal converts as it needs.
#pragma once

#include <array>
#include <cstddef>
#include <string>

// Character arrays, not std::string: nothing is allocated before main.
// "INPUT ERROR" + CR + CR + "Enter numeric data only."
extern const char kNumeric_only_message[];
// "Maximum length of input is 6 characters."
extern const char kMax_length_message[];
// The captions of the eight worksheet labels, in field order (Mean_x, Sd_x, Mean_y, Sd_y,
// R_xy, N, Case_x, Case_y).
extern const std::array<const char*, 8> kField_captions;

// The built-in example's eight field texts (kestrum-cli --example, the page's "Load
// example").
extern const std::array<const char*, 8> kExample_fields;

// The longest text a field holds.
constexpr std::size_t kMax_field_length = 6;

// The character to insert for a key press ("," becomes "."), or '\0' when the key is
// dropped (the window then beeps and shows kNumeric_only_message).
char Key_filter(char key);

// U+2212 MINUS SIGN, which word processors and PDF files print for a minus: it enters a
// field as '-', typed or pasted.
constexpr char32_t kMinus_sign = U'\u2212';

// Key_filter for any character a key can type: the minus sign U+2212 types '-'; any other
// character beyond ASCII is dropped ('\0').
char Key_filter_code(char32_t code);

// A paste (or a drop) into a field, taken whole or refused whole, never cut. The pasted
// text (UTF-8) loses its surrounding spaces, tabs and line ends (a spreadsheet copies a
// cell as "15\n"); every character left must be one that Key_filter_code types as text
// (a comma becomes a point, U+2212 a minus), and the field's text with the paste in place
// of its bytes [from, to) no longer than kMax_field_length. Refused: Ok false, the field
// unchanged, and Message kNumeric_only_message or kMax_length_message.
struct tPasted_text {
  bool Ok = false;
  std::string Text;  // the field's new text when Ok
  const char* Message = nullptr;
};
tPasted_text Paste_into_field(const std::string& field, std::size_t from, std::size_t to,
                              const std::string& pasted);

// The first kMax_field_length characters of text.
std::string Limit_length(const std::string& text);

// A text that was not typed into a field (the command line, a case file), as the
// worksheet's typing would have left it: every character must be one that Key_filter
// inserts as text (a comma becomes a point), and the text no longer than
// kMax_field_length. A refused text gets the worksheet's message after the field's caption
// and the text: "INPUT ERROR" CR "(  caption  text  )" CR CR and kNumeric_only_message's
// last line or kMax_length_message.
struct tTyped_text {
  bool Ok = false;
  std::string Text;  // the text as typed (commas become points) when Ok
  std::string Message;
};
tTyped_text Check_typed_text(const std::string& text, const std::string& caption);

// A parsed or checked field: Ok false carries the message to show.
struct tField_value {
  bool Ok = false;
  double Value = 0;
  std::string Message;
};

// Parses a field's text: optional leading "-", digits, at most one ".", spaces ignored.
// A text with no digit at all is refused like any other non-numeric text.
tField_value Read_number(const std::string& text, const std::string& caption);

// The digits after the decimal point of a field's text (0 without a point); spaces and
// anything else are not counted.
int Text_decimals(const std::string& text);

// Range checks, called only after Read_number succeeded on the field. Value is passed
// through unchanged when Ok.
tField_value Check_sd(const std::string& caption, double value);           // value > 0
tField_value Check_correlation(const std::string& caption, double value);  // -1 < value < 1
tField_value Check_sample_size(const std::string& caption, double value);  // whole, > 2
// The calibrated prior draws a chi-square with N - 3 degrees of freedom, so it needs N >= 4.
tField_value Check_calibrated_sample_size(const std::string& caption, double value);
