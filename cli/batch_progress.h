// SPDX-License-Identifier: GPL-3.0-or-later
// The progress a batch shows on standard error: the number of cases in the case file, by
// a first pass over it, and the line "kestrum-cli: 12 of 40 cases done, about 1 min 5 s
// left", rewritten in place.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "app/batch_rows.h"
#include "cli/exit_status.h"

// The number of cases in a case file, by a first pass over it; nullopt when it is not a
// regular file (a pipe can be read only once), cannot be read, or the pass was
// interrupted (it checks for a signal at every row, so a huge file does not hold up an
// interruption). `same` is the open case file: the path must still name it.
std::optional<std::size_t> Count_cases(const std::string& path, int same,
                                       const tInterrupt* interrupt, const tBatch_columns& columns);

// "\rkestrum-cli: <written> of <total> cases done, about <time> left" and blanks that cover
// the end of a longer earlier line; without a total, "<written> cases done". The time left
// is the time per written case so far times the cases still to come.
std::string Progress_line(std::size_t written, const std::optional<std::size_t>& total,
                          double elapsed_seconds);
