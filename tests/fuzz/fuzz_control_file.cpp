// SPDX-License-Identifier: GPL-3.0-or-later
// The control-data file's load, save and delete on arbitrary small directory trees: regular
// files, links (chains, loops, broken, to a directory, owned by another user), FIFOs,
// directories and device nodes, asked for as this user or as another. Whatever the tree:
// no call waits (a FIFO would hang the fuzzer, which reports it), a refused save or delete
// changes nothing, a save changes nothing but the one regular file it reached through the
// user's own links (or creates the missing path), and no temporary file stays behind.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>

#include "app/control_data.h"

namespace fs = std::filesystem;

namespace {

constexpr int kEntries = 6;

struct tEntry {
  mode_t Type = 0;
  ino_t Inode = 0;
  uid_t Owner = 0;
  std::string Content;  // of a regular file, or a link's target
  bool operator==(const tEntry&) const = default;
};

// Everything under dir, by relative name.
std::map<std::string, tEntry> Snapshot(const fs::path& dir) {
  std::map<std::string, tEntry> entries;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    struct stat st {};
    if (::lstat(it->path().c_str(), &st) != 0) continue;
    tEntry e{st.st_mode & S_IFMT, st.st_ino, st.st_uid, {}};
    if (S_ISREG(st.st_mode)) {
      const int fd = ::open(it->path().c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW);
      char buffer[256];
      const ssize_t n = fd >= 0 ? ::read(fd, buffer, sizeof buffer) : 0;
      if (n > 0) e.Content.assign(buffer, static_cast<std::size_t>(n));
      if (fd >= 0) ::close(fd);
    } else if (S_ISLNK(st.st_mode)) {
      e.Content = fs::read_symlink(it->path(), ec).string();
    }
    entries[it->path().lexically_relative(dir).string()] = e;  // links not resolved
  }
  return entries;
}

const fs::path& Work_directory() {
  static const fs::path dir = [] {
    std::string name = (fs::temp_directory_path() / "kestrum_fuzz_XXXXXX").string();
    if (::mkdtemp(name.data()) == nullptr) std::abort();
    return fs::path(name);
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t pos = 0;
  const auto next = [&]() -> unsigned { return pos < size ? data[pos++] : 0u; };
  const fs::path& dir = Work_directory();
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) fs::remove_all(entry.path(), ec);
  const bool root = ::geteuid() == 0;
  const uid_t other = ::geteuid() == 65534 ? 65533 : 65534;

  // The tree: entries e0 .. e5 and a directory d holding e6.
  fs::create_directory(dir / "d");
  const auto name = [&](unsigned k) {
    k %= kEntries + 1;
    return k == kEntries ? dir / "d" / "e6" : dir / ("e" + std::to_string(k));
  };
  const unsigned count = next() % (kEntries + 2);
  for (unsigned i = 0; i < count; ++i) {
    const fs::path at = name(i);
    const unsigned kind = next() % 8;
    const unsigned arg = next();
    switch (kind) {
      case 0: {  // a regular file with a few bytes
        const std::string text(reinterpret_cast<const char*>(data + pos),
                               std::min<std::size_t>(arg % 24, size - pos));
        pos += text.size();
        const int fd = ::open(at.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd >= 0) {
          [[maybe_unused]] const ssize_t n = ::write(fd, text.data(), text.size());
          ::close(fd);
        }
        break;
      }
      case 1:  // a link to another entry (maybe itself, maybe missing), relative or not
        fs::create_symlink(arg & 0x80 ? name(arg) : name(arg).lexically_relative(at.parent_path()), at, ec);
        break;
      case 2:
        ::mkfifo(at.c_str(), 0600);
        break;
      case 3:
        fs::create_directory(at, ec);
        break;
      case 4:  // a device node (root only), of the range kept for local use: no driver
        ::mknod(at.c_str(), (arg & 1 ? S_IFCHR : S_IFBLK) | 0600, makedev(240, 77));
        break;
      case 5:  // a link owned by another user (root only)
        fs::create_symlink(name(arg), at, ec);
        if (root) ::lchown(at.c_str(), other, other);
        break;
      case 6:  // a link to a missing file in a missing directory
        fs::create_symlink(dir / "nowhere" / "x", at, ec);
        break;
      default:  // left missing
        break;
    }
  }

  const fs::path target = name(next());
  const unsigned op = next();
  const uid_t user = (op & 4) ? other : kThis_user;
  const std::map<std::string, tEntry> before = Snapshot(dir);

  // The regular file a save may replace: the path itself, or the end of the chain of the
  // asking user's own links.
  std::string reached;
  {
    fs::path p = target;
    for (int hop = 0; hop < 12; ++hop) {
      struct stat st {};
      if (::lstat(p.c_str(), &st) != 0) {
        if (hop == 0) reached = p.string();  // a missing path may be created
        break;
      }
      if (S_ISREG(st.st_mode)) {
        reached = p.string();
        break;
      }
      const uid_t asking = user == kThis_user ? ::geteuid() : user;
      if (!S_ISLNK(st.st_mode) || st.st_uid != asking) break;
      const fs::path link = fs::read_symlink(p, ec);
      p = link.is_absolute() ? link : p.parent_path() / link;
    }
  }

  const std::array<std::string, 8> fields = {"1", "2", "3", "4", "0.5", "9", "8", "7"};
  bool failed = false;
  switch (op % 3) {
    case 0: {
      const tLoaded_controls loaded = Load_control_data(target.string(), user);
      if (loaded.Found && loaded.Error.empty() && reached.empty()) std::abort();
      if (Snapshot(dir) != before) std::abort();  // a load changes nothing
      return 0;
    }
    case 1:
      try {
        Save_control_data(target.string(), fields, user);
      } catch (const std::runtime_error&) {
        failed = true;
      }
      break;
    default:
      try {
        Delete_control_data(target.string(), user);
      } catch (const std::runtime_error&) {
        failed = true;
      }
      break;
  }
  std::map<std::string, tEntry> after = Snapshot(dir);
  if (failed) {
    if (after != before) std::abort();
    return 0;
  }
  if (op % 3 == 1) {
    // Only the reached file is new (its inode changes with the rename); nothing else.
    if (reached.empty()) std::abort();
    const std::string key = fs::path(reached).lexically_normal().lexically_relative(dir).string();
    const auto it = after.find(key);
    if (it == after.end() || it->second.Type != S_IFREG || it->second.Content != "1 2 3 4 0.5 9 8 7 ") {
      std::abort();
    }
    after.erase(key);
    std::map<std::string, tEntry> rest = before;
    rest.erase(key);
    if (after != rest) std::abort();
  } else {
    // Only the path itself goes, and only a regular file or the user's own link.
    const std::string key = target.lexically_relative(dir).string();
    const auto it = before.find(key);
    if (it != before.end()) {
      const uid_t asking = user == kThis_user ? ::geteuid() : user;
      if (it->second.Type != S_IFREG && !(it->second.Type == S_IFLNK && it->second.Owner == asking)) {
        std::abort();
      }
      std::map<std::string, tEntry> rest = before;
      rest.erase(key);
      if (after != rest) std::abort();
    } else if (after != before) {
      std::abort();
    }
  }
  return 0;
}
