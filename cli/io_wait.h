// SPDX-License-Identifier: GPL-3.0-or-later
// Waiting for input or output that a signal or a stop request can cut short. A signal
// handler (or another thread) writes a byte to a wake pipe; every wait polls its file
// descriptor together with the read ends of such pipes, so that no read, write or open
// waits on after a request to stop, whichever thread received the signal.
#pragma once

#include <poll.h>

#include <cstddef>
#include <vector>

// A pipe whose read end becomes readable, and stays so, once Wake has been called.
class tWake_pipe {
 public:
  tWake_pipe();
  ~tWake_pipe();
  tWake_pipe(const tWake_pipe&) = delete;
  tWake_pipe& operator=(const tWake_pipe&) = delete;
  // -1 when the pipe could not be made, and in a WebAssembly build (then waits are not cut
  // short by it and nothing is polled).
  int Read_fd() const { return fds_[0]; }
  int Write_fd() const { return fds_[1]; }
  // Async-signal-safe.
  void Wake() const noexcept;

 private:
  int fds_[2] = {-1, -1};
};

// Thrown by a read or write that was cut short by a wake pipe.
struct tIo_woken {};

// Waits until fd is ready for `events` (POLLIN or POLLOUT; an error or hang-up also counts
// as ready, for the read or write to report) or one of wake_fds is readable. Returns true
// when fd is ready, false when woken.
bool Wait_for_io(int fd, short events, const std::vector<int>& wake_fds);

// A file descriptor as a byte source for tCsv_reader (app/csv_reader.h): every wait for
// input polls the wake pipes too, and throws tIo_woken when one of them is readable; an
// error of the read throws std::runtime_error. The descriptor may be non-blocking.
class tFd_source {
 public:
  explicit tFd_source(int fd) : fd_(fd) {}
  // Negative numbers (no pipe) are left out.
  void Set_wake_fds(const std::vector<int>& fds);
  // Up to size bytes into buffer: their number, 0 at the end of the file.
  std::size_t Read(char* buffer, std::size_t size);

 private:
  int fd_;
  std::vector<int> wake_fds_;
};
