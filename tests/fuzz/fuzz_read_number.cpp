// SPDX-License-Identifier: GPL-3.0-or-later
// Field parser and the key-level checks on arbitrary text. A text accepted by the parser
// must give a finite value, and the range checks must accept or refuse it without fault.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/input_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const tField_value v = Read_number(text, "caption:");
  if (v.Ok) {
    if (!std::isfinite(v.Value) || !v.Message.empty()) std::abort();
    if (text.find_first_of("0123456789") == std::string::npos) std::abort();
    Check_sd("c:", v.Value);
    Check_correlation("c:", v.Value);
    if (Check_sample_size("c:", v.Value).Ok && !(v.Value >= 3 && v.Value <= 2147483647.0)) {
      std::abort();
    }
  } else if (v.Message.rfind("INPUT ERROR", 0) != 0) {
    std::abort();
  }
  // What the key filter lets through, cut to the field's length, is what a field can hold.
  std::string typed;
  for (char c : text) {
    const char kept = Key_filter(c);
    if (kept != '\0') typed += kept;
  }
  if (Limit_length(typed).size() > kMax_field_length) std::abort();
  Read_number(Limit_length(typed), "caption:");
  return 0;
}
