// SPDX-License-Identifier: GPL-3.0-or-later
// The distribution unit: special functions, a small class family of probability
// distributions with one common interface (density, distribution function, interval
// probability, quantile, moments, random variates) and the program's own uniform
// generator, L'Ecuyer's combined multiplicative congruential generator (Comm. ACM 31,
// 1988). Standard library only.
//
// Every real value here is `Extended`: the x87 80-bit type (64-bit mantissa), or the IEEE
// double in a build with KESTRUM_EXTENDED=double (WebAssembly, platforms whose long double
// is another type), whose results agree with the x87 build's to about 1E-15. The value
// 2147483647 stands for plus infinity in limits and supports; no floating-point infinity
// is ever used.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

#if defined(KESTRUM_EXTENDED_DOUBLE)
using Extended = double;
#else
using Extended = long double;
static_assert(std::numeric_limits<Extended>::digits == 64,
              "Kestrum needs long double to be the x87 extended type with a 64-bit mantissa");
#endif
#if defined(__FAST_MATH__) || defined(__FINITE_MATH_ONLY__) && __FINITE_MATH_ONLY__
#error "Kestrum must not be built with -ffast-math: its results depend on IEEE semantics"
#endif

// Stands for plus infinity (and its negative for minus infinity) in parameter limits,
// supports and interval bounds: the largest signed 32-bit integer.
constexpr Extended Infinity_value = 2147483647.0L;

// The single tolerance of every convergence and comparison test of this unit.
constexpr Extended kTolerance = 5E-12L;

// ---------------------------------------------------------------------------------------
// Errors

// Raised by every parameter and argument check of the statistics. The message is the
// identifier's text followed directly by the formatted limit (empty when the check has
// no limit to show).
class EArgumentError : public std::runtime_error {
 public:
  EArgumentError(int identifier, const std::string& formatted_limit);
  int Identifier() const noexcept { return identifier_; }
  const std::string& Formatted_limit() const noexcept { return formatted_limit_; }

 private:
  int identifier_;
  std::string formatted_limit_;
};

// Raised where a computation ends after a floating-point invalid operation, division by
// zero or overflow, or when a non-finite value would leave it (see fp_check.h).
class EFloating_point_error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The readable text of an identifier (empty for none known).
std::string Message_text(int identifier);

// ---------------------------------------------------------------------------------------
// Special functions (math_functions.cpp)

bool Nearly_equal(Extended a, Extended b);
bool Is_whole(Extended x);
std::string Format_limit(Extended x);
bool Check_condition(bool condition, int identifier);
bool Check_limit(int identifier, Extended value, Extended limit);
Extended Int_power(Extended base, std::int32_t n);
Extended Power(Extended base, Extended exponent);
std::int32_t Floor_int(Extended x);
Extended Ln_gamma(Extended x);
Extended Gamma_series(Extended x, Extended a);
Extended Gamma_fraction(Extended x, Extended a);
Extended Gamma_p(Extended x, Extended a);
Extended Beta_fraction(Extended x, Extended a, Extended b);
Extended Incomplete_beta(Extended x, Extended a, Extended b);

// The same to the precision of Extended (log_gamma.cpp), for the non-central t: ln G(x);
// the remainder of Stirling's series, ln G(x) - ((x - 1/2) ln x - x + ln(2 pi)/2);
// x ln(x/M) + M - x; the Poisson density lambda^k e^-lambda / G(k + 1) for real k >= 0;
// and I_x(a, b) with complement = 1 - x.
Extended Log_gamma(Extended x);
Extended Stirling_error(Extended x);
Extended Ln_beta(Extended a, Extended b);  // ln B(a, b), a, b > 0
Extended Poisson_deviance(Extended x, Extended M);
Extended Poisson_density(Extended k, Extended lambda);
Extended Regularized_beta(Extended x, Extended complement, Extended a, Extended b);
// The continued fraction of I_x(a, b) / (x^a (1 - x)^b / (a B(a, b))), to one epsilon;
// it converges quickly for x below the mean a / (a + b).
Extended Beta_continued_fraction(Extended x, Extended a, Extended b);

// ---------------------------------------------------------------------------------------
// The generator. Its state is per thread, so that cases run on several threads each draw
// the sequence of a single run; the engines reset it at their start.

constexpr std::int32_t kStart_seed1 = 897183450;
constexpr std::int32_t kStart_seed2 = 1841323562;

// constinit: initialised with constants, so that no per-access check for a thread-local
// initialiser is emitted on the hot path.
extern thread_local constinit std::int32_t Seed1;
extern thread_local constinit std::int32_t Seed2;

// Sets Seed1 and Seed2 to their start-up values.
void Reset_seeds();

// The decimal constant 4.656613E-10 rounded to extended (not 1/2147483563).
constexpr Extended kUniform_scale = 4.656613E-10L;

// One step of the generator: advances the seeds and returns z in 1..2147483562, of which
// Uniform_01 makes its number. Truncating integer division throughout (Schrage's method,
// exact: each seed becomes a x seed mod m).
inline std::int32_t Uniform_step(std::int32_t& s1, std::int32_t& s2) {
  std::int32_t k = s1 / 53668;
  s1 = 40014 * (s1 - k * 53668) - k * 12211;
  if (s1 < 0) s1 += 2147483563;
  k = s2 / 52774;
  s2 = 40692 * (s2 - k * 52774) - k * 3791;
  if (s2 < 0) s2 += 2147483399;
  std::int32_t z = s1 - s2;
  if (z < 1) z += 2147483562;
  return z;
}

// The generator's sequence computed ahead of use, by another thread (the BSDT engines do
// this): while a source is installed on a thread, Uniform_01 there takes the values z of
// Uniform_step from Next, in order, and calls Refill when they run out. The seeds are
// left alone meanwhile; whoever removes the source brings them up to date.
class tUniform_source {
 public:
  const std::int32_t* Next = nullptr;
  const std::int32_t* End = nullptr;
  virtual void Refill() = 0;

 protected:
  ~tUniform_source() = default;
};
extern thread_local constinit tUniform_source* Uniform_source;

// One uniform number strictly between 0 and 1.
inline Extended Uniform_01() {
  if (tUniform_source* const source = Uniform_source; source != nullptr) {
    if (source->Next == source->End) source->Refill();
    return static_cast<Extended>(*source->Next++) * kUniform_scale;
  }
  std::int32_t s1 = Seed1;  // local copies: one load and one store of each seed
  std::int32_t s2 = Seed2;
  const std::int32_t z = Uniform_step(s1, s2);
  Seed1 = s1;
  Seed2 = s2;
  return static_cast<Extended>(z) * kUniform_scale;
}

// ---------------------------------------------------------------------------------------
// The distribution family. The thirteen virtual operations keep this slot order in every
// class: Set_parameters, In_support, Density, Point_probability, Cdf,
// Interval_probability, Quantile, Mean_exists, Variance_exists, Mean, Variance,
// Standard_deviation, Random_value.

struct tParameter {
  Extended Value = 0;
  bool Whole_number = false;
  Extended Lower_limit = 0;  // exclusive
  Extended Upper_limit = 0;  // exclusive
};

class tDistribution {
 public:
  virtual ~tDistribution() = default;
  tDistribution(const tDistribution&) = delete;
  tDistribution& operator=(const tDistribution&) = delete;

  virtual bool Set_parameters(Extended P1, Extended P2, Extended P3);  // slot 0
  virtual bool In_support(Extended x) const;                          // slot 1
  virtual Extended Density(Extended x) const;                         // slot 2
  virtual Extended Point_probability(Extended x) const;               // slot 3
  virtual Extended Cdf(Extended x) const;                             // slot 4
  virtual Extended Interval_probability(Extended L, Extended U) const;  // slot 5
  virtual Extended Quantile(Extended p) const = 0;                    // slot 6
  virtual bool Mean_exists() const;                                   // slot 7
  virtual bool Variance_exists() const;                               // slot 8
  virtual Extended Mean() const = 0;                                  // slot 9
  virtual Extended Variance() const = 0;                              // slot 10
  virtual Extended Standard_deviation() const;                        // slot 11
  virtual Extended Random_value();                                    // slot 12

  std::uint8_t Num_parameters = 0;
  tParameter Parameters[3];  // Parameters[0] is the text's parameter 1
  Extended Support_low = -Infinity_value;
  Extended Support_high = Infinity_value;

 protected:
  tDistribution() = default;
};

class tContinuous_distribution : public tDistribution {
 public:
  // Bracketing from the mean (or the support's midpoint), then Newton steps safeguarded
  // by bisection, to an absolute tolerance of 5E-12.
  Extended Quantile(Extended p) const override;

 protected:
  tContinuous_distribution() = default;
};

class tNormal_distribution final : public tContinuous_distribution {
 public:
  tNormal_distribution(Extended Mean, Extended Variance);
  bool Set_parameters(Extended P1, Extended P2, Extended P3) override;
  Extended Density(Extended x) const override;
  Extended Cdf(Extended x) const override;
  Extended Mean() const override { return Mu; }
  Extended Variance() const override { return Sigma_sq; }
  Extended Random_value() override;

  Extended Mu = 0, Sigma_sq = 1, Sd = 1, Log_norm = 0, Ratio_bound = 0;
};

// The standard normal distribution function from the C library's complementary error
// function, Phi(z) = erfc(-z / sqrt(2)) / 2, evaluated in double precision (relative error
// near 1E-16; tNormal_distribution::Cdf evaluates the same in Extended) and several times
// faster, for the Monte Carlo draws. Refuses a NaN; beyond |z| = 65536 it is 0 or 1.
Extended Standard_normal_probability(Extended z);

// Upper tails computed where they are small (tails.cpp), to full relative accuracy down to
// the smallest positive number: P(Z > z) and P(Z < z) for the standard normal, and
// P(T > t) for Student's t with nu >= 1 whole degrees of freedom.
Extended Normal_upper_tail(Extended z);
Extended Normal_lower_tail(Extended z);
Extended T_upper_tail(std::int32_t nu, Extended t);

class tUniform_distribution final : public tContinuous_distribution {
 public:
  tUniform_distribution(Extended Low, Extended High);
  bool Set_parameters(Extended P1, Extended P2, Extended P3) override;
  Extended Density(Extended x) const override;
  Extended Cdf(Extended x) const override;
  Extended Mean() const override;
  Extended Variance() const override;
  Extended Random_value() override;

  Extended Low = 0, High = 1;
};

class tGamma_distribution : public tContinuous_distribution {
 public:
  tGamma_distribution(Extended Shape, Extended Rate);
  bool Set_parameters(Extended P1, Extended P2, Extended P3) override;
  bool In_support(Extended x) const override;
  Extended Density(Extended x) const override;
  Extended Cdf(Extended x) const override;
  Extended Mean() const override;
  Extended Variance() const override;
  Extended Random_value() override;

  Extended Shape = 1, Rate = 1, Log_norm = 0, V_low = 0, V_high = 0;

 protected:
  tGamma_distribution() = default;  // for the chi-square, which constructs its own way
};

class tChi_square_distribution final : public tGamma_distribution {
 public:
  explicit tChi_square_distribution(Extended Df);
  bool Set_parameters(Extended P1, Extended P2, Extended P3) override;

  Extended Df = 1;
};

class tT_distribution final : public tContinuous_distribution {
 public:
  explicit tT_distribution(Extended Df);
  bool Set_parameters(Extended P1, Extended P2, Extended P3) override;
  Extended Density(Extended x) const override;
  Extended Cdf(Extended x) const override;
  bool Mean_exists() const override;
  bool Variance_exists() const override;
  Extended Mean() const override;
  Extended Variance() const override;
  Extended Random_value() override;

  Extended Df = 1, Log_norm = 0, Ratio_bound = 0;
  std::unique_ptr<tNormal_distribution> Std_normal;
  std::unique_ptr<tGamma_distribution> Half_df_gamma;
};

class tNon_central_t_distribution final : public tContinuous_distribution {
 public:
  tNon_central_t_distribution(Extended Df, Extended Delta);
  bool Set_parameters(Extended P1, Extended P2, Extended P3) override;
  Extended Density(Extended x) const override;
  Extended Cdf(Extended x) const override;
  bool Mean_exists() const override;
  bool Variance_exists() const override;
  Extended Mean() const override;
  Extended Variance() const override;

  Extended Df = 1, Delta = 0;
  std::unique_ptr<tT_distribution> Central_t;
};
