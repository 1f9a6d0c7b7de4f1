// SPDX-License-Identifier: GPL-3.0-or-later
// printf-style number formatting that ignores the process locale: the report, the field
// messages and the files always use "." as the decimal point, also when a window toolkit
// has switched the C locale to the user's.
#pragma once

#include <cstdint>
#include <string>

#include "distrib/distrib.h"

// As "%<width>.<precision>f": fixed notation, correctly rounded (halves to even on the
// exact binary value), right-aligned in at least width characters.
std::string Format_fixed(Extended value, int width, int precision);

// As "%<width>d": right-aligned in at least width characters.
std::string Format_int(std::int64_t value, int width);
