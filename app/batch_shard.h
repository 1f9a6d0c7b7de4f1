// SPDX-License-Identifier: GPL-3.0-or-later
// The shard files of a batch (--shard K/N) and their merge. Shard K of N runs the cases
// whose place in the case file, counted from 0, leaves K - 1 when divided by N (cases
// 1, N + 1, 2N + 1, ... go to shard 1), so every shard has its share of the file, long or
// short, and reads the file to its end. Each row's result depends on the row and the run's
// settings alone, never on the rows before it, so a row gives the same text in any shard.
// A shard file holds, in the frame of app/shard_file.h, what the merge needs to write the
// unsharded run's output, messages and exit status exactly: the output's beginning, each
// of its rows' place, id, status, error, warnings and output text, then the number of
// cases and a digest of them and of the inputs read from files (so that shards of a
// changed case file are refused), and the message of a file not read to its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/batch_output.h"
#include "app/shard_file.h"

struct tBatch_shard_row {
  std::size_t Index = 0;  // the case's place in the file, 0 for the first
  std::string Id;
  int Status = kExit_success;
  std::string Error;
  std::vector<std::string> Warnings;
  std::string Text;  // the CSV row or the JSON object, as the batch writes it
};

struct tBatch_shard {
  tShard_frame Frame;
  bool Json = false;
  std::string Begin;       // the CSV header or "["
  std::size_t Cases = 0;   // the cases of the whole file
  std::string Digest;      // tInput_digest of the cases and the inputs
  std::string Read_error;  // the message of a case file not read to its end, or ""
  std::vector<tBatch_shard_row> Rows;  // this shard's rows, in the file's order
};

// Whether the case at `index` (from 0) belongs to shard `shard` of `shards`.
inline bool In_shard(std::size_t index, int shard, int shards) {
  return index % static_cast<std::size_t>(shards) == static_cast<std::size_t>(shard - 1);
}

// 64-bit FNV-1a over texts, each with its length, so that ("ab", "c") and ("a", "bc")
// differ (Fowler, Noll and Vo's hash: a check against a changed input, not a safeguard
// against a forged one).
class tInput_digest {
 public:
  void Add(const std::string& text);
  std::string Hex() const;

 private:
  void Byte(unsigned char b);
  std::uint64_t hash_ = 0xcbf29ce484222325ULL;  // the FNV offset basis
};

// A shard file is written as it runs: the head (frame, format, the output's beginning),
// each row as it is finished, and the tail (the number of cases, the digest, the message of
// a file not read to its end, "end"), which only a whole shard has. The whole file:
// head + rows + tail.
std::string Batch_shard_head(const tBatch_shard& shard);
std::string Batch_shard_row(const tBatch_shard_row& row);
std::string Batch_shard_tail(const tBatch_shard& shard);
std::string Batch_shard_text(const tBatch_shard& shard);
// Whether a text is a batch's shard file (by its first line).
bool Is_batch_shard(const std::string& text);
// Throws std::runtime_error with a readable message on a malformed file.
tBatch_shard Read_batch_shard(const std::string& text);
// Shards 1..N of one batch put together: the unsharded run's output, a piece at a time
// through `write` (a batch's output may be larger than is worth holding twice), and its
// messages and status (Output stays empty). Throws std::runtime_error naming what is
// missing, repeated or mismatched, before anything is written.
tText_batch Merge_batch_shards(const std::vector<tBatch_shard>& shards,
                               const std::function<void(const std::string&)>& write);
