// SPDX-License-Identifier: GPL-3.0-or-later
// A stream buffer over a file descriptor that keeps the error of the first failed write,
// so that a full disk or a closed output can be named in the message.
#pragma once

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

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* data, std::streamsize count) override;
  int sync() override;

 private:
  bool Write_all(const char* data, std::size_t size);
  bool Flush_buffer();

  int fd_;
  int error_ = 0;
  std::vector<char> buffer_;
};
