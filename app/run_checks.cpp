// SPDX-License-Identifier: GPL-3.0-or-later
// The input checks of a run, in worksheet order, and the criteria for a dissociation.
#include <cmath>

#include "app/analysis_run.h"
#include "app/input_checks.h"

namespace {

// The significance level of every criterion. An extended constant: the probabilities it is
// compared with are extended, and a probability of exactly 0.05 must not pass.
constexpr Extended kAlpha = 0.05L;

}  // namespace

std::variant<tChecked_inputs, tInput_error> Check_inputs(const std::array<std::string, 8>& fields,
                                                        const tRun_options& options) {
  double values[8] = {};
  for (int field = 0; field < 8; ++field) {
    const std::string& caption = kField_captions[static_cast<std::size_t>(field)];
    tField_value checked = Read_number(fields[static_cast<std::size_t>(field)], caption);
    if (checked.Ok) {
      switch (field) {
        case 1:
        case 3:
          checked = Check_sd(caption, checked.Value);
          break;
        case 4:
          checked = Check_correlation(caption, checked.Value);
          break;
        case 5:
          checked = Check_sample_size(caption, checked.Value);
          if (checked.Ok && options.Prior == tPrior::Calibrated) {
            checked = Check_calibrated_sample_size(caption, checked.Value);
          }
          break;
        default:
          break;
      }
    }
    if (!checked.Ok) return tInput_error{field, checked.Message};
    values[field] = checked.Value;
  }
  tChecked_inputs inputs;
  for (std::size_t field = 0; field < 8; ++field)
    inputs.Decimals[field] = Text_decimals(fields[field]);
  inputs.Mean_x = values[0];
  inputs.Sd_x = values[1];
  inputs.Mean_y = values[2];
  inputs.Sd_y = values[3];
  inputs.R_xy = values[4];
  inputs.N_real = values[5];
  inputs.Case_x = values[6];
  inputs.Case_y = values[7];
  inputs.N = static_cast<std::int32_t>(values[5]);  // whole and within range: checked
  return inputs;
}

void Apply_criteria(tRun_results& r) {
  const bool combined = r.Options.Criteria == tCriteria::Combined;
  const bool two_tailed = r.Options.Tail == tTail::Two;
  // Only a case below the control mean can have a deficit; both comparisons are strict.
  r.Deficit_x = r.Deficit_x_results.P_one_tailed < kAlpha && r.Deficit_x_results.T_value < 0;
  r.Deficit_y = r.Deficit_y_results.P_one_tailed < kAlpha && r.Deficit_y_results.T_value < 0;
  const Extended p_b = two_tailed ? r.Bsdt.P_two_tailed : r.Bsdt.P_one_tailed;
  r.Bsdt_significant = p_b < kAlpha;
  r.Rsdt_significant = false;
  if (combined) {
    const Extended p_r = two_tailed ? r.Rsdt_p_two_tailed : r.Rsdt_p_one_tailed;
    r.Rsdt_significant = p_r < kAlpha;
  }
  const bool significant = r.Bsdt_significant && (!combined || r.Rsdt_significant);
  r.Strong = r.Deficit_x && r.Deficit_y && significant;
  r.Classical = (r.Deficit_x != r.Deficit_y) && significant;
  r.Neither = !r.Strong && !r.Classical;
  r.Classification = r.Strong      ? tClassification::Strong
                     : r.Classical ? tClassification::Classical
                                   : tClassification::Neither;
  Fill_figures(r);
}

