// SPDX-License-Identifier: GPL-3.0-or-later
// A stream buffer over a file descriptor that keeps the error of the first failed write,
// so that a full disk or a closed output can be named in the message. The writer marks
// where its whole rows end: when a write fails after part of a row went out to a regular
// file, the file is cut back to the last whole row, so the output never ends in a partial
// row that could pass for a value. A wait for a full pipe ends when a wake pipe becomes
// readable (the error is then EINTR).
#pragma once

#include <sys/types.h>

#include <streambuf>
#include <vector>

class tFd_output_buffer : public std::streambuf {
 public:
  explicit tFd_output_buffer(int fd);
  ~tFd_output_buffer() override;
  tFd_output_buffer(const tFd_output_buffer&) = delete;
  tFd_output_buffer& operator=(const tFd_output_buffer&) = delete;

  // The errno of the first failed write; 0 while every write succeeded. After a failure
  // nothing more is written.
  int Error() const { return error_; }

  // Waits for the output end when one of these becomes readable (negative numbers, no
  // pipe, are left out).
  void Set_wake_fds(const std::vector<int>& fds) {
    wake_fds_.clear();
    for (const int fd : fds) {
      if (fd >= 0) wake_fds_.push_back(fd);
    }
  }

  // Everything put so far is whole rows.
  void Mark_whole() {
    whole_ = written_ + static_cast<unsigned long long>(pptr() - pbase());
  }

  // After a failed write: part of a row after the last whole one is left on the output
  // (it could not be cut away, as from a pipe).
  bool Ends_in_partial_row() const { return partial_; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* data, std::streamsize count) override;
  int sync() override;

 private:
  bool Write_all(const char* data, std::size_t size);
  bool Flush_buffer();

  void Cut_partial_row();

  int fd_;
  int error_ = 0;
  std::vector<char> buffer_;
  std::vector<int> wake_fds_;
  bool regular_ = false;     // a regular file, which can be cut back
  bool pipe_like_ = false;   // a pipe, socket or terminal: written in small pieces
  off_t origin_ = 0;         // the file's offset where this output began
  unsigned long long whole_ = 0, written_ = 0;  // bytes
  bool partial_ = false;
};
