// SPDX-License-Identifier: GPL-3.0-or-later
// A folder reached one path component at a time. Each symbolic link on the way is read by
// the program, not followed by the kernel, so that a link another user left in a shared
// folder (say /tmp/shared/kestrum -> /home/victim/study) is seen and refused before
// anything is read, made or written through it. Each step opens the next folder relative
// to the one before and without following a link, so that a link swapped in after the
// check is never followed either.
#pragma once

#include <sys/types.h>

#include <string>

// An open file descriptor, closed when it goes.
class tFd {
 public:
  tFd() = default;
  explicit tFd(int fd) : fd_(fd) {}
  tFd(tFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  tFd& operator=(tFd&& other) noexcept;
  tFd(const tFd&) = delete;
  tFd& operator=(const tFd&) = delete;
  ~tFd();
  int Get() const { return fd_; }
  // Gives the descriptor up, for a close whose error matters.
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

struct tWalked_folder {
  tFd Fd;               // the folder (opened for path operations only); -1 unless reached
  std::string Path;     // its real path: absolute, without links, "." or ".."
  bool Missing = false;  // a folder on the way does not exist (none was to be made)
  std::string Problem;  // why the path is refused, naming the component; else empty
};

// Opens the folder `dir` (relative paths from the current directory) for `user`: every
// component that is a symbolic link must belong to `user` or to root (the system's own
// links, such as /home -> var/home), and is followed by reading it.
// With make_missing, each missing folder is made (mode 0700, as the XDG base-directory
// rules ask for the folders they name), but never inside a system directory
// (Is_system_directory, "/" included); without it a missing folder gives Missing.
tWalked_folder Walk_to_folder(const std::string& dir, uid_t user, bool make_missing);

// "a directory", "a FIFO (named pipe)", ... for the file type in `mode`.
std::string File_kind_text(mode_t mode);

// "nobody, uid 65534", or "uid 4321" for a user without a name.
std::string Owner_text(uid_t uid);

// The folder and the last component of a path ("a/b" gives "a" and "b"; "b" gives "." and
// "b"; "/b" gives "/" and "b").
std::string Folder_of(const std::string& path);
std::string Last_component(const std::string& path);
