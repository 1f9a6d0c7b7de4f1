// SPDX-License-Identifier: GPL-3.0-or-later
// The BSDT's procedure word for word, on the calling thread, as the tests' yardstick for
// the engine: the same draws (bayes/bsdt_draws.h), the distribution unit's normal
// distribution function added to S inside the draw loop, and the draws fully sorted by
// Quick_sort before the limits are read. The engine must give the same draws and limits
// bit for bit and P within 1E-10. Only for valid inputs: it makes none of the engine's
// checks beyond those of the draws.
#pragma once

#include "bayes/bayes_engines.h"

void Run_BSDT_literal(const tBSDT_inputs& in, tBSDT_results& Results,
                      const tProgress_observer* Observer = nullptr,
                      tBSDT_precision* Precision = nullptr);
