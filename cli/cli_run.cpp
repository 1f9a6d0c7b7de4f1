// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <ostream>
#include <system_error>
#include <thread>
#include <type_traits>
#include <variant>

#include "app/control_data.h"
#include "app/input_checks.h"
#include "app/report.h"
#include "app/text_format.h"
#include "cli/batch_csv.h"
#include "cli/cli_args.h"
#include "cli/fd_output.h"
#include "cli/io_wait.h"
#include "cli/toolkit_cli.h"
#include "distrib/number_text.h"
#include "distrib/progress.h"

namespace {

// What one case of a run produced.
struct tCase_outcome {
  bool Computed = false;
  bool Cancelled = false;  // stopped by an interruption: neither results nor an error
  tRun_results Results;
  int Status = kExit_success;  // kExit_input or kExit_computation on failure
  std::string Error;
  std::vector<std::string> Warnings;
};

// Checks and computes one case; the warnings of the statistics are collected for it.
// Nothing here touches the control-data file.
tCase_outcome Run_case(const std::array<std::string, 8>& fields, const tRun_options& options,
                       const tProgress_observer* observer) {
  tCase_outcome outcome;
  const auto checked = Check_inputs(fields, options);
  if (const auto* error = std::get_if<tInput_error>(&checked)) {
    outcome.Status = kExit_input;
    outcome.Error = error->Message;
    return outcome;
  }
  Set_warning_hook([&outcome](const std::string& w) { outcome.Warnings.push_back(w); });
  try {
    outcome.Results = Compute_analysis(std::get<tChecked_inputs>(checked), options, observer);
    outcome.Computed = true;
  } catch (const ECancelled&) {
    outcome.Cancelled = true;
  } catch (const std::bad_alloc&) {
    outcome.Status = kExit_computation;
    outcome.Error = "Not enough memory for " + std::to_string(options.Iterations) +
                    " Monte Carlo iterations.";
  } catch (const std::exception& e) {
    outcome.Status = kExit_computation;
    outcome.Error = e.what();
  }
  Set_warning_hook(nullptr);
  return outcome;
}

// Fills the six control texts from the control-data file; false with a message when the
// file is missing or unreadable.
bool Load_controls(std::array<std::string, 8>& fields, std::string& message) {
  std::string path;
  try {
    path = Data_file_path();
  } catch (const std::exception& e) {
    message = e.what();
    return false;
  }
  const tLoaded_controls loaded = Load_control_data(path);
  if (!loaded.Found) {
    message = "No control data: the control-data file " + path +
              " does not exist (save one with --save-controls).";
    return false;
  }
  if (!loaded.Error.empty()) {
    // A message about the file names it already; one about its contents gets its name.
    message = loaded.File_error ? loaded.Error
                                : "Cannot read the control data from " + path + ": " + loaded.Error;
    return false;
  }
  for (std::size_t i = 0; i < 6; ++i) fields[i] = loaded.Texts[i];
  return true;
}

void Print_warnings(std::ostream& err, const std::vector<std::string>& warnings,
                    const std::string& prefix) {
  for (const std::string& w : warnings) {
    err << "kestrum-cli: " << Printable_text(prefix) << "warning: " << w << '\n';
  }
}

// The worksheet's typing rules on the texts that did not come through a window (the
// command line, a case file), in field order: the first refused text is the error.
// The accepted texts become the typed ones (a comma becomes a point).
std::optional<tInput_error> Check_typed(std::array<std::string, 8>& fields,
                                        const std::array<bool, 8>& typed) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!typed[i]) continue;
    const tTyped_text checked = Check_typed_text(fields[i], kField_captions[i]);
    if (!checked.Ok) return tInput_error{static_cast<int>(i), checked.Message};
    fields[i] = checked.Text;
  }
  return std::nullopt;
}

// A closed pipe (the reader of `| head` has gone) ends the run quietly, as a process
// ended by SIGPIPE would.
constexpr int kExit_broken_pipe = kExit_signal_base + SIGPIPE;

int Interrupted_status(const tInterrupt* interrupt) {
  const int signal = interrupt != nullptr ? static_cast<int>(interrupt->Signal) : 0;
  return kExit_signal_base + (signal > 0 ? signal : SIGINT);
}

// What a failed output holds at its end, for the message: "; the output ends after
// <last_whole>" and whether part of the next row follows it.
std::string Output_end(const std::ostream& out, const std::string& last_whole) {
  const auto* buffer = dynamic_cast<const tFd_output_buffer*>(out.rdbuf());
  const bool partial = buffer != nullptr && buffer->Ends_in_partial_row();
  if (last_whole.empty()) return partial ? "; part of the output was written" : "";
  return "; the output ends after " + last_whole + ", the last whole row" +
         (partial ? ", and part of the next row that could not be removed" : "");
}

// Flushes out. 0 when everything written so far arrived (which is then marked as whole
// rows); else the exit status, with the cause on err (nothing for a closed pipe, and
// nothing for a wait cut short by an interruption, which the caller reports).
// last_whole names the last whole row written, for the message.
int Output_status(std::ostream& out, std::ostream& err, const tInterrupt* interrupt = nullptr,
                  const std::string& last_whole = "") {
  out.flush();
  auto* buffer = dynamic_cast<tFd_output_buffer*>(out.rdbuf());
  if (out) {
    if (buffer != nullptr) buffer->Mark_whole();
    return kExit_success;
  }
  const int error = buffer != nullptr ? buffer->Error() : 0;
  if (error == EPIPE) return kExit_broken_pipe;
  if (error == EINTR) return Interrupted_status(interrupt);
  err << "kestrum-cli: cannot write the output: "
      << (error != 0 ? std::strerror(error) : "the output stream failed")
      << Printable_text(Output_end(out, last_whole)) << '\n';
  return kExit_computation;
}

bool Is_interrupted_status(int status) {
  return status == kExit_signal_base + SIGINT || status == kExit_signal_base + SIGTERM ||
         status == kExit_signal_base + SIGHUP;
}

bool Interrupt_requested(const tInterrupt* interrupt) {
  return interrupt != nullptr && interrupt->Requested.load(std::memory_order_relaxed);
}

int Run_single(const tCli_options& o, std::array<std::string, 8> fields,
               const std::array<bool, 8>& typed, std::ostream& out, std::ostream& err,
               tInterrupt* interrupt) {
  // The worksheet's order: typing, the checks, then the file, then the computation.
  if (const auto error = Check_typed(fields, typed)) {
    err << Message_for_terminal(error->Message) << '\n';
    return kExit_input;
  }
  const auto checked = Check_inputs(fields, o.Run);
  if (const auto* error = std::get_if<tInput_error>(&checked)) {
    err << Message_for_terminal(error->Message) << '\n';
    return kExit_input;
  }
  if (o.Save_controls) {
    try {
      Save_control_data(Data_file_path(), fields);
    } catch (const std::exception& e) {
      err << Message_for_terminal(e.what()) << '\n';
      return kExit_computation;
    }
  }
  tProgress_observer observer;
  if (interrupt != nullptr) observer.Cancel = &interrupt->Requested;
  const tCase_outcome outcome = Run_case(fields, o.Run, &observer);
  Print_warnings(err, outcome.Warnings, "");
  if (outcome.Cancelled || Interrupt_requested(interrupt)) {
    err << "kestrum-cli: Interrupted; nothing was written.\n";
    return Interrupted_status(interrupt);
  }
  if (!outcome.Computed) {
    err << Message_for_terminal(outcome.Error) << '\n';
    return outcome.Status;
  }
  if (o.Format == tOutput_format::Json) {
    out << Results_json(outcome.Results) << '\n';
  } else {
    for (const std::string& line : Report_lines(outcome.Results, o.Notes_lines, false)) {
      out << line << '\n';
    }
  }
  const int status = Output_status(out, err, interrupt);
  if (Is_interrupted_status(status)) {
    err << "kestrum-cli: Interrupted while writing the output"
        << Output_end(out, "") << ".\n";
  }
  return status;
}

// The CSV's result columns come from the figure table: every figure outside the inputs
// (which the command and the rows' id and case columns give), in the table's order, then
// the error column, then the figures added later, so that every earlier column keeps its
// position for the scripts that read it.
struct tCsv_layout {
  std::vector<std::string> Results, Later;  // figure names
};

const tCsv_layout& Csv_layout() {
  static const tCsv_layout layout = [] {
    tRun_results blank;
    Fill_figures(blank);
    tCsv_layout l;
    for (const tFigure& f : blank.Figures.Figures) {
      if (f.Group == "inputs") continue;
      (f.Added_later ? l.Later : l.Results).push_back(f.Name);
    }
    return l;
  }();
  return layout;
}

std::string Csv_header() {
  std::string header = "id,case_x,case_y";
  for (const std::string& name : Csv_layout().Results) header += "," + name;
  header += ",error";
  for (const std::string& name : Csv_layout().Later) header += "," + name;
  return header + "\n";
}

// The result cells of a row, the error cell and the later cells, without the leading
// comma: computed, the figures with an empty error; failed, empty figures and the error.
std::string Csv_cells(const tRun_results* r, const std::string& error) {
  std::string cells;
  const auto add = [&](const std::vector<std::string>& names) {
    for (const std::string& name : names) {
      if (!cells.empty() || &name != &names.front()) cells += ',';
      if (r != nullptr) cells += Csv_value(r->Figures.At(name));
    }
  };
  add(Csv_layout().Results);
  cells += "," + error;
  for (const std::string& name : Csv_layout().Later) {
    cells += ',';
    if (r != nullptr) cells += Csv_value(r->Figures.At(name));
  }
  return cells;
}

// One case of a batch, from its reading to its output line.
struct tBatch_slot {
  tBatch_row Row;
  std::array<std::string, 8> Fields;
  bool Started = false;
  bool Done = false;
  tCase_outcome Outcome;
};

// "about 3 min 20 s left"
std::string Time_left(double seconds) {
  const long s = std::lround(std::max(seconds, 0.0));
  if (s >= 3600) return "about " + std::to_string(s / 3600) + " h " +
                        std::to_string(s % 3600 / 60) + " min left";
  if (s >= 60) return "about " + std::to_string(s / 60) + " min " + std::to_string(s % 60) +
                      " s left";
  return "about " + std::to_string(s) + " s left";
}

// The number of cases in a case file, by a first pass over it; nullopt when it is not a
// regular file (a pipe can be read only once), cannot be read, or the pass was
// interrupted (it checks for a signal at every row, so a huge file does not hold up an
// interruption). `same` is the open case file: the path must still name it.
std::optional<std::size_t> Count_cases(const std::string& path, int same,
                                       const tInterrupt* interrupt) {
  struct stat open_st {};
  if (::fstat(same, &open_st) != 0 || !S_ISREG(open_st.st_mode)) return std::nullopt;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  std::optional<std::size_t> count;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == open_st.st_dev &&
      st.st_ino == open_st.st_ino) {
    try {
      tCsv_reader records(fd);
      records.Detect_separator();
      tBatch_reader reader(records);
      if (reader.Read_header().empty()) {
        std::size_t n = 0;
        tBatch_row row;
        while (!Interrupt_requested(interrupt) && reader.Next(row)) ++n;
        if (!Interrupt_requested(interrupt)) count = n;
      }
    } catch (const std::exception&) {
      count.reset();
    }
  }
  ::close(fd);
  return count;
}

// Closes a file descriptor when it goes.
struct tFd_closer {
  int Fd;
  ~tFd_closer() {
    if (Fd >= 0) ::close(Fd);
  }
};

// Reads the case file row by row on a thread of its own and runs the cases on worker
// threads, a bounded window of rows at a time; writes each row, in the file's order, as
// soon as it and the rows before it are done, and flushes it, whether or not the next
// input row has come. Every wait (for input, for the output, for a case) ends on an
// interruption.
class tBatch_run {
 public:
  tBatch_run(const tCli_options& o, const std::array<std::string, 8>& controls,
             tCsv_reader& records, tBatch_reader& reader, std::ostream& out,
             std::ostream& err, bool progress, tInterrupt* interrupt,
             std::optional<std::size_t> total)
      : o_(o), controls_(controls), records_(records), reader_(reader), out_(out), err_(err),
        progress_(progress), interrupt_(interrupt), total_(total) {
    observer_.Cancel = &cancel_;
    records_.Set_wake_fds({interrupt_ != nullptr ? interrupt_->Wake_fd : -1, stop_pipe_.Read_fd()});
  }
  ~tBatch_run() { Stop_threads(); }

  int Run();

 private:
  void Worker();
  void Reader();
  void Stop_threads();
  bool Read_more();  // false at the end of the file
  void Run_slot(tBatch_slot& slot);
  std::string Row_text(const tBatch_slot& slot) const;
  void Show_progress(bool force);
  void Clear_progress();
  int Write_row(const tBatch_slot& slot);

  const tCli_options& o_;
  const std::array<std::string, 8>& controls_;
  tCsv_reader& records_;
  tBatch_reader& reader_;
  std::ostream& out_;
  std::ostream& err_;
  const bool progress_;
  tInterrupt* interrupt_;
  const std::optional<std::size_t> total_;

  std::atomic<bool> cancel_{false};
  tProgress_observer observer_;
  tWake_pipe stop_pipe_;  // ends the reader's wait for input when the run stops
  std::mutex mutex_;
  // work_ready_: a row to run; slot_done_: a row finished, read, or the end of the file;
  // room_: the window has room for another row.
  std::condition_variable work_ready_, slot_done_, room_;
  std::deque<tBatch_slot> window_;  // rows read and not yet written, in the file's order
  std::size_t capacity_ = 8;
  std::size_t base_ = 0;            // the sequence number of window_.front()
  std::size_t next_ = 0;            // the next row to start
  bool stop_ = false;
  bool end_of_file_ = false;        // guarded by mutex_
  std::vector<std::thread> pool_;
  std::thread reader_thread_;

  std::size_t written_ = 0;
  std::string last_whole_;  // "row 12 (id c11)": the last row written whole
  std::size_t failed_ = 0;  // rows that could not be computed (status 3)
  std::string first_failed_;
  int status_ = kExit_success;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point shown_{};
  bool progress_shown_ = false;
  std::string read_error_;
};

void tBatch_run::Run_slot(tBatch_slot& slot) {
  try {
    slot.Outcome = Run_case(slot.Fields, o_.Run, &observer_);
  } catch (const std::bad_alloc&) {
    slot.Outcome = {};
    slot.Outcome.Status = kExit_computation;
    slot.Outcome.Error = "Not enough memory for this case.";
  } catch (const std::exception& e) {
    slot.Outcome = {};
    slot.Outcome.Status = kExit_computation;
    slot.Outcome.Error = e.what();
  }
}

void tBatch_run::Worker() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    next_ = std::max(next_, base_);
    while (next_ < base_ + window_.size() && window_[next_ - base_].Started) ++next_;
    if (stop_) return;
    if (next_ == base_ + window_.size()) {
      work_ready_.wait(lock);
      continue;
    }
    tBatch_slot& slot = window_[next_ - base_];  // stays in place until it is Done
    slot.Started = true;
    ++next_;
    lock.unlock();
    Run_slot(slot);
    lock.lock();
    slot.Done = true;
    slot_done_.notify_one();
  }
}

void tBatch_run::Reader() {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      room_.wait(lock, [this] { return stop_ || window_.size() < capacity_; });
      if (stop_) break;
    }
    if (!Read_more()) break;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    end_of_file_ = true;
  }
  slot_done_.notify_all();
}

void tBatch_run::Stop_threads() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  stop_pipe_.Wake();
  work_ready_.notify_all();
  room_.notify_all();
  if (reader_thread_.joinable()) reader_thread_.join();
  for (std::thread& t : pool_) t.join();
  pool_.clear();
}

bool tBatch_run::Read_more() {
  tBatch_row row;
  try {
    if (!reader_.Next(row)) return false;
  } catch (const tIo_woken&) {
    return false;  // interrupted or stopped: no more rows
  } catch (const std::runtime_error& e) {
    // The file cannot be read to its end: the rows read so far are finished and written.
    read_error_ = e.what();
    return false;
  }
  tBatch_slot slot;
  slot.Fields = controls_;
  slot.Fields[6] = row.Case_x;
  slot.Fields[7] = row.Case_y;
  slot.Row = std::move(row);
  if (!slot.Row.Error.empty()) {
    slot.Outcome.Status = kExit_input;
    slot.Outcome.Error = slot.Row.Error;
    slot.Started = slot.Done = true;
  } else if (const auto error = Check_typed(slot.Fields, {false, false, false, false, false,
                                                          false, true, true})) {
    slot.Outcome.Status = kExit_input;
    slot.Outcome.Error = error->Message;
    slot.Started = slot.Done = true;
  }
  const bool to_run = !slot.Done;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    window_.push_back(std::move(slot));
  }
  if (to_run) work_ready_.notify_one();
  slot_done_.notify_one();  // a row that is done at once is written at once
  return true;
}

std::string tBatch_run::Row_text(const tBatch_slot& slot) const {
  const tCase_outcome& c = slot.Outcome;
  const tBatch_row& row = slot.Row;
  std::string text;
  if (o_.Format == tOutput_format::Json) {
    text = (written_ == 0 ? "\n" : ",\n");
    text += "{\"id\": " + Json_string(row.Id) + ", \"case_x\": " + Json_string(row.Case_x) +
            ", \"case_y\": " + Json_string(row.Case_y) + ", \"error\": " +
            (c.Computed ? "null" : Json_string(One_line(c.Error))) + ", \"results\": " +
            (c.Computed ? Results_json(c.Results) : "null") + "}";
  } else {
    text = Csv_field(row.Id) + ',' + Csv_field(row.Case_x) + ',' + Csv_field(row.Case_y) + ',';
    text += c.Computed ? Csv_cells(&c.Results, "") : Csv_cells(nullptr, Csv_field(One_line(c.Error)));
    text += '\n';
  }
  return text;
}

void tBatch_run::Show_progress(bool force) {
  if (!progress_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && now - shown_ < std::chrono::milliseconds(250)) return;
  shown_ = now;
  std::string line = "\rkestrum-cli: " + std::to_string(written_);
  if (total_) {
    line += " of " + std::to_string(*total_) + " cases done";
    if (written_ > 0 && written_ < *total_) {
      const double elapsed = std::chrono::duration<double>(now - start_).count();
      line += ", " + Time_left(elapsed / static_cast<double>(written_) *
                               static_cast<double>(*total_ - written_));
    }
  } else {
    line += " cases done";
  }
  line += "        ";  // covers the end of a longer earlier line
  err_ << line << std::flush;
  progress_shown_ = true;
}

void tBatch_run::Clear_progress() {
  if (progress_shown_) err_ << '\n';
  progress_shown_ = false;
}

// Writes one finished row and flushes it; 0 or the exit status of a failed output.
int tBatch_run::Write_row(const tBatch_slot& slot) {
  if (!slot.Outcome.Warnings.empty()) Clear_progress();
  Print_warnings(err_, slot.Outcome.Warnings, "case " + slot.Row.Id + ": ");
  status_ = std::max(status_, slot.Outcome.Status);
  if (slot.Outcome.Status == kExit_computation && failed_++ == 0) {
    first_failed_ = "id " + slot.Row.Id + ": " + One_line(slot.Outcome.Error);
  }
  out_ << Row_text(slot);
  const int output = Output_status(out_, err_, interrupt_, last_whole_);
  if (output != kExit_success) return output;
  ++written_;
  last_whole_ = "row " + std::to_string(written_) + " (id " + slot.Row.Id + ")";
  return kExit_success;
}

int tBatch_run::Run() {
  const std::size_t threads =
      std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 64);
  capacity_ = 4 * threads;
  for (std::size_t t = 0; t < threads; ++t) {
    try {
      pool_.emplace_back([this] { Worker(); });
    } catch (const std::system_error&) {
      break;  // fewer threads; with none, this thread runs the cases itself
    }
  }
  try {
    reader_thread_ = std::thread([this] { Reader(); });
  } catch (const std::system_error&) {
    // No thread for the input: this thread reads between the rows it writes.
  }

  out_ << (o_.Format == tOutput_format::Json ? std::string("[") : Csv_header());
  int output = Output_status(out_, err_, interrupt_);
  bool interrupted = false;
  while (output == kExit_success) {
    if (Interrupt_requested(interrupt_)) {
      interrupted = true;
      break;
    }
    if (!reader_thread_.joinable() && !end_of_file_) {
      bool end = false;
      while (!end && window_.size() < capacity_) end = !Read_more();
      if (end) end_of_file_ = true;
    }
    if (pool_.empty()) {
      // No worker thread: run the next case here.
      for (tBatch_slot& slot : window_) {
        if (slot.Started) continue;
        slot.Started = true;
        Run_slot(slot);
        slot.Done = true;
        break;
      }
    }
    // Write every finished row at the front of the window.
    std::unique_lock<std::mutex> lock(mutex_);
    while (!window_.empty() && window_.front().Done) {
      if (window_.front().Outcome.Cancelled) break;  // interrupted: written no more
      tBatch_slot slot = std::move(window_.front());
      window_.pop_front();
      ++base_;
      lock.unlock();
      room_.notify_one();
      output = Write_row(slot);
      lock.lock();
      if (output != kExit_success) break;
    }
    if (output != kExit_success) break;
    if (end_of_file_ && window_.empty()) break;
    if (!window_.empty() && window_.front().Done && window_.front().Outcome.Cancelled) {
      interrupted = true;
      break;
    }
    const bool can_wait = reader_thread_.joinable() || end_of_file_ || window_.size() >= capacity_;
    if (!pool_.empty() && can_wait && !(!window_.empty() && window_.front().Done)) {
      slot_done_.wait_for(lock, std::chrono::milliseconds(50));
    }
    lock.unlock();
    Show_progress(false);
  }

  // An interruption that ended the wait for input looks like the end of the file to the
  // loop: it is an interruption all the same.
  if (output == kExit_success && Interrupt_requested(interrupt_)) interrupted = true;

  // Interrupted, or the output failed: cancel the cases in flight and let them end.
  cancel_.store(true);
  Stop_threads();
  // A wait for the output cut short by an interruption: the output is left as the buffer
  // could cut it, and written no further.
  const auto output_interrupted = [this](int status) {
    Clear_progress();
    err_ << "kestrum-cli: Interrupted after " << written_
         << (total_ ? " of " + std::to_string(*total_) : std::string())
         << " cases while the output could not be written"
         << Printable_text(Output_end(out_, last_whole_)) << ".\n";
    return status;
  };
  if (Is_interrupted_status(output)) return output_interrupted(output);
  if (output != kExit_success) {
    Clear_progress();
    return output;
  }
  if (interrupted) {
    // Rows finished before the first unfinished one are complete: write them too.
    while (!window_.empty() && window_.front().Done && !window_.front().Outcome.Cancelled &&
           output == kExit_success) {
      output = Write_row(window_.front());
      window_.pop_front();
    }
  }
  if (o_.Format == tOutput_format::Json) out_ << "\n]\n";
  if (output == kExit_success) output = Output_status(out_, err_, interrupt_, last_whole_);
  if (Is_interrupted_status(output)) return output_interrupted(output);
  Show_progress(true);
  Clear_progress();
  if (output != kExit_success) return output;
  if (!read_error_.empty()) {
    err_ << "kestrum-cli: the case file " << Printable_text(o_.Batch_file)
         << " was read only to row " << written_ << ": " << read_error_ << '\n';
    status_ = std::max(status_, kExit_input);
  }
  if (failed_ > 0) {
    // Status 3 always comes with its cause on standard error, a lack of memory above all.
    err_ << "kestrum-cli: " << failed_ << (failed_ == 1 ? " case" : " cases")
         << " could not be computed (the first, " << Printable_text(first_failed_)
         << "); the rows carry the error.\n";
  }
  if (interrupted) {
    err_ << "kestrum-cli: Interrupted after " << written_
         << (total_ ? " of " + std::to_string(*total_) : std::string()) << " cases; the "
         << (o_.Format == tOutput_format::Json ? "objects" : "rows")
         << " written are complete.\n";
    return Interrupted_status(interrupt_);
  }
  return status_;
}

int Run_batch(const tCli_options& o, std::array<std::string, 8> controls,
              const std::array<bool, 8>& typed, std::ostream& out, std::ostream& err,
              bool progress, tInterrupt* interrupt) {
  // O_NONBLOCK: a FIFO with no writer yet does not hold the open; the reads then wait in
  // poll, where an interruption ends them.
  const int fd = ::open(o.Batch_file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    err << "Cannot read the case file " << Printable_text(o.Batch_file) << " ("
        << std::strerror(errno) << ")\n";
    return kExit_input;
  }
  const tFd_closer closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    err << "The case file " << Printable_text(o.Batch_file)
        << " cannot be used: it is a directory\n";
    return kExit_input;
  }
  tCsv_reader records(fd);
  records.Set_wake_fds({interrupt != nullptr ? interrupt->Wake_fd : -1});
  tBatch_reader reader(records);
  std::string message;
  try {
    records.Detect_separator();
    message = reader.Read_header();
  } catch (const tIo_woken&) {
    err << "kestrum-cli: Interrupted while waiting for the case file; nothing was written.\n";
    return Interrupted_status(interrupt);
  } catch (const std::runtime_error& e) {
    message = e.what();
  }
  if (!message.empty()) {
    err << "The case file " << Printable_text(o.Batch_file) << " cannot be used: " << message
        << '\n';
    return kExit_input;
  }

  // The control sample is the same for every case: check it once, with placeholder case
  // scores, so that a bad control figure is reported once and nothing is computed.
  if (const auto error = Check_typed(controls, typed)) {
    err << Message_for_terminal(error->Message) << '\n';
    return kExit_input;
  }
  std::array<std::string, 8> probe = controls;
  probe[6] = probe[7] = "0";
  const auto probe_checked = Check_inputs(probe, o.Run);
  if (const auto* error = std::get_if<tInput_error>(&probe_checked);
      error != nullptr && error->Field < 6) {
    err << Message_for_terminal(error->Message) << '\n';
    return kExit_input;
  }
  if (o.Save_controls) {
    std::array<std::string, 8> saved = controls;
    saved[6] = saved[7] = "";
    try {
      Save_control_data(Data_file_path(), saved);
    } catch (const std::exception& e) {
      err << Message_for_terminal(e.what()) << '\n';
      return kExit_computation;
    }
  }

  // Cases on all cores. The generator's seeds and the integration state are per thread
  // and every engine resets its seeds, so each case gives the numbers of its single run.
  const std::optional<std::size_t> total = Count_cases(o.Batch_file, fd, interrupt);
  tBatch_run run(o, controls, records, reader, out, err, progress, interrupt, total);
  return run.Run();
}

}  // namespace

std::string Message_for_terminal(const std::string& message) {
  std::string out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t cr = message.find('\r', start);
    out += Printable_text(message.substr(start, cr - start));
    if (cr == std::string::npos) return out;
    out += '\n';
    start = cr + 1;
  }
}

namespace {

int Run_cli_unguarded(const std::vector<std::string>& args, std::ostream& out,
                      std::ostream& err, bool progress, tInterrupt* interrupt) {
  const auto parsed = Parse_arguments(args);
  if (const auto* usage = std::get_if<tUsage_error>(&parsed)) {
    err << "kestrum-cli: " << Printable_text(usage->Message) << "\nTry 'kestrum-cli --help'.\n";
    return kExit_usage;
  }
  const tCli_options& o = std::get<tCli_options>(parsed);
  if (o.Mode == tCli_mode::Help || o.Mode == tCli_mode::Version) {
    out << (o.Mode == tCli_mode::Help ? Usage_text() : Version_text());
    return Output_status(out, err);
  }
  std::array<std::string, 8> fields = o.Fields;
  // The texts from the command line follow the typing rules; the control figures read
  // from the control-data file are shown in the fields as they are.
  std::array<bool, 8> typed = o.Field_given;
  if (o.Use_controls) {
    std::string message;
    if (!Load_controls(fields, message)) {
      err << message << '\n';
      return kExit_input;
    }
    for (std::size_t i = 0; i < 6; ++i) typed[i] = false;
  }
  if (o.Mode == tCli_mode::Batch) {
    return Run_batch(o, fields, typed, out, err, progress, interrupt);
  }
  return Run_single(o, fields, typed, out, err, interrupt);
}

}  // namespace

int Run_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            bool progress, tInterrupt* interrupt) {
  try {
    // The toolkit's subcommands; with none, the worksheet's analysis as always.
    if (!args.empty() && Is_toolkit_subcommand(args[0]))
      return Run_toolkit_cli(args, out, err, progress, interrupt);
    return Run_cli_unguarded(args, out, err, progress, interrupt);
  } catch (const std::bad_alloc&) {
    err << "kestrum-cli: not enough memory to go on.\n";
  } catch (const std::exception& e) {
    err << "kestrum-cli: " << e.what() << '\n';
  }
  return kExit_computation;
}
