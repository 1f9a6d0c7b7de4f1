// The Monte Carlo precision of the BSDT's probability and the shape of its Z-DCC draws.
// Internal to the bayes unit.
#pragma once

#include <cstdint>

#include "bayes/bayes_engines.h"

// Sample standard deviation of p[1..n] (two passes: the mean, then the squared
// deviations, both summed in order in extended precision) over sqrt(n): the standard
// error of their mean. 0 for n < 2.
Extended Mc_standard_error(const Extended* p, std::int64_t n);

// Positions (1-based, in 1..n) of the 0.1 % and the 99.9 % order statistics: Round,
// halves to even, of 0.001 n and of 0.999 n plus 1, as the credible limits are placed.
void Histogram_positions(std::int64_t n, std::int64_t& lo, std::int64_t& hi);

// The histogram of samples[1..n]; reorders samples (it selects two order statistics).
tZdcc_histogram Zdcc_histogram(double* samples, std::int64_t n);
