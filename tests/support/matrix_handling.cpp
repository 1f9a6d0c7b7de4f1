// SPDX-License-Identifier: GPL-3.0-or-later
// Matrix routines on the leading block of a tMatrix, and the draws' quicksort.
//
// Inputs are copied (their leading block only) into local work arrays before any output
// is written, which gives the by-value semantics that lets an output alias an input
// without copying all 400 entries per call.
#include "tests/support/matrix_handling.h"

#include <cmath>
#include <utility>

namespace {

using tBlock = Extended[Max_dim][Max_dim];

void Copy_block(const tMatrix& from, int n, tBlock& to) {
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) to[i][j] = from.Entries[i][j];
}

}  // namespace

void Zero_matrix(tMatrix& M) {
  for (auto& row : M.Entries)
    for (Extended& x : row) x = 0;
}

void Mat_multiply(const tMatrix& A, const tMatrix& B, int n, tMatrix& C) {
  tBlock a, b;
  Copy_block(A, n, a);
  Copy_block(B, n, b);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      Extended sum = 0;
      for (int k = 0; k < n; ++k) sum += a[i][k] * b[k][j];
      C.Entries[i][j] = sum;
    }
}

void Mat_transpose(const tMatrix& A, int n, tMatrix& B) {
  tBlock a;
  Copy_block(A, n, a);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) B.Entries[j][i] = a[i][j];
}

namespace {

// Gauss-Jordan on the pair W | B. The pivot of column k is chosen by Choose(w, k) (a row
// from k down, or n for none); its row is exchanged into place, scaled to a unit pivot,
// and subtracted from every other row (g x pivot row + row, in that order).
template <typename tChoose>
bool Gauss_jordan(const tMatrix& A, int n, tMatrix& B, tChoose&& Choose) {
  tBlock w;
  Copy_block(A, n, w);
  Zero_matrix(B);
  tBlock& b = B.Entries;
  for (int i = 0; i < n; ++i) b[i][i] = 1;

  for (int k = 0; k < n; ++k) {
    const int pivot_row = Choose(w, k);
    if (pivot_row == n) return false;  // B holds a partly reduced matrix
    if (pivot_row != k)
      for (int j = 0; j < n; ++j) {
        std::swap(w[pivot_row][j], w[k][j]);
        std::swap(b[pivot_row][j], b[k][j]);
      }
    const Extended f = 1 / w[k][k];
    for (int j = 0; j < n; ++j) {
      w[k][j] = w[k][j] * f;
      b[k][j] = b[k][j] * f;
    }
    for (int r = 0; r < n; ++r) {
      if (r == k) continue;
      const Extended g = -w[r][k];
      for (int j = 0; j < n; ++j) {
        w[r][j] = g * w[k][j] + w[r][j];
        b[r][j] = g * b[k][j] + b[r][j];
      }
    }
  }
  return true;
}

}  // namespace

bool Mat_inverse(const tMatrix& A, int n, tMatrix& B) {
  // The first row whose entry passes the absolute tolerance.
  const bool found = Gauss_jordan(A, n, B, [n](const tBlock& w, int k) {
    int row = k;
    while (row < n && !(std::fabs(w[row][k]) >= Pivot_tolerance)) ++row;
    return row;
  });
  return found || Mat_inverse_pivoting(A, n, B);
}

bool Mat_inverse_pivoting(const tMatrix& A, int n, tMatrix& B) {
  Extended scale = std::fabs(A.Entries[0][0]);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) scale = std::fmax(scale, std::fabs(A.Entries[i][j]));
  if (!std::isfinite(scale)) return false;
  const Extended tolerance = Relative_pivot_tolerance(n, scale);
  // The row with the largest entry (the first of equals); none when it is within
  // rounding of zero.
  const bool found = Gauss_jordan(A, n, B, [n, tolerance](const tBlock& w, int k) {
    int row = k;
    for (int i = k + 1; i < n; ++i)
      if (std::fabs(w[i][k]) > std::fabs(w[row][k])) row = i;
    return std::fabs(w[row][k]) > tolerance ? row : n;
  });
  if (!found) return false;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      if (!std::isfinite(B.Entries[i][j])) return false;
  return true;
}

void Cholesky_2x2(const tMatrix& A, tMatrix& L) {
  const Extended a11 = A(1, 1), a21 = A(2, 1), a22 = A(2, 2);
  const Extended l11 = std::sqrt(a11);
  const Extended l21 = a21 / l11;
  L(1, 1) = l11;
  L(1, 2) = 0;
  L(2, 1) = l21;
  L(2, 2) = std::sqrt(a22 - l21 * l21);
}

// Partition of a[lo..hi] around p = a[hi] (Sedgewick's form): i scans up to an entry not
// below p (a[hi] stops it), j scans down to an entry not above p but not below lo; out-of-
// place pairs are exchanged until the scans cross, and the pivot goes to position i.
// The scans are written with < so that a NaN stops them rather than running past the
// stretch.
void Quick_sort(std::int32_t lo, std::int32_t hi, double a[]) {
  while (hi > lo) {
    const double p = a[hi];
    std::int32_t i = lo - 1;
    std::int32_t j = hi;
    for (;;) {
      while (a[++i] < p) {
      }
      do --j;
      while (j > lo && p < a[j]);
      if (j <= i) break;
      std::swap(a[i], a[j]);
    }
    std::swap(a[i], a[hi]);
    // The two parts are sorted independently of each other, so their order does not
    // change the result; the smaller one by recursion keeps the stack logarithmic.
    if (i - lo < hi - i) {
      Quick_sort(lo, i - 1, a);
      lo = i + 1;
    } else {
      Quick_sort(i + 1, hi, a);
      hi = i - 1;
    }
  }
}
