// SPDX-License-Identifier: GPL-3.0-or-later
// kestrum-cli as a process, under the faults a user meets: output that cannot be written,
// a memory limit, and signals in the middle of a run. Each case starts the program with
// fork and exec, sets the limit in the child, and reads its output through a pipe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// AddressSanitizer reserves terabytes of address space for its shadow memory: a program
// built with it cannot start under an address-space limit, and its memory use is not the
// program's own.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddress_sanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddress_sanitizer = true;
#else
constexpr bool kAddress_sanitizer = false;
#endif
#else
constexpr bool kAddress_sanitizer = false;
#endif

enum class tOutput { Pipe, Dev_full, Closed, Broken_pipe };

struct tChild {
  std::vector<std::string> Args;
  tOutput Output = tOutput::Pipe;
  rlim_t Address_space = RLIM_INFINITY;
  int Signal = 0;  // sent once Ready(output so far) is true
  std::function<bool(const std::string&)> Ready = {};
};

struct tEnded {
  int Exit = -1;         // exit status, or -1 when ended by a signal
  int Killed_by = 0;     // the signal that ended it
  std::string Out, Err;  // the output (Pipe only) and standard error
  long Max_rss_kb = 0;
};

class CliProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kestrum_cli_process_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ::setenv("KESTRUM_DATA_FILE", (dir_ / "kestrum.txt").c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("KESTRUM_DATA_FILE");
    fs::remove_all(dir_);
  }

  std::string Write(const std::string& name, const std::string& content) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  tEnded Run(const tChild& child) {
    const std::string err_path = (dir_ / "stderr.txt").string();
    int pipe_fds[2] = {-1, -1};
    if (child.Output == tOutput::Pipe || child.Output == tOutput::Broken_pipe) {
      EXPECT_EQ(::pipe(pipe_fds), 0);
      if (child.Output == tOutput::Broken_pipe) {
        ::close(pipe_fds[0]);  // nobody will read
        pipe_fds[0] = -1;
      }
    }
    std::vector<std::string> args = {KESTRUM_CLI};
    args.insert(args.end(), child.Args.begin(), child.Args.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
      struct rlimit limit = {child.Address_space, child.Address_space};
      ::setrlimit(RLIMIT_AS, &limit);
      for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(s, SIG_DFL);
      const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(err, STDERR_FILENO);
      switch (child.Output) {
        case tOutput::Pipe:
        case tOutput::Broken_pipe:
          ::dup2(pipe_fds[1], STDOUT_FILENO);
          break;
        case tOutput::Dev_full:
          ::dup2(::open("/dev/full", O_WRONLY), STDOUT_FILENO);
          break;
        case tOutput::Closed:
          ::close(STDOUT_FILENO);
          break;
      }
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    if (pipe_fds[1] >= 0) ::close(pipe_fds[1]);

    tEnded ended;
    bool signalled = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    if (pipe_fds[0] >= 0) {
      char buffer[65536];
      for (;;) {
        pollfd p{pipe_fds[0], POLLIN, 0};
        if (::poll(&p, 1, 10) > 0) {
          const ssize_t n = ::read(pipe_fds[0], buffer, sizeof buffer);
          if (n <= 0) break;
          ended.Out.append(buffer, static_cast<std::size_t>(n));
        }
        if (child.Signal != 0 && !signalled && child.Ready(ended.Out)) {
          ::kill(pid, child.Signal);
          signalled = true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
          ADD_FAILURE() << "the program did not end";
          ::kill(pid, SIGKILL);
        }
      }
      ::close(pipe_fds[0]);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    ended.Max_rss_kb = usage.ru_maxrss;
    if (WIFEXITED(status)) ended.Exit = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) ended.Killed_by = WTERMSIG(status);
    std::ifstream in(err_path, std::ios::binary);
    std::ostringstream err;
    err << in.rdbuf();
    ended.Err = err.str();
    return ended;
  }

  fs::path dir_;
};

const std::vector<std::string> kControls = {"--mean-x", "100", "--sd-x", "15", "--mean-y", "50",
                                            "--sd-y",   "10",  "--r",    "0.6", "--n",     "20"};

std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string Cases(int rows, int every_valid = 1) {
  std::string csv = "id,case_x,case_y\n";
  for (int i = 0; i < rows; ++i) {
    csv += "c" + std::to_string(i) + "," +
           (i % every_valid == 0 ? std::to_string(60 + i % 40) : std::string("7777777")) + "," +
           std::to_string(30 + (i * 7) % 35) + "\n";
  }
  return csv;
}

std::size_t Lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Output that cannot be written is an error with its cause; a reader that has gone ends
// the program quietly.
TEST_F(CliProcess, OutputThatCannotBeWritten) {
  const std::string csv = Write("cases.csv", Cases(300));
  const std::vector<std::string> batch = With(kControls, {"--iterations", "21", "--batch", csv});
  struct Case {
    std::vector<std::string> args;
    tOutput output;
    const char* cause;  // nullptr: ends quietly
  };
  const Case cases[] = {
      {{"--example", "--iterations", "1000"}, tOutput::Dev_full, "No space left on device"},
      {{"--version"}, tOutput::Dev_full, "No space left on device"},
      {batch, tOutput::Dev_full, "No space left on device"},
      {With(batch, {"--format", "json"}), tOutput::Dev_full, "No space left on device"},
      {{"--example", "--iterations", "1000"}, tOutput::Closed, "Bad file descriptor"},
      {batch, tOutput::Closed, "Bad file descriptor"},
      {{"--example", "--iterations", "1000"}, tOutput::Broken_pipe, nullptr},
      {batch, tOutput::Broken_pipe, nullptr},
  };
  for (const Case& c : cases) {
    const tEnded ended = Run({c.args, c.output});
    const std::string label = c.args.front() + " " + std::to_string(static_cast<int>(c.output));
    if (c.cause == nullptr) {
      EXPECT_TRUE(ended.Killed_by == SIGPIPE || ended.Exit == 128 + SIGPIPE) << label;
      EXPECT_EQ(ended.Err, "") << label;
    } else {
      EXPECT_EQ(ended.Exit, 3) << label << ": " << ended.Err;
      EXPECT_NE(ended.Err.find("cannot write the output: " + std::string(c.cause)),
                std::string::npos)
          << label << ": " << ended.Err;
    }
  }
}

// Under a 200 MB address-space limit (ulimit -v 200000) a huge file or a huge request
// ends with a message, never an abort; memory stays bounded whatever the file's size.
TEST_F(CliProcess, MemoryLimits) {
  if (kAddress_sanitizer) GTEST_SKIP() << "memory limits do not apply under AddressSanitizer";
  constexpr rlim_t kLimit = 200000 * 1024;
  const std::string commas(10 * 1024 * 1024, ',');
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int exit;
    const char* message;  // in standard error or, for a batch, in the output
    std::size_t lines;    // output lines; 0: not checked
  };
  const Case cases[] = {
      {"300,000 rows", With(kControls, {"--iterations", "21", "--batch",
                                         Write("big.csv", Cases(300000, 3000))}),
       2, "Maximum length of input is 6 characters.", 300001},
      {"a row of 10 MB of commas",
       With(kControls, {"--batch", Write("row.csv", "id,case_x,case_y\n" + commas + "\n1,80,40\n"),
                        "--iterations", "21"}),
       2, "line 2: the row is longer than 65536 characters", 3},
      {"a header of 10 MB of commas", With(kControls, {"--batch", Write("head.csv", commas)}), 2,
       "line 1: the row is longer than 65536 characters", 0},
      {"draws beyond the limit", {"--example", "--iterations", "100000000"}, 3,
       "enough memory for 100000000", 0},
  };
  for (const Case& c : cases) {
    tChild child{c.args};
    child.Address_space = kLimit;
    const tEnded ended = Run(child);
    EXPECT_EQ(ended.Exit, c.exit) << c.name << ": " << ended.Err;
    EXPECT_TRUE(ended.Err.find(c.message) != std::string::npos ||
                ended.Out.find(c.message) != std::string::npos)
        << c.name << ": " << ended.Err;
    EXPECT_EQ(ended.Err.find("terminate"), std::string::npos) << c.name;
    if (c.lines != 0) {
      EXPECT_EQ(Lines(ended.Out), c.lines) << c.name;
    }
    EXPECT_LT(ended.Max_rss_kb, 60 * 1024) << c.name;
  }
}

// A signal in the middle of a batch: every row written is complete, the CSV or JSON ends
// validly, the message says how far it got, and the status is 128 + the signal. A single
// run stops the same way.
TEST_F(CliProcess, SignalsStopARunCleanly) {
  const std::string csv = Write("cases.csv", Cases(200));
  const std::vector<std::string> batch =
      With(kControls, {"--iterations", "300000", "--batch", csv});
  const auto two_rows = [](const std::string& out) { return Lines(out) >= 3; };
  const auto json_row = [](const std::string& out) { return out.find("}}") != std::string::npos; };
  const auto at_once = [](const std::string&) { return true; };
  struct Case {
    int signal;
    std::vector<std::string> args;
    std::function<bool(const std::string&)> ready;
    bool json, single;
  };
  const Case cases[] = {
      {SIGINT, batch, two_rows, false, false},
      {SIGTERM, With(batch, {"--format", "json"}), json_row, true, false},
      {SIGHUP, batch, two_rows, false, false},
      {SIGTERM, {"--example", "--iterations", "5000000", "--format", "json"}, at_once, true, true},
  };
  for (const Case& c : cases) {
    tChild child{c.args};
    child.Signal = c.signal;
    child.Ready = c.ready;
    if (c.single) {
      // Let it start its computation first.
      child.Ready = [start = std::chrono::steady_clock::now()](const std::string&) {
        return std::chrono::steady_clock::now() - start > std::chrono::milliseconds(300);
      };
    }
    const tEnded ended = Run(child);
    const std::string label = std::to_string(c.signal) + (c.json ? " json" : " csv");
    EXPECT_EQ(ended.Exit, 128 + c.signal) << label << ": " << ended.Err;
    EXPECT_EQ(ended.Err.find("terminate"), std::string::npos) << label;
    if (c.single) {
      EXPECT_EQ(ended.Out, "") << label;
      EXPECT_NE(ended.Err.find("Interrupted"), std::string::npos) << label << ended.Err;
      continue;
    }
    std::size_t rows = 0;
    if (c.json) {
      ASSERT_GE(ended.Out.size(), 4u) << label;
      EXPECT_EQ(ended.Out.substr(0, 2), "[\n") << label;
      EXPECT_EQ(ended.Out.substr(ended.Out.size() - 3), "\n]\n") << label;
      std::size_t at = 0;
      while ((at = ended.Out.find("{\"id\": ", at)) != std::string::npos) ++rows, ++at;
      EXPECT_EQ(rows + 2, Lines(ended.Out)) << label;  // "[", one line per object, "]"
    } else {
      std::istringstream lines(ended.Out);
      std::string header, row;
      std::getline(lines, header);
      const auto columns = std::count(header.begin(), header.end(), ',');
      while (std::getline(lines, row)) {
        ++rows;
        EXPECT_EQ(std::count(row.begin(), row.end(), ','), columns) << label << ": " << row;
      }
      EXPECT_EQ(ended.Out.back(), '\n') << label;
    }
    EXPECT_GE(rows, 1u) << label;
    EXPECT_LT(rows, 200u) << label;
    EXPECT_NE(ended.Err.find("Interrupted after " + std::to_string(rows) + " of 200 cases"),
              std::string::npos)
        << label << ": " << ended.Err;
  }
}

}  // namespace
