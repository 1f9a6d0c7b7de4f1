// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/fd_output.h"

#include <unistd.h>

#include <cerrno>

tFd_output_buffer::tFd_output_buffer(int fd) : fd_(fd), buffer_(64 * 1024) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

tFd_output_buffer::~tFd_output_buffer() { Flush_buffer(); }

bool tFd_output_buffer::Write_all(const char* data, std::size_t size) {
  if (error_ != 0) return false;
  while (size > 0) {
    const ssize_t n = ::write(fd_, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      return false;
    }
    if (n == 0) {
      error_ = EIO;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool tFd_output_buffer::Flush_buffer() {
  const std::size_t pending = static_cast<std::size_t>(pptr() - pbase());
  const bool ok = Write_all(pbase(), pending);
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return ok;
}

tFd_output_buffer::int_type tFd_output_buffer::overflow(int_type c) {
  if (!Flush_buffer()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

std::streamsize tFd_output_buffer::xsputn(const char* data, std::streamsize count) {
  if (error_ != 0) return 0;
  const auto room = static_cast<std::streamsize>(epptr() - pptr());
  if (count <= room) {
    traits_type::copy(pptr(), data, static_cast<std::size_t>(count));
    pbump(static_cast<int>(count));
    return count;
  }
  if (!Flush_buffer() || !Write_all(data, static_cast<std::size_t>(count))) return 0;
  return count;
}

int tFd_output_buffer::sync() { return Flush_buffer() ? 0 : -1; }
