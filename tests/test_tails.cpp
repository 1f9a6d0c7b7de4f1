// SPDX-License-Identifier: GPL-3.0-or-later
// The normal and t upper tails against 60-digit mpmath values (tests/data/tails.json,
// written by tests/data/make_tail_references.py), at points where the tails are 1E-3,
// 1E-10, 1E-50 and 1E-300 and at ordinary points: within 1E-12 relative in both builds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "distrib/distrib.h"
#include "reference_data.h"

namespace {

constexpr double kRelative = 1e-12;

const kestrum_test::Reference_tables& Reference() {
  static const kestrum_test::Reference_tables tables =
      kestrum_test::Read_reference_tables("tails.json");
  return tables;
}

double Relative_error(Extended got, double expected) {
  return static_cast<double>(std::fabs(got - expected) / expected);
}

TEST(NormalTail, MatchesMpmath) {
  const auto& cases = Reference().at("normal_upper");
  ASSERT_EQ(cases.size(), 9u);
  for (const auto& c : cases) {
    const Extended z = c.at("z");
    EXPECT_LT(Relative_error(Normal_upper_tail(z), c.at("upper")), kRelative) << "z " << c.at("z");
    // The lower tail is the upper one reflected.
    EXPECT_LT(Relative_error(Normal_lower_tail(-z), c.at("upper")), kRelative) << "z " << c.at("z");
  }
}

TEST(TTail, MatchesMpmath) {
  const auto& cases = Reference().at("t_upper");
  ASSERT_EQ(cases.size(), 21u);
  for (const auto& c : cases) {
    const auto df = static_cast<std::int32_t>(c.at("df"));
    const Extended got = T_upper_tail(df, c.at("t"));
    // A million degrees of freedom: the continued fraction runs about a thousand steps,
    // and the double build keeps 1E-11 there (the x87 build 1E-12).
    const bool double_build = std::numeric_limits<Extended>::digits < 64;
    const double tolerance = df > 3000 && double_build ? 1e-11 : kRelative;
    EXPECT_LT(Relative_error(got, c.at("upper")), tolerance)
        << "df " << df << " t " << c.at("t") << " got " << static_cast<double>(got);
  }
}

TEST(TTail, EndsOfTheRange) {
  EXPECT_EQ(T_upper_tail(7, 0), 0.5L);
  EXPECT_EQ(T_upper_tail(7, std::numeric_limits<Extended>::max()), 0);
  EXPECT_EQ(Normal_upper_tail(-1e6L), 1);
  EXPECT_EQ(Normal_upper_tail(1e6L), 0);
  EXPECT_THROW(T_upper_tail(0, 1), EArgumentError);
  EXPECT_THROW(T_upper_tail(5, std::nan("")), EFloating_point_error);
  EXPECT_THROW(Normal_upper_tail(std::nan("")), EFloating_point_error);
}

}  // namespace
