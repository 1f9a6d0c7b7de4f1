// SPDX-License-Identifier: GPL-3.0-or-later
// The engine of the web page: the worksheet's checks, the analysis run, the report text,
// the plots' geometry and the command line's batch, behind a small C interface that the
// page's worker calls (through emscripten's cwrap). Texts go in as UTF-8 strings; each
// answer is one JSON object, held until the next call.
#include <emscripten/emscripten.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "app/analysis_run.h"
#include "app/control_data.h"
#include "app/input_checks.h"
#include "app/plot_geometry.h"
#include "app/report.h"
#include "cli/cli_run.h"
#include "distrib/number_text.h"
#include "distrib/progress.h"

namespace {

std::string answer;  // the last answer, read by the caller before its next call

const char* Answer(std::string text) {
  answer = std::move(text);
  return answer.c_str();
}

// Texts separated by the unit separator (0x1F).
std::vector<std::string> Split_units(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = text.find('\x1f', start);
    parts.push_back(text.substr(start, at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

std::string Num(double x) { return Shortest_text(x); }

std::string Points_json(const std::vector<tPlot_point>& points) {
  std::string s = "[";
  for (std::size_t i = 0; i < points.size(); ++i)
    s += (i ? "," : "") + std::string("[") + Num(points[i].X) + "," + Num(points[i].Y) + "]";
  return s + "]";
}

std::string Axis_json(const tAxis& a) {
  std::string s = "{\"lower\":" + Num(a.Lower) + ",\"upper\":" + Num(a.Upper) +
                  ",\"step\":" + Num(a.Step) + ",\"ticks\":[";
  for (std::size_t i = 0; i < a.Ticks.size(); ++i) s += (i ? "," : "") + Num(a.Ticks[i]);
  return s + "]}";
}

std::string Plots_json(const tRun_results& results) {
  const tResult_plots plots = Result_plots(results);
  const tCase_plot& c = plots.Case;
  std::string s = "{\"title\":" + Json_string(plots.Title) + ",\"case\":{\"ellipses\":[";
  for (std::size_t i = 0; i < c.Ellipses.size(); ++i) {
    const tCoverage_ellipse& e = c.Ellipses[i];
    s += (i ? "," : "") + std::string("{\"label\":") + Json_string(e.Label) +
         ",\"points\":" + Points_json(e.Points) + ",\"label_at\":[" + Num(e.Label_at.X) + "," +
         Num(e.Label_at.Y) + "]}";
  }
  s += "],\"x_axis\":" + Axis_json(c.X_axis) + ",\"y_axis\":" + Axis_json(c.Y_axis) +
       ",\"point\":[" + Num(c.Case.X) + "," + Num(c.Case.Y) + "],\"x_title\":" +
       Json_string(c.X_title) + ",\"y_title\":" + Json_string(c.Y_title) +
       ",\"point_label\":" + Json_string(c.Case_label) + ",\"caption\":" + Json_string(c.Caption) +
       "},";
  const tPosterior_plot& p = plots.Posterior;
  s += "\"posterior\":{\"bars\":[";
  for (std::size_t i = 0; i < p.Bars.size(); ++i)
    s += (i ? "," : "") + std::string("[") + Num(p.Bars[i].Left) + "," + Num(p.Bars[i].Right) +
         "," + Num(p.Bars[i].Density) + "]";
  s += "],\"draws\":" + std::to_string(p.Draws) + ",\"zdcc\":" + Num(p.Zdcc) +
       ",\"interval\":[" + Num(p.Interval_lower) + "," + Num(p.Interval_upper) +
       "],\"x_axis\":" + Axis_json(p.X_axis) + ",\"y_axis\":" + Axis_json(p.Y_axis) +
       ",\"x_title\":" + Json_string(p.X_title) + ",\"y_title\":" + Json_string(p.Y_title) +
       ",\"estimate_label\":" + Json_string(p.Estimate_label) +
       ",\"interval_label\":" + Json_string(p.Interval_label) +
       ",\"caption\":" + Json_string(p.Caption) + "}}";
  return s;
}

// The notes as lines, as the worksheet splits its memo: a final line break starts no
// further, empty line.
std::vector<std::string> Notes_lines(const std::string& text) {
  std::vector<std::string> lines;
  if (text.empty()) return lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = text.find('\n', start);
    lines.push_back(text.substr(start, at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  if (lines.size() > 1 && lines.back().empty()) lines.pop_back();
  return lines;
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

}  // namespace

extern "C" {

// The worksheet's texts: captions, messages, title, limits.
EMSCRIPTEN_KEEPALIVE const char* kestrum_strings() {
  std::string s = "{\"title\":" + Json_string(Program_title) + ",\"captions\":[";
  for (std::size_t k = 0; k < kField_captions.size(); ++k)
    s += (k ? "," : "") + Json_string(kField_captions[k]);
  s += "],\"numeric_only\":" + Json_string(kNumeric_only_message) +
       ",\"max_length\":" + Json_string(kMax_length_message) +
       ",\"max_field_length\":" + std::to_string(kMax_field_length) + "}";
  return Answer(s);
}

// The character the key filter inserts for a typed character (0: refused).
EMSCRIPTEN_KEEPALIVE int kestrum_key_filter(int key) {
  if (key < 0 || key > 127) return 0;
  return static_cast<unsigned char>(Key_filter(static_cast<char>(key)));
}

// One run of the worksheet: fields are the eight texts separated by 0x1F; criteria 1 or 2,
// one_tailed and jeffreys 0 or 1. Answers {"ok":true,"report":..., "plots":...} or
// {"ok":false,"field":k,"message":...} for an input error (k counted from 0), or
// {"ok":false,"field":-1,"message":...} for an error of the computation.
EMSCRIPTEN_KEEPALIVE const char* kestrum_compute(const char* fields, int criteria, int one_tailed,
                                                 int jeffreys, const char* notes,
                                                 int viewer_has_text, int iterations) {
  std::array<std::string, 8> texts;
  const std::vector<std::string> parts = Split_units(fields);
  for (std::size_t k = 0; k < texts.size() && k < parts.size(); ++k) texts[k] = parts[k];
  tRun_options options;
  options.Criteria = criteria == 2 ? tCriteria::Combined : tCriteria::Bayesian;
  options.Tail = one_tailed ? tTail::One : tTail::Two;
  options.Prior = jeffreys ? tPrior::Standard : tPrior::Calibrated;
  if (iterations > 0) options.Iterations = iterations;
  options.Engine_threads = 1;

  const auto checked = Check_inputs(texts, options);
  if (const auto* failure = std::get_if<tInput_error>(&checked)) {
    return Answer("{\"ok\":false,\"field\":" + std::to_string(failure->Field) +
                  ",\"message\":" + Json_string(failure->Message) + "}");
  }
  Post_checked();
  try {
    tProgress_observer observer;
    observer.Progress = [](std::int64_t done, std::int64_t total) {
      Post_progress(static_cast<double>(done), static_cast<double>(total));
    };
    const tRun_results results =
        Compute_analysis(std::get<tChecked_inputs>(checked), options, &observer);
    std::string report;
    for (const std::string& line :
         Report_lines(results, Notes_lines(notes), viewer_has_text != 0))
      report += line + "\n";
    std::string plots = "null";
    try {
      plots = Plots_json(results);
    } catch (const std::exception&) {
      // No plots for results the plots cannot show; the report stands.
    }
    return Answer("{\"ok\":true,\"report\":" + Json_string(report) + ",\"plots\":" + plots + "}");
  } catch (const std::exception& error) {
    return Answer("{\"ok\":false,\"field\":-1,\"message\":" + Json_string(error.what()) + "}");
  }
}

// kestrum-cli with the given arguments (separated by 0x1F), as on the command line: a
// batch reads its file from the module's file system, where the worker has put it.
// Answers {"status":n,"out":...,"err":...}; with progress set, the command line's progress
// lines reach the page as they are written.
EMSCRIPTEN_KEEPALIVE const char* kestrum_cli(const char* args, int progress) {
  std::vector<std::string> arguments = Split_units(args);
  if (arguments.size() == 1 && arguments[0].empty()) arguments.clear();

  // Standard error line by line to the page (the batch's progress), also kept whole.
  class tErr_buf final : public std::stringbuf {
   public:
    explicit tErr_buf(bool forward) : forward_(forward) {}
    int sync() override {
      if (forward_) {
        const std::string text = str().substr(sent_);
        sent_ = str().size();
        Forward(text);
      }
      return 0;
    }

   private:
    static void Forward(const std::string& text) {
      // "kestrum-cli: 12 of 20 cases done, ..." -> the two counts.
      const std::size_t at = text.rfind("kestrum-cli: ");
      if (at == std::string::npos) return;
      long long done = 0, total = 0;
      if (std::sscanf(text.c_str() + at, "kestrum-cli: %lld of %lld", &done, &total) == 2)
        Post_progress(static_cast<double>(done), static_cast<double>(total));
    }
    bool forward_;
    std::size_t sent_ = 0;
  } err_buf(progress != 0);
  std::ostringstream out;
  std::ostream err(&err_buf);
  const int status = Run_cli(arguments, out, err, progress != 0);
  err.flush();
  return Answer("{\"status\":" + std::to_string(status) + ",\"out\":" + Json_string(out.str()) +
                ",\"err\":" + Json_string(err_buf.str()) + "}");
}

}  // extern "C"
