// SPDX-License-Identifier: GPL-3.0-or-later
// Special functions of the distribution unit: reference values, domain checks with their
// identifiers and formatted limits, and the floating-point fault behaviour.
#include <gtest/gtest.h>

#include <cfenv>
#include <clocale>
#include <cmath>
#include <limits>
#include <string>

#include "distrib/distrib.h"
#include "distrib/fp_check.h"
#include "reference_data.h"

namespace {

constexpr Extended kNan = std::numeric_limits<Extended>::quiet_NaN();
constexpr Extended kInf = std::numeric_limits<Extended>::infinity();

// tests/data/distributions.json is a copy of ../shared/reference/distributions.json:
// values computed independently with scipy and mpmath at high precision.
const kestrum_test::Reference_tables& Reference() {
  static const kestrum_test::Reference_tables tables =
      kestrum_test::Read_reference_tables("distributions.json");
  return tables;
}

// The six-term Lanczos formula, the series and the continued fractions are all good to
// far better than this; it is the tolerance the design promises for them.
constexpr double kSpecial_tolerance = 1e-9;

TEST(SpecialFunctionsReference, LnGammaGammaPAndIncompleteBeta) {
  const auto& ref = Reference();
  ASSERT_EQ(ref.at("ln_gamma").size(), 8u);
  for (const auto& c : ref.at("ln_gamma")) {
    EXPECT_NEAR(static_cast<double>(Ln_gamma(c.at("x"))), c.at("value"), kSpecial_tolerance)
        << "Ln_gamma(" << c.at("x") << ")";
  }
  ASSERT_EQ(ref.at("gamma_p").size(), 8u);
  for (const auto& c : ref.at("gamma_p")) {
    EXPECT_NEAR(static_cast<double>(Gamma_p(c.at("x"), c.at("a"))), c.at("value"),
                kSpecial_tolerance)
        << "Gamma_p(" << c.at("x") << ", " << c.at("a") << ")";
  }
  ASSERT_EQ(ref.at("incomplete_beta").size(), 6u);
  for (const auto& c : ref.at("incomplete_beta")) {
    EXPECT_NEAR(static_cast<double>(Incomplete_beta(c.at("x"), c.at("a"), c.at("b"))),
                c.at("value"), kSpecial_tolerance)
        << "Incomplete_beta(" << c.at("x") << ", " << c.at("a") << ", " << c.at("b") << ")";
  }
}

// Closed forms: P(1, x) = 1 - e^-x, P(1/2, z^2/2) = erf(z / sqrt 2), both sides of the
// series / fraction switch at x = a + 1; I_x(a, 1) = x^a and I_x(1, b) = 1 - (1-x)^b,
// both sides of the fraction's switch at (a + 1) / (a + b + 2).
TEST(SpecialFunctions, ClosedFormsOnBothSidesOfEachSwitch) {
  for (const Extended x : std::initializer_list<Extended>{0.001L, 0.5L, 1.9L, 2.0L, 2.1L, 7.0L, 40.0L}) {
    EXPECT_NEAR(static_cast<double>(Gamma_p(x, 1)), static_cast<double>(-std::expm1(-x)), 1e-10)
        << x;
  }
  for (const Extended z : std::initializer_list<Extended>{0.1L, 1.0L, 1.7L, 1.75L, 3.0L, 6.0L}) {
    EXPECT_NEAR(static_cast<double>(Gamma_p(z * z / 2, 0.5L)),
                static_cast<double>(std::erf(z / std::sqrt(2.0L))), 1e-10)
        << z;
  }
  for (const Extended x : std::initializer_list<Extended>{0.05L, 0.3L, 0.6L, 0.75L, 0.95L}) {
    EXPECT_NEAR(static_cast<double>(Incomplete_beta(x, 2.5L, 1)),
                static_cast<double>(std::pow(x, 2.5L)), 1e-10)
        << x;
    EXPECT_NEAR(static_cast<double>(Incomplete_beta(x, 1, 3.5L)),
                static_cast<double>(1 - std::pow(1 - x, 3.5L)), 1e-10)
        << x;
  }
}

TEST(SpecialFunctions, LimitingValues) {
  for (const Extended a : std::initializer_list<Extended>{0.5L, 1.0L, 30.0L}) EXPECT_EQ(Gamma_p(0, a), 0) << a;
  EXPECT_NEAR(static_cast<double>(Gamma_p(1.92073L, 0.5L)), 0.95, 1e-7);
  for (const Extended a : std::initializer_list<Extended>{0.3L, 1.0L, 2.0L, 17.5L, 400.0L}) {
    EXPECT_EQ(Incomplete_beta(0, a, 2), 0) << a;
    EXPECT_EQ(Incomplete_beta(-0.5L, a, 2), 0) << a;
    EXPECT_EQ(Incomplete_beta(1, a, 2), 1) << a;
    EXPECT_NEAR(static_cast<double>(Incomplete_beta(0.5L, a, a)), 0.5, 1e-10) << a;
  }
  EXPECT_NEAR(static_cast<double>(Ln_gamma(1)), 0, 1e-10);
  EXPECT_NEAR(static_cast<double>(Ln_gamma(2)), 0, 1e-10);
  EXPECT_NEAR(static_cast<double>(Ln_gamma(0.5L)), 0.5723649429247001, 1e-10);
}

struct Error_case {
  const char* label;
  Extended x, a;
  int identifier;
  const char* formatted;
};

TEST(SpecialFunctions, GammaPRefusesArgumentsOutsideItsDomain) {
  const Error_case cases[] = {
      {"negative point", -1, 1, 1302, "0"},
      {"zero shape", 1, 0, 1301, "0"},
      {"negative shape", 1, -2, 1301, "0"},
      {"point above 2147483647", 3E9L, 1, 1361, ""},
      {"shape above 2147483647", 1, 3E9L, 1361, ""},
  };
  for (const auto& c : cases) {
    try {
      Gamma_p(c.x, c.a);
      ADD_FAILURE() << c.label << ": no error";
    } catch (const EArgumentError& e) {
      EXPECT_EQ(e.Identifier(), c.identifier) << c.label;
      EXPECT_EQ(e.Formatted_limit(), c.formatted) << c.label;
      EXPECT_EQ(std::string(e.what()), Message_text(c.identifier) + c.formatted) << c.label;
      EXPECT_FALSE(std::string(e.what()).empty()) << c.label;
    }
  }
  EXPECT_THROW(Gamma_p(kNan, 1), EFloating_point_error);
  EXPECT_THROW(Gamma_p(1, kNan), EFloating_point_error);
}

TEST(SpecialFunctions, PowerAndIntPower) {
  struct Case {
    Extended base, exponent, expected;
  };
  const Case exact[] = {
      {0, 0, 1},   {0, 2, 0},        {2, 10, 1024},       {2, -2, 0.25L},
      {-3, 3, -27}, {-2, -3, -0.125L}, {1.5L, 0, 1},       {7, 1, 7},
      {2, 62, 4611686018427387904.0L},
  };
  for (const auto& c : exact) {
    EXPECT_EQ(Power(c.base, c.exponent), c.expected) << c.base << "^" << c.exponent;
  }
  EXPECT_NEAR(static_cast<double>(Power(8, 1.0L / 3)), 2, 1e-15);
  EXPECT_NEAR(static_cast<double>(Power(0.25L, -0.5L)), 2, 1e-15);
  EXPECT_EQ(Int_power(1, std::numeric_limits<std::int32_t>::min()), 1);
  EXPECT_EQ(Int_power(-1, std::numeric_limits<std::int32_t>::min()), 1);
  EXPECT_EQ(Int_power(2, -1), 0.5L);
  // A negative base to a fractional power, overflow and zero to a negative power are
  // floating-point faults, not NaNs or infinities handed on.
  EXPECT_THROW(Power(-8, 1.0L / 3), EFloating_point_error);
  EXPECT_THROW(Power(10, 6000), EFloating_point_error);
  EXPECT_THROW(Power(10, 6000.5L), EFloating_point_error);
  EXPECT_THROW(Power(0, -1), EFloating_point_error);
  EXPECT_THROW(Power(0, -0.5L), EFloating_point_error);
  EXPECT_THROW(Power(2, kNan), EFloating_point_error);
}

TEST(SpecialFunctions, FloorIntStaysInsideThe32BitRange) {
  struct Case {
    Extended x;
    std::int32_t expected;
  };
  const Case cases[] = {
      {-1.5L, -2}, {1.5L, 1}, {-2, -2}, {0, 0}, {-0.25L, -1},
      {2147483647.5L, 2147483647}, {-2147483648.0L, std::numeric_limits<std::int32_t>::min()},
  };
  for (const auto& c : cases) EXPECT_EQ(Floor_int(c.x), c.expected) << c.x;
  for (const Extended x : std::initializer_list<Extended>{2147483648.0L, -2147483648.5L, 1E12L, -1E12L, kNan, kInf}) {
    EXPECT_THROW(Floor_int(x), EFloating_point_error) << x;
  }
}

TEST(SpecialFunctions, LnGammaRefusesNonPositiveArguments) {
  for (const Extended x : std::initializer_list<Extended>{0.0L, -0.5L, -1.0L, -7.25L, kNan}) {
    EXPECT_THROW(Ln_gamma(x), EFloating_point_error) << x;
  }
  // Below about 1E-19, x - 1 + 1 is 0 in extended precision and the first term of the
  // series divides by zero: an error, not an infinity handed on.
  EXPECT_THROW(Ln_gamma(1E-300L), EFloating_point_error);
}

TEST(SpecialFunctions, NearlyEqualAndIsWhole) {
  EXPECT_TRUE(Nearly_equal(0, 4.9E-12L));
  EXPECT_FALSE(Nearly_equal(0, 5.1E-12L));  // strict and absolute
  EXPECT_FALSE(Nearly_equal(1E6L, 1E6L + 1E-10L));
  struct Case {
    Extended x;
    bool whole;
  };
  const Case cases[] = {
      {3.0000000000001L, true}, {3.01L, false}, {-3, true},        {0, true},
      {2.5L, false},           {2147483646, true}, {2147483647, false}, {-2147483647, false},
      {1E15L, false},          {kNan, false},   {kInf, false},
  };
  for (const auto& c : cases) EXPECT_EQ(Is_whole(c.x), c.whole) << c.x;
}

TEST(SpecialFunctions, FormatLimitFollowsItsPattern) {
  struct Case {
    Extended x;
    const char* text;
  };
  const Case cases[] = {
      {0, "0"},
      {1, "1"},
      {2147483647, "2147483647"},
      {-2147483647, "-2147483647"},
      {0.5L, "0.5"},
      {-2.25L, "-2.25"},
      {1.0L / 3, "0.333333333333"},
      {2.0L / 3, "0.666666666667"},
      {1E-12L, "0.000000000001"},
      {1E-13L, "0"},
      {-1E-13L, "0"},
      {123456.789L, "123456.789"},
      {0.1L, "0.1"},
  };
  for (const auto& c : cases) EXPECT_EQ(Format_limit(c.x), c.text) << static_cast<double>(c.x);
}

// The desktop toolkit sets the process locale from the environment; the limit must still
// be written with a decimal point.
TEST(SpecialFunctions, FormatLimitIgnoresTheLocale) {
  const char* comma_locales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"};
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  bool set = false;
  for (const char* name : comma_locales) {
    if (std::setlocale(LC_NUMERIC, name) != nullptr) {
      set = true;
      break;
    }
  }
  if (!set) GTEST_SKIP() << "no locale with a decimal comma is installed";
  const std::string text = Format_limit(0.5L);
  std::setlocale(LC_NUMERIC, previous.c_str());
  EXPECT_EQ(text, "0.5");
}

TEST(SpecialFunctions, CheckLimitComparesByIdentifier) {
  struct Case {
    int identifier;
    Extended value, limit;
    bool fails;
  };
  const Case cases[] = {
      {1301, 0, 0, true},     {1305, 0.1L, 0, false}, {1309, -1, 0, true},
      {1302, 0, 0, false},    {1306, -0.1L, 0, true}, {1310, 1, 0, false},
      {1303, 1, 1, true},     {1307, 0.5L, 1, false}, {1311, 2, 1, true},
      {1315, 1, 1, false},    {1315, 1.5L, 1, true},  {1361, 5, 10, false},
      {1304, 5, 10, false},
  };
  for (const auto& c : cases) {
    if (!c.fails) {
      EXPECT_TRUE(Check_limit(c.identifier, c.value, c.limit)) << c.identifier;
      continue;
    }
    try {
      Check_limit(c.identifier, c.value, c.limit);
      ADD_FAILURE() << c.identifier << ": no error";
    } catch (const EArgumentError& e) {
      EXPECT_EQ(e.Identifier(), c.identifier);
      EXPECT_EQ(e.Formatted_limit(), Format_limit(c.limit));
      EXPECT_EQ(std::string(e.what()), Message_text(c.identifier) + Format_limit(c.limit));
    }
  }
  // Without the check a NaN would compare false and pass every limit.
  EXPECT_THROW(Check_limit(1301, kNan, 0), EFloating_point_error);
  EXPECT_TRUE(Check_condition(false, 1363));
  try {
    Check_condition(true, 1363);
    ADD_FAILURE() << "no error";
  } catch (const EArgumentError& e) {
    EXPECT_EQ(e.Identifier(), 1363);
    EXPECT_EQ(e.Formatted_limit(), "");
    EXPECT_FALSE(std::string(e.what()).empty());  // a readable text, never an empty box
  }
}

// The fractions have no iteration limit: meeting a NaN or an infinity must end them with
// an error instead of a loop that never converges.
TEST(SpecialFunctions, FractionsStopOnValuesThatAreNotFinite) {
  EXPECT_THROW(Gamma_fraction(kNan, 1), EFloating_point_error);
  EXPECT_THROW(Gamma_fraction(kInf, 1), EFloating_point_error);
  EXPECT_THROW(Gamma_fraction(5, kNan), EFloating_point_error);
  EXPECT_THROW(Beta_fraction(kNan, 2, 3), EFloating_point_error);
  EXPECT_THROW(Beta_fraction(0.3L, kNan, 3), EFloating_point_error);
  EXPECT_THROW(Beta_fraction(0.3L, 2, kInf), EFloating_point_error);
}

TEST(SpecialFunctions, IncompleteBetaSwallowsFaultsWithoutStaleFlags) {
  // A shape so small that Lanczos' series overflows: the fault gives 1, and the overflow
  // flag raised inside is not left behind for the caller's end-of-run check.
  std::feclearexcept(FE_ALL_EXCEPT);
  EXPECT_EQ(Incomplete_beta(0.5L, 1E-4940L, 1), 1);
  EXPECT_EQ(Raised_fp_faults(), 0);
  // A shape the logarithm of the gamma function refuses.
  EXPECT_EQ(Incomplete_beta(0.5L, -1, 2), 1);
  EXPECT_EQ(Incomplete_beta(0.5L, 2, kNan), 1);
  EXPECT_EQ(Raised_fp_faults(), 0);
  // A flag the caller had raised before the call stays raised.
  std::feraiseexcept(FE_DIVBYZERO);
  EXPECT_EQ(Incomplete_beta(0.5L, 1E-4940L, 1), 1);
  EXPECT_NEAR(static_cast<double>(Incomplete_beta(0.3L, 2, 3)), 0.3483, 1e-10);
  if (kHas_fp_flags) {
    EXPECT_EQ(Raised_fp_faults(), kFp_divbyzero);
  }
  std::feclearexcept(FE_ALL_EXCEPT);
  // A NaN point is the caller's fault, not a probability of 1.
  EXPECT_THROW(Incomplete_beta(kNan, 2, 3), EFloating_point_error);
}

// Valid arguments leave no trapped flag behind, so that the engines' end-of-run check
// does not report a fault that never happened.
TEST(SpecialFunctions, ValidArgumentsRaiseNoTrappedFlag) {
  std::feclearexcept(FE_ALL_EXCEPT);
  for (const auto& c : Reference().at("gamma_p")) Gamma_p(c.at("x"), c.at("a"));
  for (const auto& c : Reference().at("incomplete_beta")) {
    Incomplete_beta(c.at("x"), c.at("a"), c.at("b"));
  }
  for (const Extended x : std::initializer_list<Extended>{1E-15L, 0.5L, 1E300L}) Ln_gamma(x);
  Gamma_p(2000, 1);      // exp underflows: not a trapped fault
  Gamma_p(1E-11L, 0.5L);
  EXPECT_EQ(Raised_fp_faults(), 0);
}

}  // namespace
