// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line parser on arbitrary argument lists (the input split at NUL bytes).
// An accepted line must be consistent, and its fields must pass through the input checks
// without fault.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <variant>
#include <vector>

#include "cli/cli_args.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.emplace_back();
    } else {
      args.back() += static_cast<char>(data[i]);
    }
  }
  if (size == 0) args.clear();
  const auto parsed = Parse_arguments(args);
  if (const auto* error = std::get_if<tUsage_error>(&parsed)) {
    if (error->Message.empty()) std::abort();
    return 0;
  }
  const tCli_options& o = std::get<tCli_options>(parsed);
  if (o.Run.Iterations < kMin_iterations || o.Run.Iterations > kMax_iterations) std::abort();
  if (o.Mode == tCli_mode::Batch && o.Batch_file.empty()) std::abort();
  if (o.Mode == tCli_mode::Example && o.Use_controls) std::abort();
  Check_inputs(o.Fields, o.Run);
  return 0;
}
