// SPDX-License-Identifier: GPL-3.0-or-later
// The control-data file: its one-line format, reading back with missing and bad numbers,
// the plain-decimal display of loaded figures, the atomic save and the file's location.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <functional>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/control_data.h"
#include "app/input_checks.h"

namespace fs = std::filesystem;

namespace {

std::string Read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write_file(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

class ControlDataFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kestrum_control_data_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "kestrum.txt").string();
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, ec);
    fs::remove_all(dir_, ec);
  }
  // Files in the directory other than the data file (a leftover temporary file).
  int Other_files() const {
    int n = 0;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      if (entry.path().filename() != "kestrum.txt") ++n;
    }
    return n;
  }
  fs::path dir_;
  std::string path_;
};

const std::array<std::string, 8> kExample = {"100", "15", "50", "10", "0.6", "20", "80", "40"};

TEST_F(ControlDataFile, RoundTripOfTheWorksheetExample) {
  Save_control_data(path_, kExample);
  EXPECT_EQ(Read_file(path_), "100 15 50 10 0.6 20 80 40 ");  // no line end
  const tLoaded_controls loaded = Load_control_data(path_);
  EXPECT_TRUE(loaded.Found);
  EXPECT_EQ(loaded.Error, "");
  const std::array<std::string, 6> expected = {"100", "15", "50", "10", "0.6", "20"};
  EXPECT_EQ(loaded.Texts, expected);
  EXPECT_EQ(Other_files(), 0);
}

TEST_F(ControlDataFile, SaveReplacesAnOlderFileAndDropsSpacesInsideTexts) {
  Write_file(path_, "1 2 3 4 0.5 9 1 1 ");
  Save_control_data(path_, {"1 00", "15", "-5", "10", ".6", "20", "8 0", "40"});
  // "1 00" reads as 100 in a field; written with its space it would read back as two
  // numbers and shift every later figure.
  EXPECT_EQ(Read_file(path_), "100 15 -5 10 .6 20 80 40 ");
  const std::array<std::string, 6> expected = {"100", "15", "-5", "10", "0.6", "20"};
  EXPECT_EQ(Load_control_data(path_).Texts, expected);
}

TEST_F(ControlDataFile, MissingFileIsNotFound) {
  const tLoaded_controls loaded = Load_control_data(path_);
  EXPECT_FALSE(loaded.Found);
  EXPECT_EQ(loaded.Error, "");
  for (const std::string& text : loaded.Texts) EXPECT_EQ(text, "");
}

TEST_F(ControlDataFile, DirectoryInsteadOfAFileIsAReadError) {
  fs::create_directories(path_);
  const tLoaded_controls loaded = Load_control_data(path_);
  EXPECT_TRUE(loaded.Found);
  EXPECT_NE(loaded.Error, "");
  EXPECT_THROW(Save_control_data(path_, kExample), std::runtime_error);
  EXPECT_TRUE(fs::is_directory(path_));
  EXPECT_EQ(Other_files(), 0);
}

TEST_F(ControlDataFile, UnwritableDirectoryThrowsAndKeepsTheOldFile) {
  Write_file(path_, "1 2 3 4 0.5 9 1 1 ");
  if (::geteuid() == 0) {
    // root writes anywhere: use a directory that cannot exist instead.
    const std::string nowhere = (dir_ / "kestrum.txt" / "kestrum.txt").string();
    EXPECT_THROW(Save_control_data(nowhere, kExample), std::runtime_error);
  } else {
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    try {
      Save_control_data(path_, kExample);
      FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(path_), std::string::npos) << e.what();
    }
    fs::permissions(dir_, fs::perms::owner_all);
  }
  EXPECT_EQ(Read_file(path_), "1 2 3 4 0.5 9 1 1 ");
  EXPECT_EQ(Other_files(), 0);
}

TEST_F(ControlDataFile, FailedWriteKeepsTheOldFile) {
  // A file-size limit makes the write itself fail (EFBIG) after the file was created: the
  // old control sample must survive and no temporary file may stay behind.
  Write_file(path_, "1 2 3 4 0.5 9 1 1 ");
  struct rlimit old_limit {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = old_limit;
  limit.rlim_cur = 4;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  bool threw = false;
  try {
    Save_control_data(path_, kExample);
  } catch (const std::runtime_error&) {
    threw = true;
  }
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_TRUE(threw);
  EXPECT_EQ(Read_file(path_), "1 2 3 4 0.5 9 1 1 ");
  EXPECT_EQ(Other_files(), 0);
}

TEST_F(ControlDataFile, SaveThroughASymbolicLinkKeepsTheLink) {
  const fs::path real = dir_ / "sample_a.txt";
  Write_file(real, "1 2 3 4 0.5 9 1 1 ");
  fs::create_symlink(real, path_);
  Save_control_data(path_, kExample);
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(Read_file(real), "100 15 50 10 0.6 20 80 40 ");
}

TEST_F(ControlDataFile, DeleteRemovesTheFileAndIgnoresAMissingOne) {
  Save_control_data(path_, kExample);
  Delete_control_data(path_);
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_NO_THROW(Delete_control_data(path_));
  EXPECT_FALSE(Load_control_data(path_).Found);
}

TEST(ParseControlData, MissingNumbersReadAsZeroBadTokenStopsTheLoad) {
  struct Case {
    const char* content;
    std::array<const char*, 6> texts;
    bool error;
  };
  const Case cases[] = {
      {"5", {"5", "0", "0", "0", "0", "0"}, false},
      {"", {"0", "0", "0", "0", "0", "0"}, false},
      {"100 15 50 10 0.6 20 80 40 ", {"100", "15", "50", "10", "0.6", "20"}, false},
      {"100\t15\n50\r\n10  \n\n0.6 20", {"100", "15", "50", "10", "0.6", "20"}, false},
      {"  1 2 3 ", {"1", "2", "3", "0", "0", "0"}, false},
      // Exponents and signs as other programs write them; shown in plain decimals, without
      // the zero before the point where only so the figure fits the field.
      {"1e-05 2.5E+3 -7 +8 .25 3.", {".00001", "2500", "-7", "8", "0.25", "3"}, false},
      {"0.99999 -0.1234 100.00 0.59999999999999998 -99999 1", {".99999", "-.1234", "100", "0.6", "-99999", "1"}, false},
      // A token that is not a number ends the load; the fields read so far are kept.
      {"100 15 abc 10 0.6 20", {"100", "15", "", "", "", ""}, true},
      {"x", {"", "", "", "", "", ""}, true},
      {"1 2 3 4 5 6x", {"1", "2", "3", "4", "5", ""}, true},
      {"1,5 2", {"", "", "", "", "", ""}, true},
      {"1 nan 3", {"1", "", "", "", "", ""}, true},
      {"1 inf", {"1", "", "", "", "", ""}, true},
      {"1 1e999", {"1", "", "", "", "", ""}, true},
      {"1 - 3", {"1", "", "", "", "", ""}, true},
      {"1 e5", {"1", "", "", "", "", ""}, true},
      // Only six numbers are read; what follows (the case scores) is not looked at.
      {"1 2 3 4 5 6 junk", {"1", "2", "3", "4", "5", "6"}, false},
  };
  for (const Case& c : cases) {
    const tLoaded_controls loaded = Parse_control_data(c.content);
    EXPECT_TRUE(loaded.Found);
    EXPECT_FALSE(loaded.File_error);
    EXPECT_EQ(loaded.Error, c.error ? "Invalid numeric input" : "") << c.content;
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(loaded.Texts[i], c.texts[i]) << c.content << " #" << i;
  }
}

// A figure is used exactly or not at all: one that a field of six characters cannot show
// without changing it ends the load with a message naming it.
TEST(ParseControlData, FiguresThatDoNotFitAFieldAreRefusedByName) {
  using namespace std::string_literals;
  struct Case {
    std::string content;
    const char* figure;   // named in the message; nullptr: the UTF-16 message
    const char* caption;  // the field it was meant for
    std::size_t kept;     // fields read before it
  };
  const Case cases[] = {
      {"100.12345 15 50 10 0.123456789 20", "100.12345", "Mean of the control or normative sample on Task X", 0},
      {"100 15 50 10 0.123456789 20", "0.123456789", "Correlation between Tasks X and Y in normative sample", 4},
      {"100 15 50 10 0.6 20.0000001", "20.0000001", "Sample size of the normative sample", 5},
      {"1234567 1", "1234567", "Mean of the control or normative sample on Task X", 0},
      {"1 -0.00001", "-0.00001", "Standard deviation for the normative sample on Task X", 1},
      {"1 2 1e6", "1e6", "Mean of the control or normative sample on Task Y", 2},
      // UTF-16, little- and big-endian with their marks, and without a mark.
      {"\xFF\xFE" "1\0 \0" "2\0"s, nullptr, nullptr, 0},
      {"\xFE\xFF\0" "1\0 "s, nullptr, nullptr, 0},
      {"1\0 \0" "2\0"s, nullptr, nullptr, 0},
  };
  for (const Case& c : cases) {
    const tLoaded_controls loaded = Parse_control_data(c.content);
    if (c.figure == nullptr) {
      EXPECT_EQ(loaded.Error, "UTF-16 is not supported: save the file as UTF-8");
      continue;
    }
    EXPECT_NE(loaded.Error.find(std::string("figure ") + c.figure + " (" + c.caption + ")"),
              std::string::npos)
        << loaded.Error;
    EXPECT_NE(loaded.Error.find("6 characters"), std::string::npos) << loaded.Error;
    for (std::size_t i = 0; i < 6; ++i) {
      EXPECT_EQ(loaded.Texts[i].empty(), i >= c.kept) << c.content << " #" << i;
    }
  }
}

TEST(ParseControlData, EveryShownFigureIsTheStoredNumber) {
  // Whatever a file holds, a figure that is shown reads back as exactly the stored number.
  std::mt19937_64 random(181);
  std::uniform_int_distribution<int> digits(0, 9), length(1, 9), sign(0, 3);
  for (int i = 0; i < 20000; ++i) {
    std::string token = sign(random) == 0 ? "-" : "";
    const int n = length(random);
    const int point = std::uniform_int_distribution<int>(0, n)(random);
    for (int k = 0; k < n; ++k) {
      if (k == point) token += '.';
      token += static_cast<char>('0' + digits(random));
    }
    const tLoaded_controls loaded = Parse_control_data(token);
    if (!loaded.Error.empty()) continue;
    ASSERT_LE(loaded.Texts[0].size(), kMax_field_length) << token;
    EXPECT_EQ(Read_number(loaded.Texts[0], "c").Value, std::strtod(token.c_str(), nullptr)) << token;
  }
}

TEST(FormatPlainDecimal, SixSignificantDigitsWithoutExponent) {
  struct Case { double value; const char* text; };
  const Case cases[] = {
      {0, "0"},          {-0.0, "0"},          {0.6, "0.6"},          {100, "100"},
      {1e-05, "0.00001"}, {-1e-05, "-0.00001"}, {1234567, "1234570"}, {123.4567, "123.457"},
      {999999.5, "1000000"}, {0.1 + 0.2, "0.3"}, {1e20, "100000000000000000000"},
      {2.5e-10, "0.00000000025"}, {15, "15"}, {-2.125, "-2.125"}, {1.00000049, "1"},
  };
  for (const Case& c : cases) EXPECT_EQ(Format_plain_decimal(c.value), c.text) << c.value;
}

TEST(FormatPlainDecimal, EveryShownFigureIsAcceptedByTheFieldParser) {
  // The fault this guards: "%1.6g" showed 1e-05, which the field parser refuses, so the
  // next run failed on a figure the program had written itself. The shown text must read
  // back as the figure rounded to six significant digits.
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> mantissa(-10, 10);
  std::uniform_int_distribution<int> exponent(-12, 12);
  for (int i = 0; i < 20000; ++i) {
    const double value = mantissa(random) * std::pow(10.0, exponent(random));
    const std::string text = Format_plain_decimal(value);
    const tField_value read = Read_number(text, "caption:");
    ASSERT_TRUE(read.Ok) << value << " shown as " << text;
    char g6[64];
    std::snprintf(g6, sizeof g6, "%.6g", value);
    EXPECT_EQ(read.Value, std::strtod(g6, nullptr)) << value << " shown as " << text;
  }
}

TEST(DataFilePath, EnvironmentVariableNamesTheFileElseBesideTheExecutable) {
  const char* old = std::getenv("KESTRUM_DATA_FILE");
  const std::string saved = old != nullptr ? old : "";
  ::setenv("KESTRUM_DATA_FILE", "/some/where/controls.txt", 1);
  EXPECT_EQ(Data_file_path(), "/some/where/controls.txt");
  ::unsetenv("KESTRUM_DATA_FILE");
  // Beside the executable when its directory is the user's own folder (as a build tree
  // usually is); else in the XDG place.
  const std::string dir = Exe_directory();
  ASSERT_FALSE(dir.empty());
  EXPECT_TRUE(fs::exists(fs::path(dir) / "test_control_data"));
  if (Own_program_directory(dir)) {
    EXPECT_EQ(Data_file_path(), dir + "/kestrum.txt");
  } else {
    EXPECT_NE(Data_file_path().find("/kestrum/kestrum.txt"), std::string::npos);
  }
  if (old != nullptr) ::setenv("KESTRUM_DATA_FILE", saved.c_str(), 1);
}

TEST(ProgramStrings, TitleAndFileName) {
  EXPECT_STREQ(Program_title, "Kestrum.EXE: Bayesian criteria for dissociations in single-case studies");
  EXPECT_STREQ(Data_file_name, "kestrum.txt");
}

}  // namespace

namespace {

TEST(DataFilePath, ChoiceAmongThePlacesAndNoneUsable) {
  struct Case {
    tData_file_places places;
    const char* path;  // nullptr: refused
  };
  const Case cases[] = {
      {{"/n/k.txt", "/opt/bin", true, "/x", "/h"}, "/n/k.txt"},
      {{"", "/opt/bin", true, "/x", "/h"}, "/opt/bin/kestrum.txt"},
      {{"", "/usr/bin", false, "/x/", "/h"}, "/x/kestrum/kestrum.txt"},
      {{"", "/usr/bin", false, "", "/h"}, "/h/.config/kestrum/kestrum.txt"},
      {{"", "/usr/bin", false, "relative", "/h"}, "/h/.config/kestrum/kestrum.txt"},
      {{"", "/usr/bin", false, "", "/"}, "/.config/kestrum/kestrum.txt"},
      {{"", "/usr/bin", false, "/", "/h"}, "/kestrum/kestrum.txt"},
      // Nothing usable: never the current directory.
      {{"", "/usr/bin", false, "", ""}, nullptr},
      {{"", "/usr/bin", false, "rel", "also/relative"}, nullptr},
      {{"", "", false, "", ""}, nullptr},
  };
  for (const Case& c : cases) {
    const std::string label = c.places.Xdg_config + "|" + c.places.Home;
    if (c.path != nullptr) {
      EXPECT_EQ(Data_file_path_in(c.places), c.path) << label;
      continue;
    }
    try {
      Data_file_path_in(c.places);
      ADD_FAILURE() << "accepted " << label;
    } catch (const std::runtime_error& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find("KESTRUM_DATA_FILE"), std::string::npos) << message;
      EXPECT_NE(message.find("HOME"), std::string::npos) << message;
      EXPECT_EQ(message.find(".config"), std::string::npos) << message;
    }
  }
}

// Sets a file's modification time `seconds` into the past (a link itself, not its target).
void Age(const fs::path& at, long seconds) {
  const struct timespec times[2] = {{::time(nullptr) - seconds, 0}, {::time(nullptr) - seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, at.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << at;
}

// Runs `body` in a child process as the second user (uid and gid 65534, "nobody"); the
// child's exit status is what body returns. Only root can do this.
int As_second_user(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(99);
    _exit(body());
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

constexpr char kTemporary[] = ".kestrum-save-0123456789abcdef.tmp";  // of the saves' own form
constexpr long kHour = 3600;

TEST_F(ControlDataFile, TemporaryFilesOfKilledSavesGoOnceStale) {
  // A save killed at any moment leaves at most its temporary file; a later save removes
  // those an hour old, and no file of a save that may still be running.
  for (int i = 0; i < 60; ++i) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;) Save_control_data(path_, kExample);
    }
    ::usleep(static_cast<useconds_t>(200 + (i * 37) % 900));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
  }
  const int left_fresh = Other_files();
  std::printf("[          ] %d temporary files left by killed saves\n", left_fresh);
  Save_control_data(path_, kExample);
  EXPECT_EQ(Other_files(), left_fresh);  // fresh: perhaps a running save's
  for (const auto& entry : fs::directory_iterator(dir_)) Age(entry.path(), kHour + 5);
  Save_control_data(path_, kExample);
  EXPECT_EQ(Other_files(), 0);
  EXPECT_EQ(Read_file(path_), "100 15 50 10 0.6 20 80 40 ");
}

// A save removes a file beside the data file only when it is a temporary file of a save
// of this program's own: of that form, regular, with one name, the user's own, an hour
// old and unlocked. Names from a person (the first two rows were both removed before)
// and files of other users (in a folder the group may write) are never touched. The
// "another user" row runs the save as a second user where the kernel allows it (as
// root), else names another uid as the one saving.
TEST_F(ControlDataFile, SaveRemovesOnlyItsOwnStaleTemporaryFiles) {
  const bool root = ::geteuid() == 0;
  enum tKind { kFile, kLink, kFifo, kFolder, kTwo_names };
  struct Case {
    const char* name;
    tKind kind;
    long age;             // seconds since it last changed
    bool locked;          // held by a save still running
    bool other_owner;     // another user's file
    bool removed;
  };
  const Case cases[] = {
      {".kestrum.txt.backup", kFile, kHour * 24, false, false, false},
      {".kestrum.txt.2024v1", kFile, kHour * 24, false, false, false},
      {".kestrum.txt.AbC123", kFile, kHour * 24, false, false, false},
      {kTemporary, kFile, kHour + 5, false, false, true},
      {kTemporary, kFile, 0, false, false, false},
      {kTemporary, kFile, kHour - 60, false, false, false},
      {kTemporary, kFile, kHour * 24, true, false, false},
      {kTemporary, kFile, kHour * 24, false, true, false},
      {kTemporary, kLink, kHour * 24, false, false, false},
      {kTemporary, kFifo, kHour * 24, false, false, false},
      {kTemporary, kFolder, kHour * 24, false, false, false},
      {kTemporary, kTwo_names, kHour * 24, false, false, false},
      {".kestrum-save-0123456789ABCDEF.tmp", kFile, kHour * 24, false, false, false},
      {".kestrum-save-0123456789abcde.tmp", kFile, kHour * 24, false, false, false},
      {".kestrum-save-0123456789abcdefa.tmp", kFile, kHour * 24, false, false, false},
      {".kestrum-save-0123456789abcdeg.tmp", kFile, kHour * 24, false, false, false},
      {".kestrum-save-0123456789abcdef.tmp~", kFile, kHour * 24, false, false, false},
      {"kestrum-save-0123456789abcdef.tmp", kFile, kHour * 24, false, false, false},
  };
  const fs::path elsewhere = dir_ / "elsewhere.txt";  // a link's target, a second name's file
  for (const Case& c : cases) {
    for (const auto& entry : fs::directory_iterator(dir_)) fs::remove_all(entry.path());
    const fs::path at = dir_ / c.name;
    std::string label = std::string(c.name) + " kind " + std::to_string(c.kind) + " age " +
                        std::to_string(c.age) + (c.locked ? " locked" : "") +
                        (c.other_owner ? " another user's" : "");
    Write_file(elsewhere, "not a temporary file");
    switch (c.kind) {
      case kFile: Write_file(at, "left by someone"); break;
      case kLink: fs::create_symlink(elsewhere, at); break;
      case kFifo: ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); break;
      case kFolder: fs::create_directory(at); break;
      case kTwo_names: fs::create_hard_link(elsewhere, at); break;
    }
    Age(elsewhere, c.age);
    Age(at, c.age);
    const int held = c.locked ? ::open(at.c_str(), O_RDONLY) : -1;
    if (c.locked) {
      ASSERT_EQ(::flock(held, LOCK_EX), 0);
    }
    if (c.other_owner && root) {
      // The folder open to the group and everyone, as a shared study folder may be; the
      // file root's, the save nobody's.
      fs::permissions(dir_, fs::perms::all);
      EXPECT_EQ(As_second_user([&] {
                  try {
                    Save_control_data(path_, kExample);
                    return 0;
                  } catch (const std::exception&) {
                    return 1;
                  }
                }),
                0)
          << label;
      fs::permissions(dir_, fs::perms::owner_all);
    } else {
      Save_control_data(path_, kExample, c.other_owner ? ::geteuid() + 1 : kThis_user);
    }
    if (held >= 0) ::close(held);
    struct stat st {};
    EXPECT_EQ(::lstat(at.c_str(), &st) != 0, c.removed) << label;
    EXPECT_EQ(Read_file(elsewhere), "not a temporary file") << label;
    EXPECT_EQ(Read_file(path_), "100 15 50 10 0.6 20 80 40 ") << label;
    // Nothing else is left: the save's own temporary file went with its rename.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()),
              c.removed ? 2 : 3)
        << label;
  }
}

}  // namespace

namespace {

// Links and special files at the data file's path: only a regular file (or a missing path)
// is read or replaced, a link only when it is the user's own, and nothing is followed,
// opened for writing or replaced otherwise. Run as root, the "another user" rows use a
// link really owned by another uid (lchown); the same checks run for every user by
// naming another uid as the one asking. The device rows need root (mknod); the nodes are
// made inside the test's directory, with a device number of the range kept for local use
// (no driver behind it), and are never written to.
TEST_F(ControlDataFile, OnlyRegularFilesAndTheUsersOwnLinksAreReadOrReplaced) {
  const bool root = ::geteuid() == 0;
  const uid_t me = ::geteuid();
  const uid_t other = me == 65534 ? 65533 : 65534;
  const fs::path victim = dir_ / "victim.txt";
  const fs::path sticky = dir_ / "shared";
  fs::create_directories(sticky);
  fs::permissions(sticky, fs::perms::all | fs::perms::sticky_bit);
  struct Case {
    const char* name;
    std::function<bool(const fs::path&)> make;  // false: cannot be made here, skipped
    uid_t user;              // the user the checks are made for
    const char* message;     // in the load's and the save's message
    bool delete_removes;     // Delete_control_data removes the entry (the user's own link)
  };
  const auto link_to = [](const fs::path& target) {
    return [target](const fs::path& at) {
      fs::create_symlink(target, at);
      return true;
    };
  };
  const auto foreign_link = [&](const fs::path& at) {
    if (!root) return false;
    fs::create_symlink(victim, at);
    return ::lchown(at.c_str(), other, other) == 0;
  };
  const Case cases[] = {
      {"FIFO", [](const fs::path& at) { return ::mkfifo(at.c_str(), 0600) == 0; }, kThis_user,
       "it is a FIFO (named pipe), not a regular file", false},
      {"socket",
       [](const fs::path& at) {
         const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         if (at.string().size() >= sizeof address.sun_path) return false;
         std::strcpy(address.sun_path, at.c_str());
         const bool made = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
         ::close(fd);
         return made;
       },
       kThis_user, "it is a socket, not a regular file", false},
      {"character device (as /dev/null is)",
       [](const fs::path& at) { return ::mknod(at.c_str(), S_IFCHR | 0600, makedev(240, 77)) == 0; },
       kThis_user, "it is a character device, not a regular file", false},
      {"block device",
       [](const fs::path& at) { return ::mknod(at.c_str(), S_IFBLK | 0600, makedev(240, 77)) == 0; },
       kThis_user, "it is a block device, not a regular file", false},
      {"directory", [](const fs::path& at) { return fs::create_directory(at); }, kThis_user,
       "it is a directory, not a regular file", false},
      {"own link to a FIFO",
       [&](const fs::path& at) {
         return ::mkfifo((dir_ / "fifo").c_str(), 0600) == 0 && link_to(dir_ / "fifo")(at);
       },
       kThis_user, "which is a FIFO (named pipe), not a regular file", true},
      {"broken link", link_to(dir_ / "nowhere" / "k.txt"), kThis_user, "it is a broken symbolic link", true},
      {"looping link",
       [&](const fs::path& at) {
         fs::create_symlink(at, dir_ / "loop");
         fs::create_symlink(dir_ / "loop", at);
         return true;
       },
       kThis_user, "looping symbolic link", true},
      {"link of another user (named uid)", link_to(victim), other, "owned by another user", false},
      {"link of another user (real owner)", foreign_link, kThis_user, "owned by another user", false},
      {"own link, then a link of another user",
       [&](const fs::path& at) {
         if (!root) return false;
         fs::create_symlink(victim, sticky / "theirs.txt");
         if (::lchown((sticky / "theirs.txt").c_str(), other, other) != 0) return false;
         fs::create_symlink(sticky / "theirs.txt", at);
         return true;
       },
       kThis_user, "owned by another user", true},
  };
  for (const Case& c : cases) {
    for (const bool in_sticky : {false, true}) {
      const fs::path at = (in_sticky ? sticky : dir_) / "kestrum.txt";
      for (const fs::path& p : {at, dir_ / "fifo", dir_ / "loop", sticky / "theirs.txt"}) {
        std::error_code ec;
        fs::remove_all(p, ec);
      }
      Write_file(victim, "victim's own text");
      if (!c.make(at)) {
        std::printf("[ skipped  ] %s: cannot be made by this user\n", c.name);
        break;
      }
      const std::string label = std::string(c.name) + (in_sticky ? " in a sticky directory" : "");
      struct stat before {};
      ASSERT_EQ(::lstat(at.c_str(), &before), 0) << label;

      const tLoaded_controls loaded = Load_control_data(at.string(), c.user);
      EXPECT_TRUE(loaded.Found) << label;
      EXPECT_TRUE(loaded.File_error) << label;
      EXPECT_NE(loaded.Error.find(c.message), std::string::npos) << label << ": " << loaded.Error;
      EXPECT_NE(loaded.Error.find(at.string()), std::string::npos) << label;
      try {
        Save_control_data(at.string(), kExample, c.user);
        ADD_FAILURE() << label << ": saved";
      } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << label << ": " << e.what();
      }
      struct stat after {};
      ASSERT_EQ(::lstat(at.c_str(), &after), 0) << label;
      EXPECT_EQ(after.st_mode, before.st_mode) << label << ": replaced";
      EXPECT_EQ(after.st_ino, before.st_ino) << label << ": replaced";
      EXPECT_EQ(Read_file(victim), "victim's own text") << label;

      bool deleted = true;
      try {
        Delete_control_data(at.string(), c.user);
      } catch (const std::runtime_error&) {
        deleted = false;
      }
      EXPECT_EQ(deleted, c.delete_removes) << label;
      EXPECT_EQ(::lstat(at.c_str(), &after) != 0, c.delete_removes) << label;
      EXPECT_EQ(Read_file(victim), "victim's own text") << label;
    }
  }
  // The user's own link to a regular file is followed: the file it names is replaced and
  // the link kept (also in a sticky directory).
  fs::remove(sticky / "kestrum.txt");
  fs::remove(sticky / "theirs.txt");
  fs::create_symlink(victim, sticky / "kestrum.txt");
  Save_control_data((sticky / "kestrum.txt").string(), kExample);
  EXPECT_TRUE(fs::is_symlink(sticky / "kestrum.txt"));
  EXPECT_EQ(Read_file(victim), "100 15 50 10 0.6 20 80 40 ");
  EXPECT_EQ(Load_control_data((sticky / "kestrum.txt").string()).Texts[0], "100");
  EXPECT_EQ(Other_files(), 2);  // victim.txt and shared/: nothing left behind
  EXPECT_EQ(std::distance(fs::directory_iterator(sticky), fs::directory_iterator()), 1);
}

// A folder is made only by a save that needs it, never by finding the path or loading,
// and never inside a system directory: every folder on the way is checked, "/" included.
// The first rows are the places HOME=/usr, XDG_CONFIG_HOME=/etc/x and HOME=/ gave as root.
TEST_F(ControlDataFile, FoldersAreMadeOnlyBySavesAndNeverInASystemDirectory) {
  const std::string unique = "kestrum-test-" + std::to_string(::getpid());
  fs::create_directory_symlink("/usr", dir_ / "to_usr");
  struct Case {
    std::string path;
    std::string first_new;  // the first folder of the path that is missing
    const char* refused;    // in the save's message; nullptr: saved
  };
  const Case cases[] = {
      {"/usr/." + unique + "/kestrum/kestrum.txt", "/usr/." + unique,
       "would have to be made in a system directory (/usr)"},
      {"/etc/" + unique + "/kestrum/kestrum.txt", "/etc/" + unique,
       "would have to be made in a system directory (/etc)"},
      {"/." + unique + "/kestrum/kestrum.txt", "/." + unique,
       "would have to be made in a system directory (/)"},
      // Through the user's own link: the real folder counts.
      {(dir_ / "to_usr" / unique / "kestrum.txt").string(), "/usr/" + unique,
       "would have to be made in a system directory (/usr)"},
      {(dir_ / "config" / "kestrum" / "kestrum.txt").string(), (dir_ / "config").string(), nullptr},
      // ".." after a link is the folder above the link's target (as the kernel reads it).
      {(dir_ / "to_usr" / ".." / unique / "kestrum.txt").string(), "/" + unique,
       "would have to be made in a system directory (/)"},
  };
  for (const Case& c : cases) {
    const tLoaded_controls loaded = Load_control_data(c.path);
    EXPECT_FALSE(loaded.Found) << c.path << ": " << loaded.Error;
    EXPECT_NO_THROW(Delete_control_data(c.path)) << c.path;
    EXPECT_FALSE(fs::exists(c.first_new)) << c.path << ": made by a load or delete";
    try {
      Save_control_data(c.path, kExample, kThis_user, true);
      EXPECT_EQ(c.refused, nullptr) << c.path << ": saved";
    } catch (const std::runtime_error& e) {
      ASSERT_NE(c.refused, nullptr) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.refused), std::string::npos) << e.what();
    }
    EXPECT_EQ(fs::exists(c.first_new), c.refused == nullptr) << c.path;
    if (c.refused == nullptr) {
      EXPECT_EQ(Load_control_data(c.path).Texts[0], "100") << c.path;
      EXPECT_EQ(fs::status(c.first_new).permissions() & fs::perms::all, fs::perms::owner_all)
          << c.path;
    }
  }
  // A file the user named must be where it was named: its folder is not made.
  EXPECT_THROW(Save_control_data((dir_ / "named" / "k.txt").string(), kExample), std::runtime_error);
  EXPECT_FALSE(fs::exists(dir_ / "named"));

  // Finding the place and loading make nothing (the desktop program made
  // $XDG_CONFIG_HOME/kestrum at start-up); the save makes it. The place is
  // $XDG_CONFIG_HOME only for a program outside the user's own folders: as root, a second
  // user runs the test's program, which is root's.
  const fs::path shared = dir_ / "open";
  fs::create_directory(shared);
  fs::permissions(shared, fs::perms::all);
  const fs::path xdg_file = shared / "xdg" / "kestrum" / "kestrum.txt";
  const auto in_xdg_place = [&](const std::function<int(const std::string&)>& body) {
    return [&, body] {
      ::setenv("XDG_CONFIG_HOME", (shared / "xdg").c_str(), 1);
      ::setenv("HOME", (shared / "home").c_str(), 1);
      ::unsetenv("KESTRUM_DATA_FILE");
      const std::string path = Data_file_path();
      return path == xdg_file.string() ? body(path) : 1;
    };
  };
  const auto find_and_load = in_xdg_place([](const std::string& path) {
    return Load_control_data(path).Found ? 2 : 0;
  });
  const auto save = in_xdg_place([](const std::string&) {
    Save_to_data_file(kExample);
    return 0;
  });
  if (::geteuid() == 0) {
    EXPECT_EQ(As_second_user(find_and_load), 0);
    EXPECT_FALSE(fs::exists(shared / "xdg"));
    EXPECT_FALSE(fs::exists(shared / "home"));
    EXPECT_EQ(As_second_user(save), 0);
    EXPECT_EQ(Read_file(xdg_file), "100 15 50 10 0.6 20 80 40 ");
    EXPECT_EQ(fs::status(shared / "xdg").permissions() & fs::perms::all, fs::perms::owner_all);
  } else {
    std::printf("[ skipped  ] no second user: $XDG_CONFIG_HOME not used by this program\n");
  }
}

// A symbolic link owned by another user is refused wherever it stands on the path, not
// only as its last component: the data folder, a folder above it, a folder reached
// through the user's own link. Nothing is read, written or deleted through it, and the
// message names the link and its owner. Run as root, the links belong to a second user
// (lchown); otherwise the same checks are made for another uid.
TEST_F(ControlDataFile, NoFolderLinkOfAnotherUserIsFollowed) {
  const bool root = ::geteuid() == 0;
  const uid_t other = root ? 65534 : ::geteuid() + 1;  // 65534: "nobody"
  const uid_t asking = root ? kThis_user : other;
  const fs::path study = dir_ / "victim" / "studyA";  // the victim's own folder
  const fs::path shared = dir_ / "shared";            // open to all, as /tmp
  fs::create_directories(study / "kestrum");
  fs::create_directories(shared);
  fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
  const auto others_link = [&](const fs::path& target, const fs::path& at) {
    fs::create_directory_symlink(target, at);
    if (root) {
      ASSERT_EQ(::lchown(at.c_str(), other, other), 0);
    }
  };
  const auto own_link = [](const fs::path& target, const fs::path& at) {
    fs::create_directory_symlink(target, at);
  };
  struct Case {
    const char* name;
    std::function<void()> make;
    fs::path path;  // the data file's path
    fs::path link;  // the link named in the message
    bool own_link_first = false;  // needs a second user: the user's own link comes first
  };
  const Case cases[] = {
      {"the data folder ($XDG_CONFIG_HOME=shared)", [&] { others_link(study, shared / "kestrum"); },
       shared / "kestrum" / "kestrum.txt", shared / "kestrum"},
      {"the configuration folder", [&] { others_link(study / "..", shared / "config"); },
       shared / "config" / "studyA" / "kestrum.txt", shared / "config"},
      {"reached through the user's own link",
       [&] {
         others_link(study, shared / "kestrum");
         own_link(shared / "kestrum", dir_ / "mine");
       },
       dir_ / "mine" / "kestrum.txt", shared / "kestrum", true},
      {"the folder of the user's own file link",
       [&] {
         others_link(study, shared / "kestrum");
         fs::create_symlink(shared / "kestrum" / "kestrum.txt", dir_ / "kestrum.txt");
       },
       dir_ / "kestrum.txt", shared / "kestrum", true},
      {"a second link in a chain",
       [&] {
         others_link(study, shared / "second");
         own_link(shared / "second", shared / "first");
       },
       shared / "first" / "kestrum" / "kestrum.txt", shared / "second", true},
  };
  for (const Case& c : cases) {
    for (const fs::path& p : {shared / "kestrum", shared / "config", shared / "first",
                              shared / "second", dir_ / "mine", dir_ / "kestrum.txt"}) {
      fs::remove(p);
    }
    Write_file(study / "kestrum.txt", "victim's own text");
    Write_file(study / "kestrum" / "kestrum.txt", "victim's own text");
    if (c.own_link_first && !root) {
      std::printf("[ skipped  ] %s: needs a second user\n", c.name);
      continue;
    }
    c.make();
    const std::string path = c.path.string();
    const std::string names = c.link.string() + " on its way is a symbolic link owned by another user";
    struct stat link {};
    ASSERT_EQ(::lstat(c.link.c_str(), &link), 0) << c.name;
    const std::string owner = "uid " + std::to_string(link.st_uid) + ")";

    const tLoaded_controls loaded = Load_control_data(path, asking);
    EXPECT_TRUE(loaded.File_error) << c.name;
    EXPECT_NE(loaded.Error.find(names), std::string::npos) << c.name << ": " << loaded.Error;
    EXPECT_NE(loaded.Error.find(owner), std::string::npos) << c.name << ": " << loaded.Error;
    try {
      Save_control_data(path, kExample, asking, true);
      ADD_FAILURE() << c.name << ": saved";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(names), std::string::npos) << c.name << ": " << e.what();
      EXPECT_NE(std::string(e.what()).find(owner), std::string::npos) << c.name << ": " << e.what();
    }
    if (c.path.filename() == "kestrum.txt" && c.path.parent_path() != dir_) {
      EXPECT_THROW(Delete_control_data(path, asking), std::runtime_error) << c.name;
    }
    EXPECT_EQ(Read_file(study / "kestrum.txt"), "victim's own text") << c.name;
    EXPECT_EQ(Read_file(study / "kestrum" / "kestrum.txt"), "victim's own text") << c.name;
    EXPECT_EQ(std::distance(fs::directory_iterator(study), fs::directory_iterator()), 2) << c.name;
  }
  // The user's own link to a folder is followed, as a link to a file is.
  fs::remove(dir_ / "kestrum.txt");
  fs::create_directory_symlink(study, dir_ / "own");
  Save_control_data((dir_ / "own" / "kestrum.txt").string(), kExample);
  EXPECT_EQ(Read_file(study / "kestrum.txt"), "100 15 50 10 0.6 20 80 40 ");
  Delete_control_data((dir_ / "own" / "kestrum.txt").string());
  EXPECT_FALSE(fs::exists(study / "kestrum.txt"));
  // So is a folder link of root's, as the system's own links are (/home -> var/home): for
  // another user it is root's, not its own.
  if (root) {
    Save_control_data((dir_ / "own" / "kestrum.txt").string(), kExample, other);
    EXPECT_EQ(Read_file(study / "kestrum.txt"), "100 15 50 10 0.6 20 80 40 ");
  }
}

TEST(DataFilePath, NoFileInASystemDirectoryAndBesideOnlyAUsersOwnProgram) {
  struct Case {
    const char* dir;
    bool system;
  };
  const Case cases[] = {
      {"/", true},           {"/usr/bin", true},         {"/usr/local/bin", true},
      {"/opt/kestrum/bin", true}, {"/bin", true},        {"/sbin", true},
      {"/lib64", true},      {"/etc", true},             {"/run/kestrum", true},
      {"/dev", true},        {"/var/tmp", false},        {"/var/lib/service-home", false},
      {"/usr2/bin", false},  {"/home/u/bin", false},     {"/tmp/build", false},
      {"/work/kestrum/build/cli", false}, {"/optional", false}, {"", true},
  };
  for (const Case& c : cases) EXPECT_EQ(Is_system_directory(c.dir), c.system) << c.dir;

  const fs::path own = fs::temp_directory_path() / ("kestrum_own_" + std::to_string(::getpid()));
  fs::create_directories(own);
  fs::permissions(own, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                           fs::perms::others_read | fs::perms::others_exec);
  EXPECT_TRUE(Own_program_directory(own.string()));
  EXPECT_FALSE(Own_program_directory(own.string(), ::geteuid() + 1));  // another user's
  fs::permissions(own, fs::perms::all);  // writable by everyone, like /tmp
  EXPECT_FALSE(Own_program_directory(own.string()));
  fs::remove_all(own);
  EXPECT_FALSE(Own_program_directory(own.string()));  // gone
  EXPECT_FALSE(Own_program_directory("/usr/bin", 0));  // root's, but a system directory
  EXPECT_FALSE(Own_program_directory("relative/dir"));

  // Saving into a system directory is refused before anything is created there.
  try {
    Save_control_data("/usr/bin/kestrum-test-never-written.txt", kExample);
    ADD_FAILURE() << "saved into /usr/bin";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("system directory (/usr/bin)"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(fs::exists("/usr/bin/kestrum-test-never-written.txt"));
}

}  // namespace
