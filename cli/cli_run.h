// kestrum-cli as a function: parses the arguments, runs the analysis (or a batch of
// cases) and writes the output, returning the exit status. main() only connects it to
// the process's streams.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "app/analysis_run.h"

// Exit statuses.
constexpr int kExit_success = 0;
constexpr int kExit_usage = 1;
constexpr int kExit_input = 2;
constexpr int kExit_computation = 3;

// args are the arguments after the program name. progress: show batch progress on err.
int Run_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            bool progress);

// "strong", "classical" or "neither".
std::string Classification(const tRun_results& results);

// One run as the JSON object of --format json (no trailing line end).
std::string Results_json(const tRun_results& results);

// A worksheet message for a terminal: each CR becomes a line end.
std::string Message_for_terminal(const std::string& message);

// A JSON string literal (quotes included); bytes that are not UTF-8 become U+FFFD.
std::string Json_string(const std::string& text);
