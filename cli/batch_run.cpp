// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/batch_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
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

#include "app/batch_output.h"
#include "app/batch_shard.h"
#include "app/safe_text.h"
#include "cli/batch_progress.h"
#include "cli/fd_output.h"
#include "cli/io_wait.h"
#include "cli/terminal_text.h"

namespace {

// One case of a batch, from its reading to its output line.
struct tBatch_slot {
  tBatch_row Row;
  bool Started = false;
  bool Done = false;
  bool Skipped = false;  // another shard's case: neither run nor written
  std::size_t Index = 0;  // the case's place in the file, from 0
  tCase_outcome Outcome;
};

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
  tBatch_run(const tBatch_job& job, const std::string& file_name, bool json,
             tFd_source& source, tBatch_reader& reader, std::ostream& out,
             std::ostream& err, bool progress, tInterrupt* interrupt,
             std::optional<std::size_t> total, const tBatch_sharding& sharding)
      : job_(job), file_name_(file_name), json_(json), reader_(reader), output_(job, json),
        out_(out), err_(err), progress_(progress), interrupt_(interrupt), total_(total),
        sharding_(sharding) {
    observer_.Cancel = &cancel_;
    source.Set_wake_fds({interrupt_ != nullptr ? interrupt_->Wake_fd : -1, stop_pipe_.Read_fd()});
  }
  ~tBatch_run() { Stop_threads(); }

  int Run();

 private:
  void Worker();
  void Reader();
  void Stop_threads();
  bool Read_more();  // false at the end of the file
  void Run_slot(tBatch_slot& slot);
  void Show_progress(bool force);
  void Clear_progress();
  int Write_row(const tBatch_slot& slot);
  int Write_shard_row(const tBatch_slot& slot);
  int Finish_shard(bool interrupted);
  std::string Read_error_message() const;

  const tBatch_job& job_;
  const std::string& file_name_;
  const bool json_;
  tBatch_reader& reader_;
  tBatch_output output_;
  std::ostream& out_;
  std::ostream& err_;
  const bool progress_;
  tInterrupt* interrupt_;
  const std::optional<std::size_t> total_;
  const tBatch_sharding& sharding_;
  const bool sharded_ = sharding_.Shards > 0;
  tBatch_shard shard_;    // the shard file's head and tail, when sharded_
  tInput_digest digest_;  // of every case read, in every shard
  std::size_t read_ = 0;  // the cases read

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
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point shown_{};
  bool progress_shown_ = false;
  std::string read_error_;
};

void tBatch_run::Run_slot(tBatch_slot& slot) {
  slot.Outcome = Run_batch_row(job_, slot.Row, &observer_);
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
  slot.Row = std::move(row);
  digest_.Add(slot.Row.Id);
  digest_.Add(slot.Row.Error);
  for (std::size_t k = 0; k < slot.Row.Values.size(); ++k)
    digest_.Add((k < slot.Row.Given.size() && slot.Row.Given[k] ? "+" : "-") + slot.Row.Values[k]);
  slot.Index = read_++;
  if (sharded_ && !In_shard(slot.Index, sharding_.Shard, sharding_.Shards)) {
    slot.Skipped = slot.Started = slot.Done = true;
  } else if (!slot.Row.Error.empty()) {
    slot.Outcome.Status = kExit_input;
    slot.Outcome.Error = slot.Row.Error;
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

void tBatch_run::Show_progress(bool force) {
  if (!progress_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && now - shown_ < std::chrono::milliseconds(250)) return;
  shown_ = now;
  err_ << Progress_line(written_, total_, std::chrono::duration<double>(now - start_).count())
       << std::flush;
  progress_shown_ = true;
}

void tBatch_run::Clear_progress() {
  if (progress_shown_) err_ << '\n';
  progress_shown_ = false;
}

// A shard's row in its file (the row's text without the output's separators), written
// and flushed as the unsharded row would be; another shard's row only counted.
int tBatch_run::Write_shard_row(const tBatch_slot& slot) {
  ++written_;
  if (slot.Skipped) return kExit_success;
  const tCase_outcome& c = slot.Outcome;
  out_ << Batch_shard_row({slot.Index, slot.Row.Id, c.Status, c.Error, c.Warnings,
                           json_ ? job_.Json_row(slot.Row, c) : job_.Csv_row(slot.Row, c)});
  const int output = Output_status(out_, err_, interrupt_, last_whole_);
  if (output == kExit_success) last_whole_ = "row " + std::to_string(written_) + " (id " + slot.Row.Id + ")";
  return output;
}

// Writes one finished row and flushes it; 0 or the exit status of a failed output.
int tBatch_run::Write_row(const tBatch_slot& slot) {
  if (sharded_) return Write_shard_row(slot);
  if (!slot.Outcome.Warnings.empty()) Clear_progress();
  err_ << Warning_lines(slot.Outcome.Warnings, "case " + slot.Row.Id + ": ");
  out_ << output_.Row(slot.Row, slot.Outcome);
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

  if (sharded_) {
    shard_.Frame = {sharding_.Arguments, sharding_.Shard, sharding_.Shards};
    shard_.Json = json_;
    shard_.Begin = output_.Begin();
    out_ << Batch_shard_head(shard_);
  } else {
    out_ << output_.Begin();
  }
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
  if (sharded_) return Finish_shard(interrupted);
  if (interrupted) {
    // Rows finished before the first unfinished one are complete: write them too.
    while (!window_.empty() && window_.front().Done && !window_.front().Outcome.Cancelled &&
           output == kExit_success) {
      output = Write_row(window_.front());
      window_.pop_front();
    }
  }
  out_ << output_.End();
  if (output == kExit_success) output = Output_status(out_, err_, interrupt_, last_whole_);
  if (Is_interrupted_status(output)) return output_interrupted(output);
  Show_progress(true);
  Clear_progress();
  if (output != kExit_success) return output;
  int status = output_.Status();
  if (!read_error_.empty()) {
    err_ << Read_error_message();
    status = std::max(status, kExit_input);
  }
  err_ << output_.Failures();
  if (interrupted) {
    err_ << "kestrum-cli: Interrupted after " << written_
         << (total_ ? " of " + std::to_string(*total_) : std::string()) << " cases; the "
         << (json_ ? "objects" : "rows")
         << " written are complete.\n";
    return Interrupted_status(interrupt_);
  }
  return status;
}

std::string tBatch_run::Read_error_message() const {
  return "kestrum-cli: the case file " + Printable_text(file_name_) + " was read only to row " +
         std::to_string(written_) + ": " + read_error_ + '\n';
}

// Ends the shard file of a whole shard with its tail; an interrupted shard's file has none,
// so that a merge refuses it.
int tBatch_run::Finish_shard(bool interrupted) {
  Show_progress(true);
  Clear_progress();
  if (interrupted) {
    err_ << "kestrum-cli: Interrupted after " << written_ << " cases; the shard file is "
         << "incomplete, and merge refuses it.\n";
    return Interrupted_status(interrupt_);
  }
  shard_.Cases = read_;
  tInput_digest digest = digest_;
  digest.Add(sharding_.Inputs);
  shard_.Digest = digest.Hex();
  if (!read_error_.empty()) shard_.Read_error = Read_error_message();
  out_ << Batch_shard_tail(shard_);
  return Output_status(out_, err_, interrupt_, last_whole_);
}

}  // namespace

int Run_batch_file(const std::string& file_name, const tBatch_job& job, bool json,
                   const std::function<int()>& before_run, std::ostream& out, std::ostream& err,
                   bool progress, tInterrupt* interrupt, const tBatch_sharding& sharding) {
  for (const std::string& a : sharding.Arguments)
    if (a.find('\n') != std::string::npos) {
      err << "kestrum-cli: an argument holds a line break; a shard file cannot carry it.\n";
      return kExit_usage;
    }
  const tBatch_columns& columns = job.Columns;
  // O_NONBLOCK: a FIFO with no writer yet does not hold the open; the reads then wait in
  // poll, where an interruption ends them.
  const int fd = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    err << "Cannot read the case file " << Printable_text(file_name) << " ("
        << std::strerror(errno) << ")\n";
    return kExit_input;
  }
  const tFd_closer closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    err << "The case file " << Printable_text(file_name)
        << " cannot be used: it is a directory\n";
    return kExit_input;
  }
  tFd_source source(fd);
  source.Set_wake_fds({interrupt != nullptr ? interrupt->Wake_fd : -1});
  tCsv_reader records([&source](char* b, std::size_t n) { return source.Read(b, n); });
  tBatch_reader reader(records, columns);
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
    err << "The case file " << Printable_text(file_name) << " cannot be used: " << message
        << '\n';
    return kExit_input;
  }

  if (before_run) {
    if (const int status = before_run(); status != kExit_success) return status;
  }
  // Cases on all cores. The generator's seeds and the integration state are per thread
  // and every engine resets its seeds, so each case gives the numbers of its single run.
  const std::optional<std::size_t> total = Count_cases(file_name, fd, interrupt, columns);
  tBatch_run run(job, file_name, json, source, reader, out, err, progress, interrupt, total,
                 sharding);
  return run.Run();
}

