// SPDX-License-Identifier: GPL-3.0-or-later
// The engine of the web page: the worksheet's texts, key filter and paste rule, and the engine
// interface (app/engine_interface.h) behind a small C interface that the page's worker
// calls through emscripten's cwrap. Texts go in as UTF-8 strings (a case file as bytes);
// each answer is one JSON object, held until the next call. The page runs one thread:
// a run's engine and a batch's cases run on it, and progress reaches the page as it comes.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/engine_interface.h"
#include "app/engine_power.h"
#include "app/input_checks.h"
#include "app/analysis_run.h"
#include "app/record_writers.h"
#include "app/request_reader.h"
#include "app/texts.h"

namespace {

std::string answer;  // the last answer, read by the caller before its next call

const char* Answer(std::string text) {
  answer = std::move(text);
  return answer.c_str();
}

// Progress goes to the page as it comes: the worker's postMessage.
EM_JS(void, Post_progress, (double done, double total), {
  if (typeof Module.onProgress === 'function') Module.onProgress(done, total);
});

// The inputs passed their checks: the page keeps the control figures now, as the worksheet
// writes its control-data file before the run (a cancelled run keeps them too).
EM_JS(void, Post_checked, (), {
  if (typeof Module.onChecked === 'function') Module.onChecked();
});

tEngine_hooks Page_hooks() {
  tEngine_hooks hooks;
  hooks.Progress = [](std::int64_t done, std::int64_t total) {
    Post_progress(static_cast<double>(done), static_cast<double>(total));
  };
  hooks.Checked = [] { Post_checked(); };
  hooks.Engine_threads = 1;
  return hooks;
}

}  // namespace

extern "C" {

// The worksheet's texts: captions, messages, title, limits, the example's fields and the
// Monte Carlo iterations' default and limits.
EMSCRIPTEN_KEEPALIVE const char* kestrum_strings() {
  const auto list = [](const std::array<const char*, 8>& texts) {
    std::string s = "[";
    for (std::size_t k = 0; k < texts.size(); ++k) s += (k ? "," : "") + Json_string(texts[k]);
    return s + "]";
  };
  const std::string s =
      "{\"title\":" + Json_string(Program_title) + ",\"captions\":" + list(kField_captions) +
      ",\"example\":" + list(kExample_fields) +
      ",\"numeric_only\":" + Json_string(kNumeric_only_message) +
      ",\"max_length\":" + Json_string(kMax_length_message) +
      ",\"max_field_length\":" + std::to_string(kMax_field_length) +
      ",\"iterations\":{\"default\":" + std::to_string(tRun_options().Iterations) +
      ",\"min\":" + std::to_string(kMin_iterations) +
      ",\"max\":" + std::to_string(kMax_iterations) + "}}";
  return Answer(s);
}

// The paste rule (Paste_into_field) for a field's text, the pasted text's place in it
// [from, to) and the pasted text: {"ok", "text", "message"}. The page follows the same
// rule in its own code; its tests compare the two.
EMSCRIPTEN_KEEPALIVE const char* kestrum_paste(const char* field, int from, int to,
                                               const char* pasted) {
  const tPasted_text p = Paste_into_field(field, static_cast<std::size_t>(std::max(from, 0)),
                                          static_cast<std::size_t>(std::max(to, 0)), pasted);
  return Answer("{\"ok\":" + std::string(p.Ok ? "true" : "false") + ",\"text\":" +
                Json_string(p.Text) + ",\"message\":" + Json_string(p.Message ? p.Message : "") +
                "}");
}

// The character the key filter inserts for a typed character (0: refused).
EMSCRIPTEN_KEEPALIVE int kestrum_key_filter(int key) {
  if (key < 0 || key > 127) return 0;
  return static_cast<unsigned char>(Key_filter(static_cast<char>(key)));
}

// One analysis: Engine_run's answer for the request.
EMSCRIPTEN_KEEPALIVE const char* kestrum_run(const char* request) {
  return Answer(Engine_run(request, Page_hooks()));
}

// Planning a study: Engine_power's answer for the request.
EMSCRIPTEN_KEEPALIVE const char* kestrum_power(const char* request) {
  return Answer(Engine_power(request, Page_hooks()));
}

// A batch's control figures and options, checked before the case file is read.
EMSCRIPTEN_KEEPALIVE const char* kestrum_check_controls(const char* request) {
  return Answer(Engine_check_controls(request));
}

// A batch: Engine_batch's answer for the request and the case file's bytes.
EMSCRIPTEN_KEEPALIVE const char* kestrum_batch(const char* request, const char* cases,
                                               int length, const char* format,
                                               const char* file_name) {
  const std::string_view text(cases, length > 0 ? static_cast<std::size_t>(length) : 0);
  return Answer(Engine_batch(request, text, format, file_name, Page_hooks()));
}

}  // extern "C"
