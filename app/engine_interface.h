// SPDX-License-Identifier: GPL-3.0-or-later
// The engine interface: every analysis and the batch behind two calls that take and give
// JSON text, for the front ends that are not the command line or the windows (the web
// page through emscripten, packages for R and Python through their C++ bindings). The
// answers are those of kestrum-cli for the same request: the record is the object that
// `--format json` writes, the report the text of a single run, the batch's output the
// text of `--batch`.
//
// Usage:
//   tEngine_hooks hooks;                      // all optional
//   hooks.Progress = [](std::int64_t done, std::int64_t total) { ... };
//   std::atomic<bool> stop{false};
//   hooks.Cancel = &stop;                     // set it from another thread to stop
//   std::string answer = Engine_run(R"({"analysis": "deficit", "n": 20,
//       "tasks": [{"name": "Naming", "mean": 50, "sd": 10, "case": 28}]})", hooks);
//   // -> {"ok": true, "record": {...}, "report": "...", "plots": {...} or null,
//   //     "warnings": [...]}
//   std::string rows = Engine_batch(request, "id,case\na,30\nb,45\n", "csv", "cases.csv", hooks);
//   // -> {"ok": true, "status": 0, "cancelled": false, "output": "id,case,...", "messages": ""}
//
// The request is the documented input of the toolkit (docs/toolkit_input.md) with its
// "analysis" ("deficit", "dissociation" or "udt"), or the worksheet's:
//   {"analysis": "worksheet", "fields": [mean X, SD X, mean Y, SD Y, r, N, case X, case Y],
//    "options": {"criteria", "tail", "prior", "iterations"}}
// with each field a number or a text that goes through the worksheet's typing rules as
// the command line's options do (for a batch the two case fields may be left out). Either
// may add "notes" (a text split into lines as --notes is, or an array of lines taken as
// they are) and "append": true for a report that follows earlier ones in one text.
//
// A request that cannot be run answers {"ok": false, "field": k, "message": ...}: k is the
// worksheet field (0 to 7) whose text was refused, else -1; a run stopped by Cancel adds
// "cancelled": true. A batch's refused rows and the cases that could not be computed are
// in its output and status (2 or 3), as with the command line.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct tEngine_hooks {
  // A run: Monte Carlo iterations done and their total; a batch: cases done and their
  // number. Called on the computing thread.
  std::function<void(std::int64_t done, std::int64_t total)> Progress;
  // Read while computing; once true the run stops.
  const std::atomic<bool>* Cancel = nullptr;
  // Called once the request has passed its checks, before the computation (the page keeps
  // the control figures then, as the worksheet saves its control-data file).
  std::function<void()> Checked;
  // Threads of a single run's Monte Carlo engine: 0 for two where the machine has them,
  // 1 for the calling thread only. A batch always runs one case at a time on one thread.
  int Engine_threads = 0;
};

// One analysis: the answer described above.
std::string Engine_run(std::string_view request_json, const tEngine_hooks& hooks = {});

// The control figures and options of a batch's request, checked as the batch checks them
// before its first case, so that a front end can refuse them before it reads a case
// file: {"ok": true}, or the refusal described above (the worksheet's field 0 to 5, else
// -1).
std::string Engine_check_controls(std::string_view request_json);

// A batch of cases from a case file's text (CSV, as kestrum-cli --batch reads it) against
// the request's control sample and options; format "csv" or "json"; file_name names the
// file in the messages.
std::string Engine_batch(std::string_view request_json, std::string_view cases,
                         std::string_view format, const std::string& file_name = "cases.csv",
                         const tEngine_hooks& hooks = {});
