// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/control_data.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

#include "app/input_checks.h"
#include "app/path_walk.h"
#include "distrib/number_text.h"

const char Data_file_name[] = "kestrum.txt";
const char kInvalid_numeric_input[] = "Invalid numeric input";
const char kUtf16_message[] = "UTF-16 is not supported: save the file as UTF-8";

namespace fs = std::filesystem;

namespace {

// Links followed before a path counts as a loop (the kernel's own limit is 40).
constexpr int kMax_links = 8;

// The temporary file of a save: a fixed prefix, sixteen lower-case hexadecimal digits drawn
// at random, a fixed suffix (".kestrum-save-0123456789abcdef.tmp"). No other file is ever
// taken for one, nor is a name of this form a person would type by chance.
constexpr char kTemporary_prefix[] = ".kestrum-save-";
constexpr std::size_t kTemporary_digits = 16;
constexpr char kTemporary_suffix[] = ".tmp";

// Age in seconds beyond which an unlocked temporary file is taken for one left by a save
// that was killed: an hour, far longer than a save of one short line takes, even one held
// up by a slow network file system. A save still running holds its file's lock besides.
constexpr long kStale_temporary_seconds = 3600;

std::string Errno_text(int error) { return std::strerror(error); }

bool Absolute(const std::string& path) { return !path.empty() && path[0] == '/'; }

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

uid_t User(uid_t user) { return user == kThis_user ? ::geteuid() : user; }

// The file a path stands for: the path itself, or the end of a chain of symbolic links
// that all belong to the user. Each folder on the way is walked by Walk_to_folder, and
// each link is read by the program, not by the kernel, so that a link owned by someone
// else is seen and refused before anything is opened.
struct tResolved {
  tWalked_folder Folder;  // the folder holding the file, opened
  std::string Name;       // the file's name in that folder
  bool Exists = false;
  bool Missing_folder = false;  // the path's own folder does not exist (nothing was made)
  struct stat Stat {};
  std::string Problem;  // why the path is refused ("it is a character device, ..."); else empty
};

// With make_folders, the missing folders of the path itself are made (not those of a
// link's target: that link is broken).
tResolved Resolve(const std::string& path, uid_t user, bool make_folders) {
  tResolved r;
  std::string current = path;
  for (int hop = 0; hop <= kMax_links; ++hop) {
    r.Name = Last_component(current);
    if (r.Name.empty() || r.Name == "." || r.Name == "..") {
      r.Problem = hop == 0 ? "it names a folder, not a file"
                           : "it leads to " + current + ", which names a folder, not a file";
      return r;
    }
    r.Folder = Walk_to_folder(Folder_of(current), User(user), make_folders && hop == 0);
    if (!r.Folder.Problem.empty()) {
      r.Problem = r.Folder.Problem;
      return r;
    }
    if (r.Folder.Missing) {
      if (hop == 0) {
        r.Missing_folder = true;
      } else {
        r.Problem = "it is a broken symbolic link (to " + current + ", which does not exist)";
      }
      return r;
    }
    const int folder = r.Folder.Fd.Get();
    const std::string shown = r.Folder.Path == "/" ? "/" + r.Name : r.Folder.Path + "/" + r.Name;
    struct stat st {};
    if (::fstatat(folder, r.Name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      const int error = errno;
      if (error == ENOENT && hop == 0) return r;
      r.Problem = error == ENOENT
                      ? "it is a broken symbolic link (to " + shown + ", which does not exist)"
                      : (hop == 0 ? Errno_text(error)
                                  : "it leads to " + shown + ": " + Errno_text(error));
      return r;
    }
    if (S_ISREG(st.st_mode)) {
      r.Exists = true;
      r.Stat = st;
      return r;
    }
    if (!S_ISLNK(st.st_mode)) {
      r.Problem = (hop == 0 ? "it is " : "it leads to " + shown + ", which is ") +
                  File_kind_text(st.st_mode) +
                  ", not a regular file; it is neither read nor replaced";
      return r;
    }
    if (st.st_uid != User(user)) {
      r.Problem = (hop == 0 ? std::string("it is") : "it leads to " + shown + ", which is") +
                  " a symbolic link owned by another user (" + Owner_text(st.st_uid) +
                  "), which is not followed; remove the link or name a file of your own";
      return r;
    }
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlinkat(folder, r.Name.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<std::size_t>(n) >= target.size()) {
      r.Problem = "its link " + shown + " cannot be read";
      return r;
    }
    target.resize(static_cast<std::size_t>(n));
    current = Absolute(target) ? target : r.Folder.Path + "/" + target;
  }
  r.Problem = "it is a looping symbolic link (more than " + std::to_string(kMax_links) +
              " links in a row)";
  return r;
}

// A name of the temporary files' form.
bool Is_temporary_name(const std::string& name) {
  const std::size_t prefix = std::strlen(kTemporary_prefix);
  const std::size_t suffix = std::strlen(kTemporary_suffix);
  if (name.size() != prefix + kTemporary_digits + suffix ||
      name.compare(0, prefix, kTemporary_prefix) != 0 ||
      name.compare(prefix + kTemporary_digits, suffix, kTemporary_suffix) != 0) {
    return false;
  }
  for (std::size_t i = prefix; i < prefix + kTemporary_digits; ++i) {
    const char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// A fresh name of that form. The random part comes from the system's random source; a name
// already taken is drawn again by the caller (the file is created exclusively).
std::string Temporary_name(unsigned attempt) {
  std::uint64_t bits = 0;
  try {
    std::random_device source;
    bits = (static_cast<std::uint64_t>(source()) << 32) ^ source();
  } catch (const std::exception&) {
    // No random source: the clock, the process and the attempt still make names that
    // rarely meet, and a name that exists is never used.
    bits = static_cast<std::uint64_t>(
               std::chrono::steady_clock::now().time_since_epoch().count()) ^
           (static_cast<std::uint64_t>(::getpid()) << 40) ^ (attempt * 0x9E3779B97F4A7C15ULL);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string name = kTemporary_prefix;
  for (std::size_t i = 0; i < kTemporary_digits; ++i) name += kHex[(bits >> (4 * i)) & 0xF];
  return name + kTemporary_suffix;
}

// Removes the temporary files left in `folder` by saves that were killed before they
// renamed theirs, and nothing else: a file of the temporary files' form, regular, with
// one name only, owned by `user`, unchanged for longer than a save can take, and not
// locked (a running save holds its file's lock until the rename).
void Remove_stale_temporaries(int folder, const std::string& own, uid_t user) {
  const int listing_fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing_fd < 0) return;
  DIR* listing = ::fdopendir(listing_fd);
  if (listing == nullptr) {
    ::close(listing_fd);
    return;
  }
  const std::time_t now = std::time(nullptr);
  const auto removable = [&](const struct stat& st) {
    return S_ISREG(st.st_mode) && st.st_uid == user && st.st_nlink == 1 &&
           now - st.st_mtime >= kStale_temporary_seconds;
  };
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == own || !Is_temporary_name(name)) continue;
    // Looked at before it is opened (a device node is never opened), and again once open.
    struct stat named {};
    if (::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !removable(named)) {
      continue;
    }
    const tFd fd(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !removable(st) ||
        st.st_ino != named.st_ino || st.st_dev != named.st_dev ||
        ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
      continue;
    }
    ::unlinkat(folder, name.c_str(), 0);
  }
  ::closedir(listing);
}

// A number as a file may hold it: optional sign, digits with an optional point (or a
// point and digits), optional exponent. Anything else (names, "inf", "nan", hex) is not
// a number.
bool Is_number_token(const std::string& token) {
  std::size_t i = 0;
  const std::size_t n = token.size();
  if (i < n && (token[i] == '+' || token[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && token[i] >= '0' && token[i] <= '9') ++i, ++digits;
  if (i < n && token[i] == '.') {
    ++i;
    while (i < n && token[i] >= '0' && token[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (token[i] == 'e' || token[i] == 'E')) {
    ++i;
    if (i < n && (token[i] == '+' || token[i] == '-')) ++i;
    std::size_t exp_digits = 0;
    while (i < n && token[i] >= '0' && token[i] <= '9') ++i, ++exp_digits;
    if (exp_digits == 0) return false;
  }
  return i == n;
}

bool Parse_token(const std::string& token, double& value) {
  if (!Is_number_token(token)) return false;
  // Parse_double takes no leading "+" and ignores the locale.
  const char* first = token.data() + (token[0] == '+' ? 1 : 0);
  const char* ptr = nullptr;
  const std::errc ec = Parse_double(first, token.data() + token.size(), value, &ptr);
  if (ec == std::errc::result_out_of_range) {
    // An underflow reads as 0 (as text input would); an overflow is not a usable number.
    return false;
  }
  return ec == std::errc{} && ptr == token.data() + token.size() && std::isfinite(value);
}

bool Is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

}  // namespace

// The text a field shows for a loaded figure: plain decimals, without the zero before the
// point when only that way it fits the field (".99999", "-.125"), as the field parser
// reads it.
std::string Field_text(double value) {
  std::string text = Format_plain_decimal(value);
  if (text.size() > kMax_field_length) {
    const std::size_t zero = text[0] == '-' ? 1 : 0;
    if (text.compare(zero, 2, "0.") == 0) text.erase(zero, 1);
  }
  return text;
}

std::string Exe_directory() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return {};
  std::string dir = exe.parent_path().string();
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

bool Is_system_directory(const std::string& dir) {
  if (dir.empty() || dir == "/") return true;
  // Where packages install and the system keeps its own files. /var is not among them:
  // the home folders of service accounts lie under /var/lib.
  static constexpr const char* kPrefixes[] = {"/usr", "/bin",  "/sbin", "/lib",  "/lib32",
                                              "/lib64", "/libx32", "/opt", "/etc", "/boot",
                                              "/dev", "/proc", "/sys",  "/run",  "/snap"};
  for (const char* prefix : kPrefixes) {
    const std::size_t n = std::strlen(prefix);
    if (dir.compare(0, n, prefix) == 0 && (dir.size() == n || dir[n] == '/')) return true;
  }
  return false;
}

bool Own_program_directory(const std::string& dir, uid_t user) {
  if (!Absolute(dir) || Is_system_directory(dir)) return false;
  struct stat st {};
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == User(user) &&
         (st.st_mode & S_IWOTH) == 0 && ::access(dir.c_str(), W_OK | X_OK) == 0;
}

std::string Data_file_path_in(const tData_file_places& places) {
  if (!places.Named.empty()) return places.Named;
  if (places.Exe_dir_own && !places.Exe_dir.empty()) {
    return places.Exe_dir + "/" + Data_file_name;
  }
  // Final slashes dropped, so that HOME=/ gives /.config, not //.config.
  const auto trimmed = [](std::string dir) {
    while (!dir.empty() && dir.back() == '/') dir.pop_back();
    return dir;
  };
  std::string base;
  if (Absolute(places.Xdg_config)) {
    base = trimmed(places.Xdg_config);
  } else if (Absolute(places.Home)) {
    base = trimmed(places.Home) + "/.config";
  } else {
    throw std::runtime_error(
        "No place for the control-data file: the program's directory" +
        (places.Exe_dir.empty() ? std::string() : " (" + places.Exe_dir + ")") +
        " is not a folder of your own, and neither XDG_CONFIG_HOME nor HOME names an "
        "absolute directory. Set KESTRUM_DATA_FILE to the file to use (or HOME).");
  }
  return base + "/kestrum/" + Data_file_name;
}

namespace {

tData_file_places Places_from_environment() {
  tData_file_places places;
  places.Named = Environment("KESTRUM_DATA_FILE");
  places.Exe_dir = Exe_directory();
  places.Exe_dir_own = Own_program_directory(places.Exe_dir);
  places.Xdg_config = Environment("XDG_CONFIG_HOME");
  places.Home = Environment("HOME");
  return places;
}

}  // namespace

// Nothing is made here: the folder is made by the save that needs it.
std::string Data_file_path() { return Data_file_path_in(Places_from_environment()); }

void Save_to_data_file(const std::array<std::string, 8>& fields) {
  const tData_file_places places = Places_from_environment();
  const bool xdg_place = places.Named.empty() && !places.Exe_dir_own;
  Save_control_data(Data_file_path_in(places), fields, kThis_user, xdg_place);
}

void Save_control_data(const std::string& path, const std::array<std::string, 8>& fields,
                       uid_t user, bool make_folders) {
  // The line: each text followed by one space, no line end. Spaces inside a text are
  // dropped (the field parser ignores them), so that each text stays one token when the
  // file is read back.
  std::string line;
  for (const std::string& text : fields) {
    for (char c : text) {
      if (c != ' ') line += c;
    }
    line += ' ';
  }
  const auto fail = [&](const std::string& what, int error) {
    throw std::runtime_error("Cannot save the control data to " + path + ": " + what +
                             (error != 0 ? " (" + Errno_text(error) + ")" : std::string()));
  };

  // The file itself: a regular file or a missing path, reached through the user's own
  // links only, its missing folders made on the way when asked (never in a system
  // directory). The new file is written beside it and renamed over that name, so that a
  // link is never written through by the kernel.
  const tResolved file = Resolve(path, user, make_folders);
  if (!file.Problem.empty()) fail(file.Problem, 0);
  if (file.Missing_folder) fail("its folder " + Folder_of(path) + " does not exist", 0);
  const std::string& dir = file.Folder.Path;
  if (Is_system_directory(dir)) {
    fail("it is in a system directory (" + dir +
             "); set KESTRUM_DATA_FILE to a file in a folder of your own",
         0);
  }
  const int folder = file.Folder.Fd.Get();
  const char* name = file.Name.c_str();

  // The temporary file is locked while it exists under its own name, so that another
  // save can tell it from one left by a save that was killed. It is created exclusively
  // (O_EXCL never follows a link; O_NOFOLLOW says so once more) under a fresh name; should
  // it lose that name before it is locked, it is created again.
  std::string temp;
  tFd fd;
  for (unsigned attempt = 0; attempt < 16 && fd.Get() < 0; ++attempt) {
    temp = Temporary_name(attempt);
    fd = tFd(::openat(folder, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      0600));
    if (fd.Get() < 0) {
      if (errno == EEXIST) continue;
      fail("cannot create a file in " + dir, errno);
    }
    struct stat st {};
    if (::flock(fd.Get(), LOCK_EX) != 0 || ::fstat(fd.Get(), &st) != 0 || st.st_nlink == 0) {
      fd = tFd();
    }
  }
  if (fd.Get() < 0) fail("cannot create a file in " + dir, EAGAIN);
  Remove_stale_temporaries(folder, temp, User(user));
  const auto give_up = [&](const std::string& what, int error) {
    ::unlinkat(folder, temp.c_str(), 0);
    fail(what, error);
  };

  // The new file gets the old file's permissions, or the usual ones for a new file.
  mode_t mode;
  if (file.Exists) {
    mode = file.Stat.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd.Get(), mode);

  std::size_t written = 0;
  while (written < line.size()) {
    const ssize_t n = ::write(fd.Get(), line.data() + written, line.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      give_up("write failed", errno);
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fsync(fd.Get()) != 0) give_up("write failed", errno);
  // Renamed while still locked; closing the file then releases the lock. The rename
  // replaces the folder's entry itself: had the file been swapped for a link meanwhile,
  // the link would be replaced, never the file it names.
  if (::renameat(folder, temp.c_str(), folder, name) != 0) give_up("cannot replace the file", errno);
  if (::close(fd.Release()) != 0) fail("write failed", errno);
}

tLoaded_controls Parse_control_data(const std::string& content) {
  tLoaded_controls loaded;
  loaded.Found = true;
  // A file saved as UTF-16 or UTF-32 begins with FF FE or FE FF, or holds NUL bytes
  // between its characters.
  if (content.rfind("\xFF\xFE", 0) == 0 || content.rfind("\xFE\xFF", 0) == 0 ||
      content.find('\0') != std::string::npos) {
    loaded.Error = kUtf16_message;
    return loaded;
  }
  // A byte-order mark written by some editors in front of UTF-8 text.
  std::size_t pos = content.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  for (std::size_t field = 0; field < loaded.Texts.size(); ++field) {
    while (pos < content.size() && Is_space(content[pos])) ++pos;
    double value = 0;  // a number missing at the end of the file reads as 0
    if (pos < content.size()) {
      const std::size_t start = pos;
      while (pos < content.size() && !Is_space(content[pos])) ++pos;
      const std::string token = content.substr(start, pos - start);
      if (!Parse_token(token, value)) {
        loaded.Error = kInvalid_numeric_input;
        return loaded;
      }
      // The figure is shown in a field of six characters: it is used only when that
      // text stands for exactly the same number.
      const std::string shown = Field_text(value);
      const std::string plain = Format_plain_decimal(value);  // the same, with its "0."
      double back = 0;
      const char* end = nullptr;
      Parse_double(plain.data(), plain.data() + plain.size(), back, &end);
      if (shown.size() > kMax_field_length || back != value) {
        std::string caption = kField_captions[field];
        if (!caption.empty() && caption.back() == ':') caption.pop_back();
        loaded.Error = "The control figure " + token + " (" + caption +
                       ") does not fit the worksheet's fields of 6 characters without being "
                       "changed; correct the file, or type the figures and save them again.";
        return loaded;
      }
    }
    loaded.Texts[field] = Field_text(value);
  }
  return loaded;
}

tLoaded_controls Load_control_data(const std::string& path, uid_t user) {
  tLoaded_controls failed;
  failed.Found = true;
  failed.File_error = true;
  const std::string cannot = "Cannot read the control data from " + path + ": ";
  const tResolved file = Resolve(path, user, false);  // a load makes no folder
  if (!file.Problem.empty()) {
    failed.Error = cannot + file.Problem;
    return failed;
  }
  if (!file.Exists) return {};
  // O_NONBLOCK: should the file have been swapped for a FIFO since it was looked at, the
  // open does not wait for a writer; the type is checked again on the open file.
  const int fd = ::openat(file.Folder.Fd.Get(), file.Name.c_str(),
                          O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return {};
    failed.Error = cannot + Errno_text(errno);
    return failed;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    failed.Error = cannot + "it is " + File_kind_text(st.st_mode) + ", not a regular file";
    ::close(fd);
    return failed;
  }
  std::string content;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      failed.Error = cannot + Errno_text(errno);
      ::close(fd);
      return failed;
    }
    content.append(buffer, static_cast<std::size_t>(n));
    // The file is one short line; a huge file is not a control-data file.
    if (content.size() > (1u << 20)) {
      failed.Error = cannot + "the file is too large";
      ::close(fd);
      return failed;
    }
  }
  ::close(fd);
  return Parse_control_data(content);
}

void Delete_control_data(const std::string& path, uid_t user) {
  const auto fail = [&path](const std::string& why) {
    throw std::runtime_error("Cannot delete the control data file " + path + ": " + why);
  };
  const std::string name = Last_component(path);
  if (name.empty() || name == "." || name == "..") fail("it names a folder, not a file");
  // The folder is reached through the user's own links only; the path's last component
  // itself is not followed.
  const tWalked_folder folder = Walk_to_folder(Folder_of(path), User(user), false);
  if (!folder.Problem.empty()) fail(folder.Problem + "; nothing is deleted");
  if (folder.Missing) return;
  struct stat st {};
  if (::fstatat(folder.Fd.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return;
    fail(Errno_text(errno));
  }
  if (S_ISLNK(st.st_mode) && st.st_uid != User(user)) {
    fail("it is a symbolic link owned by another user (" + Owner_text(st.st_uid) +
         "); it is left alone");
  }
  if (!S_ISLNK(st.st_mode) && !S_ISREG(st.st_mode)) {
    fail("it is " + File_kind_text(st.st_mode) + ", not a regular file; it is left alone");
  }
  // The path itself goes: a link of the user's own, not the file it names.
  if (::unlinkat(folder.Fd.Get(), name.c_str(), 0) != 0 && errno != ENOENT) {
    fail(Errno_text(errno));
  }
}

std::string Format_plain_decimal(double value) {
  if (!std::isfinite(value)) return "0";
  if (value == 0) return "0";  // also -0
  // Six significant digits, rounded once, as d.ddddde±x; then the point is moved.
  const std::string sci = Scientific_text(value, 5);
  if (sci.empty()) return "0";
  const std::size_t e_pos = sci.find('e');
  const bool negative = sci[0] == '-';
  std::string digits;
  for (std::size_t i = negative ? 1 : 0; i < e_pos; ++i) {
    if (sci[i] != '.') digits += sci[i];
  }
  int exponent = 0;
  std::from_chars(sci.data() + e_pos + 1 + (sci[e_pos + 1] == '+' ? 1 : 0),
                  sci.data() + sci.size(), exponent);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string text;
  const int n = static_cast<int>(digits.size());
  if (exponent < 0) {
    text = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  } else if (exponent + 1 >= n) {
    text = digits + std::string(static_cast<std::size_t>(exponent + 1 - n), '0');
  } else {
    text = digits.substr(0, static_cast<std::size_t>(exponent + 1)) + "." +
           digits.substr(static_cast<std::size_t>(exponent + 1));
  }
  return negative ? "-" + text : text;
}
