// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/fd_output.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "cli/io_wait.h"

tFd_output_buffer::tFd_output_buffer(int fd) : fd_(fd), buffer_(64 * 1024) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  struct stat st {};
  if (::fstat(fd_, &st) == 0) {
    regular_ = S_ISREG(st.st_mode);
    pipe_like_ = !regular_;
    if (regular_) {
      const int flags = ::fcntl(fd_, F_GETFL);
      const off_t offset = ::lseek(fd_, 0, SEEK_CUR);
      // Appending (">>"): each write goes to the end, which is where this output begins.
      origin_ = (flags >= 0 && (flags & O_APPEND) != 0) || offset < 0 ? st.st_size : offset;
    }
  }
}

tFd_output_buffer::~tFd_output_buffer() { Flush_buffer(); }

void tFd_output_buffer::Cut_partial_row() {
  if (written_ <= whole_) return;
  if (regular_ && ::ftruncate(fd_, origin_ + static_cast<off_t>(whole_)) == 0) {
    written_ = whole_;
    return;
  }
  partial_ = true;
}

bool tFd_output_buffer::Write_all(const char* data, std::size_t size) {
  if (error_ != 0) return false;
  while (size > 0) {
    // A pipe that is full makes the write wait: wait here instead, where a wake pipe can
    // end it, and then write no more than a pipe takes at once without waiting.
    std::size_t piece = size;
    if (pipe_like_ && !wake_fds_.empty()) {
      // Once woken, a wake pipe stays readable: output that can still go out without a
      // wait (the rows finished before an interruption, the end of a JSON array) does.
      pollfd ready{fd_, POLLOUT, 0};
      if (::poll(&ready, 1, 0) != 1 && !Wait_for_io(fd_, POLLOUT, wake_fds_)) {
        error_ = EINTR;
        Cut_partial_row();
        return false;
      }
      piece = std::min<std::size_t>(size, PIPE_BUF);
    }
    const ssize_t n = ::write(fd_, data, piece);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        Wait_for_io(fd_, POLLOUT, {});
        continue;
      }
      error_ = errno;
      Cut_partial_row();
      return false;
    }
    if (n == 0) {
      error_ = EIO;
      Cut_partial_row();
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
    written_ += static_cast<unsigned long long>(n);
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
