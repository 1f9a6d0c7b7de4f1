// SPDX-License-Identifier: GPL-3.0-or-later
// The two engines with their positional arguments, as thin forms of Run_BSDT
// (bsdt_run.cpp).
#include "bayes/bayes_engines.h"

namespace {

tBSDT_inputs Inputs(tPrior prior, std::int32_t N, std::int32_t Iterations, bool Reset_seed,
                    Extended Mean_x, Extended Sd_x, Extended Mean_y, Extended Sd_y,
                    Extended R_xy, Extended Case_x, Extended Case_y, bool Two_sided,
                    std::int32_t Level, int Threads) {
  tBSDT_inputs in;
  in.Prior = prior;
  in.N = N;
  in.Iterations = Iterations;
  in.Reset_seed = Reset_seed;
  in.Mean_x = Mean_x;
  in.Sd_x = Sd_x;
  in.Mean_y = Mean_y;
  in.Sd_y = Sd_y;
  in.R_xy = R_xy;
  in.Case_x = Case_x;
  in.Case_y = Case_y;
  in.Two_sided = Two_sided;
  in.Level = Level;
  in.Threads = Threads;
  return in;
}

}  // namespace

void BSDT_standard(std::int32_t N, std::int32_t Iterations, bool Reset_seed, Extended Mean_x,
                   Extended Sd_x, Extended Mean_y, Extended Sd_y, Extended R_xy,
                   Extended Case_x, Extended Case_y, bool Two_sided, std::int32_t Level,
                   tBSDT_results& Results, const tProgress_observer* Observer,
                   tBSDT_precision* Precision, int Threads) {
  Run_BSDT(Inputs(tPrior::Standard, N, Iterations, Reset_seed, Mean_x, Sd_x, Mean_y, Sd_y, R_xy,
                  Case_x, Case_y, Two_sided, Level, Threads),
           Results, Observer, Precision);
}

void BSDT_calibrated(std::int32_t N, std::int32_t Iterations, bool Reset_seed,
                     Extended Mean_x, Extended Sd_x, Extended Mean_y, Extended Sd_y,
                     Extended R_xy, Extended Case_x, Extended Case_y, bool Two_sided,
                     std::int32_t Level, tBSDT_results& Results,
                     const tProgress_observer* Observer, tBSDT_precision* Precision,
                     int Threads) {
  Run_BSDT(Inputs(tPrior::Calibrated, N, Iterations, Reset_seed, Mean_x, Sd_x, Mean_y, Sd_y,
                  R_xy, Case_x, Case_y, Two_sided, Level, Threads),
           Results, Observer, Precision);
}
