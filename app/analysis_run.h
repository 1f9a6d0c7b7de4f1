// SPDX-License-Identifier: GPL-3.0-or-later
// One analysis of a case against a control sample: the checks of the eight field texts
// (typed controls and case), then one call, Compute_analysis, that takes the typed inputs
// and the options and returns one result record: the deficit tests with their interval
// estimates on both tasks, the RSDT under the combined criteria, one BSDT engine chosen
// by the prior, the criteria for a dissociation, and the table of every figure by name
// (result_record.h) from which all outputs are written. No window and no file here: the
// caller saves the control data between the checks and the computation.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "app/result_record.h"
#include "bayes/bayes_engines.h"
#include "stats/metrics_papers.h"

// The confidence and credible level of every interval of a run, in percent.
constexpr std::int32_t kCredible_level = 95;

struct tRun_options {
  tCriteria Criteria = tCriteria::Bayesian;
  tTail Tail = tTail::Two;
  tPrior Prior = tPrior::Calibrated;
  std::int32_t Iterations = 1000000;
  // Threads of the BSDT engine: 0 for two where the machine has them (the windows, for the
  // shortest wait), 1 for the calling thread only (the command line, which runs several
  // cases at once in a batch and so spends the least CPU time per case this way).
  int Engine_threads = 0;
};

// The first failing field (0..7, in worksheet order) and the message to show.
struct tInput_error {
  int Field = 0;
  std::string Message;
};

struct tChecked_inputs {
  double Mean_x = 0, Sd_x = 0, Mean_y = 0, Sd_y = 0, R_xy = 0, N_real = 0, Case_x = 0,
         Case_y = 0;
  std::int32_t N = 0;  // N_real truncated toward zero
  // The decimals of each field's text, in worksheet order (0 for none), so that the
  // report can show each input as it was given.
  std::array<int, 8> Decimals{};
};

// Checks the eight field texts in worksheet order and stops at the first failure. Under
// the calibrated prior a sample of 3 is refused on the sample-size field.
std::variant<tChecked_inputs, tInput_error> Check_inputs(const std::array<std::string, 8>& fields,
                                                        const tRun_options& options);

// The result record of a run: the inputs and options it was given, every figure in typed
// fields, and the same figures by name in Figures, which the outputs read.
struct tRun_results {
  tChecked_inputs Inputs;
  tRun_options Options;
  double Z_x = 0, Z_y = 0;
  // Per task: T_value, P_one_tailed, P_two_tailed and Pct_below from the deficit test,
  // Pct_lower and Pct_upper from the abnormality interval, the three Z-CC values from the
  // interval estimates; Df = N - 1.
  tDeficit_results Deficit_x_results, Deficit_y_results;
  bool Rsdt_computed = false;  // only under the combined criteria
  double Rsdt_p_two_tailed = 0, Rsdt_p_one_tailed = 0;
  Extended Rsdt_t = 0;
  tBSDT_results Bsdt;
  tBSDT_precision Bsdt_precision;  // Monte Carlo standard errors and the Z-DCC histogram
  // The criteria.
  bool Deficit_x = false, Deficit_y = false;
  bool Bsdt_significant = false;  // P_B < 0.05 for the chosen tail
  bool Rsdt_significant = false;  // P_R < 0.05 for the chosen tail (combined only)
  bool Strong = false, Classical = false, Neither = false;
  tClassification Classification = tClassification::Neither;
  // Every scalar figure above (and the inputs and options) by name: see Fill_figures.
  tFigure_table Figures;
  // The statistics' warnings during the run, in order.
  std::vector<std::string> Warnings;
};

// Applies the criteria (app/criteria.h) to filled results: sets Deficit_x ...
// Classification from the numbers and the options. Compute_analysis calls it, then
// Fill_figures; exposed so that the criteria can be tested on built records.
void Apply_criteria(tRun_results& results);

// (Re)fills results.Figures from the typed fields: the inputs and options (group
// "inputs"), z_x and z_y, the deficit tests ("deficit_x", "deficit_y", names x_... and
// y_...), the BSDT ("bsdt", names bsdt_..., its Monte Carlo standard errors added later),
// the RSDT ("rsdt", without values when it was not computed) and the classification.
void Fill_figures(tRun_results& results);

// Runs the computation on checked inputs. Throws a std::exception with a readable message
// on a computation error (EArgumentError, EFloating_point_error); never returns a
// non-finite value. With an observer it reports the engine's progress and throws
// ECancelled when asked to stop.
tRun_results Compute_analysis(const tChecked_inputs& inputs, const tRun_options& options,
                              const tProgress_observer* observer = nullptr);
