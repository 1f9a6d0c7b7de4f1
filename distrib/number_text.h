// SPDX-License-Identifier: GPL-3.0-or-later
// Floating-point numbers to text and back, always with a decimal point "." whatever the
// process locale. They write what std::to_chars writes (and read what std::from_chars
// reads) for the formats the program uses; a build with KESTRUM_PORTABLE_CHARCONV (a
// standard library without floating-point to_chars/from_chars, such as WebAssembly's)
// computes them with the C library's correctly rounded printf and strtod instead. Both
// ways are compiled in every build, so the tests compare them value by value.
#pragma once

#include <string>
#include <system_error>

// printf's "%.*f": fixed notation with `precision` digits after the point.
std::string Fixed_text(long double x, int precision);
std::string Fixed_text(double x, int precision);
// printf's "%.*e": d.ddde±xx with `precision` digits after the point.
std::string Scientific_text(long double x, int precision);
std::string Scientific_text(double x, int precision);
// printf's "%.*g" (std::to_chars general with a precision).
std::string General_text(double x, int precision);
// The shortest text that reads back as exactly x, fixed or scientific, whichever is
// shorter (fixed on a tie) (std::to_chars without a format).
std::string Shortest_text(double x);

// Reads a decimal number ([-]digits[.digits][e[±]digits], no leading "+" or space) from
// the start of [first, last), as std::from_chars with the general format: on success
// sets value and *end, returns errc{}; errc::invalid_argument when no number starts there;
// errc::result_out_of_range when it overflows or underflows to zero (value untouched).
std::errc Parse_double(const char* first, const char* last, double& value, const char** end);

// The C-library ways, used by the above in a KESTRUM_PORTABLE_CHARCONV build; public for
// the tests.
namespace portable_text {
std::string Fixed(long double x, int precision);
std::string Scientific(long double x, int precision);
std::string General(double x, int precision);
std::string Shortest(double x);
std::errc Parse(const char* first, const char* last, double& value, const char** end);
}  // namespace portable_text
// The std::to_chars/from_chars ways (empty texts, invalid_argument where the library has
// none).
namespace std_text {
std::string Fixed(long double x, int precision);
std::string Fixed(double x, int precision);
std::string Scientific(long double x, int precision);
std::string Scientific(double x, int precision);
std::string General(double x, int precision);
std::string Shortest(double x);
std::errc Parse(const char* first, const char* last, double& value, const char** end);
}  // namespace std_text
