// The Bayesian Standardized Difference Test (BSDT) by Monte Carlo, shared by the
// standard-theory and the calibrated prior.
//
// Each iteration draws the control population's covariance matrix Sigma from its inverse
// Wishart posterior by Bartlett's construction (Bartlett, Proc. Roy. Soc. Edinburgh 53,
// 1933): with T upper triangular holding sqrt(chi-square) draws on its diagonal and a
// standard normal above it, W = L T' T L' is Wishart with scale L L' = A^-1, and
// Sigma = W^-1. Then it draws the means given Sigma, and stores the case's standardized
// difference Z-DCC under that draw. The calibrated prior draws with two fewer degrees
// of freedom from a scaled A and keeps a draw with probability sqrt(1 - rho^2).
//
// Units of measurement. Z-DCC, and so its whole posterior, is unchanged when either
// task is shifted or rescaled: with D = diag(Sd_x, Sd_y), A = D A' D, the Bartlett draw
// from the same chi-square and normal variates is W = D^-1 W' D^-1, Sigma = D Sigma' D,
// its Cholesky factor D C', and every term of Z-DCC loses D. So the draws run on the
// standardized problem (means 0, standard deviations 1, case scores zx0 and zy0). This
// keeps the draw sequence and the results of the unscaled formulas up to rounding, and it
// keeps every matrix entry near 1: on the raw scale W grows like 1/Sd^2, and beyond
// Sd ~ 5E4 the inverse's absolute pivot test 1E-10 rejected legitimate draws.
#include "bayes/bsdt_run.h"

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <cmath>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bayes/bsdt_precision.h"
#include "bayes/matrix_2x2.h"
#include "bayes/matrix_handling.h"
#include "distrib/fp_check.h"
#include "stats/metrics_papers.h"

namespace {

// Draws per block handed to a thread computing normal probabilities.
constexpr std::int64_t kCdf_block = 8192;
// Below this many iterations the normal probabilities stay on the calling thread.
constexpr std::int32_t kParallel_min_iterations = 65536;

// An argument refused by the engine: an EArgumentError (identifier and formatted limit
// as the distribution unit's checks give them) whose message is a readable sentence.
class EBSDT_argument_error final : public EArgumentError {
 public:
  EBSDT_argument_error(int identifier, const std::string& formatted_limit, std::string text)
      : EArgumentError(identifier, formatted_limit), text_(std::move(text)) {}
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  std::string text_;
};

const char* Fault_name(int raised) {
  if (raised & FE_INVALID) return "an invalid floating-point operation";
  if (raised & FE_DIVBYZERO) return "a floating-point division by zero";
  return "a floating-point overflow";
}

[[noreturn]] void Fail_fp_fault(int raised, const std::string& where) {
  std::feclearexcept(kTrapped_fp_exceptions);
  throw EFloating_point_error("Bayesian standardized difference test stopped: " +
                              std::string(Fault_name(raised)) + " " + where +
                              ". No results were computed.");
}

// Ends the call when a trapped flag has been raised since the engine started.
void Check_faults(const std::string& where) {
  const int raised = std::fetestexcept(kTrapped_fp_exceptions);
  if (raised != 0) Fail_fp_fault(raised, where);
}

[[noreturn]] void Fail_draw(std::int64_t iteration, const char* what) {
  throw EFloating_point_error(
      "Bayesian standardized difference test stopped at Monte Carlo iteration " +
      std::to_string(iteration) + ": " + what + ". No results were computed.");
}

// Normal probabilities of the draws d[1..n], replaced in place. Worker threads take
// blocks as soon as the drawing thread has finished them; when the draws are complete
// the calling thread joins in. Cdf draws no random numbers and keeps no state, so each
// value is the one a serial loop would compute, and the caller sums them in order
// afterwards. A failure (an exception, or a trapped flag raised in a block) is kept with
// the position where it arose, and the earliest is rethrown.
class tCdf_pipeline {
 public:
  tCdf_pipeline(Extended* d, std::int64_t n, int workers)
      : d_(d), n_(n), blocks_((n + kCdf_block - 1) / kCdf_block) {
    try {
      for (int w = 0; w < workers; ++w) threads_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      // Fewer threads than asked for: the calling thread does the rest.
    }
  }
  ~tCdf_pipeline() { Stop(); }
  tCdf_pipeline(const tCdf_pipeline&) = delete;
  tCdf_pipeline& operator=(const tCdf_pipeline&) = delete;

  // The draws d[1..count] are complete.
  void Drawn(std::int64_t count) {
    drawn_.store(count, std::memory_order_release);
    drawn_.notify_all();
  }

  // Evaluates what is left on the calling thread, waits for the workers, and rethrows
  // the earliest failure.
  void Complete() {
    Drawn(n_);
    Work();
    for (std::thread& t : threads_) t.join();
    threads_.clear();
    if (fault_) std::rethrow_exception(fault_);
  }

 private:
  void Stop() {
    if (threads_.empty()) return;
    stop_.store(true);
    drawn_.store(std::numeric_limits<std::int64_t>::max());
    drawn_.notify_all();
    for (std::thread& t : threads_) t.join();
    threads_.clear();
  }

  void Record(std::int64_t item, std::exception_ptr e) {
    std::lock_guard<std::mutex> lock(fault_mutex_);
    if (item < fault_item_) {
      fault_item_ = item;
      fault_ = std::move(e);
    }
  }

  void Work() {
    const tNormal_distribution normal(0, 1);
    Clear_fp_faults();
    for (;;) {
      const std::int64_t block = next_block_.fetch_add(1);
      if (block >= blocks_) return;
      const std::int64_t first = block * kCdf_block + 1;
      const std::int64_t last = std::min(n_, first + kCdf_block - 1);
      std::int64_t seen = drawn_.load(std::memory_order_acquire);
      while (seen < last && !stop_.load()) {
        drawn_.wait(seen, std::memory_order_acquire);
        seen = drawn_.load(std::memory_order_acquire);
      }
      if (stop_.load()) return;
      std::int64_t i = first;
      try {
        for (; i <= last; ++i) d_[i] = normal.Cdf(d_[i]);
      } catch (...) {
        Record(i, std::current_exception());
      }
      if (const int raised = std::fetestexcept(kTrapped_fp_exceptions); raised != 0) {
        std::feclearexcept(kTrapped_fp_exceptions);
        try {
          Fail_fp_fault(raised, "in the normal probabilities of the draws " +
                                    std::to_string(first) + " to " + std::to_string(last));
        } catch (...) {
          Record(first, std::current_exception());
        }
      }
    }
  }

  Extended* const d_;
  const std::int64_t n_;
  const std::int64_t blocks_;
  std::atomic<std::int64_t> next_block_{0};
  std::atomic<std::int64_t> drawn_{0};
  std::atomic<bool> stop_{false};
  std::mutex fault_mutex_;
  std::int64_t fault_item_ = std::numeric_limits<std::int64_t>::max();
  std::exception_ptr fault_;
  std::vector<std::thread> threads_;
};

// Attempts between two calls of the observer (a power of 2).
constexpr std::uint32_t kObserve_attempts = 8192;

// Reports progress and honours a request to stop.
void Observe(const tProgress_observer& observer, std::int64_t done, std::int64_t total) {
  if (observer.Cancel_requested()) throw ECancelled();
  if (observer.Progress) observer.Progress(done, total);
}

// What every draw of one call shares: the Cholesky factor of the inverse scale matrix
// and its transpose, sqrt(N), and the standardized problem's means and case scores.
struct tDraw_constants {
  tMat2 L, Lt;
  Extended Sqrt_n;
  Extended Mean_x, Mean_y, Case_x, Case_y;
};

// The Monte Carlo loop. Per iteration the generator is used in this order: for each
// attempt chi-square A, chi-square B, the standard normal (and, with the calibrated
// prior, the standard uniform); after the accepted attempt the standard normal twice.
// Store(i, d) receives each Z-DCC draw in extended precision.
//
// Every kObserve_attempts attempts (accepted or not) the observer, if any, hears of the
// accepted iterations done and may cancel: about every 4 ms of work, and so well within
// 65,536 iterations, however many attempts the calibrated prior rejects.
template <bool kCalibrated, typename tStore>
void Draw_Zdcc(std::int32_t iterations, tChi_square_distribution& chi_a,
               tChi_square_distribution& chi_b, tNormal_distribution& normal,
               tUniform_distribution* uniform, const tDraw_constants& k,
               const tProgress_observer* observer, tStore&& Store) {
  std::uint32_t attempts = 0;
  for (std::int32_t i = 1; i <= iterations; ++i) {
    tMat2 sigma;
    Extended rho;
    for (;;) {
      if ((++attempts & (kObserve_attempts - 1)) == 0 && observer != nullptr)
        Observe(*observer, i - 1, iterations);
      const Extended c1 = std::sqrt(chi_a.Random_value());
      const Extended c2 = std::sqrt(chi_b.Random_value());
      const Extended z = normal.Random_value();
      const tMat2 t{c1, z, 0, c2};
      const tMat2 tt = Transpose_2x2(t);
      const tMat2 p1 = Multiply_2x2(tt, t);
      const tMat2 p2 = Multiply_2x2(k.L, p1);
      const tMat2 w = Multiply_2x2(p2, k.Lt);
      if (!Inverse_2x2(w, sigma))
        Fail_draw(i, "a drawn Wishart matrix was singular at working precision and could "
                     "not be inverted");
      rho = sigma.a12 / std::sqrt(sigma.a11 * sigma.a22);
      if constexpr (!kCalibrated) {
        break;
      } else {
        // A NaN would fail the acceptance test for ever.
        if (std::isnan(rho)) Fail_draw(i, "a drawn correlation was not a number");
        const Extended u = uniform->Random_value();
        if (u * u <= 1 - rho * rho) break;
      }
    }
    const tMat2 c = Cholesky_factor_2x2(sigma);
    const Extended z1 = normal.Random_value();
    const Extended z2 = normal.Random_value();
    const Extended mu_x = z1 * c.a11 / k.Sqrt_n + k.Mean_x;
    const Extended mu_y = (z1 * c.a21 + z2 * c.a22) / k.Sqrt_n + k.Mean_y;
    const Extended zx = (k.Case_x - mu_x) / std::sqrt(sigma.a11);
    const Extended zy = (k.Case_y - mu_y) / std::sqrt(sigma.a22);
    const Extended d = (zx - zy) / std::sqrt(2 - 2 * rho);
    if (!std::isfinite(d))
      Fail_draw(i, "a Z-DCC draw was not finite (a drawn correlation of 1 after rounding?)");
    Store(i, d);
  }
}

// Storage for entries 0..n (entry 0 unused), with a readable message when the machine
// cannot hold that many draws.
template <typename T>
std::unique_ptr<T[]> Allocate(std::int32_t n) {
  try {
    return std::make_unique_for_overwrite<T[]>(static_cast<std::size_t>(n) + 1);
  } catch (const std::bad_alloc&) {
    throw std::runtime_error("Bayesian standardized difference test: not enough memory for " +
                             std::to_string(n) + " iterations.");
  }
}

// Position of a credible limit among the sorted draws: Round, halves to even, of the
// fraction times the iterations (plus the offset), refused unless it lies in 1..n.
std::int32_t Limit_position(Extended fraction, std::int32_t iterations, int offset,
                            std::int32_t level) {
  const Extended position = std::nearbyint(fraction * iterations) + offset;
  if (!(position >= 1 && position <= iterations))
    throw EBSDT_argument_error(
        1301, std::to_string(iterations),
        "Bayesian standardized difference test: a credible level of " +
            std::to_string(level) + "% with " + std::to_string(iterations) +
            " iterations puts a credible limit outside the draws; use a level between 1 "
            "and 99 and at least 21 iterations.");
  return static_cast<std::int32_t>(position);
}

}  // namespace

void Credible_limit_positions(std::int32_t Level, bool Two_sided, std::int32_t Iterations,
                              std::int32_t& lo, std::int32_t& hi) {
  const Extended level = Level;
  if (Two_sided) {
    lo = Limit_position((100 - level) / 2 / 100, Iterations, 0, Level);
    hi = Limit_position((level + (100 - level) / 2) / 100, Iterations, 1, Level);
  } else {
    lo = Limit_position((100 - level) / 100, Iterations, 0, Level);
    hi = Limit_position(level / 100, Iterations, 1, Level);
  }
}

namespace {

template <bool kCalibrated>
void Run(const tBSDT_inputs& in, const tBSDT_evaluation& how, tBSDT_results& Results,
         const tProgress_observer* observer, tBSDT_precision* precision) {
  const std::int32_t N = in.N;
  const std::int32_t n = in.Iterations;
  if constexpr (kCalibrated) {
    // Chi-square B has N - 3 degrees of freedom, which must be positive.
    if (N < 4)
      throw EBSDT_argument_error(
          1301, "3",
          "The calibrated prior needs a control sample of at least 4 (N = " +
              std::to_string(N) + "); use the standard-theory (Jeffreys) prior for N = 3.");
  }
  if (n < 1)
    throw EBSDT_argument_error(1301, "0",
                               "Bayesian standardized difference test: the number of "
                               "iterations must be positive.");

  std::int32_t lo, hi;
  Credible_limit_positions(in.Level, in.Two_sided, n, lo, hi);

  tFp_flag_guard fp_guard;
  if (in.Reset_seed) {
    Seed1 = kStart_seed1;
    Seed2 = kStart_seed2;
  }

  // The distribution objects, local to the call (their variate calls bind statically:
  // the classes are final), created in this order.
  const Extended chi_a_df = kCalibrated ? N - 2 : N;
  const Extended chi_b_df = kCalibrated ? N - 3 : N - 1;
  tChi_square_distribution chi_a(chi_a_df);
  tChi_square_distribution chi_b(chi_b_df);
  tNormal_distribution normal(0, 1);
  std::optional<tUniform_distribution> uniform;
  if constexpr (kCalibrated) uniform.emplace(0, 1);

  // The standardized problem (see the file's head).
  const Extended zx0 = (in.Case_x - in.Mean_x) / in.Sd_x;
  const Extended zy0 = (in.Case_y - in.Mean_y) / in.Sd_y;
  const Extended sd_x = 1, sd_y = 1;
  if (!std::isfinite(zx0) || !std::isfinite(zy0))
    throw EFloating_point_error(
        "Bayesian standardized difference test: the case's standardized scores are not "
        "finite numbers (are the standard deviations positive?). No results were computed.");

  // Scale matrix of sums of squares and products (times (N - 2)/(N - 1) under the
  // calibrated prior), its inverse and that inverse's Cholesky factor.
  const Extended n_minus_1 = N - 1;
  tMat2 a;
  if constexpr (kCalibrated) {
    const Extended f = static_cast<Extended>(N - 2) / static_cast<Extended>(N - 1);
    a.a11 = f * sd_x * sd_x * n_minus_1;
    a.a12 = f * sd_x * sd_y * in.R_xy * n_minus_1;
    a.a22 = f * sd_y * sd_y * n_minus_1;
  } else {
    a.a11 = sd_x * sd_x * n_minus_1;
    a.a12 = sd_x * sd_y * in.R_xy * n_minus_1;
    a.a22 = sd_y * sd_y * n_minus_1;
  }
  a.a21 = a.a12;
  tMat2 a_inv;
  if (!Inverse_2x2(a, a_inv))
    throw EFloating_point_error(
        "Bayesian standardized difference test: the controls' matrix of sums of squares "
        "and products cannot be inverted (is the correlation strictly between -1 and 1?). "
        "No results were computed.");
  tDraw_constants k;
  k.L = Cholesky_factor_2x2(a_inv);
  k.Lt = Transpose_2x2(k.L);
  k.Sqrt_n = std::sqrt(static_cast<Extended>(N));
  k.Mean_x = 0;
  k.Mean_y = 0;
  k.Case_x = zx0;
  k.Case_y = zy0;
  Check_faults("while preparing the draws (are the standard deviations positive and the "
               "correlation strictly between -1 and 1?)");

  // Samples[1..n]: the draws as doubles, index 0 unused.
  const std::unique_ptr<double[]> samples = Allocate<double>(n);
  double* const Samples = samples.get();
  Extended S = 0;

  // The draws in extended precision, replaced by their normal probabilities; in the
  // straightforward evaluation only when the precision is asked for.
  std::unique_ptr<Extended[]> probabilities;
  if (!how.Straightforward || precision != nullptr) probabilities = Allocate<Extended>(n);
  Extended* const D = probabilities.get();

  if (how.Straightforward) {
    Draw_Zdcc<kCalibrated>(n, chi_a, chi_b, normal, uniform ? &*uniform : nullptr, k,
                           observer, [&](std::int32_t i, Extended d) {
                             Samples[i] = static_cast<double>(d);
                             const Extended p = normal.Cdf(d);
                             S += p;
                             if (D != nullptr) D[i] = p;
                           });
    Check_faults("in the Monte Carlo draws (for example a drawn correlation of 1)");
    Quick_sort(1, n, Samples);
  } else {
    int threads = how.Threads > 0 ? how.Threads
                                  : static_cast<int>(std::thread::hardware_concurrency());
    threads = std::clamp(threads, 1, kMax_BSDT_threads);
    if (n < kParallel_min_iterations) threads = 1;
    tCdf_pipeline pipeline(D, n, threads - 1);
    std::int32_t next_publish = static_cast<std::int32_t>(std::min<std::int64_t>(kCdf_block, n));
    Draw_Zdcc<kCalibrated>(n, chi_a, chi_b, normal, uniform ? &*uniform : nullptr, k,
                           observer, [&](std::int32_t i, Extended d) {
                             Samples[i] = static_cast<double>(d);
                             D[i] = d;
                             if (i == next_publish) {
                               pipeline.Drawn(i);
                               next_publish += static_cast<std::int32_t>(
                                   std::min<std::int64_t>(kCdf_block, n - i));
                             }
                           });
    Check_faults("in the Monte Carlo draws (for example a drawn correlation of 1)");
    pipeline.Complete();
    for (std::int32_t i = 1; i <= n; ++i) S += D[i];

    // Only two order statistics are needed; they are the same values a full sort puts
    // at these positions.
    const std::int32_t first = std::min(lo, hi), second = std::max(lo, hi);
    std::nth_element(Samples + 1, Samples + first, Samples + n + 1);
    if (second > first)
      std::nth_element(Samples + first + 1, Samples + second, Samples + n + 1);
  }
  if (observer != nullptr) Observe(*observer, n, n);

  tBSDT_results r;
  Extended P = S / n * 100;
  const bool Reversed = P > 50;
  if (Reversed) P = 100 - P;
  r.Pct_more_extreme = P;
  r.P_one_tailed = P / 100;
  r.P_two_tailed = P / 50;

  // Point estimate from the sample statistics.
  r.Zdcc = (zx0 - zy0) / Sd_difference(1, 1, in.R_xy);
  r.Zdcc_lower = Samples[lo];
  r.Zdcc_upper = Samples[hi];
  r.Pct_lower = 100 * normal.Cdf(r.Zdcc_lower);
  r.Pct_upper = 100 * normal.Cdf(r.Zdcc_upper);
  if (Reversed) {
    const Extended old_lower = r.Pct_lower;
    r.Pct_lower = 100 - r.Pct_upper;
    r.Pct_upper = 100 - old_lower;
  }

  Check_faults("in the results");
  for (const Extended x : {r.P_one_tailed, r.P_two_tailed, r.Pct_more_extreme, r.Pct_lower,
                           r.Pct_upper, r.Zdcc, r.Zdcc_lower, r.Zdcc_upper})
    Require_finite(x, "a result of the Bayesian standardized difference test");

  if (precision != nullptr) {
    tBSDT_precision q;
    q.P_one_tailed_mc_se = Mc_standard_error(D, n);
    q.P_two_tailed_mc_se = 2 * q.P_one_tailed_mc_se;
    q.Zdcc_histogram = Zdcc_histogram(Samples, n);  // after the limits are read
    Require_finite(q.P_one_tailed_mc_se, "the Monte Carlo standard error of the BSDT");
    *precision = std::move(q);
  }
  Results = r;
}

}  // namespace

void Run_BSDT(tBSDT_prior prior, const tBSDT_inputs& in, const tBSDT_evaluation& how,
              tBSDT_results& Results, const tProgress_observer* Observer,
              tBSDT_precision* Precision) {
  if (prior == tBSDT_prior::Calibrated)
    Run<true>(in, how, Results, Observer, Precision);
  else
    Run<false>(in, how, Results, Observer, Precision);
}
