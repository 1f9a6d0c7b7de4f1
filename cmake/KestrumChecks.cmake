# Build-time guards for the numerics: the statistics need the x87 80-bit extended type
# (64-bit mantissa) for `long double`, and IEEE semantics (no fast-math).
include(CheckCXXSourceCompiles)
check_cxx_source_compiles("
#include <limits>
static_assert(std::numeric_limits<long double>::digits == 64, \"\");
int main() { return 0; }
" KESTRUM_HAS_X87_EXTENDED)
if(NOT KESTRUM_HAS_X87_EXTENDED)
  message(FATAL_ERROR "Kestrum needs long double with a 64-bit mantissa (x87 extended precision, x86-64 Linux).")
endif()
foreach(flags_var CMAKE_CXX_FLAGS CMAKE_CXX_FLAGS_RELEASE CMAKE_CXX_FLAGS_RELWITHDEBINFO CMAKE_CXX_FLAGS_DEBUG)
  if("${${flags_var}}" MATCHES "fast-math|Ofast|unsafe-math|finite-math|associative-math|reciprocal-math")
    message(FATAL_ERROR "${flags_var} holds a flag that changes floating-point semantics: ${${flags_var}}")
  endif()
endforeach()
