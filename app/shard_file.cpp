// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shard_file.h"

#include <charconv>

namespace {

// A whole number from 1 to hi, all of the text.
bool Whole(const std::string& text, long long hi, long long& value) {
  const char* end = text.data() + text.size();
  const auto r = std::from_chars(text.data(), end, value);
  return !text.empty() && r.ec == std::errc{} && r.ptr == end && value >= 1 && value <= hi;
}

}  // namespace

std::string Shard_frame_text(const std::string& magic, const tShard_frame& frame) {
  std::string o = magic + '\n';
  for (const std::string& a : frame.Arguments) {
    if (a.find('\n') != std::string::npos)
      throw std::invalid_argument("An argument holds a line break; it cannot go into a shard file.");
    o += "arg " + a + '\n';
  }
  o += "shard " + std::to_string(frame.Shard) + ' ' + std::to_string(frame.Shards) + '\n';
  return o;
}

std::string Shard_chunk(const std::string& name, const std::string& text) {
  return name + ' ' + std::to_string(text.size()) + '\n' + text + '\n';
}

std::string Shard_magic_of(const std::string& text) {
  const std::size_t eol = text.find('\n');
  return eol == std::string::npos ? std::string() : text.substr(0, eol);
}

tShard_reader::tShard_reader(const std::string& text, const std::string& magic,
                             const std::string& what)
    : text_(text), what_(what) {
  std::string line;
  if (!Line(line) || line != magic) throw Bad("first line");
  for (;;) {
    if (!Line(line)) throw Bad("incomplete: no shard line");
    if (line.rfind("arg ", 0) == 0) {
      frame_.Arguments.push_back(line.substr(4));
      continue;
    }
    const std::size_t space = line.find(' ', 6);
    long long k = 0, n = 0;
    if (line.rfind("shard ", 0) != 0 || space == std::string::npos ||
        !Whole(line.substr(space + 1), kMax_shards, n) || !Whole(line.substr(6, space - 6), n, k))
      throw Bad("shard line");
    frame_.Shard = static_cast<int>(k);
    frame_.Shards = static_cast<int>(n);
    return;
  }
}

bool tShard_reader::Line(std::string& line) {
  if (at_ >= text_.size()) return false;
  const std::size_t eol = text_.find('\n', at_);
  if (eol == std::string::npos) throw Bad("the last line has no end");
  line.assign(text_, at_, eol - at_);
  at_ = eol + 1;
  return true;
}

std::string tShard_reader::Chunk(const std::string& name) {
  std::string line;
  long long length = 0;
  if (!Line(line) || line.rfind(name + ' ', 0) != 0) throw Bad("no " + name + " line");
  const std::string count = line.substr(name.size() + 1);
  if (count != "0" && !Whole(count, static_cast<long long>(text_.size()), length))
    throw Bad(name + " line");
  const auto n = static_cast<std::size_t>(length);
  if (text_.size() - at_ < n + 1 || text_[at_ + n] != '\n') throw Bad(name + " cut short");
  std::string chunk = text_.substr(at_, n);
  at_ += n + 1;
  return chunk;
}

void tShard_reader::Expect_end() {
  if (at_ != text_.size()) throw Bad("text after the end line");
}

std::runtime_error tShard_reader::Bad(const std::string& why) const {
  return std::runtime_error("not a " + what_ + " of this program (" + why + ")");
}

std::vector<std::size_t> Shard_order(const std::vector<const tShard_frame*>& frames) {
  if (frames.empty()) throw std::runtime_error("no shard files to merge");
  const tShard_frame& first = *frames.front();
  std::vector<std::size_t> order(static_cast<std::size_t>(first.Shards), frames.size());
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const tShard_frame& s = *frames[i];
    if (s.Arguments != first.Arguments || s.Shards != first.Shards)
      throw std::runtime_error("the shard files come from different runs");
    std::size_t& slot = order[static_cast<std::size_t>(s.Shard - 1)];
    if (slot != frames.size())
      throw std::runtime_error("shard " + std::to_string(s.Shard) + " is given twice");
    slot = i;
  }
  for (std::size_t k = 0; k < order.size(); ++k)
    if (order[k] == frames.size())
      throw std::runtime_error("shard " + std::to_string(k + 1) + " of " +
                               std::to_string(first.Shards) + " is missing");
  return order;
}

bool Parse_shard(const std::string& text, int& shard, int& shards) {
  const std::size_t slash = text.find('/');
  long long k = 0, n = 0;
  if (slash == std::string::npos || !Whole(text.substr(slash + 1), kMax_shards, n) ||
      !Whole(text.substr(0, slash), n, k))
    return false;
  shard = static_cast<int>(k);
  shards = static_cast<int>(n);
  return true;
}
