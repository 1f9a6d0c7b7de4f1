// SPDX-License-Identifier: GPL-3.0-or-later
// The groups of figures that more than one analysis reports, each filled by one function,
// so that the worksheet's dissociation and the toolkit's name and order them alike:
// a deficit test on a task, the BSDT, the RSDT.
#pragma once

#include <cstdint>
#include <string>

#include "app/result_record.h"
#include "stats/metrics_papers.h"

// Units of the figures.
extern const char kUnit_percent[];  // "%"
extern const char kUnit_sd[];       // "SD"
extern const char kUnit_score[];    // "score"

// A deficit test: t_value, df, p_one_tailed, p_two_tailed, pct_below, pct_lower,
// pct_upper, then the effect size under effect_key ("zcc", or "zccc" allowing for
// covariates) with its limits, then the deficit flag. Names are prefix + key.
void Add_deficit_group(tFigure_table& t, const std::string& group, const std::string& prefix,
                       const tDeficit_results& d, std::int64_t df, bool deficit,
                       const std::string& effect_key = "zcc");

// The BSDT: its eight results, the significance flag, then the Monte Carlo standard errors
// of its probabilities (added later). Names are bsdt_ + key.
void Add_bsdt_group(tFigure_table& t, const tBSDT_results& b, const tBSDT_precision& precision,
                    bool significant);

// The RSDT: t_value, df, p_one_tailed, p_two_tailed, significant; without values when it
// was not computed. Names are rsdt_ + key.
void Add_rsdt_group(tFigure_table& t, bool computed, Extended t_value, std::int64_t df,
                    double p_one_tailed, double p_two_tailed, bool significant);
