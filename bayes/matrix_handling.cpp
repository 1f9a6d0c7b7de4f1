// Matrix routines on the leading block of a tMatrix, and the draws' quicksort.
//
// Inputs are copied (their leading block only) into local work arrays before any output
// is written, which gives the by-value semantics that lets an output alias an input
// without copying all 400 entries per call.
#include "bayes/matrix_handling.h"

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

// Gauss-Jordan on the pair W | B. The pivot of column k is the first row from k down
// whose entry passes Pivot_tolerance; its row is exchanged into place, scaled to a unit
// pivot, and subtracted from every other row (g x pivot row + row, in that order).
bool Mat_inverse(const tMatrix& A, int n, tMatrix& B) {
  tBlock w;
  Copy_block(A, n, w);
  Zero_matrix(B);
  tBlock& b = B.Entries;
  for (int i = 0; i < n; ++i) b[i][i] = 1;

  for (int k = 0; k < n; ++k) {
    int pivot_row = k;
    while (pivot_row < n && !(std::fabs(w[pivot_row][k]) >= Pivot_tolerance)) ++pivot_row;
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
