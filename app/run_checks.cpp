// SPDX-License-Identifier: GPL-3.0-or-later
// The input checks of a run, in worksheet order.
#include <cmath>

#include "app/analysis_run.h"
#include "app/input_checks.h"

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
