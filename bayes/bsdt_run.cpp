// SPDX-License-Identifier: GPL-3.0-or-later
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
//
// Evaluation. The procedure word for word is one loop, the distribution unit's normal
// distribution function and a full sort (the tests keep it, tests/support/bsdt_literal.h).
// The engine gives the same draws and limits bit for bit: the probabilities come from
// erfc (their sum agrees with the literal one to about 1E-12), only the two limits are
// selected from the draws, and with two threads the draws are split as described at
// Draw_Zdcc_two_threads.
#include "bayes/bsdt_run.h"

#include <algorithm>
#include <condition_variable>
#include <system_error>
#include <cfenv>
#include <cmath>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
// WebAssembly without threads: no second thread (and no std::jthread): the single loop.
#define KESTRUM_ENGINE_SINGLE_THREAD 1
#else
#define KESTRUM_ENGINE_SINGLE_THREAD 0
#include <stop_token>
#endif

#include "bayes/bsdt_draws.h"
#include "bayes/bsdt_precision.h"
#include "bayes/matrix_2x2.h"
#include "distrib/fp_check.h"
#include "stats/metrics_papers.h"

namespace {

#if !KESTRUM_ENGINE_SINGLE_THREAD
// Below this many iterations the draws stay on the calling thread.
constexpr std::int32_t kParallel_min_iterations = 65536;
// The variates in flight between the two threads (a power of 2), and how many
// iterations the drawing thread hands on at a time.
constexpr std::int32_t kRing_size = 8192;
constexpr std::int32_t kHandoff = 1024;
// The generator's numbers computed ahead: kUniform_blocks blocks of kUniform_block (an
// iteration takes about fifteen).
constexpr std::int32_t kUniform_block = 4096;
constexpr std::int32_t kUniform_blocks = 16;
#endif
// Beyond this draw the upper-tail probability u is computed directly (an erfc more per
// draw); up to it, u = 1 - p is exact (p lies in [1/2, 2]) and, being at least 0.0227,
// keeps the relative precision of p to within a factor of 44: about 5E-15.
constexpr Extended kDirect_tail = 2;

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
  if (raised & kFp_invalid) return "an invalid floating-point operation";
  if (raised & kFp_divbyzero) return "a floating-point division by zero";
  return "a floating-point overflow";
}

[[noreturn]] void Fail_fp_fault(int raised, const std::string& where) {
  Clear_fp_faults();
  throw EFloating_point_error("Bayesian standardized difference test stopped: " +
                              std::string(Fault_name(raised)) + " " + where +
                              ". No results were computed.");
}

// Ends the call when a trapped flag has been raised since the engine started, or (the
// check that stands in for the flags where the platform has none) when a draw was not
// finite: `nonfinite` holds kFp_invalid for a NaN, kFp_overflow for an infinity.
void Check_faults(const std::string& where, int nonfinite = 0) {
  const int raised = Raised_fp_faults() | nonfinite;
  if (raised != 0) Fail_fp_fault(raised, where);
}

// The stand-in for the flags when a draw is stored: records a non-finite draw.
inline void Note_nonfinite(Extended d, int& nonfinite) {
  if constexpr (!kHas_fp_flags) {
    if (!std::isfinite(d)) nonfinite |= std::isnan(d) ? kFp_invalid : kFp_overflow;
  }
}


// Storage for entries 0..n (entry 0 unused), with a readable message when the machine
// cannot hold that many draws.
template <typename T>
std::unique_ptr<T[]> Allocate(std::int32_t n) {
  try {
    // Default-initialised, as make_unique_for_overwrite (which not every library has).
    return std::unique_ptr<T[]>(new T[static_cast<std::size_t>(n) + 1]);
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


#if !KESTRUM_ENGINE_SINGLE_THREAD
// The draws on two threads. The calling thread runs Draw_variates: it owns the
// generator's thread-local seeds, and it parses the generator's sequence into variates.
// The second thread computes that sequence ahead, in blocks of kUniform_block numbers
// (the calling thread reads them through a tUniform_source), and evaluates the handed-on
// variates with Zdcc_of and Store in draw order. Each value is the one the single loop
// computes, and the seeds end where the single loop leaves them. A failure on either side
// ends the call with the error the single loop would have met first: the second thread's
// at an earlier iteration, else the calling thread's. The threads meet only once per
// block of numbers and every kHandoff iterations, under one mutex.
//
// The second thread is a std::jthread declared after everything it uses: on every way
// out of this function, an exception included, it is asked to stop (its waits end on the
// request) and joined before that state goes. False, with nothing drawn, when the second
// thread cannot be started; the caller then draws on its own thread.
template <bool kCalibrated, typename tStore>
bool Draw_Zdcc_two_threads(std::int32_t n, const tDraw_distributions& dist,
                           const tDraw_constants& k, const tProgress_observer* observer,
                           tStore&& Store) {
  const std::unique_ptr<tVariates[]> ring = Allocate<tVariates>(kRing_size);
  const auto slot = [&ring](std::int32_t i) -> tVariates& {
    return ring[(i - 1) & (kRing_size - 1)];
  };
  struct tBlock {
    std::int32_t Seed1, Seed2;  // the seeds before the block's first number
    std::int32_t Z[kUniform_block];
  };
  const std::unique_ptr<tBlock[]> blocks = Allocate<tBlock>(kUniform_blocks);

  std::mutex m;
  std::condition_variable first_cv;       // wakes the calling thread
  std::condition_variable_any second_cv;  // wakes the second thread, also on a stop request
  // Guarded by m.
  std::int32_t produced = 0;  // variates 1..produced are in the ring
  std::int32_t consumed = 0;  // draws 1..consumed are stored (their slots are free)
  std::int32_t last = n;      // the last iteration to evaluate
  std::int64_t filled = 0;    // blocks 0..filled - 1 of numbers are computed
  std::int64_t released = 0;  // blocks 0..released - 1 are read (their slots are free)
  bool stop = false;          // the calling thread gives up
  bool finished = false;      // the second thread has ended
  std::exception_ptr fault;   // the second thread's failure

  // Raised in the calling thread when the second thread has ended early (its failure).
  struct tSecond_ended {};
  // The calling thread's numbers: block `held` of the second thread's.
  class tSource final : public tUniform_source {
   public:
    explicit tSource(std::function<const tBlock&(std::int64_t)> next) : next_(std::move(next)) {}
    void Refill() override {
      const tBlock& block = next_(++held_);
      block_ = &block;
      Next = block.Z;
      End = block.Z + kUniform_block;
    }
    // The seeds after the numbers read so far.
    void Seeds(std::int32_t& s1, std::int32_t& s2) const {
      if (block_ == nullptr) return;
      s1 = block_->Seed1;
      s2 = block_->Seed2;
      for (const std::int32_t* z = block_->Z; z != Next; ++z) Uniform_step(s1, s2);
    }

   private:
    std::function<const tBlock&(std::int64_t)> next_;
    std::int64_t held_ = -1;
    const tBlock* block_ = nullptr;
  };
  tSource source([&](std::int64_t number) -> const tBlock& {
    {
      std::unique_lock lock(m);
      released = number;  // the blocks before this one are read
      second_cv.notify_one();
      first_cv.wait(lock, [&] { return filled > number || finished; });
      if (filled <= number) throw tSecond_ended{};
    }
    return blocks[number % kUniform_blocks];
  });

  const auto second_thread = [&, seed1 = Seed1, seed2 = Seed2](std::stop_token stop_token) mutable {
    Clear_fp_faults();
    try {
      std::int64_t next_block = 0;
      for (std::int32_t i = 1;;) {
        bool fill;
        std::int32_t ready, end;
        {
          std::unique_lock lock(m);
          second_cv.wait(lock, stop_token, [&] {
            return stop || i > last || next_block < released + kUniform_blocks ||
                   produced >= i;
          });
          if (stop || stop_token.stop_requested()) break;
          ready = produced;
          end = last;
          fill = next_block < released + kUniform_blocks;
        }
        if (i > end) break;
        if (fill) {  // numbers first: the calling thread must not wait for them
          tBlock& block = blocks[next_block % kUniform_blocks];
          block.Seed1 = seed1;
          block.Seed2 = seed2;
          for (std::int32_t& z : block.Z) z = Uniform_step(seed1, seed2);
          {
            std::lock_guard lock(m);
            filled = ++next_block;
          }
          first_cv.notify_one();
          continue;
        }
        for (const std::int32_t stretch_end = std::min({ready, end, i + kHandoff - 1});
             i <= stretch_end; ++i)
          Store(i, Zdcc_of<kCalibrated>(i, k, slot(i)));
        {
          std::lock_guard lock(m);
          consumed = i - 1;
        }
        first_cv.notify_one();
      }
      if (const int raised = Raised_fp_faults(); raised != 0)
        Fail_fp_fault(raised, "in the Monte Carlo draws (for example a drawn correlation of 1)");
    } catch (...) {
      std::lock_guard lock(m);
      fault = std::current_exception();
    }
    {
      std::lock_guard lock(m);
      finished = true;
    }
    first_cv.notify_one();
  };
  std::jthread second;
  try {
    second = std::jthread(second_thread);
  } catch (const std::system_error&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }

  // Installed for the draws only; the seeds then continue from the last number read.
  struct tInstalled {
    tSource& source;
    explicit tInstalled(tSource& s) : source(s) { Uniform_source = &source; }
    ~tInstalled() {
      Uniform_source = nullptr;
      source.Seeds(Seed1, Seed2);
    }
  };

  const auto publish = [&](std::int32_t count, bool end_here, bool give_up) {
    {
      std::lock_guard lock(m);
      produced = count;
      if (end_here) last = count;
      if (give_up) stop = true;
    }
    second_cv.notify_one();
  };
  std::exception_ptr own_fault;
  std::int32_t i = 1;
  try {
    const tInstalled installed(source);
    std::uint32_t attempts = 0;
    std::int32_t free_until = kRing_size;  // iterations that have a free slot
    for (; i <= n; ++i) {
      if (i > free_until) {  // wait for the second thread to free slots
        std::unique_lock lock(m);
        first_cv.wait(lock, [&] { return i - consumed <= kRing_size || finished; });
        if (i - consumed > kRing_size) break;  // it failed
        free_until = consumed + kRing_size;
      }
      Draw_variates<kCalibrated>(i, n, dist, k, observer, attempts, slot(i));
      if (i % kHandoff == 0 || i == n) publish(i, false, false);
    }
  } catch (const ECancelled&) {
    publish(i - 1, true, true);
    second.join();
    throw;
  } catch (const tSecond_ended&) {
    // The second thread's failure, rethrown below.
  } catch (...) {
    own_fault = std::current_exception();
  }
  // After a failure at iteration i the draws before it still go through their checks.
  if (own_fault) publish(i - 1, true, false);
  second.join();
  if (fault) std::rethrow_exception(fault);
  if (own_fault) std::rethrow_exception(own_fault);
  return true;
}

#endif  // !KESTRUM_ENGINE_SINGLE_THREAD

}  // namespace

void Fail_draw(std::int64_t iteration, const char* what) {
  throw EFloating_point_error(
      "Bayesian standardized difference test stopped at Monte Carlo iteration " +
      std::to_string(iteration) + ": " + what + ". No results were computed.");
}

void Observe(const tProgress_observer& observer, std::int64_t done, std::int64_t total) {
  if (observer.Cancel_requested()) throw ECancelled();
  if (observer.Progress) observer.Progress(done, total);
}

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
void Run(const tBSDT_inputs& in, tBSDT_results& Results, const tProgress_observer* observer,
         tBSDT_precision* precision) {
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
  if (!(in.Mean_spread > 0 && std::isfinite(in.Mean_spread)))
    throw EBSDT_argument_error(1301, "0",
                               "Bayesian standardized difference test: the spread of the "
                               "means' draws must be a positive number.");

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
  // 1/sqrt(h): the means' draws C z / Sqrt_n have covariance Sigma h. Without covariates
  // the spread is 1 and this is sqrt(N) exactly.
  k.Sqrt_n = std::sqrt(static_cast<Extended>(N)) / in.Mean_spread;
  k.Mean_x = 0;
  k.Mean_y = 0;
  k.Case_x = zx0;
  k.Case_y = zy0;
  Check_faults("while preparing the draws (are the standard deviations positive and the "
               "correlation strictly between -1 and 1?)");

  // Samples[1..n]: the draws as doubles, index 0 unused. S sums their normal
  // probabilities p, which give P. For the Monte Carlo standard error, Q sums the squares
  // of p, and U and V the upper-tail probabilities u = 1 - p and their squares, each u
  // computed from the upper tail directly beyond kDirect_tail (see bsdt_precision.h).
  const std::unique_ptr<double[]> samples = Allocate<double>(n);
  double* const Samples = samples.get();
  Extended S = 0, U = 0;
  tSquares_sum Q, V;
  const tDraw_distributions dist{chi_a, chi_b, normal, uniform ? &*uniform : nullptr};

  {
    // The probabilities from the C library's erfc (the sum agrees with the distribution
    // unit's normal distribution function to about 1E-12), and the loop split over two
    // threads.
    int nonfinite = 0;  // written by the thread that stores, read after it has ended
    const auto store = [&](std::int32_t i, Extended d) {
      Note_nonfinite(d, nonfinite);
      Samples[i] = static_cast<double>(d);
      const Extended p = Standard_normal_probability(d);
      S += p;
      Q.Add(p);
      const Extended u = d > kDirect_tail ? Standard_normal_probability(-d) : 1 - p;
      U += u;
      V.Add(u);
    };
#if KESTRUM_ENGINE_SINGLE_THREAD
    if (false) {
#else
    const int threads = in.Threads > 0
                            ? in.Threads
                            : static_cast<int>(std::thread::hardware_concurrency());
    if (threads >= 2 && n >= kParallel_min_iterations &&
        Draw_Zdcc_two_threads<kCalibrated>(n, dist, k, observer, store)) {
      Check_faults("in the Monte Carlo draws (for example a drawn correlation of 1)", nonfinite);
#endif
    } else {
      Draw_Zdcc<kCalibrated>(n, dist, k, observer, store);
      Check_faults("in the Monte Carlo draws (for example a drawn correlation of 1)", nonfinite);
    }

    // Only two order statistics are needed; they are the same values a full sort puts
    // at these positions.
    const std::int32_t first = std::min(lo, hi), second = std::max(lo, hi);
    std::nth_element(Samples + 1, Samples + first, Samples + n + 1);
    if (second > first)
      std::nth_element(Samples + first + 1, Samples + second, Samples + n + 1);
  }
  if (observer != nullptr) Observe(*observer, n, n);

  tBSDT_results r;
  const bool Reversed = S / n * 100 > 50;
  // Point estimate from the sample statistics; the limits from the draws.
  r.Zdcc = (zx0 - zy0) / Sd_difference(1, 1, in.R_xy);
  r.Zdcc_lower = Samples[lo];
  r.Zdcc_upper = Samples[hi];
  Set_folded_tail(r, (Reversed ? U : S) / n * 100, Reversed, r.Zdcc_lower, r.Zdcc_upper);

  Check_faults("in the results");
  for (const Extended x : {r.P_one_tailed, r.P_two_tailed, r.Pct_more_extreme, r.Pct_lower,
                           r.Pct_upper, r.Zdcc, r.Zdcc_lower, r.Zdcc_upper})
    Require_finite(x, "a result of the Bayesian standardized difference test");

  if (precision != nullptr) {
    tBSDT_precision q;
    // From the sums of the folded tail: with P tiny those values are tiny too, and the
    // other tail's values, all near 1, would have lost the differences between them.
    q.P_one_tailed_mc_se = Reversed ? Mc_standard_error(U, V, n) : Mc_standard_error(S, Q, n);
    q.P_two_tailed_mc_se = 2 * q.P_one_tailed_mc_se;
    // After the limits are read: it reorders the draws.
    q.Zdcc_histogram = Zdcc_histogram(Samples, n, std::min(lo, hi), std::max(lo, hi));
    Require_finite(q.P_one_tailed_mc_se, "the Monte Carlo standard error of the BSDT");
    *precision = std::move(q);
  }
  Results = r;
}

}  // namespace

void Run_BSDT(const tBSDT_inputs& in, tBSDT_results& Results,
              const tProgress_observer* Observer, tBSDT_precision* Precision) {
  if (in.Prior == tPrior::Calibrated)
    Run<true>(in, Results, Observer, Precision);
  else
    Run<false>(in, Results, Observer, Precision);
}
