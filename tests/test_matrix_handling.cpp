// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the matrix routines, their 2 x 2 forms used by the engines, and Quick_sort.
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "bayes/matrix_2x2.h"
#include "tests/support/matrix_handling.h"

namespace {

// The bytes that hold a value: the x87 type's 80 bits, or the whole double.
constexpr std::size_t kValue_bytes = std::numeric_limits<Extended>::digits == 64 ? 10 : sizeof(Extended);

constexpr Extended kSentinel = -777;

tMatrix Filled(Extended value) {
  tMatrix m;
  for (auto& row : m.Entries)
    for (Extended& x : row) x = value;
  return m;
}

// A matrix whose leading 2 x 2 block is given and whose other entries are kSentinel.
tMatrix Block2(Extended a11, Extended a12, Extended a21, Extended a22) {
  tMatrix m = Filled(kSentinel);
  m(1, 1) = a11;
  m(1, 2) = a12;
  m(2, 1) = a21;
  m(2, 2) = a22;
  return m;
}

// Entries outside the leading n x n block still hold `value`.
bool Outside_block_is(const tMatrix& m, int n, Extended value) {
  for (int i = 1; i <= Max_dim; ++i)
    for (int j = 1; j <= Max_dim; ++j)
      if ((i > n || j > n) && m(i, j) != value) return false;
  return true;
}

bool Same_bits(Extended a, Extended b) { return std::memcmp(&a, &b, kValue_bytes) == 0; }

// ---------------------------------------------------------------------------------------
// Worked examples (hand-computed).

TEST(MatMultiply, ProductOfTwoByTwoInBothOrders) {
  const tMatrix a = Block2(1, 2, 3, 4), b = Block2(5, 6, 7, 8);
  tMatrix c = Filled(kSentinel);
  Mat_multiply(a, b, 2, c);
  EXPECT_EQ(c(1, 1), 19);
  EXPECT_EQ(c(1, 2), 22);
  EXPECT_EQ(c(2, 1), 43);
  EXPECT_EQ(c(2, 2), 50);
  EXPECT_TRUE(Outside_block_is(c, 2, kSentinel));
  Mat_multiply(b, a, 2, c);  // the left factor is the first argument
  EXPECT_EQ(c(1, 1), 23);
  EXPECT_EQ(c(1, 2), 34);
  EXPECT_EQ(c(2, 1), 31);
  EXPECT_EQ(c(2, 2), 46);
}

TEST(MatMultiply, ThreeByThreeAndOutputAliasingAnInput) {
  tMatrix a = Filled(kSentinel), b = Filled(kSentinel);
  const Extended av[3][3] = {{1, 2, 0}, {0, 1, 3}, {4, 0, 1}};
  const Extended bv[3][3] = {{2, 0, 1}, {1, 1, 0}, {0, 2, 1}};
  const Extended product[3][3] = {{4, 2, 1}, {1, 7, 3}, {8, 2, 5}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      a(i + 1, j + 1) = av[i][j];
      b(i + 1, j + 1) = bv[i][j];
    }
  Mat_multiply(a, b, 3, a);  // C is A: A must have been read completely first
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_EQ(a(i + 1, j + 1), product[i][j]) << i << j;
  EXPECT_TRUE(Outside_block_is(a, 3, kSentinel));
}

TEST(MatTranspose, InPlaceAndOutsideTheBlockUntouched) {
  tMatrix a = Block2(1, 2, 3, 4);
  Mat_transpose(a, 2, a);
  EXPECT_EQ(a(1, 1), 1);
  EXPECT_EQ(a(1, 2), 3);
  EXPECT_EQ(a(2, 1), 2);
  EXPECT_EQ(a(2, 2), 4);
  EXPECT_TRUE(Outside_block_is(a, 2, kSentinel));
}

TEST(MatInverse, WorkedExamples) {
  if (std::numeric_limits<Extended>::digits < 64)
    GTEST_SKIP() << "x87 only: its tolerances (4E-18) are below the double type's resolution";
  struct tCase {
    const char* name;
    Extended a11, a12, a21, a22;
    Extended i11, i12, i21, i22;
  };
  const tCase cases[] = {
      {"symmetric", 4, 2, 2, 3, 0.375, -0.25, -0.25, 0.5},
      // first column (0, 5): rows exchanged before eliminating; inverse of
      // [[0, 2], [5, 3]] is [[-3, 2], [5, 0]] / 10
      {"zero first pivot", 0, 2, 5, 3, -0.3L, 0.2L, 0.5L, 0},
      // 5E-11 is below the pivot tolerance: exchanged like an exact zero
      {"first pivot below tolerance", 5E-11L, 1, 1, 1, -1 / (1 - 5E-11L), 1 / (1 - 5E-11L),
       1 / (1 - 5E-11L), -5E-11L / (1 - 5E-11L)},
      // exactly 1E-10 is accepted
      {"pivot at tolerance", 1E-10L, 0, 0, 2, 1E10L, 0, 0, 0.5},
  };
  for (const tCase& c : cases) {
    tMatrix b = Filled(kSentinel);
    ASSERT_TRUE(Mat_inverse(Block2(c.a11, c.a12, c.a21, c.a22), 2, b)) << c.name;
    const Extended tol = 1E-17L;
    EXPECT_NEAR(b(1, 1), c.i11, tol * std::fabs(c.i11) + 1E-18L) << c.name;
    EXPECT_NEAR(b(1, 2), c.i12, tol * std::fabs(c.i12) + 1E-18L) << c.name;
    EXPECT_NEAR(b(2, 1), c.i21, tol * std::fabs(c.i21) + 1E-18L) << c.name;
    EXPECT_NEAR(b(2, 2), c.i22, tol * std::fabs(c.i22) + 1E-18L) << c.name;
    EXPECT_TRUE(Outside_block_is(b, 2, 0)) << c.name << ": B is cleared completely";
  }
}

TEST(MatInverse, OneByOneAndThreeByThreeInPlace) {
  tMatrix a = Filled(kSentinel);
  a(1, 1) = 8;
  tMatrix b;
  ASSERT_TRUE(Mat_inverse(a, 1, b));
  EXPECT_EQ(b(1, 1), 0.125);

  // A 3 x 3 block with a zero leading entry, inverted onto itself; the product with a
  // copy of the original is the identity.
  const Extended av[3][3] = {{0, 2, 1}, {1, 1, 0}, {3, 0, 4}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) a(i + 1, j + 1) = av[i][j];
  const tMatrix original = a;
  ASSERT_TRUE(Mat_inverse(a, 3, a));
  tMatrix product;
  Mat_multiply(original, a, 3, product);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_NEAR(product(i, j), i == j ? 1 : 0, 1E-17L);
}

// Singular at working precision: the routine says so (the engines then stop with an
// error instead of using a partly reduced matrix).
TEST(MatInverse, ReportsASingularMatrix) {
  struct tCase {
    const char* name;
    Extended a11, a12, a21, a22;
  };
  const tCase cases[] = {
      {"rank one", 1, 2, 2, 4},          // column 2 reduces to 0
      {"first column zero", 0, 1, 0, 1},
      {"rank one, tiny scale", 1E-12L, 2E-12L, 2E-12L, 4E-12L},
      {"rank one after rounding", 1, 1, 1, 1 + 1E-20L},
      {"NaN", std::numeric_limits<Extended>::quiet_NaN(), 0, 0, 1},
  };
  for (const tCase& c : cases) {
    tMatrix b;
    EXPECT_FALSE(Mat_inverse(Block2(c.a11, c.a12, c.a21, c.a22), 2, b)) << c.name;
    tMat2 b2;
    EXPECT_FALSE(Inverse_2x2({c.a11, c.a12, c.a21, c.a22}, b2)) << c.name;
  }
}

// Matrices with no pivot of 1E-10 that are far from singular at working precision are
// inverted by partial pivoting. Expected inverses from the closed form
// [[d, -b], [-c, a]] / (ad - bc), worked exactly by hand; a 3 x 3 case checks A B = I.
TEST(MatInverse, InvertsNearSingularMatricesByPartialPivoting) {
  const Extended kTwo_to_40 = 1099511627776.0L, kTwo_to_minus_40 = 1 / kTwo_to_40;
  struct tCase {
    const char* name;
    Extended a11, a12, a21, a22;
    Extended i11, i12, i21, i22;
  };
  const tCase cases[] = {
      // A covariance in the units of a tiny standard deviation.
      {"tiny scale", 1E-6L, 0, 0, 1E-11L, 1E6L, 0, 0, 1E11L},
      // A Wishart draw with one degree of freedom near zero: second pivot 2^-40.
      {"near rank one", 1, 1, 1, 1 + kTwo_to_minus_40, kTwo_to_40 + 1, -kTwo_to_40,
       -kTwo_to_40, kTwo_to_40},
      {"both columns small", 4E-11L, 2E-11L, 2E-11L, 3E-11L, 3.75E10L, -2.5E10L, -2.5E10L,
       5E10L},
  };
  for (const tCase& c : cases) {
    tMatrix b;
    ASSERT_TRUE(Mat_inverse(Block2(c.a11, c.a12, c.a21, c.a22), 2, b)) << c.name;
    tMat2 b2;
    ASSERT_TRUE(Inverse_2x2({c.a11, c.a12, c.a21, c.a22}, b2)) << c.name;
    const Extended expected[2][2] = {{c.i11, c.i12}, {c.i21, c.i22}};
    const Extended got2[2][2] = {{b2.a11, b2.a12}, {b2.a21, b2.a22}};
    for (int i = 0; i < 2; ++i)
      for (int j = 0; j < 2; ++j) {
        const Extended tolerance = 1E-9L * std::fabs(c.i11);
        EXPECT_NEAR(b(i + 1, j + 1), expected[i][j], tolerance) << c.name;
        EXPECT_TRUE(Same_bits(b(i + 1, j + 1), got2[i][j])) << c.name;
      }
  }
  // 3 x 3 with a second pivot of 2^-40.
  tMatrix a = Block2(1, 1, 1, 1 + kTwo_to_minus_40);
  a(1, 3) = a(3, 1) = 0;
  a(2, 3) = a(3, 2) = 0;
  a(3, 3) = 2;
  tMatrix inverse, product;
  ASSERT_TRUE(Mat_inverse(a, 3, inverse));
  Mat_multiply(a, inverse, 3, product);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_NEAR(product(i, j), i == j ? 1 : 0, 1E-6L);
}

TEST(Cholesky, FactorReadsTheEntryBelowTheDiagonal) {
  // [[4, 2], [2, 5]] = L L' with L = [[2, 0], [1, 2]]; A(1,2) is not read.
  tMatrix l = Filled(kSentinel);
  Cholesky_2x2(Block2(4, 999, 2, 5), l);
  EXPECT_EQ(l(1, 1), 2);
  EXPECT_EQ(l(1, 2), 0);
  EXPECT_EQ(l(2, 1), 1);
  EXPECT_EQ(l(2, 2), 2);
  EXPECT_TRUE(Outside_block_is(l, 2, kSentinel));
  const tMat2 l2 = Cholesky_factor_2x2({4, 999, 2, 5});
  EXPECT_EQ(l2.a11, 2);
  EXPECT_EQ(l2.a12, 0);
  EXPECT_EQ(l2.a21, 1);
  EXPECT_EQ(l2.a22, 2);
}

// The engines' 2 x 2 forms must agree with the general routines bit for bit: on random
// matrices like the engines' (symmetric positive definite, over many scales), on
// unsymmetric ones, and on ones that need a row exchange.
TEST(Matrix2x2, SameBitsAsTheGeneralRoutines) {
  std::mt19937_64 random(20240611);
  std::uniform_real_distribution<double> entry(-3, 3), log_scale(-12, 12);
  for (int trial = 0; trial < 3000; ++trial) {
    const Extended scale = std::pow(10.0L, static_cast<Extended>(log_scale(random)));
    Extended v[4];
    for (Extended& x : v) x = scale * static_cast<Extended>(entry(random));
    if (trial % 3 == 0) v[0] = trial % 2 ? 0 : v[0] * 1E-11L;  // row exchange
    if (trial % 5 == 1) {  // symmetric positive definite
      v[2] = v[1];
      v[0] = std::fabs(v[0]) + std::fabs(v[1]) + scale;
      v[3] = std::fabs(v[3]) + std::fabs(v[1]) + scale;
    }
    const tMatrix a = Block2(v[0], v[1], v[2], v[3]), b = Block2(v[3], v[0], v[1], v[2]);
    const tMat2 a2{v[0], v[1], v[2], v[3]}, b2{v[3], v[0], v[1], v[2]};
    auto same = [&](const tMatrix& m, const tMat2& m2) {
      return Same_bits(m(1, 1), m2.a11) && Same_bits(m(1, 2), m2.a12) &&
             Same_bits(m(2, 1), m2.a21) && Same_bits(m(2, 2), m2.a22);
    };
    tMatrix m;
    Mat_multiply(a, b, 2, m);
    EXPECT_TRUE(same(m, Multiply_2x2(a2, b2))) << trial;
    Mat_transpose(a, 2, m);
    EXPECT_TRUE(same(m, Transpose_2x2(a2))) << trial;
    tMat2 inv2{};
    const bool ok = Mat_inverse(a, 2, m);
    EXPECT_EQ(ok, Inverse_2x2(a2, inv2)) << trial;
    if (ok) {
      EXPECT_TRUE(same(m, inv2)) << trial;
    }
    if (trial % 5 == 1) {
      Cholesky_2x2(a, m);
      EXPECT_TRUE(same(m, Cholesky_factor_2x2(a2))) << trial;
    }
  }
}

// ---------------------------------------------------------------------------------------
// Quick_sort (1-based stretches a[lo..hi]).

TEST(QuickSort, SmallCases) {
  struct tCase {
    std::vector<double> in;  // entry 0 unused
    std::int32_t lo, hi;
    std::vector<double> out;
  };
  const tCase cases[] = {
      {{0, 3, 1, 2, 5, 4}, 1, 5, {0, 1, 2, 3, 4, 5}},
      {{0, 3, 1, 2}, 2, 2, {0, 3, 1, 2}},        // hi = lo
      {{0, 3, 1, 2}, 3, 1, {0, 3, 1, 2}},        // hi < lo
      {{0, 9, 5, 1, 4, -2}, 2, 4, {0, 9, 1, 4, 5, -2}},  // only the stretch moves
      {{0, 2, 2, 2, 2}, 1, 4, {0, 2, 2, 2, 2}},
      {{0, 2, 1, 2, 1, 2, 1}, 1, 6, {0, 1, 1, 1, 2, 2, 2}},
  };
  for (const tCase& c : cases) {
    std::vector<double> a = c.in;
    Quick_sort(c.lo, c.hi, a.data());
    EXPECT_EQ(a, c.out);
  }
}

TEST(QuickSort, AgreesWithStdSortOnRandomData) {
  std::mt19937 random(7);
  for (int size : {2, 3, 10, 100, 1000, 100000}) {
    for (int distinct : {2, 50, 1 << 30}) {
      std::uniform_int_distribution<int> value(0, distinct - 1);
      std::vector<double> a(static_cast<std::size_t>(size) + 1);
      for (double& x : a) x = value(random) * 0.5 - 7;
      std::vector<double> expected = a;
      std::sort(expected.begin() + 1, expected.end());
      Quick_sort(1, size, a.data());
      EXPECT_EQ(a, expected) << size << " " << distinct;
    }
  }
}

// The last element as pivot on ordered input splits off one element per pass; the
// recursion must not follow that chain. Sorted and reversed stretches are sorted on a
// 64 KiB stack, where a recursion as deep as the stretch (some 20,000 frames) would
// overflow.
struct tSort_job {
  std::vector<double>* a;
};

void* Sort_job(void* arg) {
  auto* job = static_cast<tSort_job*>(arg);
  Quick_sort(1, static_cast<std::int32_t>(job->a->size()) - 1, job->a->data());
  return nullptr;
}

TEST(QuickSort, OrderedInputKeepsTheStackShallow) {
  const int n = 20000;
  std::vector<double> ascending(n + 1), descending(n + 1), sawtooth(n + 1);
  for (int i = 0; i <= n; ++i) {
    ascending[i] = i;
    descending[i] = n - i;
    sawtooth[i] = i % 2 ? i : -i;
  }
  for (std::vector<double>* a : {&ascending, &descending, &sawtooth}) {
    std::vector<double> expected = *a;
    std::sort(expected.begin() + 1, expected.end());
    tSort_job job{a};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 64 * 1024);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attr, Sort_job, &job), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_EQ(*a, expected);
  }
}

}  // namespace
