#include "app/control_data.h"

#include <fcntl.h>
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

// $XDG_CONFIG_HOME/kestrum (an absolute $XDG_CONFIG_HOME only, as the XDG base-directory
// rules say), else $HOME/.config/kestrum; created when missing.
std::string Config_directory() {
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = (home != nullptr && home[0] != '\0') ? std::string(home) + "/.config" : ".config";
  }
  const std::string dir = base + "/kestrum";
  std::error_code ec;
  fs::create_directories(dir, ec);  // a failure shows when the file is written
  return dir;
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
  // from_chars takes no leading "+" and ignores the locale.
  const char* first = token.data() + (token[0] == '+' ? 1 : 0);
  const auto [ptr, ec] = std::from_chars(first, token.data() + token.size(), value);
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

std::string Data_file_path() {
  const char* named = std::getenv("KESTRUM_DATA_FILE");
  if (named != nullptr && named[0] != '\0') return named;
  const std::string exe_dir = Exe_directory();
  if (Writable_directory(exe_dir)) return exe_dir + "/" + Data_file_name;
  return Config_directory() + "/" + Data_file_name;
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

  const int fd = ::mkstemp(temp.data());
  if (fd < 0) fail("cannot create a file in " + dir.string(), errno);

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
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    fail("write failed", error);
  }
  if (std::rename(temp.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    fail("cannot replace the file", error);
  }
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
  char buffer[64];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 5);
  if (ec != std::errc{}) return "0";
  const std::string sci(buffer, end);
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
