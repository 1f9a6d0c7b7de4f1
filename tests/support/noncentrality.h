// SPDX-License-Identifier: GPL-3.0-or-later
// The non-centrality search of the interval estimates as one call, for the tests.
#pragma once

#include "distrib/distrib.h"

// Search_noncentrality with its own floating-point flag handling; a root beyond the
// search's bound is refused (std::range_error, "... out of range for this method.").
Extended Find_noncentrality(Extended Df, Extended T_obs, Extended Prob);
