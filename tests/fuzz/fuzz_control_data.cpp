// SPDX-License-Identifier: GPL-3.0-or-later
// The control-data loader on arbitrary file contents. Every figure it shows must be
// accepted by the field parser (the next run reads it back from the field).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/control_data.h"
#include "app/input_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  const tLoaded_controls loaded = Parse_control_data(content);
  if (!loaded.Found) std::abort();
  for (const std::string& text : loaded.Texts) {
    if (text.empty()) {
      if (loaded.Error.empty()) std::abort();  // only a failed load leaves fields empty
      continue;
    }
    if (!Read_number(text, "caption:").Ok) std::abort();
  }
  return 0;
}
