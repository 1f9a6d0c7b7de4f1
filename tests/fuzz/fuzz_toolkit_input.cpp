// SPDX-License-Identifier: GPL-3.0-or-later
// The toolkit's input files on arbitrary bytes: the JSON reader, the input schema, the
// correlation file (as CSV or JSON) and the input rules. Nothing may crash; a request that
// passes the rules must give a conditional model of finite figures.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli/toolkit_cli.h"

namespace {

void Check(const tAnalysis_request& request) {
  const auto checked = Check_request(request);
  if (const auto* in = std::get_if<tConditional_inputs>(&checked)) {
    const tConditional_model m = Build_conditional_model(*in, 2);
    if (!std::isfinite(m.Leverage) || !(m.Leverage > 0)) std::abort();
    for (const Extended v : m.Residual_sd)
      if (!std::isfinite(v) || !(v > 0)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const tJson_value document = Parse_json(text);
    for (const tAnalysis_kind kind : {tAnalysis_kind::Deficit, tAnalysis_kind::Dissociation}) {
      const auto r = Request_from_json(document, kind);
      if (const auto* request = std::get_if<tAnalysis_request>(&r)) Check(*request);
    }
  } catch (const std::runtime_error&) {
    // Not JSON: refused with a message.
  }
  tAnalysis_request request;
  request.Kind = tAnalysis_kind::Deficit;
  request.N = "20";
  request.Covariates = {{"a", "1", "1", "0"}, {"b", "2", "1", "1"}};
  request.Tasks = {{"c", "3", "1", "-2"}};
  const auto matrix = Correlations_from_text(text, Variable_names(request));
  if (const auto* lower = std::get_if<std::vector<std::vector<std::string>>>(&matrix)) {
    request.Correlations = *lower;
    Check(request);
  }
  return 0;
}
