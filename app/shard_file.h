// SPDX-License-Identifier: GPL-3.0-or-later
// The frame that every shard file shares, whatever run it splits (the replications of a
// power run, the rows of a batch): a first line naming its kind and the format's version,
// the run's arguments without --shard (one "arg" line each), "shard K N", the kind's own
// lines, and "end". The kind's lines may hold texts of any bytes as counted chunks ("NAME
// LENGTH", the bytes, a line end). Shards 1..N of one run have the same arguments and N;
// Shard_order puts them in the order of K and names what is missing, repeated or foreign.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

struct tShard_frame {
  std::vector<std::string> Arguments;
  int Shard = 1, Shards = 1;
};

// The largest N of --shard K/N.
constexpr int kMax_shards = 100000;

// The first line, the argument lines and the shard line. Throws std::invalid_argument when
// an argument holds a line break.
std::string Shard_frame_text(const std::string& magic, const tShard_frame& frame);
// "NAME LENGTH\n" + text + "\n".
std::string Shard_chunk(const std::string& name, const std::string& text);

// The kind's first line of a text ("kestrum-power-shard 1", ...), or "" when the text has
// no line end.
std::string Shard_magic_of(const std::string& text);

// Reads a shard file: the frame on construction, then the kind's lines one at a time.
// Every fault throws std::runtime_error("not a <what> of this program (<why>)").
class tShard_reader {
 public:
  tShard_reader(const std::string& text, const std::string& magic, const std::string& what);
  const tShard_frame& Frame() const { return frame_; }
  // The next line (false at the end of the text); "end" is the caller's to recognise.
  bool Line(std::string& line);
  // The next line, which must be "NAME LENGTH", and the LENGTH bytes after it.
  std::string Chunk(const std::string& name);
  // The text after the "end" line must be empty.
  void Expect_end();
  std::runtime_error Bad(const std::string& why) const;

 private:
  const std::string& text_;
  std::string what_;
  std::size_t at_ = 0;
  tShard_frame frame_;
};

// The indices of `frames` in the order of K (1..N). Throws std::runtime_error when they
// come from different runs (other arguments or N), or a shard is missing or repeated.
std::vector<std::size_t> Shard_order(const std::vector<const tShard_frame*>& frames);

// "K/N" with 1 <= K <= N <= kMax_shards; false when the text is not one. kShard_values
// says so in a usage message.
constexpr const char* kShard_values = "K/N with 1 <= K <= N <= 100000";
bool Parse_shard(const std::string& text, int& shard, int& shards);
