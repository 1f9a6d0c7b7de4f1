// SPDX-License-Identifier: GPL-3.0-or-later
// Floating-point faults. The statistics were designed for a platform that trapped an
// invalid operation, a division by zero and an overflow (and let underflow and inexact
// pass). C++ does not trap, so the sticky <cfenv> flags are tested where a computation
// ends, and a raised flag becomes an EFloating_point_error with a readable message.
//
// Where the platform has no flags (WebAssembly; a build with KESTRUM_NO_FP_FLAGS), the
// flag functions below report nothing, and the same faults are found by the checks of
// non-finite values where each computation ends (Require_finite and the engines' own
// checks), which raise the same error.
#pragma once

#include <cfenv>
#include <cmath>

#include "distrib/distrib.h"

#if defined(KESTRUM_NO_FP_FLAGS)
constexpr bool kHas_fp_flags = false;
constexpr int kFp_invalid = 1, kFp_divbyzero = 2, kFp_overflow = 4;
#else
constexpr bool kHas_fp_flags = true;
constexpr int kFp_invalid = FE_INVALID, kFp_divbyzero = FE_DIVBYZERO, kFp_overflow = FE_OVERFLOW;
#endif

// The exceptions the original platform trapped.
constexpr int kTrapped_fp_exceptions = kFp_invalid | kFp_divbyzero | kFp_overflow;

// The trapped flags raised (always none without flags).
inline int Raised_fp_faults() {
  if constexpr (kHas_fp_flags) return std::fetestexcept(kTrapped_fp_exceptions);
  return 0;
}

// Clears the trapped flags, so that a computation starts clean.
inline void Clear_fp_faults() {
  if constexpr (kHas_fp_flags) std::feclearexcept(kTrapped_fp_exceptions);
}

// Throws EFloating_point_error (and clears the flags) when a trapped flag is raised.
void Check_fp_faults();

// Throws EFloating_point_error when x is a NaN or an infinity; `what` names the quantity.
void Require_finite(Extended x, const char* what);

// Saves the caller's flags, clears them, and puts the saved ones back when it ends, so
// that a computation that handles its own faults (Incomplete_beta) leaves no stale flag
// behind and removes none that its caller had.
class tFp_flag_guard {
 public:
  tFp_flag_guard() {
    if constexpr (kHas_fp_flags) {
      std::fegetexceptflag(&saved_, kTrapped_fp_exceptions);
      std::feclearexcept(kTrapped_fp_exceptions);
    }
  }
  ~tFp_flag_guard() {
    if constexpr (kHas_fp_flags) std::fesetexceptflag(&saved_, kTrapped_fp_exceptions);
  }
  tFp_flag_guard(const tFp_flag_guard&) = delete;
  tFp_flag_guard& operator=(const tFp_flag_guard&) = delete;
  // True when the guarded computation raised a trapped flag.
  bool Faulted() const { return Raised_fp_faults() != 0; }

 private:
  std::fexcept_t saved_{};
};
