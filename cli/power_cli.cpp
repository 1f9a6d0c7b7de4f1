// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/power_cli.h"

#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>

#include "app/batch_shard.h"
#include "app/safe_text.h"
#include "cli/toolkit_cli.h"
#include "distrib/number_text.h"

namespace {

// The largest correlation or power shard file read, and the largest batch shard file (a
// batch's results, a share of them in each).
constexpr std::size_t kMax_file = std::size_t{256} << 20;
constexpr std::size_t kMax_batch_shard = std::size_t{4} << 30;

// Reads a whole file, and no more than `limit` bytes of it (a device that never ends, such
// as /dev/zero, is refused at the limit rather than read until memory runs out). With a
// `start`, a file whose first bytes are not it is refused after its first block.
bool Read_file(const std::string& path, std::string& text, std::string& message,
               std::size_t limit = kMax_file, const std::string& start = "") {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    message = "cannot open " + Printable_text(path);
    return false;
  }
  text.clear();
  std::vector<char> buffer(1 << 16);
  while (in && text.size() <= limit) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    text.append(buffer.data(), static_cast<std::size_t>(in.gcount()));
    if (text.compare(0, start.size(), start) != 0) {
      message = Printable_text(path) + ": not a shard file of this program (first line)";
      return false;
    }
  }
  if (in.bad() || text.size() > limit) {
    message = "cannot read " + Printable_text(path) + " (unreadable or larger than " +
              std::to_string(limit >> 20) + " MiB)";
    return false;
  }
  return true;
}

struct tProgress_line {
  std::ostream* Err = nullptr;
  std::int64_t Before = 0, Total = 0;
  void Show(std::int64_t done) const {
    if (Err != nullptr) *Err << "\rkestrum-cli power: " << (Before + done) << " of " << Total << std::flush;
  }
  void End() const {
    if (Err != nullptr) *Err << '\n';
  }
};

int Usage(std::ostream& err, const std::string& message) {
  err << "kestrum-cli power: " << Printable_text(message) << "\nTry 'kestrum-cli power --help'.\n";
  return kExit_usage;
}

}  // namespace

int Run_power_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  bool progress, tInterrupt* interrupt) {
  const auto parsed = Parse_power_arguments(args);
  if (const auto* usage = std::get_if<std::string>(&parsed)) return Usage(err, *usage);
  tPower_request o = std::get<tPower_request>(parsed);
  if (o.Help) {
    out << Power_usage_text();
    return Output_status(out, err);
  }
  std::vector<std::vector<std::string>> file_matrix;
  if (!o.Correlations_file.empty()) {
    std::string text, message;
    if (!Read_file(o.Correlations_file, text, message)) {
      err << "kestrum-cli: " << message << '\n';
      return kExit_input;
    }
    const auto m = Correlations_from_text(text, Power_variable_names(o));
    if (const auto* e = std::get_if<std::string>(&m)) {
      err << "kestrum-cli: " << Printable_text(o.Correlations_file) << ": " << Printable_text(*e) << '\n';
      return kExit_input;
    }
    file_matrix = std::get<0>(m);
  }
  if (const std::string m = Set_power_matrix(o, o.Correlations_file.empty() ? nullptr : &file_matrix); !m.empty())
    return Usage(err, m);
  const tPower_job& job = o.Job;
  try {
    Check_power_job(job);
  } catch (const std::invalid_argument& e) {
    err << "kestrum-cli: " << e.what() << '\n';
    return kExit_input;
  }
  tProgress_line line;
  if (progress) line.Err = &err;
  line.Total = Power_job_units(job);
  tProgress_observer observer;
  if (interrupt != nullptr) observer.Cancel = &interrupt->Requested;
  observer.Progress = [&line](std::int64_t done, std::int64_t) { line.Show(done); };
  std::vector<tPower_row> rows;
  bool complete = true;
  try {
    if (o.Shards > 0) {
      tShard_file shard{o.Canonical, o.Shard, o.Shards, {}};
      for (const tGrid_point& p : Grid_points(job)) {
        shard.Point_blocks.push_back(Point_blocks(job, p, o.Shard, o.Shards, &observer));
        line.Before += Total_of(shard.Point_blocks.back()).Count;
      }
      line.End();
      out << Shard_text(shard);
      return Output_status(out, err, interrupt);
    }
    complete = Run_power_job(job, &observer, rows);
  } catch (const ECancelled&) {
    complete = false;
  } catch (const std::invalid_argument& e) {
    line.End();
    err << "kestrum-cli: " << e.what() << '\n';
    return kExit_input;
  }
  line.End();
  if (!complete && o.Shards > 0) {
    err << "kestrum-cli: Interrupted; the shard file was not written.\n";
    return Interrupted_status(interrupt);
  }
  out << Power_output(job, rows, o.Format, complete);
  const int status = Output_status(out, err, interrupt);
  if (status != 0) return status;
  return complete ? kExit_success : Interrupted_status(interrupt);
}

namespace {

// The merge of a batch's shard files.
int Merge_batch(const std::vector<tBatch_shard>& shards, std::ostream& out, std::ostream& err) {
  tText_batch merged;
  try {
    merged = Merge_batch_shards(shards, [&out](const std::string& text) { out << text; });
  } catch (const std::exception& e) {
    err << "kestrum-cli merge: " << e.what() << '\n';
    return kExit_input;
  }
  const int output = Output_status(out, err);
  if (output != kExit_success) return output;
  err << merged.Messages;
  return merged.Status;
}

// The merge of a power run's shard files.
int Merge_power(const std::vector<tShard_file>& shards, std::ostream& out, std::ostream& err) {
  std::vector<std::vector<tPower_block>> blocks;
  try {
    blocks = Merge_shards(shards);
  } catch (const std::exception& e) {
    err << "kestrum-cli merge: " << e.what() << '\n';
    return kExit_input;
  }
  const auto parsed = Parse_power_arguments(shards.front().Arguments);
  if (const auto* usage = std::get_if<std::string>(&parsed)) {
    err << "kestrum-cli merge: the shards' arguments are refused: " << Printable_text(*usage) << '\n';
    return kExit_input;
  }
  tPower_request o = std::get<tPower_request>(parsed);
  if (const std::string m = Set_power_matrix(o, nullptr); !m.empty()) {
    err << "kestrum-cli merge: " << m << '\n';
    return kExit_input;
  }
  const std::vector<tGrid_point> points = Grid_points(o.Job);
  if (points.size() != blocks.size()) {
    err << "kestrum-cli merge: the shards hold " << blocks.size() << " points, the run " << points.size() << '\n';
    return kExit_input;
  }
  std::vector<tPower_row> rows;
  for (std::size_t p = 0; p < points.size(); ++p) rows.push_back(Finish_point(o.Job, points[p], blocks[p]));
  out << Power_output(o.Job, rows, o.Format);
  return Output_status(out, err);
}

}  // namespace

int Run_merge_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() >= 2 && (args[1] == "--help" || args[1] == "-h")) {
    out << "Usage: kestrum-cli merge SHARD_FILE...\n\n"
           "Combines the shard files of a power run (`kestrum-cli power ... --shard K/N`) or of\n"
           "a batch (`kestrum-cli ... --batch FILE --shard K/N`), K = 1 .. N in any order, into\n"
           "the output the run would have written unsharded, byte for byte; for a batch also its\n"
           "messages and exit status. Missing, repeated or foreign shards are refused.\n";
    return Output_status(out, err);
  }
  if (args.size() < 2) {
    err << "kestrum-cli merge: no shard files given\nTry 'kestrum-cli merge --help'.\n";
    return kExit_usage;
  }
  // Each file parsed as soon as it is read, and its text let go: a batch's shards hold
  // its results, which may be large.
  std::vector<tBatch_shard> batches;
  std::vector<tShard_file> powers;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string text, message;
    if (!Read_file(args[i], text, message, kMax_batch_shard, "kestrum-")) {
      err << "kestrum-cli: " << message << '\n';
      return kExit_input;
    }
    try {
      if (Is_batch_shard(text)) batches.push_back(Read_batch_shard(text));
      else if (Is_power_shard(text) && text.size() <= kMax_file) powers.push_back(Read_shard(text));
      else throw std::runtime_error("not a shard file of this program (first line)");
    } catch (const std::exception& e) {
      err << "kestrum-cli: " << Printable_text(args[i]) << ": " << e.what() << '\n';
      return kExit_input;
    }
  }
  if (!batches.empty() && !powers.empty()) {
    err << "kestrum-cli merge: the shard files come from different runs (a power run's and a batch's)\n";
    return kExit_input;
  }
  return !batches.empty() ? Merge_batch(batches, out, err) : Merge_power(powers, out, err);
}
