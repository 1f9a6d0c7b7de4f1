// SPDX-License-Identifier: GPL-3.0-or-later
// The control-data file: its one-line format, reading back with missing and bad numbers,
// the plain-decimal display of loaded figures, the atomic save and the file's location.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
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
      // Exponents and signs as other programs write them; shown in plain decimals.
      {"1e-05 2.5E+3 -7 +8 .25 3.", {"0.00001", "2500", "-7", "8", "0.25", "3"}, false},
      {"0.123456789 1234567 0.0000012345678 -99.99999 1e6 123456.7",
       {"0.123457", "1234570", "0.00000123457", "-100", "1000000", "123457"}, false},
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
    EXPECT_EQ(loaded.Error, c.error ? "Invalid numeric input" : "") << c.content;
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(loaded.Texts[i], c.texts[i]) << c.content << " #" << i;
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
  // The test's own directory is writable, so the file goes beside the executable.
  const std::string dir = Exe_directory();
  ASSERT_FALSE(dir.empty());
  EXPECT_TRUE(fs::exists(fs::path(dir) / "test_control_data"));
  EXPECT_EQ(Data_file_path(), dir + "/kestrum.txt");
  if (old != nullptr) ::setenv("KESTRUM_DATA_FILE", saved.c_str(), 1);
}

TEST(ProgramStrings, TitleAndFileName) {
  EXPECT_EQ(Program_title, "Kestrum.EXE: Bayesian criteria for dissociations in single-case studies");
  EXPECT_EQ(Data_file_name, "kestrum.txt");
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

TEST_F(ControlDataFile, TemporaryFilesOfKilledSavesGoWithTheNextSave) {
  // A save killed at any moment leaves at most its temporary file; the next save removes
  // every such file that no running save holds, and nothing else.
  for (int i = 0; i < 150; ++i) {
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
  Write_file(dir_ / ".kestrum.txt.AbC123", "left by a killed save");
  Write_file(dir_ / ".kestrum.txt.held00", "a save in progress");
  Write_file(dir_ / ".kestrum.txt.toolong1", "not the pattern");
  Write_file(dir_ / ".other.txt.AbC123", "another file's");
  const int held = ::open((dir_ / ".kestrum.txt.held00").c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);

  Save_control_data(path_, kExample);
  ::close(held);
  EXPECT_EQ(Read_file(path_), "100 15 50 10 0.6 20 80 40 ");
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{".kestrum.txt.held00", ".kestrum.txt.toolong1",
                                            ".other.txt.AbC123", "kestrum.txt"}));
}

}  // namespace
