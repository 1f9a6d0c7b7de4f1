// SPDX-License-Identifier: GPL-3.0-or-later
// The single-case toolkit's analyses beside the worksheet's: a deficit on one task with or
// without covariates (frequentist and Bayesian), a dissociation between two tasks allowing
// for covariates (the deficit test on each task and the BSDT on the difference, with the
// unstandardized difference test as an option), and the unstandardized difference test
// alone. Field texts in, checked by the worksheet's rules; one result record out. No
// window and no file here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "app/analysis_run.h"
#include "bayes/bayesian_deficit.h"
#include "stats/conditional_model.h"

enum class tAnalysis_kind { Deficit, Dissociation, Udt };

// The analysis named by a subcommand, an input file's "analysis" or a record's: "deficit",
// "dissociation" or "udt" (nullopt for any other word), and back.
std::optional<tAnalysis_kind> Analysis_of(const std::string& word);
const char* Analysis_word(tAnalysis_kind kind);

// One variable as the user gave it: a name and three field texts.
struct tVariable_texts {
  std::string Name;
  std::string Mean, Sd, Case;
};

struct tAnalysis_request {
  tAnalysis_kind Kind = tAnalysis_kind::Deficit;
  std::string N;                            // field text
  std::vector<tVariable_texts> Covariates;  // 0 .. kMax_covariates
  std::vector<tVariable_texts> Tasks;       // one (deficit) or two
  // The lower triangle of the correlation matrix of every variable (covariates first,
  // then the tasks): Correlations[i][j] for j < i, as field texts. Row 0 is empty.
  std::vector<std::vector<std::string>> Correlations;
  tRun_options Options;
  bool With_udt = false;  // a dissociation also runs the unstandardized difference test
};

// The variable names of a request in matrix order.
std::vector<std::string> Variable_names(const tAnalysis_request& request);

// The checked request: the first refused figure (or combination) gives the message, and
// nothing is computed from refused input.
std::variant<tConditional_inputs, std::string> Check_request(
    const tAnalysis_request& request);

struct tAnalysis_record {
  tAnalysis_kind Kind = tAnalysis_kind::Deficit;
  tRun_options Options;
  bool With_udt = false;
  tConditional_inputs Inputs;
  tConditional_model Model;
  // The frequentist test for a deficit on each task (Z-CCC in the Zcc fields).
  std::vector<tDeficit_results> Deficit;
  std::vector<bool> Deficit_met;  // one-tailed p < 0.05 and t < 0
  // Deficit: the Bayesian test for a deficit.
  bool Bayesian_computed = false;
  tBayesian_deficit_results Bayesian;
  // Dissociation: the BSDT allowing for covariates, and the RSDT (combined criteria,
  // no covariates only).
  bool Bsdt_computed = false;
  tBSDT_results Bsdt;
  tBSDT_precision Bsdt_precision;
  bool Rsdt_computed = false;
  double Rsdt_p_two_tailed = 0, Rsdt_p_one_tailed = 0;
  Extended Rsdt_t = 0;
  bool Bsdt_significant = false, Rsdt_significant = false;
  bool Strong = false, Classical = false, Neither = true;
  // The unstandardized difference test (Udt, or a dissociation with it).
  bool Udt_computed = false;
  tDeficit_results Udt;
  // The statistics' warnings during the run, in order.
  std::vector<std::string> Warnings;
};

// Raise EFloating_point_error (a readable message) for a figure that is not finite.
void Require_finite_record(const tDeficit_results& d, const std::string& task);
void Require_finite_bsdt(const tBSDT_results& b);

// What a run is given beside its request: an observer for progress and cancelling.
struct tRun_context {
  const tProgress_observer* Observer = nullptr;
};

// The one run of every analysis: checks the request (a refusal throws ERefused_input with
// the message the front ends show) and runs it. A dissociation without covariates is the
// worksheet's analysis: the same tests on the same numbers. Throws a std::exception with
// a readable message on a computation error, ECancelled when the observer asks to stop.
tAnalysis_record Run_analysis(const tAnalysis_request& request, const tRun_context& context = {});

// The run after the checks, for front ends that act between the two (the worksheet saves
// its control figures once they pass).
tAnalysis_record Run_checked_analysis(const tAnalysis_request& request,
                                      const tConditional_inputs& inputs,
                                      const tRun_context& context = {});
