// SPDX-License-Identifier: GPL-3.0-or-later
// The statuses of a run, shared by the command line (its exit status) and the engine
// interface (a batch's status): 0 success, 1 a usage error, 2 refused input, 3 an error
// of the computation.
#pragma once

constexpr int kExit_success = 0;
constexpr int kExit_usage = 1;
constexpr int kExit_input = 2;
constexpr int kExit_computation = 3;
