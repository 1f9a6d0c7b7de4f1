// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/io_wait.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

tWake_pipe::tWake_pipe() {
#if defined(__EMSCRIPTEN__)
  // WebAssembly has no signals, and its file streams cannot be polled: no pipe, so no
  // wait polls.
  return;
#endif
  if (::pipe(fds_) != 0) {
    fds_[0] = fds_[1] = -1;
    return;
  }
  // With standard output (or input, or error) closed, the pipe would take its number and
  // the program's output would go into the pipe: move it above them.
  for (int& fd : fds_) {
    if (fd > STDERR_FILENO) continue;
    const int moved = ::fcntl(fd, F_DUPFD, STDERR_FILENO + 1);
    ::close(fd);
    fd = moved;
  }
  for (const int fd : fds_) {
    if (fd < 0) continue;
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    // Non-blocking: a full pipe never holds up a signal handler.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
}

tWake_pipe::~tWake_pipe() {
  for (const int fd : fds_) {
    if (fd >= 0) ::close(fd);
  }
}

void tWake_pipe::Wake() const noexcept {
  if (fds_[1] < 0) return;
  const int saved = errno;  // a signal handler leaves errno as it found it
  const char byte = 1;
  // A full pipe is already readable: a failed write changes nothing.
  [[maybe_unused]] const ssize_t n = ::write(fds_[1], &byte, 1);
  errno = saved;
}

bool Wait_for_io(int fd, short events, const std::vector<int>& wake_fds) {
  // Small and fixed: the fd and at most a few wake pipes.
  pollfd polled[8];
  nfds_t count = 0;
  polled[count++] = pollfd{fd, events, 0};
  for (const int wake : wake_fds) {
    if (wake >= 0 && count < 8) polled[count++] = pollfd{wake, POLLIN, 0};
  }
  for (;;) {
    const int n = ::poll(polled, count, -1);
    if (n < 0) {
      if (errno == EINTR) {
        // A signal: its handler has written to a wake pipe, which the next poll sees.
        continue;
      }
      return true;  // let the read or write itself report the problem
    }
    for (nfds_t i = 1; i < count; ++i) {
      if (polled[i].revents != 0) return false;
    }
    if (polled[0].revents != 0) return true;
  }
}

void tFd_source::Set_wake_fds(const std::vector<int>& fds) {
  wake_fds_.clear();
  for (const int fd : fds) {
    if (fd >= 0) wake_fds_.push_back(fd);
  }
}

std::size_t tFd_source::Read(char* buffer, std::size_t size) {
  for (;;) {
    // Wait first, so that a pipe or a terminal with nothing to read can be left on a
    // signal; a regular file is always ready.
    if (!wake_fds_.empty() && !Wait_for_io(fd_, POLLIN, wake_fds_)) throw tIo_woken{};
    const ssize_t n = ::read(fd_, buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // A non-blocking descriptor with nothing yet: wait for it.
      if (wake_fds_.empty()) Wait_for_io(fd_, POLLIN, wake_fds_);
      continue;
    }
    if (errno != EINTR) {
      throw std::runtime_error(std::string("cannot read the file (") + std::strerror(errno) +
                               ")");
    }
  }
}
