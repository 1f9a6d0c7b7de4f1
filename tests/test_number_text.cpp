// SPDX-License-Identifier: GPL-3.0-or-later
// Number text: the C-library way (used where the standard library has no floating-point
// to_chars/from_chars, as in the WebAssembly build) writes and reads what the standard
// library's way does, byte for byte, also under a decimal-comma locale.
#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "distrib/number_text.h"

namespace {

// Doubles of every kind: random bit patterns, random decimals of few digits (the values
// typed and computed), powers of two (a lopsided rounding interval), and edges.
std::vector<double> Sample_doubles() {
  std::vector<double> v = {0.0,
                           -0.0,
                           1.0,
                           -1.0,
                           0.1,
                           0.05,
                           100.0,
                           1e22,
                           1e23,
                           123456789012345680000.0,
                           9007199254740993.0,
                           5e-324,
                           2.2250738585072014e-308,
                           std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::min(),
                           std::numeric_limits<double>::denorm_min(),
                           0.30000000000000004,
                           2147483647.0};
  std::mt19937_64 random(20261208);
  for (int i = 0; i < 20000; ++i) {
    const double x = std::bit_cast<double>(random());
    if (std::isfinite(x)) v.push_back(x);
  }
  std::uniform_int_distribution<int> digits(0, 999999), places(0, 9);
  for (int i = 0; i < 20000; ++i)
    v.push_back((i % 2 ? -1 : 1) * digits(random) / std::pow(10.0, places(random)));
  for (int e = -1074; e <= 1023; ++e) v.push_back(std::ldexp(1.0, e));
  return v;
}

class NumberText : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (std::setlocale(LC_NUMERIC, GetParam()) == nullptr)
      GTEST_SKIP() << "locale " << GetParam() << " is not installed";
  }
  void TearDown() override { std::setlocale(LC_NUMERIC, "C"); }
};

TEST_P(NumberText, CLibraryTextEqualsStandardText) {
  if (std_text::Shortest(1.5).empty()) GTEST_SKIP() << "no floating-point to_chars here";
  int compared = 0;
  for (const double x : Sample_doubles()) {
    ASSERT_EQ(portable_text::Shortest(x), std_text::Shortest(x)) << std::hexfloat << x;
    ASSERT_EQ(portable_text::General(x, 17), std_text::General(x, 17)) << std::hexfloat << x;
    ASSERT_EQ(portable_text::Scientific(x, 5), std_text::Scientific(x, 5)) << std::hexfloat << x;
    if (std::fabs(x) < 1e30) {
      for (const int precision : {0, 2, 3, 4, 5, 12})
        ASSERT_EQ(portable_text::Fixed(x, precision), std_text::Fixed(x, precision))
            << std::hexfloat << x << " precision " << precision;
    }
    const std::string text = std_text::Shortest(x);
    double a = 0, b = 0;
    const char *end_a = nullptr, *end_b = nullptr;
    ASSERT_EQ(portable_text::Parse(text.data(), text.data() + text.size(), a, &end_a),
              std::errc{});
    ASSERT_EQ(std_text::Parse(text.data(), text.data() + text.size(), b, &end_b), std::errc{});
    ASSERT_EQ(std::bit_cast<std::uint64_t>(a), std::bit_cast<std::uint64_t>(b)) << text;
    ASSERT_EQ(end_a, end_b) << text;
    ++compared;
  }
  // Long doubles, as the report and the limits format them.
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> u(-1e6, 1e6);
  for (int i = 0; i < 20000; ++i) {
    const long double x = static_cast<long double>(u(random)) / 7.0L;
    for (const int precision : {2, 3, 4, 5, 12})
      ASSERT_EQ(portable_text::Fixed(x, precision), std_text::Fixed(x, precision)) << x;
    ASSERT_EQ(portable_text::Scientific(x * 1e20L, 14), std_text::Scientific(x * 1e20L, 14));
  }
  EXPECT_GT(compared, 40000);
}

// Texts that are not (whole) numbers, out of range, or numbers followed by more text.
TEST_P(NumberText, CLibraryParseAgreesOnOddTexts) {
  if (std_text::Shortest(1.5).empty()) GTEST_SKIP() << "no floating-point from_chars here";
  for (const std::string text :
       {"", "-", ".", "-.", "+1", " 1", "1e", "1e+", "1.5e3x", "1..2", "12,5", "1e400", "-1e400",
        "1e-400", "0e-400", "0.0000", "-0", ".5", "5.", "00012", "1E5", "e5", "1-2", "4.9e-324",
        "2.4703282292062328e-324"}) {
    double a = 42, b = 42;
    const char *end_a = nullptr, *end_b = nullptr;
    const std::errc ea = portable_text::Parse(text.data(), text.data() + text.size(), a, &end_a);
    const std::errc eb = std_text::Parse(text.data(), text.data() + text.size(), b, &end_b);
    EXPECT_EQ(ea, eb) << '"' << text << '"';
    EXPECT_EQ(std::bit_cast<std::uint64_t>(a), std::bit_cast<std::uint64_t>(b)) << text;
    if (ea == std::errc{} && eb == std::errc{}) {
      EXPECT_EQ(end_a - text.data(), end_b - text.data()) << text;
    }
  }
}

// The functions the program calls write a point in every build and every locale.
TEST_P(NumberText, ProgramTextHasAPoint) {
  EXPECT_EQ(Fixed_text(-2.5L, 3), "-2.500");
  EXPECT_EQ(Fixed_text(1234.5678, 2), "1234.57");
  EXPECT_EQ(Shortest_text(0.1), "0.1");
  EXPECT_EQ(Shortest_text(1e22), "1e+22");
  EXPECT_EQ(Shortest_text(-123456.0), "-123456");
  EXPECT_EQ(Scientific_text(123456.0, 5), "1.23456e+05");
  EXPECT_EQ(General_text(0.1, 17), "0.10000000000000001");
  double v = 0;
  const char* end = nullptr;
  const std::string text = "3.25";
  ASSERT_EQ(Parse_double(text.data(), text.data() + text.size(), v, &end), std::errc{});
  EXPECT_EQ(v, 3.25);
}

INSTANTIATE_TEST_SUITE_P(Locales, NumberText, ::testing::Values("C", "de_DE.UTF-8"));

}  // namespace
