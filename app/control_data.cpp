// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/control_data.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "app/input_checks.h"
#include "distrib/number_text.h"

const char Data_file_name[] = "kestrum.txt";
const char kInvalid_numeric_input[] = "Invalid numeric input";
const char kUtf16_message[] = "UTF-16 is not supported: save the file as UTF-8";

namespace fs = std::filesystem;

namespace {

// Links followed before a path counts as a loop (the kernel's own limit is 40).
constexpr int kMax_links = 8;

std::string Errno_text(int error) { return std::strerror(error); }

bool Absolute(const std::string& path) { return !path.empty() && path[0] == '/'; }

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

uid_t User(uid_t user) { return user == kThis_user ? ::geteuid() : user; }

std::string Kind_of(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISFIFO(mode)) return "a FIFO (named pipe)";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISLNK(mode)) return "a symbolic link";
  return "not a regular file";
}

std::string Parent_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The file a path stands for: the path itself, or the end of a chain of symbolic links
// that all belong to the user. Each link is read by the program, not by the kernel, so
// that a link owned by someone else is seen and refused before anything is opened.
struct tResolved {
  std::string Path;   // the regular file, or the missing path itself
  bool Exists = false;
  struct stat Stat {};
  std::string Problem;  // why the path is refused ("it is a character device, ..."); else empty
};

tResolved Resolve(const std::string& path, uid_t user) {
  tResolved r;
  std::string current = path;
  for (int hop = 0; hop <= kMax_links; ++hop) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0) {
      const int error = errno;
      if (error == ENOENT && hop == 0) {
        r.Path = current;
        return r;
      }
      r.Problem = error == ENOENT
                      ? "it is a broken symbolic link (to " + current + ", which does not exist)"
                      : (hop == 0 ? Errno_text(error)
                                  : "it leads to " + current + ": " + Errno_text(error));
      return r;
    }
    if (S_ISREG(st.st_mode)) {
      r.Path = current;
      r.Exists = true;
      r.Stat = st;
      return r;
    }
    if (!S_ISLNK(st.st_mode)) {
      r.Problem = (hop == 0 ? "it is " : "it leads to " + current + ", which is ") +
                  Kind_of(st.st_mode) + ", not a regular file; it is neither read nor replaced";
      return r;
    }
    if (st.st_uid != User(user)) {
      r.Problem = (hop == 0 ? std::string("it is") : "it leads to " + current + ", which is") +
                  " a symbolic link owned by another user (uid " + std::to_string(st.st_uid) +
                  "), which is not followed; remove the link or name a file of your own";
      return r;
    }
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<std::size_t>(n) >= target.size()) {
      r.Problem = "its link " + current + " cannot be read";
      return r;
    }
    target.resize(static_cast<std::size_t>(n));
    current = Absolute(target) ? target : Parent_of(current) + "/" + target;
  }
  r.Problem = "it is a looping symbolic link (more than " + std::to_string(kMax_links) +
              " links in a row)";
  return r;
}

// A temporary file of a save to `target`: "." + its name + "." + six letters or digits
// (the pattern mkstemp fills in).
bool Is_temporary_of(const std::string& entry, const std::string& target_name) {
  const std::string prefix = "." + target_name + ".";
  if (entry.size() != prefix.size() + 6 || entry.compare(0, prefix.size(), prefix) != 0) {
    return false;
  }
  for (std::size_t i = prefix.size(); i < entry.size(); ++i) {
    const char c = entry[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
      return false;
    }
  }
  return true;
}

// Removes the temporary files of earlier saves to `target` that were killed before they
// renamed theirs: such a file is no longer locked. A save still running holds its lock,
// and its file is left alone.
void Remove_stale_temporaries(const fs::path& dir, const std::string& target_name,
                              const std::string& own) {
  DIR* listing = ::opendir(dir.c_str());
  if (listing == nullptr) return;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == own || !Is_temporary_of(name, target_name)) continue;
    const std::string path = (dir / name).string();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      ::unlink(path.c_str());
    }
    ::close(fd);
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
  std::string base;
  if (Absolute(places.Xdg_config)) {
    base = places.Xdg_config;
  } else if (Absolute(places.Home)) {
    base = places.Home + "/.config";
  } else {
    throw std::runtime_error(
        "No place for the control-data file: the program's directory" +
        (places.Exe_dir.empty() ? std::string() : " (" + places.Exe_dir + ")") +
        " is not a folder of your own, and neither XDG_CONFIG_HOME nor HOME names an "
        "absolute directory. Set KESTRUM_DATA_FILE to the file to use (or HOME).");
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/kestrum/" + Data_file_name;
}

std::string Data_file_path() {
  tData_file_places places;
  places.Named = Environment("KESTRUM_DATA_FILE");
  places.Exe_dir = Exe_directory();
  places.Exe_dir_own = Own_program_directory(places.Exe_dir);
  places.Xdg_config = Environment("XDG_CONFIG_HOME");
  places.Home = Environment("HOME");
  const std::string path = Data_file_path_in(places);
  if (places.Named.empty() && !places.Exe_dir_own) {
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);  // a failure shows on writing
  }
  return path;
}

void Save_control_data(const std::string& path, const std::array<std::string, 8>& fields,
                       uid_t user) {
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
  // links only. The new file is written beside it and renamed over that path, so that a
  // link is never written through by the kernel.
  const tResolved file = Resolve(path, user);
  if (!file.Problem.empty()) fail(file.Problem, 0);
  const fs::path target(file.Path);
  const std::string dir = Parent_of(file.Path);
  {
    std::error_code ec;
    const fs::path real_dir = fs::canonical(dir, ec);
    const std::string shown = ec ? dir : real_dir.string();
    if (Is_system_directory(shown)) {
      fail("it is in a system directory (" + shown +
               "); set KESTRUM_DATA_FILE to a file in a folder of your own",
           0);
    }
  }
  const std::string name = target.filename().string();

  // The temporary file is locked while it exists under its own name, so that another
  // save can tell it from one left by a save that was killed. Should another save remove
  // it between its creation and the lock, it is created again. mkostemp creates it with
  // O_EXCL, which never follows a link; O_NOFOLLOW says so once more.
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
    temp = dir + "/." + name + ".XXXXXX";
    fd = ::mkostemp(temp.data(), O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) fail("cannot create a file in " + dir, errno);
    struct stat st {};
    if (::flock(fd, LOCK_EX) != 0 || ::fstat(fd, &st) != 0 || st.st_nlink == 0) {
      ::close(fd);
      fd = -1;
    }
  }
  if (fd < 0) fail("cannot create a file in " + dir, EAGAIN);
  Remove_stale_temporaries(dir, name, fs::path(temp).filename().string());

  // The new file gets the old file's permissions, or the usual ones for a new file.
  mode_t mode;
  if (file.Exists) {
    mode = file.Stat.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd, mode);

  std::size_t written = 0;
  while (written < line.size()) {
    const ssize_t n = ::write(fd, line.data() + written, line.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      ::unlink(temp.c_str());
      fail("write failed", error);
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    ::close(fd);
    fail("write failed", error);
  }
  // Renamed while still locked; closing the file then releases the lock. rename replaces
  // the directory entry itself: had the file been swapped for a link meanwhile, the link
  // would be replaced, never the file it names.
  if (std::rename(temp.c_str(), file.Path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    ::close(fd);
    fail("cannot replace the file", error);
  }
  if (::close(fd) != 0) fail("write failed", errno);
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
  const tResolved file = Resolve(path, user);
  if (!file.Problem.empty()) {
    failed.Error = cannot + file.Problem;
    return failed;
  }
  if (!file.Exists) return {};
  // O_NONBLOCK: should the file have been swapped for a FIFO since it was looked at, the
  // open does not wait for a writer; the type is checked again on the open file.
  const int fd = ::open(file.Path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return {};
    failed.Error = cannot + Errno_text(errno);
    return failed;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    failed.Error = cannot + "it is " + Kind_of(st.st_mode) + ", not a regular file";
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
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return;
    fail(Errno_text(errno));
  }
  if (S_ISLNK(st.st_mode) && st.st_uid != User(user)) {
    fail("it is a symbolic link owned by another user (uid " + std::to_string(st.st_uid) +
         "); it is left alone");
  }
  if (!S_ISLNK(st.st_mode) && !S_ISREG(st.st_mode)) {
    fail("it is " + Kind_of(st.st_mode) + ", not a regular file; it is left alone");
  }
  // The path itself goes: a link of the user's own, not the file it names.
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) fail(Errno_text(errno));
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
