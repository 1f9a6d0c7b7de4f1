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

#include "distrib/number_text.h"

const std::string Program_title =
    "Kestrum.EXE: Bayesian criteria for dissociations in single-case studies";
const std::string Data_file_name = "kestrum.txt";
const std::string kInvalid_numeric_input = "Invalid numeric input";

namespace fs = std::filesystem;

namespace {

std::string Errno_text(int error) { return std::strerror(error); }

bool Writable_directory(const std::string& dir) {
  return !dir.empty() && ::access(dir.c_str(), W_OK | X_OK) == 0;
}

bool Absolute(const std::string& path) { return !path.empty() && path[0] == '/'; }

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
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

std::string Exe_directory() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return {};
  std::string dir = exe.parent_path().string();
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

std::string Data_file_path_in(const tData_file_places& places) {
  if (!places.Named.empty()) return places.Named;
  if (places.Exe_dir_writable && !places.Exe_dir.empty()) {
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
        " is not writable, and neither XDG_CONFIG_HOME nor HOME names an absolute "
        "directory. Set KESTRUM_DATA_FILE to the file to use (or HOME).");
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/kestrum/" + Data_file_name;
}

std::string Data_file_path() {
  tData_file_places places;
  places.Named = Environment("KESTRUM_DATA_FILE");
  places.Exe_dir = Exe_directory();
  places.Exe_dir_writable = Writable_directory(places.Exe_dir);
  places.Xdg_config = Environment("XDG_CONFIG_HOME");
  places.Home = Environment("HOME");
  const std::string path = Data_file_path_in(places);
  if (places.Named.empty() && !places.Exe_dir_writable) {
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);  // a failure shows on writing
  }
  return path;
}

void Save_control_data(const std::string& path, const std::array<std::string, 8>& fields) {
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

  // Write beside the target and rename over it: the old file stays whole until the new
  // one is complete. A symbolic link is followed, so the file it names is replaced.
  std::error_code ec;
  fs::path target(path);
  if (fs::is_symlink(target, ec)) {
    const fs::path resolved = fs::canonical(target, ec);
    if (!ec) target = resolved;
  }
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  std::string temp = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
  const auto fail = [&](const std::string& what, int error) {
    throw std::runtime_error("Cannot save the control data to " + path + ": " + what +
                             (error != 0 ? " (" + Errno_text(error) + ")" : std::string()));
  };

  // The temporary file is locked while it exists under its own name, so that another
  // save can tell it from one left by a save that was killed. Should another save remove
  // it between its creation and the lock, it is created again.
  int fd = -1;
  for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
    temp = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
    fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) fail("cannot create a file in " + dir.string(), errno);
    struct stat st {};
    if (::flock(fd, LOCK_EX) != 0 || ::fstat(fd, &st) != 0 || st.st_nlink == 0) {
      ::close(fd);
      fd = -1;
    }
  }
  if (fd < 0) fail("cannot create a file in " + dir.string(), EAGAIN);
  Remove_stale_temporaries(dir, target.filename().string(), fs::path(temp).filename().string());

  // The new file gets the old file's permissions, or the usual ones for a new file.
  mode_t mode;
  struct stat old_stat {};
  if (::stat(target.c_str(), &old_stat) == 0) {
    mode = old_stat.st_mode & 07777;
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
  // Renamed while still locked; closing the file then releases the lock.
  if (std::rename(temp.c_str(), target.c_str()) != 0) {
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
  std::size_t pos = 0;
  for (std::size_t field = 0; field < loaded.Texts.size(); ++field) {
    while (pos < content.size() && Is_space(content[pos])) ++pos;
    double value = 0;  // a number missing at the end of the file reads as 0
    if (pos < content.size()) {
      const std::size_t start = pos;
      while (pos < content.size() && !Is_space(content[pos])) ++pos;
      if (!Parse_token(content.substr(start, pos - start), value)) {
        loaded.Error = kInvalid_numeric_input;
        return loaded;
      }
    }
    loaded.Texts[field] = Format_plain_decimal(value);
  }
  return loaded;
}

tLoaded_controls Load_control_data(const std::string& path) {
  tLoaded_controls failed;
  failed.Found = true;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return {};
    failed.Error = "Cannot read the control data from " + path + ": " + Errno_text(errno);
    return failed;
  }
  std::string content;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      failed.Error = "Cannot read the control data from " + path + ": " + Errno_text(errno);
      ::close(fd);
      return failed;
    }
    content.append(buffer, static_cast<std::size_t>(n));
    // The file is one short line; a huge file is not a control-data file.
    if (content.size() > (1u << 20)) {
      failed.Error = "Cannot read the control data from " + path + ": the file is too large";
      ::close(fd);
      return failed;
    }
  }
  ::close(fd);
  return Parse_control_data(content);
}

void Delete_control_data(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    throw std::runtime_error("Cannot delete the control data file " + path + ": " +
                             Errno_text(errno));
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
