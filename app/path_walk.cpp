// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/path_walk.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <utility>
#include <vector>

#include "app/control_data.h"

namespace {

// Symbolic links followed on the way to one folder before the path counts as a loop (the
// kernel's own limit, MAXSYMLINKS).
constexpr int kMax_folder_links = 40;

// Steps of one walk, folders made and links read included: a bound against a path that
// another process keeps changing under the walk.
constexpr int kMax_steps = 4096;

// The administrator's uid. A folder link of root's is followed: the system's own links
// (/home -> var/home, /var/run -> /run) are root's, and only root can make one.
constexpr uid_t kRoot = 0;

constexpr int kFolder_flags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string Errno_text(int error) { return std::strerror(error); }

std::string Join(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

// Puts the components of `path` in front of `rest`, in order.
void Push_components(const std::string& path, std::deque<std::string>& rest) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t slash = path.find('/', start);
    const std::size_t end = slash == std::string::npos ? path.size() : slash;
    if (end > start) parts.push_back(path.substr(start, end - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  rest.insert(rest.begin(), parts.begin(), parts.end());
}

}  // namespace

tFd& tFd::operator=(tFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

tFd::~tFd() {
  if (fd_ >= 0) ::close(fd_);
}

std::string File_kind_text(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISFIFO(mode)) return "a FIFO (named pipe)";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISLNK(mode)) return "a symbolic link";
  return "not a regular file";
}

std::string Owner_text(uid_t uid) {
  struct passwd entry {};
  struct passwd* found = nullptr;
  std::vector<char> buffer(4096);
  const std::string number = "uid " + std::to_string(uid);
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_name != nullptr && found->pw_name[0] != '\0') {
    return std::string(found->pw_name) + ", " + number;
  }
  return number;
}

std::string Folder_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string Last_component(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

tWalked_folder Walk_to_folder(const std::string& dir, uid_t user, bool make_missing) {
  tWalked_folder w;
  std::deque<std::string> rest;
  std::string start = dir;
  if (start.empty() || start[0] != '/') {
    std::vector<char> cwd(4096);
    if (::getcwd(cwd.data(), cwd.size()) == nullptr) {
      w.Problem = "the current directory cannot be found (" + Errno_text(errno) + ")";
      return w;
    }
    start = std::string(cwd.data()) + "/" + start;
  }
  Push_components(start, rest);
  w.Fd = tFd(::open("/", kFolder_flags));
  w.Path = "/";
  if (w.Fd.Get() < 0) {
    w.Problem = "the root folder cannot be opened (" + Errno_text(errno) + ")";
    return w;
  }
  int links = 0;
  for (int step = 0; !rest.empty(); ++step) {
    if (step > kMax_steps) {
      w.Problem = "the folders on the way to " + dir + " keep changing";
      return w;
    }
    const std::string name = rest.front();
    rest.pop_front();
    if (name == ".") continue;
    if (name == "..") {
      // The path so far holds no link, so its parent is the folder above.
      w.Fd = tFd(::openat(w.Fd.Get(), "..", kFolder_flags));
      w.Path = Folder_of(w.Path);
      if (w.Fd.Get() < 0) {
        w.Problem = "the folder " + w.Path + " cannot be opened (" + Errno_text(errno) + ")";
        return w;
      }
      continue;
    }
    const std::string at = Join(w.Path, name);
    struct stat st {};
    if (::fstatat(w.Fd.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      const int error = errno;
      if (error != ENOENT) {
        w.Problem = "the folder " + at + " cannot be reached (" + Errno_text(error) + ")";
        return w;
      }
      if (!make_missing) {
        w.Fd = tFd();
        w.Missing = true;
        return w;
      }
      if (Is_system_directory(w.Path)) {
        w.Problem = "the folder " + at + " would have to be made in a system directory (" +
                    w.Path + "); set KESTRUM_DATA_FILE to a file in a folder of your own";
        return w;
      }
      if (::mkdirat(w.Fd.Get(), name.c_str(), 0700) != 0 && errno != EEXIST) {
        w.Problem = "the folder " + at + " cannot be made (" + Errno_text(errno) + ")";
        return w;
      }
      rest.push_front(name);  // looked at again: made now, or by someone else meanwhile
      continue;
    }
    if (S_ISLNK(st.st_mode)) {
      if (st.st_uid != user && st.st_uid != kRoot) {
        w.Problem = "the folder " + at + " on its way is a symbolic link owned by another user (" +
                    Owner_text(st.st_uid) +
                    "), which is not followed; remove the link or name a folder of your own";
        return w;
      }
      if (++links > kMax_folder_links) {
        w.Problem = "the folders on its way hold a loop of symbolic links (at " + at + ")";
        return w;
      }
      std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
      const ssize_t n = ::readlinkat(w.Fd.Get(), name.c_str(), target.data(), target.size());
      if (n < 0 || static_cast<std::size_t>(n) >= target.size()) {
        rest.push_front(name);  // changed while it was read: looked at again
        continue;
      }
      target.resize(static_cast<std::size_t>(n));
      if (!target.empty() && target[0] == '/') {
        w.Fd = tFd(::open("/", kFolder_flags));
        w.Path = "/";
      }
      Push_components(target, rest);
      continue;
    }
    if (!S_ISDIR(st.st_mode)) {
      w.Problem = at + " on its way is " + File_kind_text(st.st_mode) + ", not a folder";
      return w;
    }
    // O_NOFOLLOW: should the folder have been swapped for a link since it was looked at,
    // the open fails and the component is looked at again.
    tFd next(::openat(w.Fd.Get(), name.c_str(), kFolder_flags));
    if (next.Get() < 0) {
      if (errno == ENOTDIR || errno == ELOOP || errno == ENOENT) {
        rest.push_front(name);
        continue;
      }
      w.Problem = "the folder " + at + " cannot be opened (" + Errno_text(errno) + ")";
      return w;
    }
    w.Fd = std::move(next);
    w.Path = at;
  }
  return w;
}
