// SPDX-License-Identifier: GPL-3.0-or-later
// The matrix routines of the engine's procedure written out for a 2 x 2 block held in
// four scalars, for the engines' inner loop. Each performs the same arithmetic in the same
// order as the general routine (tests/support/matrix_handling.h) with n = 2 (operations on
// zero entries included, so that even the signs of zeros agree), and so gives
// bit-identical results; the unit tests compare the two. Internal to the bayes unit.
#pragma once

#include <cmath>
#include <limits>
#include <utility>

#include "distrib/distrib.h"

// Smallest absolute value accepted as a pivot by the inverse's first elimination.
constexpr Extended Pivot_tolerance = 1E-10L;

// Tolerance of the partial-pivoting inverse: a pivot no larger than n units in the last
// place of the largest entry is taken for zero.
constexpr Extended Relative_pivot_tolerance(int n, Extended scale) {
  return n * std::numeric_limits<Extended>::epsilon() * scale;
}

struct tMat2 {
  Extended a11, a12, a21, a22;
};

inline tMat2 Transpose_2x2(const tMat2& a) { return {a.a11, a.a21, a.a12, a.a22}; }

// C = A x B; each entry is an extended sum started at 0, over k = 1, 2.
inline tMat2 Multiply_2x2(const tMat2& a, const tMat2& b) {
  tMat2 c;
  Extended s;
  s = 0; s += a.a11 * b.a11; s += a.a12 * b.a21; c.a11 = s;
  s = 0; s += a.a11 * b.a12; s += a.a12 * b.a22; c.a12 = s;
  s = 0; s += a.a21 * b.a11; s += a.a22 * b.a21; c.a21 = s;
  s = 0; s += a.a21 * b.a12; s += a.a22 * b.a22; c.a22 = s;
  return c;
}

// Gauss-Jordan on the pair W | B, as Mat_inverse's elimination with n = 2, once the row
// of the first pivot is chosen (exchange: rows 1 and 2 are swapped first). Accept(p)
// decides whether p may serve as a pivot. Returns false (b then unusable) when a pivot
// is refused.
template <typename tAccept>
inline bool Gauss_jordan_2x2(const tMat2& a, bool exchange, tAccept&& Accept, tMat2& b) {
  Extended w11 = a.a11, w12 = a.a12, w21 = a.a21, w22 = a.a22;
  Extended b11 = 1, b12 = 0, b21 = 0, b22 = 1;
  // Column 1.
  if (exchange) {
    std::swap(w11, w21);
    std::swap(w12, w22);
    std::swap(b11, b21);
    std::swap(b12, b22);
  }
  if (!Accept(w11)) return false;
  Extended f = 1 / w11;
  w11 = w11 * f; w12 = w12 * f;
  b11 = b11 * f; b12 = b12 * f;
  Extended g = -w21;
  w21 = g * w11 + w21; w22 = g * w12 + w22;
  b21 = g * b11 + b21; b22 = g * b12 + b22;
  // Column 2.
  if (!Accept(w22)) return false;
  f = 1 / w22;
  w21 = w21 * f; w22 = w22 * f;
  b21 = b21 * f; b22 = b22 * f;
  g = -w12;
  w11 = g * w21 + w11; w12 = g * w22 + w12;
  b11 = g * b21 + b11; b12 = g * b22 + b12;
  b = {b11, b12, b21, b22};
  return true;
}

// The first acceptable pivot, the first half of Mat_inverse with n = 2: a pivot of at
// least Pivot_tolerance.
inline bool Inverse_2x2_first_pivot(const tMat2& a, tMat2& b) {
  const auto acceptable = [](Extended p) { return std::fabs(p) >= Pivot_tolerance; };
  return Gauss_jordan_2x2(a, !acceptable(a.a11), acceptable, b);
}

// As Mat_inverse_pivoting with n = 2: partial pivoting, a pivot within
// Relative_pivot_tolerance of zero taken for singular.
inline bool Inverse_2x2_pivoting(const tMat2& a, tMat2& b) {
  const Extended scale = std::fmax(
      std::fmax(std::fmax(std::fabs(a.a11), std::fabs(a.a12)), std::fabs(a.a21)),
      std::fabs(a.a22));
  if (!std::isfinite(scale)) return false;
  const Extended tolerance = Relative_pivot_tolerance(2, scale);
  tMat2 inverse;
  if (!Gauss_jordan_2x2(a, std::fabs(a.a21) > std::fabs(a.a11),
                        [tolerance](Extended p) { return std::fabs(p) > tolerance; },
                        inverse))
    return false;
  if (!(std::isfinite(inverse.a11) && std::isfinite(inverse.a12) &&
        std::isfinite(inverse.a21) && std::isfinite(inverse.a22)))
    return false;
  b = inverse;
  return true;
}

// As Mat_inverse with n = 2: the first acceptable pivot, else partial pivoting.
inline bool Inverse_2x2(const tMat2& a, tMat2& b) {
  return Inverse_2x2_first_pivot(a, b) || Inverse_2x2_pivoting(a, b);
}

// As Cholesky_2x2: reads the entry below the diagonal.
inline tMat2 Cholesky_factor_2x2(const tMat2& a) {
  const Extended l11 = std::sqrt(a.a11);
  const Extended l21 = a.a21 / l11;
  return {l11, 0, l21, std::sqrt(a.a22 - l21 * l21)};
}
