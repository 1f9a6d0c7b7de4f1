// SPDX-License-Identifier: GPL-3.0-or-later
// Fixed-capacity square matrices of extended reals and the general matrix routines of
// the Bayesian engine's procedure (product, transpose, Gauss-Jordan inverse, 2 x 2
// Cholesky factor), plus the in-place quicksort that orders its Monte Carlo draws. The
// engine runs their 2 x 2 forms (bayes/matrix_2x2.h) and selects its limits instead of
// sorting; the tests keep these as the literal procedure to compare with.
//
// Every routine works on the leading n x n block (1 <= n <= Max_dim, not checked) and
// reads its input matrices completely before it writes its output, so an output may be
// the same object as an input. Nothing here allocates.
#pragma once

#include <cstdint>
#include <limits>

#include "bayes/matrix_2x2.h"
#include "distrib/distrib.h"

constexpr int Max_dim = 20;


// A Max_dim x Max_dim array of extended reals, stored row by row, indexed 1..Max_dim.
struct tMatrix {
  Extended Entries[Max_dim][Max_dim];

  Extended& operator()(int row, int column) { return Entries[row - 1][column - 1]; }
  const Extended& operator()(int row, int column) const {
    return Entries[row - 1][column - 1];
  }
};

// Sets all Max_dim x Max_dim entries to 0.
void Zero_matrix(tMatrix& M);

// C = A x B on the leading n x n block (A is the left factor); each entry is summed over
// k = 1..n in that order in an extended accumulator.
void Mat_multiply(const tMatrix& A, const tMatrix& B, int n, tMatrix& C);

// B = transpose of A on the leading n x n block.
void Mat_transpose(const tMatrix& A, int n, tMatrix& B);

// B = inverse of the leading n x n block of A, by Gauss-Jordan elimination taking in each
// column the first row whose entry is at least Pivot_tolerance in absolute value (not the
// largest). B is cleared completely first. When some column has no such pivot (a
// near-singular matrix such as a Wishart draw with one degree of freedom, whose second
// pivot can fall below 1E-10 while the matrix is well within working precision), the
// inverse is computed again by Mat_inverse_pivoting. Returns false only when that fails
// too: B then holds a partly reduced matrix that is no inverse and must not be used.
[[nodiscard]] bool Mat_inverse(const tMatrix& A, int n, tMatrix& B);

// B = inverse of the leading n x n block of A by Gauss-Jordan elimination with partial
// pivoting (the row with the largest entry in the column; Golub and Van Loan, Matrix
// Computations, 3.4). Returns false when the block is singular at working precision: a
// pivot within Relative_pivot_tolerance of zero, a non-finite entry, or a non-finite
// inverse.
[[nodiscard]] bool Mat_inverse_pivoting(const tMatrix& A, int n, tMatrix& B);

// Lower-triangular L with L x transpose(L) = A for a symmetric positive-definite 2 x 2
// block; reads the entry below the diagonal, A(2, 1). Writes L(1,1), L(1,2), L(2,1) and
// L(2,2) only. No check of definiteness: a negative radicand gives a NaN (and raises the
// invalid-operation flag).
void Cholesky_2x2(const tMatrix& A, tMatrix& L);

// Sorts a[lo..hi] (indices as given; callers with 1-based data pass an array whose entry
// 0 is unused) into ascending order in place: quicksort with the last element as pivot.
// Recurses into the smaller part and loops on the larger, so the depth stays below
// log2(hi - lo + 1) even on input that is already sorted. Meant for values without NaN;
// with a NaN the order is unspecified but the routine stays within a[lo..hi].
void Quick_sort(std::int32_t lo, std::int32_t hi, double a[]);
