// SPDX-License-Identifier: GPL-3.0-or-later
// The BSDT's Monte Carlo draws, split in two halves so that they can run on two threads
// with the same results, bit for bit, as one loop:
//
//   Draw_variates (the generator's thread): for each attempt chi-square A, chi-square B
//   and the standard normal (with the calibrated prior also the Wishart draw, its inverse
//   and correlation, and the standard uniform of the acceptance test); after the accepted
//   attempt the standard normal twice. Only this half touches the generator.
//   Zdcc_of (any thread): the rest of the iteration, from the variates to Z-DCC.
//
// Under the standard-theory prior nothing the generator's thread draws depends on the
// matrices, so it hands on the bare variates; under the calibrated prior the acceptance
// needs the drawn correlation, so it hands on the accepted Sigma. Internal to the bayes
// unit.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include "bayes/matrix_2x2.h"
#include "distrib/distrib.h"
#include "distrib/progress.h"

// What every draw of one call shares: the Cholesky factor of the inverse scale matrix
// and its transpose, sqrt(N), and the standardized problem's means and case scores.
struct tDraw_constants {
  tMat2 L, Lt;
  Extended Sqrt_n;
  Extended Mean_x, Mean_y, Case_x, Case_y;
};

// One iteration's variates as the generator's thread hands them on.
struct tVariates {
  Extended c1, c2, z;  // standard-theory prior: the Bartlett variates
  tMat2 sigma;         // calibrated prior: the accepted covariance draw
  Extended rho;        // and its correlation
  Extended z1, z2;     // the normal variates of the means
};

// The distribution objects of one call, in the order they are created.
struct tDraw_distributions {
  tChi_square_distribution& Chi_a;
  tChi_square_distribution& Chi_b;
  tNormal_distribution& Normal;
  tUniform_distribution* Uniform;  // calibrated prior only
};

// Ends the call at a draw that cannot go on.
[[noreturn]] void Fail_draw(std::int64_t iteration, const char* what);

// Reports progress and honours a request to stop (throws ECancelled).
void Observe(const tProgress_observer& observer, std::int64_t done, std::int64_t total);

// Attempts between two calls of the observer (a power of 2): about 4 ms of work, and so
// well within 65,536 iterations, however many attempts the calibrated prior rejects.
constexpr std::uint32_t kObserve_attempts = 8192;

// W^-1 from its factors when W itself is too near singular to invert at working
// precision (a correlation near +/-1 and few controls; in the double build from
// r = +/-0.999): with W = L T' T L', W^-1 = G G' for the upper triangular
// G = L'^-1 T^-1, whose entries are quotients of the factors' entries. The product G G'
// adds only products of like sign on its diagonal, so the inverse is accurate to a few
// units in the last place of the factors (a backward-stable triangular inversion; Higham,
// Accuracy and Stability of Numerical Algorithms, 2002, ch. 8), where the elimination on
// W would cancel away every digit.
inline bool Inverse_from_factors(const tDraw_constants& k, Extended c1, Extended c2,
                                 Extended z, tMat2& sigma) {
  const Extended l11 = k.L.a11, l21 = k.L.a21, l22 = k.L.a22;
  // G = [[1/l11, -l21/(l11 l22)], [0, 1/l22]] x [[1/c1, -z/(c1 c2)], [0, 1/c2]].
  const Extended g11 = 1 / (l11 * c1);
  const Extended g12 = -(z * l22 + l21 * c1) / (l11 * l22 * c1 * c2);
  const Extended g22 = 1 / (l22 * c2);
  sigma = {g11 * g11 + g12 * g12, g12 * g22, g12 * g22, g22 * g22};
  return std::isfinite(sigma.a11) && std::isfinite(sigma.a12) && std::isfinite(sigma.a22) &&
         sigma.a11 > 0 && sigma.a22 > 0;
}

// W = L T' T L' from the Bartlett variates, and Sigma = W^-1 with its correlation. The
// elimination on W serves every draw it can invert (its bits are the results'); a draw
// it cannot invert takes the inverse from the factors instead of ending the run.
inline void Covariance_draw(std::int64_t i, const tDraw_constants& k, Extended c1,
                            Extended c2, Extended z, tMat2& sigma, Extended& rho) {
  const tMat2 t{c1, z, 0, c2};
  const tMat2 tt = Transpose_2x2(t);
  const tMat2 p1 = Multiply_2x2(tt, t);
  const tMat2 p2 = Multiply_2x2(k.L, p1);
  const tMat2 w = Multiply_2x2(p2, k.Lt);
  if (!Inverse_2x2(w, sigma) && !Inverse_from_factors(k, c1, c2, z, sigma))
    Fail_draw(i, "a drawn Wishart matrix was singular at working precision and could not "
                 "be inverted");
  rho = sigma.a12 / std::sqrt(sigma.a11 * sigma.a22);
}

// The generator's half of iteration i. `attempts` counts every attempt of the call, for
// the observer.
template <bool kCalibrated>
void Draw_variates(std::int32_t i, std::int32_t iterations, const tDraw_distributions& dist,
                   const tDraw_constants& k, const tProgress_observer* observer,
                   std::uint32_t& attempts, tVariates& v) {
  for (;;) {
    if ((++attempts & (kObserve_attempts - 1)) == 0 && observer != nullptr)
      Observe(*observer, i - 1, iterations);
    v.c1 = std::sqrt(dist.Chi_a.Random_value());
    v.c2 = std::sqrt(dist.Chi_b.Random_value());
    v.z = dist.Normal.Random_value();
    if constexpr (!kCalibrated) {
      break;
    } else {
      Covariance_draw(i, k, v.c1, v.c2, v.z, v.sigma, v.rho);
      // A NaN would fail the acceptance test for ever.
      if (std::isnan(v.rho)) Fail_draw(i, "a drawn correlation was not a number");
      const Extended u = dist.Uniform->Random_value();
      if (u * u <= 1 - v.rho * v.rho) break;
    }
  }
  v.z1 = dist.Normal.Random_value();
  v.z2 = dist.Normal.Random_value();
}

// The rest of iteration i: the means given Sigma, and the case's Z-DCC under the draw.
template <bool kCalibrated>
Extended Zdcc_of(std::int32_t i, const tDraw_constants& k, tVariates& v) {
  if constexpr (!kCalibrated) Covariance_draw(i, k, v.c1, v.c2, v.z, v.sigma, v.rho);
  const tMat2& sigma = v.sigma;
  const tMat2 c = Cholesky_factor_2x2(sigma);
  const Extended mu_x = v.z1 * c.a11 / k.Sqrt_n + k.Mean_x;
  const Extended mu_y = (v.z1 * c.a21 + v.z2 * c.a22) / k.Sqrt_n + k.Mean_y;
  const Extended zx = (k.Case_x - mu_x) / std::sqrt(sigma.a11);
  const Extended zy = (k.Case_y - mu_y) / std::sqrt(sigma.a22);
  const Extended d = (zx - zy) / std::sqrt(2 - 2 * v.rho);
  if (!std::isfinite(d))
    Fail_draw(i, "a Z-DCC draw was not finite (a drawn correlation of 1 after rounding?)");
  return d;
}

// The Monte Carlo loop on the calling thread. Store(i, d) receives each Z-DCC draw in
// extended precision, in order.
template <bool kCalibrated, typename tStore>
void Draw_Zdcc(std::int32_t iterations, const tDraw_distributions& dist,
               const tDraw_constants& k, const tProgress_observer* observer, tStore&& Store) {
  std::uint32_t attempts = 0;
  tVariates v;
  for (std::int32_t i = 1; i <= iterations; ++i) {
    Draw_variates<kCalibrated>(i, iterations, dist, k, observer, attempts, v);
    Store(i, Zdcc_of<kCalibrated>(i, k, v));
  }
}
