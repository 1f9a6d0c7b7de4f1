# Build-time guards and choices for the numerics.
#
# KESTRUM_EXTENDED picks the type `Extended`: "x87" is long double as the x87 80-bit type
# (64-bit mantissa), the default wherever long double is that type; "double" is the IEEE
# double, the default elsewhere (WebAssembly, and platforms whose long double is another
# type). KESTRUM_FP_FLAGS reads the <cfenv> exception flags where computations end; OFF
# (forced where the platform has no flags) leaves the faults to the checks of non-finite
# results alone. KESTRUM_PORTABLE_CHARCONV formats and parses floating-point numbers
# without std::to_chars/from_chars (forced where the library lacks them).
include(CheckCXXSourceCompiles)
check_cxx_source_compiles("
#include <limits>
static_assert(std::numeric_limits<long double>::digits == 64, \"\");
int main() { return 0; }
" KESTRUM_HAS_X87_EXTENDED)
check_cxx_source_compiles("
#include <cfenv>
int main() { return std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW); }
" KESTRUM_HAS_FP_FLAGS)
check_cxx_source_compiles("
#include <charconv>
int main() { char b[32]; double d = 0; std::from_chars(b, b + 1, d);
             return std::to_chars(b, b + 32, 1.5, std::chars_format::fixed, 2).ptr == b; }
" KESTRUM_HAS_FP_CHARCONV)

if(KESTRUM_HAS_X87_EXTENDED)
  set(kestrum_extended_default x87)
else()
  set(kestrum_extended_default double)
endif()
set(KESTRUM_EXTENDED ${kestrum_extended_default} CACHE STRING "The type Extended: x87 or double")
set_property(CACHE KESTRUM_EXTENDED PROPERTY STRINGS x87 double)
option(KESTRUM_FP_FLAGS "Read the floating-point exception flags" ${KESTRUM_HAS_FP_FLAGS})
option(KESTRUM_PORTABLE_CHARCONV "Format and parse without floating-point to_chars/from_chars" OFF)

if(KESTRUM_EXTENDED STREQUAL "x87")
  if(NOT KESTRUM_HAS_X87_EXTENDED)
    message(FATAL_ERROR "KESTRUM_EXTENDED=x87 needs long double with a 64-bit mantissa (x87 extended precision); choose KESTRUM_EXTENDED=double.")
  endif()
elseif(KESTRUM_EXTENDED STREQUAL "double")
  add_compile_definitions(KESTRUM_EXTENDED_DOUBLE=1)
else()
  message(FATAL_ERROR "KESTRUM_EXTENDED must be x87 or double, not ${KESTRUM_EXTENDED}")
endif()
if(NOT KESTRUM_FP_FLAGS OR NOT KESTRUM_HAS_FP_FLAGS)
  add_compile_definitions(KESTRUM_NO_FP_FLAGS=1)
endif()
if(KESTRUM_PORTABLE_CHARCONV OR NOT KESTRUM_HAS_FP_CHARCONV)
  add_compile_definitions(KESTRUM_PORTABLE_CHARCONV=1)
endif()
message(STATUS "Extended: ${KESTRUM_EXTENDED}; floating-point flags: ${KESTRUM_FP_FLAGS}")
foreach(flags_var CMAKE_CXX_FLAGS CMAKE_CXX_FLAGS_RELEASE CMAKE_CXX_FLAGS_RELWITHDEBINFO CMAKE_CXX_FLAGS_DEBUG)
  if("${${flags_var}}" MATCHES "fast-math|Ofast|unsafe-math|finite-math|associative-math|reciprocal-math")
    message(FATAL_ERROR "${flags_var} holds a flag that changes floating-point semantics: ${${flags_var}}")
  endif()
endforeach()
