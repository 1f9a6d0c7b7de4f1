// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/batch_shard.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>
#include <stdexcept>

namespace {

// The first line of a batch's shard file, with the format's version.
constexpr const char* kBatch_magic = "kestrum-batch-shard 1";
// The FNV-1a prime of 64 bits, 2^40 + 2^8 + 0xb3.
constexpr std::uint64_t kFnv_prime = 0x100000001b3ULL;

// "NAME VALUE" with a whole number from 0 to hi, or a readable fault.
std::size_t Count(const tShard_reader& in, const std::string& line, const std::string& name,
                  std::size_t hi) {
  if (line.rfind(name + ' ', 0) != 0) throw in.Bad(name + " line");
  std::size_t value = 0;
  const char* first = line.data() + name.size() + 1;
  const char* last = line.data() + line.size();
  const auto r = std::from_chars(first, last, value);
  if (first == last || r.ec != std::errc{} || r.ptr != last || value > hi) throw in.Bad(name + " line");
  return value;
}

}  // namespace

void tInput_digest::Byte(unsigned char b) {
  hash_ ^= b;
  hash_ *= kFnv_prime;
}

void tInput_digest::Add(const std::string& text) {
  for (std::uint64_t n = text.size(), k = 0; k < 8; ++k, n >>= 8) Byte(static_cast<unsigned char>(n & 0xff));
  for (const char c : text) Byte(static_cast<unsigned char>(c));
}

std::string tInput_digest::Hex() const {
  char b[17];
  std::snprintf(b, sizeof b, "%016llx", static_cast<unsigned long long>(hash_));
  return b;
}

std::string Batch_shard_head(const tBatch_shard& shard) {
  return Shard_frame_text(kBatch_magic, shard.Frame) + "json " + (shard.Json ? "1" : "0") + '\n' +
         Shard_chunk("begin", shard.Begin);
}

std::string Batch_shard_row(const tBatch_shard_row& r) {
  std::string o = "index " + std::to_string(r.Index) + "\nstatus " + std::to_string(r.Status) +
                  "\nwarnings " + std::to_string(r.Warnings.size()) + '\n' +
                  Shard_chunk("id", r.Id) + Shard_chunk("error", r.Error);
  for (const std::string& w : r.Warnings) o += Shard_chunk("warning", w);
  return o + Shard_chunk("text", r.Text);
}

std::string Batch_shard_tail(const tBatch_shard& shard) {
  return "cases " + std::to_string(shard.Cases) + '\n' + Shard_chunk("digest", shard.Digest) +
         Shard_chunk("read-error", shard.Read_error) + "end\n";
}

std::string Batch_shard_text(const tBatch_shard& shard) {
  std::string o = Batch_shard_head(shard);
  for (const tBatch_shard_row& r : shard.Rows) o += Batch_shard_row(r);
  return o + Batch_shard_tail(shard);
}

bool Is_batch_shard(const std::string& text) { return Shard_magic_of(text) == kBatch_magic; }

tBatch_shard Read_batch_shard(const std::string& text) {
  tShard_reader in(text, kBatch_magic, "batch shard file");
  tBatch_shard s;
  s.Frame = in.Frame();
  // Every count is bounded by the text's length: no count can make the reader allocate
  // more than the file holds.
  const std::size_t most = text.size();
  std::string line;
  s.Json = Count(in, in.Line(line) ? line : "", "json", 1) == 1;
  s.Begin = in.Chunk("begin");
  for (;;) {
    if (!in.Line(line)) throw in.Bad("incomplete: no end");
    if (line.rfind("cases ", 0) == 0) break;
    tBatch_shard_row r;
    r.Index = Count(in, line, "index", most);
    r.Status = static_cast<int>(Count(in, in.Line(line) ? line : "", "status", kExit_computation));
    const std::size_t warnings = Count(in, in.Line(line) ? line : "", "warnings", most);
    r.Id = in.Chunk("id");
    r.Error = in.Chunk("error");
    for (std::size_t w = 0; w < warnings; ++w) r.Warnings.push_back(in.Chunk("warning"));
    r.Text = in.Chunk("text");
    // A row outside its shard, or out of order, cannot come from a shard run.
    if (!In_shard(r.Index, s.Frame.Shard, s.Frame.Shards) ||
        (!s.Rows.empty() && r.Index <= s.Rows.back().Index))
      throw in.Bad("row " + std::to_string(r.Index) + " out of place");
    s.Rows.push_back(std::move(r));
  }
  s.Cases = Count(in, line, "cases", std::numeric_limits<std::size_t>::max() / 2);
  if (!s.Rows.empty() && s.Rows.back().Index >= s.Cases)
    throw in.Bad("row " + std::to_string(s.Rows.back().Index) + " out of place");
  s.Digest = in.Chunk("digest");
  s.Read_error = in.Chunk("read-error");
  if (!in.Line(line) || line != "end") throw in.Bad("incomplete: no end");
  in.Expect_end();
  return s;
}

tText_batch Merge_batch_shards(const std::vector<tBatch_shard>& shards,
                               const std::function<void(const std::string&)>& write) {
  std::vector<const tShard_frame*> frames;
  for (const tBatch_shard& s : shards) frames.push_back(&s.Frame);
  const std::vector<std::size_t> order = Shard_order(frames);
  const tBatch_shard& first = shards.front();
  std::size_t held = 0;
  for (const tBatch_shard& s : shards) {
    if (s.Json != first.Json || s.Begin != first.Begin)
      throw std::runtime_error("the shard files come from different runs");
    if (s.Cases != first.Cases || s.Digest != first.Digest || s.Read_error != first.Read_error)
      throw std::runtime_error("the shards read different cases or inputs (was a file changed "
                               "between the shards?)");
    held += s.Rows.size();
  }
  // Each shard holds only rows of its own (Read_batch_shard), so with the count right every
  // case is there once; checked before anything is allocated for the cases.
  if (held != first.Cases)
    throw std::runtime_error("the shards hold " + std::to_string(held) + " of the " +
                             std::to_string(first.Cases) + " cases");
  std::vector<const tBatch_shard_row*> rows(first.Cases, nullptr);
  for (const std::size_t i : order)
    for (const tBatch_shard_row& r : shards[i].Rows) rows[r.Index] = &r;
  tText_batch merged;
  tBatch_output output(first.Json);
  write(first.Begin);
  for (const tBatch_shard_row* r : rows) {
    merged.Messages += Warning_lines(r->Warnings, "case " + r->Id + ": ");
    write(output.Row_text(r->Id, r->Status, r->Error, r->Text));
  }
  write(output.End());
  merged.Status = output.Status();
  if (!first.Read_error.empty()) {
    merged.Messages += first.Read_error;
    merged.Status = std::max(merged.Status, kExit_input);
  }
  merged.Messages += output.Failures();
  return merged;
}
