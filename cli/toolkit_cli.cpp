// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/toolkit_cli.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <ostream>

#include "app/record_writers.h"
#include "app/request_reader.h"
#include "app/analysis_file.h"
#include "app/safe_text.h"
#include "app/toolkit_record.h"
#include "app/toolkit_report.h"
#include "app/batch_job.h"
#include "app/csv_reader.h"
#include "cli/batch_run.h"
#include "cli/exit_status.h"
#include "cli/io_wait.h"
#include "cli/single_run.h"
#include "cli/terminal_text.h"

namespace {

// The largest correlation or input file read (a matrix of six variables is a few hundred
// bytes).
constexpr std::size_t kMax_input_file = 1 << 20;

}  // namespace

bool Is_toolkit_subcommand(const std::string& word) { return Analysis_of(word).has_value(); }

std::variant<tText_matrix, std::string> Correlations_from_text(
    const std::string& text, const std::vector<std::string>& names) {
  const std::string trimmed = Trim_blanks(text);
  if (!trimmed.empty() && (trimmed[0] == '[' || trimmed[0] == '{')) {
    try {
      return Correlations_from_json(Parse_json(text), names);
    } catch (const std::exception& e) {
      return std::string("the correlation file is not valid JSON (") + e.what() + ").";
    }
  }
  tCsv_reader reader{std::string_view(text)};
  tCsv_record record;
  tText_matrix rows;
  std::vector<std::string> file_names;
  bool first = true, name_column = false;
  while (reader.Next(record)) {
    if (!record.Error.empty()) return "the correlation file: " + record.Error;
    if (record.Fields.size() == 1 && Trim_blanks(record.Fields[0]).empty()) continue;
    std::vector<std::string> cells;
    for (const auto& f : record.Fields) cells.push_back(Trim_blanks(f));
    if (first) {
      first = false;
      // A header row: its last cell is not a number.
      if (!Matrix_number(cells.back())) {
        name_column = Trim_blanks(cells.front()).empty() || cells.size() == names.size() + 1;
        file_names.assign(cells.begin() + (name_column ? 1 : 0), cells.end());
        continue;
      }
    }
    if (name_column && !cells.empty()) cells.erase(cells.begin());
    while (!cells.empty() && cells.back().empty()) cells.pop_back();  // a lower triangle
    rows.push_back(cells);
  }
  return Correlations_from_rows(rows, file_names, names);
}

namespace {

// Reads a whole (small) input file. Non-blocking, and every wait for input polls the wake
// pipe, so that a FIFO or a stalled pipe can be left on a signal. Throws tIo_woken then.
std::variant<std::string, std::string> Read_input_file(const std::string& path, int wake_fd) {
  using tResult = std::variant<std::string, std::string>;
  const auto failed = [](std::string message) { return tResult(std::in_place_index<1>, std::move(message)); };
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return failed("cannot open " + Printable_text(path) + ": " + std::strerror(errno));
  struct tCloser {
    int fd;
    ~tCloser() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
    return failed("cannot read " + Printable_text(path) + ": it is a directory");
  const std::vector<int> wake = wake_fd >= 0 ? std::vector<int>{wake_fd} : std::vector<int>{};
  std::string text;
  char buffer[4096];
  for (;;) {
    // Wait first where a signal may wake the wait (a FIFO with nothing yet); without a wake
    // pipe (WebAssembly, whose files cannot be polled) a regular file is read at once.
    if (!wake.empty() && !Wait_for_io(fd, POLLIN, wake)) throw tIo_woken{};
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      const int error = errno;
      // Nothing yet on a non-blocking descriptor: without a wake pipe, wait for it here.
      if ((error == EAGAIN || error == EWOULDBLOCK) && wake.empty()) Wait_for_io(fd, POLLIN, wake);
      if (error == EINTR || error == EAGAIN || error == EWOULDBLOCK) continue;
      return failed("cannot read " + Printable_text(path) + ": " + std::strerror(error));
    }
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > kMax_input_file)
      return failed(Printable_text(path) + " is larger than 1 MiB; it is not an input file of this program.");
  }
  return tResult(std::in_place_index<0>, text);
}

// Every figure and setting of a request as one text, for a shard file's digest: the files
// (--input, --correlations) may change between the shards of a batch.
std::string Request_inputs(const tAnalysis_request& r) {
  std::string t = r.N;
  for (const auto* group : {&r.Covariates, &r.Tasks})
    for (const tVariable_texts& v : *group) t += '\n' + v.Name + '\n' + v.Mean + '\n' + v.Sd + '\n' + v.Case;
  for (const auto& row : r.Correlations)
    for (const std::string& c : row) t += '\n' + c;
  const tRun_options& o = r.Options;
  for (const long long k : {static_cast<long long>(o.Criteria), static_cast<long long>(o.Tail),
                            static_cast<long long>(o.Prior), static_cast<long long>(o.Iterations),
                            static_cast<long long>(r.With_udt)})
    t += '\n' + std::to_string(k);
  return t;
}

}  // namespace

int Run_toolkit_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    bool progress, tInterrupt* interrupt) {
  const auto parsed = Parse_toolkit_arguments(args);
  if (const auto* usage = std::get_if<tUsage_error>(&parsed)) {
    err << "kestrum-cli " << args[0] << ": " << Printable_text(usage->Message)
        << "\nTry 'kestrum-cli " << args[0] << " --help'.\n";
    return kExit_usage;
  }
  tToolkit_cli o = std::get<tToolkit_cli>(parsed);
  if (o.Help) {
    out << Toolkit_usage_text(args[0]);
    return Output_status(out, err);
  }
  const int wake_fd = interrupt != nullptr ? interrupt->Wake_fd : -1;
  tAnalysis_request request = o.Request;
  // The report's User's Notes: --notes, else those of an input file a window saved.
  std::vector<std::string> notes_lines = o.Notes_lines;
  try {
    if (!o.Input_file.empty()) {
      const auto text = Read_input_file(o.Input_file, wake_fd);
      if (text.index() == 1) {
        err << "kestrum-cli: " << std::get<1>(text) << '\n';
        return kExit_input;
      }
      try {
        const tJson_value doc = Parse_json(std::get<0>(text));
        const auto r = Request_from_json(doc, request.Kind);
        if (const auto* e = std::get_if<std::string>(&r)) {
          err << "kestrum-cli: " << Printable_text(o.Input_file) << ": " << Printable_text(*e) << '\n';
          return kExit_input;
        }
        const tRun_options cli_options = request.Options;
        request = std::get<tAnalysis_request>(r);
        request.Options.Engine_threads = cli_options.Engine_threads;
        if (const tJson_value* notes = doc.Find("notes")) {
          const auto text = Notes_of(*notes);
          if (text.index() == 1) {
            err << "kestrum-cli: " << Printable_text(o.Input_file) << ": " << std::get<1>(text) << '\n';
            return kExit_input;
          }
          if (notes_lines.empty()) notes_lines = Split_notes(std::get<0>(text));
        }
      } catch (const std::runtime_error& e) {
        err << "kestrum-cli: " << Printable_text(o.Input_file) << ": " << e.what() << '\n';
        return kExit_input;
      }
    } else if (!o.Correlations_file.empty()) {
      const auto text = Read_input_file(o.Correlations_file, wake_fd);
      if (text.index() == 1) {
        err << "kestrum-cli: " << std::get<1>(text) << '\n';
        return kExit_input;
      }
      const auto m = Correlations_from_text(std::get<0>(text), Variable_names(request));
      if (const auto* e = std::get_if<std::string>(&m)) {
        err << "kestrum-cli: " << Printable_text(o.Correlations_file) << ": " << Printable_text(*e) << '\n';
        return kExit_input;
      }
      request.Correlations = std::get<tText_matrix>(m);
    } else if (request.Tasks.size() == 2) {
      request.Correlations = {{}, {o.R_xy}};
    } else {
      request.Correlations = {{}};
    }
  } catch (const tIo_woken&) {
    err << "kestrum-cli: Interrupted while waiting for the input file; nothing was written.\n";
    return Interrupted_status(interrupt);
  }
  // A batch runs its cases side by side, each on one engine thread (the least CPU time
  // per case); a single run uses the engine's two threads where the machine has them.
  if (!o.Batch_file.empty()) {
    request.Options.Engine_threads = 1;
    const auto before_run = [&]() -> int {
      if (const auto message = Check_toolkit_controls(request)) {
        err << Message_for_terminal(*message) << '\n';
        return kExit_input;
      }
      return kExit_success;
    };
    return Run_batch_file(o.Batch_file, Toolkit_batch_job(request),
                          o.Format == tOutput_format::Json, before_run, out, err, progress,
                          interrupt, {o.Shard, o.Shards, o.Canonical, Request_inputs(request)});
  }
  request.Options.Engine_threads = 0;

  tProgress_observer observer;
  if (interrupt != nullptr) observer.Cancel = &interrupt->Requested;
  tAnalysis_record record;
  const tCase_outcome outcome = Run_request_case(request, &observer, record);
  return Finish_single_run(
      {outcome.Computed, outcome.Cancelled, outcome.Status, outcome.Error, &outcome.Warnings},
      o.Format == tOutput_format::Json, [&] { return Toolkit_json(record); },
      [&] { return Toolkit_report_lines(record, notes_lines, false); }, out, err,
      interrupt);
}
