// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/batch_progress.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <exception>

#include "cli/io_wait.h"

namespace {

// "about 3 min 20 s left"
std::string Time_left(double seconds) {
  const long s = std::lround(std::max(seconds, 0.0));
  if (s >= 3600) return "about " + std::to_string(s / 3600) + " h " +
                        std::to_string(s % 3600 / 60) + " min left";
  if (s >= 60) return "about " + std::to_string(s / 60) + " min " + std::to_string(s % 60) +
                      " s left";
  return "about " + std::to_string(s) + " s left";
}

}  // namespace

std::optional<std::size_t> Count_cases(const std::string& path, int same,
                                       const tInterrupt* interrupt, const tBatch_columns& columns) {
  struct stat open_st {};
  if (::fstat(same, &open_st) != 0 || !S_ISREG(open_st.st_mode)) return std::nullopt;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  std::optional<std::size_t> count;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == open_st.st_dev &&
      st.st_ino == open_st.st_ino) {
    try {
      tFd_source source(fd);
      tCsv_reader records([&source](char* b, std::size_t n) { return source.Read(b, n); });
      records.Detect_separator();
      tBatch_reader reader(records, columns);
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

std::string Progress_line(std::size_t written, const std::optional<std::size_t>& total,
                          double elapsed_seconds) {
  std::string line = "\rkestrum-cli: " + std::to_string(written);
  if (total) {
    line += " of " + std::to_string(*total) + " cases done";
    if (written > 0 && written < *total) {
      line += ", " + Time_left(elapsed_seconds / static_cast<double>(written) *
                               static_cast<double>(*total - written));
    }
  } else {
    line += " cases done";
  }
  return line + "        ";  // covers the end of a longer earlier line
}
