// SPDX-License-Identifier: GPL-3.0-or-later
#include "distrib/number_text.h"

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#if !defined(KESTRUM_PORTABLE_CHARCONV) || (defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L)
#include <charconv>
#define KESTRUM_STD_CHARCONV 1
#endif

namespace portable_text {
namespace {

// The locale's decimal separator in a printf text becomes ".".
std::string With_point(std::string text) {
  const char* point = std::localeconv()->decimal_point;
  const std::string_view sep = point != nullptr && *point != '\0' ? point : ".";
  if (sep != ".") {
    if (const auto at = text.find(sep); at != std::string::npos) text.replace(at, sep.size(), ".");
  }
  return text;
}

std::string Printf(const char* format, int precision, long double x) {
  const int size = std::snprintf(nullptr, 0, format, precision, x);
  std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 0) + 1);
  std::snprintf(buffer.data(), buffer.size(), format, precision, x);
  return With_point(buffer.data());
}

std::string Printf(const char* format, int precision, double x) {
  const int size = std::snprintf(nullptr, 0, format, precision, x);
  std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 0) + 1);
  std::snprintf(buffer.data(), buffer.size(), format, precision, x);
  return With_point(buffer.data());
}

// Reads a text made by Printf (or Shortest) back exactly: strtod, with "." replaced by
// the locale's separator.
double Read_back(std::string text) {
  const char* point = std::localeconv()->decimal_point;
  if (point != nullptr && std::string_view(point) != ".") {
    if (const auto at = text.find('.'); at != std::string::npos) text.replace(at, 1, point);
  }
  return std::strtod(text.c_str(), nullptr);
}

}  // namespace

std::string Fixed(long double x, int precision) { return Printf("%.*Lf", precision, x); }
std::string Scientific(long double x, int precision) { return Printf("%.*Le", precision, x); }
std::string General(double x, int precision) { return Printf("%.*g", precision, x); }

std::string Shortest(double x) {
  if (std::isnan(x)) return std::signbit(x) ? "-nan" : "nan";
  if (std::isinf(x)) return x < 0 ? "-inf" : "inf";
  if (x == 0) return std::signbit(x) ? "-0" : "0";
  // The fewest significant digits that read back as x: printf rounds correctly, so the
  // first count at which its rounding reads back gives the closest such digits. Next to a
  // power of two the interval of x is lopsided, and a neighbour of the rounded digits may
  // read back where the rounded ones do not; those are tried too, the closer first.
  const double target = std::fabs(x);
  const auto text_of = [](const std::string& m, int ex) {
    return m.substr(0, 1) + "." + m.substr(1) + "e" + std::to_string(ex);
  };
  std::string digits;
  int exponent = 0;
  for (int count = 1; count <= 17 && digits.empty(); ++count) {
    const std::string sci = Printf("%.*e", count - 1, target);
    const auto e = sci.find('e');
    std::string d;
    for (std::size_t i = 0; i < e; ++i)
      if (sci[i] != '.') d += sci[i];
    const int exp10 = std::atoi(sci.c_str() + e + 1);
    const double back = Read_back(text_of(d, exp10));
    if (back == target) {
      digits = d;
      exponent = exp10;
      break;
    }
    // The neighbour on the other side of x, one unit in the last digit away.
    unsigned long long m = std::strtoull(d.c_str(), nullptr, 10);
    unsigned long long low = 1;
    for (int i = 1; i < count; ++i) low *= 10;
    int ex = exp10;
    if (back < target) {
      if (++m == low * 10) m = low, ++ex;
    } else {
      if (m-- == low) m = low * 10 - 1, --ex;
    }
    const std::string n = std::to_string(m);
    if (Read_back(text_of(n, ex)) == target) {
      digits = n;
      exponent = ex;
    }
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int n = static_cast<int>(digits.size());

  std::string fixed;
  if (exponent < 0) {
    fixed = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  } else if (exponent + 1 >= n) {
    // A whole number: its exact digits, as printf's "%.0f" writes them (as many as the
    // shortest digits padded with zeros).
    fixed = Printf("%.*f", 0, target);
  } else {
    fixed = digits.substr(0, static_cast<std::size_t>(exponent + 1)) + "." +
            digits.substr(static_cast<std::size_t>(exponent + 1));
  }
  std::string sci = digits.substr(0, 1);
  if (n > 1) sci += "." + digits.substr(1);
  const int a = exponent < 0 ? -exponent : exponent;
  sci += std::string("e") + (exponent < 0 ? "-" : "+") + (a < 10 ? "0" : "") + std::to_string(a);
  const std::string& shorter = fixed.size() <= sci.size() ? fixed : sci;
  return (x < 0 ? "-" : "") + shorter;
}

std::errc Parse(const char* first, const char* last, double& value, const char** end) {
  // The longest prefix of the form [-]digits[.digits][e[±]digits] with at least one digit.
  const char* p = first;
  if (p < last && *p == '-') ++p;
  std::size_t mantissa_digits = 0;
  while (p < last && *p >= '0' && *p <= '9') ++p, ++mantissa_digits;
  if (p < last && *p == '.') {
    ++p;
    while (p < last && *p >= '0' && *p <= '9') ++p, ++mantissa_digits;
  }
  if (mantissa_digits == 0) return std::errc::invalid_argument;
  if (p < last && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    if (q < last && (*q == '+' || *q == '-')) ++q;
    const char* digits_start = q;
    while (q < last && *q >= '0' && *q <= '9') ++q;
    if (q > digits_start) p = q;
  }
  std::string text(first, p);
  const char* point = std::localeconv()->decimal_point;
  if (point != nullptr && std::string_view(point) != ".") {
    if (const auto at = text.find('.'); at != std::string::npos) text.replace(at, 1, point);
  }
  errno = 0;
  const double result = std::strtod(text.c_str(), nullptr);
  const bool zero_digits = text.find_first_of("123456789") == std::string::npos ||
                           text.find_first_of("123456789") > text.find_first_of("eE");
  if (std::isinf(result) || (errno == ERANGE && result == 0 && !zero_digits))
    return std::errc::result_out_of_range;
  value = result;
  *end = p;
  return std::errc{};
}

}  // namespace portable_text

namespace std_text {
#if defined(KESTRUM_STD_CHARCONV)
namespace {
template <typename T, typename... tFormat>
std::string To_chars(T x, tFormat... format) {
  // Fixed notation of an 80-bit value needs at most 4933 integer digits.
  std::vector<char> buffer(5200);
  const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), x, format...);
  if (ec != std::errc{}) return {};
  return std::string(buffer.data(), end);
}
}  // namespace
std::string Fixed(long double x, int precision) {
  return To_chars(x, std::chars_format::fixed, precision);
}
std::string Fixed(double x, int precision) {
  return To_chars(x, std::chars_format::fixed, precision);
}
std::string Scientific(long double x, int precision) {
  return To_chars(x, std::chars_format::scientific, precision);
}
std::string Scientific(double x, int precision) {
  return To_chars(x, std::chars_format::scientific, precision);
}
std::string General(double x, int precision) {
  return To_chars(x, std::chars_format::general, precision);
}
std::string Shortest(double x) { return To_chars(x); }
std::errc Parse(const char* first, const char* last, double& value, const char** end) {
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec == std::errc{}) *end = ptr;
  return ec;
}
#else
std::string Fixed(long double, int) { return {}; }
std::string Fixed(double, int) { return {}; }
std::string Scientific(long double, int) { return {}; }
std::string Scientific(double, int) { return {}; }
std::string General(double, int) { return {}; }
std::string Shortest(double) { return {}; }
std::errc Parse(const char*, const char*, double&, const char**) {
  return std::errc::invalid_argument;
}
#endif
}  // namespace std_text

#if defined(KESTRUM_PORTABLE_CHARCONV)
std::string Fixed_text(long double x, int precision) { return portable_text::Fixed(x, precision); }
std::string Fixed_text(double x, int precision) {
  return portable_text::Fixed(static_cast<long double>(x), precision);
}
std::string Scientific_text(long double x, int precision) {
  return portable_text::Scientific(x, precision);
}
std::string Scientific_text(double x, int precision) {
  return portable_text::Scientific(static_cast<long double>(x), precision);
}
std::string General_text(double x, int precision) { return portable_text::General(x, precision); }
std::string Shortest_text(double x) { return portable_text::Shortest(x); }
std::errc Parse_double(const char* first, const char* last, double& value, const char** end) {
  return portable_text::Parse(first, last, value, end);
}
#else
std::string Fixed_text(long double x, int precision) { return std_text::Fixed(x, precision); }
std::string Fixed_text(double x, int precision) { return std_text::Fixed(x, precision); }
std::string Scientific_text(long double x, int precision) {
  return std_text::Scientific(x, precision);
}
std::string Scientific_text(double x, int precision) { return std_text::Scientific(x, precision); }
std::string General_text(double x, int precision) { return std_text::General(x, precision); }
std::string Shortest_text(double x) { return std_text::Shortest(x); }
std::errc Parse_double(const char* first, const char* last, double& value, const char** end) {
  return std_text::Parse(first, last, value, end);
}
#endif
