// SPDX-License-Identifier: GPL-3.0-or-later
// The worksheet's field checks: key filter, length limit, the field parser with its exact
// messages, the range checks, and the order in which a run checks its eight fields.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <variant>

#include "app/analysis_run.h"
#include "app/input_checks.h"

namespace {

const std::string kCaption_mean_x = "Mean of the control or normative sample on Task X:";

TEST(KeyFilter, KeepsNumericKeysAndEditingKeysDropsTheRest) {
  struct Case { char key; char expected; };
  const Case cases[] = {
      {',', '.'}, {'.', '.'}, {'-', '-'}, {'0', '0'}, {'5', '5'}, {'9', '9'},
      {8, 8}, {9, 9}, {13, 13},                      // backspace, tab, carriage return
      {'a', '\0'}, {' ', '\0'}, {3, '\0'},           // letter, space, Ctrl+C
      {'+', '\0'}, {'e', '\0'}, {'/', '\0'}, {':', '\0'}, {'\n', '\0'}, {127, '\0'},
  };
  for (const Case& c : cases) EXPECT_EQ(Key_filter(c.key), c.expected) << int(c.key);
}

TEST(KeyFilter, TheMinusSignOfWordProcessorsTypesAMinus) {
  EXPECT_EQ(Key_filter_code(0x2212), '-');
  EXPECT_EQ(Key_filter_code(','), '.');
  EXPECT_EQ(Key_filter_code(0x2013), '\0');  // the en dash is no minus
  EXPECT_EQ(Key_filter_code(0xFF11), '\0');  // a full-width digit one
}

// A paste is taken whole or refused whole: the rows give the field's text, the selection
// the paste replaces, the pasted UTF-8 text, and the field's text after it (or the message
// of a refusal, the field then unchanged).
TEST(PasteIntoField, TakenWholeOrRefusedWhole) {
  struct Case { const char* field; std::size_t from, to; const char* pasted; const char* after; const char* message; };
  const Case cases[] = {
      {"", 0, 0, "15\n", "15", nullptr},                 // a spreadsheet's cell
      {"", 0, 0, " 15 ", "15", nullptr},
      {"", 0, 0, "\t\r\n-2,5\r\n", "-2.5", nullptr},
      {"", 0, 0, "\xE2\x88\x92" "0.5", "-0.5", nullptr},  // U+2212, from a PDF
      {"12", 1, 1, "34", "1342", nullptr},                 // at the cursor
      {"123456", 0, 6, "7", "7", nullptr},                 // over the selection
      {"", 0, 0, "\n", "", nullptr},                      // nothing but white space
      {"", 0, 0, "123456", "123456", nullptr},
      {"9", 0, 0, "1a0b", "9", kNumeric_only_message},
      {"", 0, 0, "1 5", "", kNumeric_only_message},       // inner white space stays refused
      {"", 0, 0, "0.6\t1", "", kNumeric_only_message},
      {"", 0, 0, "\xE2\x80\x93" "1", "", kNumeric_only_message},  // an en dash
      {"", 0, 0, "1234567890", "", kMax_length_message},
      {"12345", 5, 5, "67", "12345", kMax_length_message},
  };
  for (const Case& c : cases) {
    const tPasted_text got = Paste_into_field(c.field, c.from, c.to, c.pasted);
    EXPECT_EQ(got.Ok, c.message == nullptr) << c.pasted;
    if (c.message == nullptr) EXPECT_EQ(got.Text, c.after) << c.pasted;
    else EXPECT_STREQ(got.Message, c.message) << c.pasted;
  }
}

TEST(LimitLength, KeepsTheFirstSixCharacters) {
  EXPECT_EQ(Limit_length("1234567"), "123456");
  EXPECT_EQ(Limit_length("123456"), "123456");
  EXPECT_EQ(Limit_length("12"), "12");
  EXPECT_EQ(Limit_length(""), "");
  EXPECT_STREQ(kMax_length_message, "Maximum length of input is 6 characters.");
  EXPECT_STREQ(kNumeric_only_message, "INPUT ERROR\r\rEnter numeric data only.");
}

TEST(ReadNumber, AcceptedTexts) {
  // Expected values are the doubles nearest the decimal texts: digits are accumulated in
  // extended precision and rounded once, so "0.15" is not 0.1 + 0.05 in double
  // (0.15000000000000002).
  struct Case { const char* text; double value; };
  const Case cases[] = {
      {"100", 100.0},     {"-5", -5.0},      {"0.6", 0.6},       {".5", 0.5},
      {"-.25", -0.25},    {"1 0", 10.0},     {"  7", 7.0},       {"7  ", 7.0},
      {"0.15", 0.15},     {"9.99999", 9.99999}, {"0.00001", 0.00001}, {"5.", 5.0},
      {"-0", 0.0},        {"000012", 12.0},  {"123.456", 123.456}, {"0.3", 0.3},
  };
  for (const Case& c : cases) {
    const tField_value v = Read_number(c.text, kCaption_mean_x);
    EXPECT_TRUE(v.Ok) << c.text;
    EXPECT_EQ(v.Value, c.value) << c.text;
    EXPECT_TRUE(v.Message.empty()) << c.text;
  }
}

TEST(ReadNumber, RefusedTextsGiveTheNumericOnlyMessage) {
  const char* const texts[] = {
      "1-2", "1.2.3", "abc", "1e5", "5-", " -5", "--5", "1,5", "+5", "0x10", "1\t2",
      // A text without any digit would read as 0 and pass unnoticed.
      "-", ".", "-.", " ", "   ", "- ",
  };
  for (const char* text : texts) {
    const tField_value v = Read_number(text, kCaption_mean_x);
    EXPECT_FALSE(v.Ok) << text;
    EXPECT_EQ(v.Message, "INPUT ERROR\r(  " + kCaption_mean_x + "  " + text +
                             "  )\r\rEnter numeric data only.")
        << text;
  }
  // Too many digits for a double must not become an infinity.
  const std::string huge = "1" + std::string(400, '0');
  EXPECT_FALSE(Read_number(huge, kCaption_mean_x).Ok);
  // A long fraction is fine: its digits only add ever smaller terms.
  EXPECT_TRUE(Read_number("0." + std::string(400, '3'), kCaption_mean_x).Ok);
}

TEST(ReadNumber, EmptyTextMessage) {
  const tField_value v = Read_number("", kCaption_mean_x);
  EXPECT_FALSE(v.Ok);
  EXPECT_EQ(v.Message, "INPUT ERROR\r\r(  Mean of the control or normative sample on Task X:  )"
                       "\r\rData have not been entered in this field.");
}

TEST(RangeChecks, ValidAndInvalidValues) {
  using tCheck = tField_value (*)(const std::string&, double);
  struct Case { tCheck check; double value; bool ok; };
  const Case cases[] = {
      {Check_sd, 0.0, false},         {Check_sd, -1.0, false},       {Check_sd, 1e-9, true},
      {Check_sd, 15.0, true},
      {Check_correlation, 1.0, false}, {Check_correlation, -1.0, false},
      {Check_correlation, 0.99999, true}, {Check_correlation, -0.99999, true},
      {Check_correlation, 0.0, true},  {Check_correlation, 1.5, false},
      {Check_sample_size, 3.0, true},  {Check_sample_size, 2.0, false},
      {Check_sample_size, 3.5, false}, {Check_sample_size, 2.5, false},
      {Check_sample_size, -4.0, false}, {Check_sample_size, 999999.0, true},
      {Check_sample_size, 2147483647.0, true}, {Check_sample_size, 2147483648.0, false},
      {Check_calibrated_sample_size, 3.0, false}, {Check_calibrated_sample_size, 4.0, true},
  };
  for (const Case& c : cases) {
    const tField_value v = c.check("caption:", c.value);
    EXPECT_EQ(v.Ok, c.ok) << c.value;
    if (c.ok) {
      EXPECT_EQ(v.Value, c.value);
    }
  }
}

TEST(RangeChecks, MessagesShowTheValueWithThreeDecimals) {
  EXPECT_EQ(Check_sd("Standard deviation for the normative sample on Task X:", 0).Message,
            "INPUT ERROR\r(  Standard deviation for the normative sample on Task X:  0.000  )\r"
            "Standard deviations must have a positive value.");
  EXPECT_EQ(Check_correlation("C:", -1).Message,
            "INPUT ERROR\r(  C:  -1.000  )\rThe correlation must lie between  -1.0 and 1.0. ");
  EXPECT_EQ(Check_sample_size("S:", 3.5).Message,
            "INPUT ERROR\r(  S:  3.500  )\rThe value for sample size must be an integer "
            "greater than 2.");
  const std::string calibrated = Check_calibrated_sample_size("S:", 3).Message;
  EXPECT_EQ(calibrated.rfind("INPUT ERROR\r(  S:  3.000  )\r", 0), 0u) << calibrated;
  EXPECT_NE(calibrated.find("at least 4"), std::string::npos) << calibrated;
  EXPECT_NE(calibrated.find("accepts a sample size of 3"), std::string::npos) << calibrated;
}

TEST(FieldCaptions, AreTheWorksheetLabels) {
  EXPECT_STREQ(kField_captions[0], "Mean of the control or normative sample on Task X:");
  EXPECT_STREQ(kField_captions[4], "Correlation between Tasks X and Y in normative sample:");
  EXPECT_STREQ(kField_captions[5], "Sample size of the normative sample:");
  EXPECT_STREQ(kField_captions[7], "Case's test score on Task Y:");
}

// Check_inputs stops at the first failing field, in worksheet order.
struct tOrder_case {
  const char* name;
  std::array<std::string, 8> fields;
  tPrior prior;
  int failing_field;  // -1: all pass
  const char* message_part;
};

const std::array<std::string, 8> kGood = {"100", "15", "50", "10", "0.6", "20", "80", "40"};

std::array<std::string, 8> With(std::array<std::string, 8> f, int i, const char* text) {
  f[static_cast<std::size_t>(i)] = text;
  return f;
}

TEST(CheckInputs, StopsAtTheFirstFailingFieldInOrder) {
  const tOrder_case cases[] = {
      {"all valid", kGood, tPrior::Calibrated, -1, ""},
      {"empty mean x", With(kGood, 0, ""), tPrior::Calibrated, 0, "Data have not been entered"},
      {"zero sd x", With(kGood, 1, "0"), tPrior::Calibrated, 1, "positive value"},
      {"bad mean y", With(kGood, 2, "5-"), tPrior::Calibrated, 2, "(  Mean of the control or normative sample on Task Y:  5-  )"},
      {"negative sd y", With(kGood, 3, "-2"), tPrior::Calibrated, 3, "positive value"},
      {"r of 1", With(kGood, 4, "1"), tPrior::Calibrated, 4, "between  -1.0 and 1.0"},
      {"n of 2", With(kGood, 5, "2"), tPrior::Standard, 5, "integer greater than 2"},
      {"n of 10.5", With(kGood, 5, "10.5"), tPrior::Standard, 5, "integer greater than 2"},
      {"n of 3 calibrated", With(kGood, 5, "3"), tPrior::Calibrated, 5, "at least 4"},
      {"n of 3 standard", With(kGood, 5, "3"), tPrior::Standard, -1, ""},
      {"dash as case x", With(kGood, 6, "-"), tPrior::Calibrated, 6, "Enter numeric data only."},
      {"point as case y", With(kGood, 7, "."), tPrior::Calibrated, 7, "Enter numeric data only."},
      {"two failures, first reported", With(With(kGood, 6, "x"), 3, "0"), tPrior::Calibrated, 3, "positive"},
      {"n of 2 before a bad case", With(With(kGood, 7, ""), 5, "2"), tPrior::Calibrated, 5, "greater than 2"},
  };
  for (const tOrder_case& c : cases) {
    tRun_options options;
    options.Prior = c.prior;
    const auto result = Check_inputs(c.fields, options);
    if (c.failing_field < 0) {
      EXPECT_TRUE(std::holds_alternative<tChecked_inputs>(result)) << c.name;
      continue;
    }
    ASSERT_TRUE(std::holds_alternative<tInput_error>(result)) << c.name;
    const tInput_error& e = std::get<tInput_error>(result);
    EXPECT_EQ(e.Field, c.failing_field) << c.name;
    EXPECT_NE(e.Message.find(c.message_part), std::string::npos) << c.name << ": " << e.Message;
    EXPECT_EQ(e.Message.rfind("INPUT ERROR", 0), 0u) << c.name;
  }
}

TEST(CheckInputs, SampleSizeTypedAsTenOrTenPointZeroIsTheSame) {
  const auto a = std::get<tChecked_inputs>(Check_inputs(With(kGood, 5, "10"), {}));
  const auto b = std::get<tChecked_inputs>(Check_inputs(With(kGood, 5, "10.0"), {}));
  EXPECT_EQ(a.N, 10);
  EXPECT_EQ(b.N, 10);
  EXPECT_EQ(a.N_real, b.N_real);
  const auto c = std::get<tChecked_inputs>(Check_inputs(kGood, {}));
  EXPECT_EQ(c.Mean_x, 100);
  EXPECT_EQ(c.Sd_x, 15);
  EXPECT_EQ(c.Mean_y, 50);
  EXPECT_EQ(c.Sd_y, 10);
  EXPECT_EQ(c.R_xy, 0.6);
  EXPECT_EQ(c.N, 20);
  EXPECT_EQ(c.Case_x, 80);
  EXPECT_EQ(c.Case_y, 40);
}

}  // namespace
