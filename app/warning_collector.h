// SPDX-License-Identifier: GPL-3.0-or-later
// The statistics' warnings ("Too many steps") of one run, collected into its record while
// the run lasts. The hook a front end installed before the run (a message box) is still
// called, and is put back when the run ends, also by an exception.
#pragma once

#include <string>
#include <vector>

#include "stats/metrics_papers.h"

class tWarning_collector {
 public:
  explicit tWarning_collector(std::vector<std::string>& into) : previous_(Current_warning_hook()) {
    Set_warning_hook([&into, this](const std::string& message) {
      into.push_back(message);
      if (previous_) previous_(message);
    });
  }
  ~tWarning_collector() { Set_warning_hook(previous_); }
  tWarning_collector(const tWarning_collector&) = delete;
  tWarning_collector& operator=(const tWarning_collector&) = delete;

 private:
  tWarning_hook previous_;
};
