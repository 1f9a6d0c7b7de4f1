// SPDX-License-Identifier: GPL-3.0-or-later
// The control-data file's load, save and delete on arbitrary small directory trees: regular
// files, links (chains, loops, broken, to a directory, owned by another user), FIFOs,
// directories and device nodes, paths through folder links (the user's own or another
// user's), and files named like the saves' temporary files or nearly so (another user's,
// locked, fresh or old, links, FIFOs), asked for as this user or as another. Whatever the
// tree: no call waits (a FIFO would hang the fuzzer, which reports it), a refused save or
// delete changes nothing, a save changes nothing but the one regular file it reached
// through the user's own links (or creates the missing path, with its missing folders) and
// the stale temporary files of the user's own saves in that folder, and no temporary file
// stays behind. Which file a path reaches is worked out here from lstat and readlink, apart
// from the code under test.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <filesystem>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/control_data.h"

namespace fs = std::filesystem;

namespace {

constexpr int kEntries = 6;
constexpr long kOld = 7200;  // seconds: a temporary file older than a save can take

// Names of the saves' temporary files' form, and names near it that are not of it.
const char* const kNear_names[] = {
    ".kestrum-save-0123456789abcdef.tmp", ".kestrum-save-fedcba9876543210.tmp",
    ".kestrum-save-0123456789ABCDEF.tmp", ".kestrum-save-0123456789abcde.tmp",
    ".kestrum-save-0123456789abcdef0.tmp", ".kestrum-save-0123456789abcdef.tmp~",
    ".kestrum-save-0123456789abcdeg.tmp",  "kestrum-save-0123456789abcdef.tmp",
    ".e0.AbC123",                          ".e0.backup",
};

struct tEntry {
  mode_t Type = 0;
  ino_t Inode = 0;
  uid_t Owner = 0;
  nlink_t Links = 0;
  time_t Modified = 0;
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
    // Links and times of regular files only: a folder's change as files come and go.
    tEntry e{st.st_mode & S_IFMT, st.st_ino, st.st_uid, S_ISREG(st.st_mode) ? st.st_nlink : 0,
             S_ISREG(st.st_mode) ? st.st_mtime : 0, {}};
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
    return fs::canonical(name);
  }();
  return dir;
}

// How the rules read a path: the real folder and the name of the file it stands for, every
// link on the way the asking user's. Worked out from lstat and readlink alone.
struct tReach {
  bool Refused = false;          // another user's link, a loop, a special file on the way
  bool Missing_folder = false;   // a folder of the path itself is missing (none made)
  fs::path Folder;               // real path of the file's folder
  std::string Name;
  bool Exists = false;           // a regular file is there
  std::vector<fs::path> Made;    // the folders a save makes
};

// The real path of folder `dir`; false when it is refused or missing.
bool Real_folder(const fs::path& dir, uid_t asking, bool make, tReach& r) {
  std::deque<std::string> rest;
  for (const fs::path& part : dir.relative_path()) rest.push_back(part.string());
  fs::path real = "/";
  int links = 0;
  while (!rest.empty()) {
    const std::string c = rest.front();
    rest.pop_front();
    if (c.empty() || c == ".") continue;
    if (c == "..") {
      real = real.parent_path();
      continue;
    }
    const fs::path next = real / c;
    const bool inside_made = std::find(r.Made.begin(), r.Made.end(), real) != r.Made.end();
    struct stat st {};
    if (inside_made || ::lstat(next.c_str(), &st) != 0) {
      if (!inside_made && errno != ENOENT) return r.Refused = true, false;
      if (!make) return r.Missing_folder = true, false;
      if (std::find(r.Made.begin(), r.Made.end(), next) == r.Made.end()) r.Made.push_back(next);
      real = next;
      continue;
    }
    if (S_ISLNK(st.st_mode)) {
      // A folder link of root's is followed (the system's own, as /home -> var/home).
      if ((st.st_uid != asking && st.st_uid != 0) || ++links > 40) return r.Refused = true, false;
      std::error_code ec;
      const fs::path target = fs::read_symlink(next, ec);
      if (target.is_absolute()) real = "/";
      std::vector<std::string> parts;
      for (const fs::path& part : target.relative_path()) parts.push_back(part.string());
      rest.insert(rest.begin(), parts.begin(), parts.end());
      continue;
    }
    if (!S_ISDIR(st.st_mode)) return r.Refused = true, false;
    real = next;
  }
  r.Folder = real;
  return true;
}

// The file `path` stands for: the path itself, or the end of a chain of the asking user's
// own links (at most 8 in a row); folders are made only for the path itself.
tReach Reach(const fs::path& path, uid_t asking, bool make) {
  tReach r;
  fs::path current = path;
  for (int hop = 0; hop <= 8; ++hop) {
    r.Name = current.filename().string();
    r.Made.clear();
    if (!Real_folder(current.parent_path(), asking, make && hop == 0, r)) {
      if (r.Missing_folder && hop > 0) r.Refused = true;
      return r;
    }
    if (!r.Made.empty()) return r;  // a new folder: the file is new too
    const fs::path at = r.Folder / r.Name;
    struct stat st {};
    if (::lstat(at.c_str(), &st) != 0) {
      r.Refused = hop > 0 || errno != ENOENT;
      return r;
    }
    if (S_ISREG(st.st_mode)) {
      r.Exists = true;
      return r;
    }
    if (!S_ISLNK(st.st_mode) || st.st_uid != asking) {
      r.Refused = true;
      return r;
    }
    std::error_code ec;
    const fs::path target = fs::read_symlink(at, ec);
    current = target.is_absolute() ? target : r.Folder / target;
  }
  r.Refused = true;
  return r;
}

// A failed check: says which, then stops the fuzzer with the input that made it fail.
[[noreturn]] void Fail(int line) {
  std::fprintf(stderr, "fuzz_control_file: check at line %d failed\n", line);
  std::abort();
}

bool Is_temporary_form(const std::string& name) {
  const std::string prefix = ".kestrum-save-", suffix = ".tmp";
  if (name.size() != prefix.size() + 16 + suffix.size()) return false;
  if (name.rfind(prefix, 0) != 0 || name.substr(prefix.size() + 16) != suffix) return false;
  for (std::size_t i = prefix.size(); i < prefix.size() + 16; ++i) {
    if (std::string("0123456789abcdef").find(name[i]) == std::string::npos) return false;
  }
  return true;
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
  const time_t now = std::time(nullptr);
  std::vector<int> locks;            // descriptors holding temporary-like files' locks
  std::vector<std::string> locked;   // those files, relative to dir

  // The tree: entries e0 .. e5, a directory d holding e6, and paths e0/x and e1/x through
  // whatever e0 and e1 are (folder links among them).
  fs::create_directory(dir / "d");
  const auto name = [&](unsigned k) {
    k %= kEntries + 3;
    if (k == kEntries) return dir / "d" / "e6";
    if (k > kEntries) return dir / ("e" + std::to_string(k - kEntries - 1)) / "x";
    return dir / ("e" + std::to_string(k));
  };
  const unsigned count = next() % (kEntries + 4);
  for (unsigned i = 0; i < count; ++i) {
    const fs::path at = name(i);
    const unsigned kind = next() % 11;
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
      case 7:  // a link to the folder d (or to the work folder), the user's own or another's
        fs::create_directory_symlink(arg & 2 ? dir : fs::path("d"), at, ec);
        if (root && (arg & 1)) ::lchown(at.c_str(), other, other);
        break;
      case 8: {  // a file named like a temporary file of a save, or nearly so
        const unsigned props = next();
        const fs::path near = (arg & 0x80 ? dir / "d" : dir) / kNear_names[arg % std::size(kNear_names)];
        if (props & 1) {
          fs::create_symlink(dir / "e0", near, ec);
        } else if (props & 2) {
          ::mkfifo(near.c_str(), 0600);
        } else {
          const int fd = ::open(near.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
          if (fd >= 0) ::close(fd);
          const int lock = props & 4 ? ::open(near.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW) : -1;
          if (lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) == 0) {
            locks.push_back(lock);
            locked.push_back(near.lexically_relative(dir).string());
          } else if (lock >= 0) {
            ::close(lock);
          }
          if (props & 8) fs::create_hard_link(near, dir / "d" / "second_name", ec);
        }
        if (root && (props & 16)) ::lchown(near.c_str(), other, other);
        const time_t when = props & 32 ? now : now - kOld;
        const struct timespec times[2] = {{when, 0}, {when, 0}};
        ::utimensat(AT_FDCWD, near.c_str(), times, AT_SYMLINK_NOFOLLOW);
        break;
      }
      default:  // left missing
        break;
    }
  }

  const fs::path target = name(next());
  const unsigned op = next();
  const uid_t user = (op & 4) ? other : kThis_user;
  const uid_t asking = user == kThis_user ? ::geteuid() : user;
  const std::map<std::string, tEntry> before = Snapshot(dir);
  const auto key_of = [&](const fs::path& p) { return p.lexically_normal().lexically_relative(dir).string(); };

  // What the rules make of the target, worked out on the tree as it is before the call.
  const bool make_folders = (op & 8) != 0;
  const tReach reach = Reach(target, asking, op % 3 == 1 && make_folders);
  tReach folder;
  const bool folder_reached = Real_folder(target.parent_path(), asking, false, folder);

  const std::array<std::string, 8> fields = {"1", "2", "3", "4", "0.5", "9", "8", "7"};
  bool failed = false;
  switch (op % 3) {
    case 0: {
      const tLoaded_controls loaded = Load_control_data(target.string(), user);
      if (loaded.Found && loaded.Error.empty() && (reach.Refused || !reach.Exists)) Fail(__LINE__);
      if (Snapshot(dir) != before) Fail(__LINE__);  // a load changes nothing
      for (const int fd : locks) ::close(fd);
      return 0;
    }
    case 1:
      try {
        Save_control_data(target.string(), fields, user, make_folders);
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
  for (const int fd : locks) ::close(fd);
  std::map<std::string, tEntry> after = Snapshot(dir);
  if (failed) {
    if (after != before) Fail(__LINE__);
    return 0;
  }
  std::map<std::string, tEntry> expected = before;
  if (op % 3 == 1) {
    if (reach.Refused || reach.Missing_folder) Fail(__LINE__);
    for (const fs::path& made : reach.Made) {
      const auto it = after.find(key_of(made));
      if (it == after.end() || it->second.Type != S_IFDIR) Fail(__LINE__);
      after.erase(it);
    }
    // The reached file is new (its inode changes with the rename) and holds the line.
    const std::string key = key_of(reach.Folder / reach.Name);
    const auto it = after.find(key);
    if (it == after.end() || it->second.Type != S_IFREG || it->second.Content != "1 2 3 4 0.5 9 8 7 ") {
      Fail(__LINE__);
    }
    after.erase(key);
    expected.erase(key);
    // The stale temporary files of the user's own saves in that folder go, nothing else.
    const std::string folder = key_of(reach.Folder);
    for (auto e = expected.begin(); e != expected.end();) {
      const fs::path p = e->first;
      const bool stale = (folder == "." ? p.parent_path().empty() : p.parent_path() == folder) &&
                         Is_temporary_form(p.filename().string()) && e->second.Type == S_IFREG &&
                         e->second.Owner == asking && e->second.Links == 1 &&
                         now - e->second.Modified >= 3600 &&
                         std::find(locked.begin(), locked.end(), e->first) == locked.end();
      e = stale ? expected.erase(e) : std::next(e);
    }
  } else {
    // Only the path itself goes (its folder reached through the user's own links), and
    // only a regular file or the user's own link.
    if (!folder_reached) {
      if (folder.Refused) Fail(__LINE__);  // a refused folder: the delete must have failed
    } else {
      const auto it = before.find(key_of(folder.Folder / target.filename()));
      if (it != before.end()) {
        if (it->second.Type != S_IFREG && !(it->second.Type == S_IFLNK && it->second.Owner == asking)) {
          Fail(__LINE__);
        }
        expected.erase(it->first);
      }
    }
  }
  if (after != expected) Fail(__LINE__);
  return 0;
}
