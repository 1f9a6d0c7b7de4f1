// SPDX-License-Identifier: GPL-3.0-or-later
// kestrum-cli as a process, under the faults a user meets: output that cannot be written,
// a memory limit, and signals in the middle of a run. Each case starts the program with
// fork and exec, sets the limit in the child, and reads its output through a pipe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/cli_capture.h"

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

// Stalled: a pipe that nobody reads until the signal has been sent. File: Output_file.
enum class tOutput { Pipe, Dev_full, Closed, Broken_pipe, Stalled, File };

struct tChild {
  std::vector<std::string> Args;
  tOutput Output = tOutput::Pipe;
  rlim_t Address_space = RLIM_INFINITY;
  rlim_t File_size = RLIM_INFINITY;  // RLIMIT_FSIZE, with SIGXFSZ ignored
  std::string Output_file = {};
  int Signal = 0;  // sent once Ready(output so far) is true
  std::function<bool(const std::string&)> Ready = {};
  std::string Ready_when_open = {};  // else: sent once the program holds this file open
};

struct tEnded {
  int Exit = -1;         // exit status, or -1 when ended by a signal
  int Killed_by = 0;     // the signal that ended it
  std::string Out, Err;  // the output (Pipe only) and standard error
  long Max_rss_kb = 0;
};

// The process has the file open (its signal handlers are in place by then).
bool Holds_open(pid_t pid, const std::string& path) {
  std::error_code ec;
  for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
    if (fs::read_symlink(fd.path(), ec) == path) return true;
  }
  return false;
}

class CliProcess : public tScratch_test {
 protected:

  tEnded Run(const tChild& child) {
    const std::string err_path = (dir_ / "stderr.txt").string();
    int pipe_fds[2] = {-1, -1};
    if (child.Output == tOutput::Pipe || child.Output == tOutput::Broken_pipe ||
        child.Output == tOutput::Stalled) {
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
      if (child.File_size != RLIM_INFINITY) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit size = {child.File_size, child.File_size};
        ::setrlimit(RLIMIT_FSIZE, &size);
      }
      for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(s, SIG_DFL);
      const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(err, STDERR_FILENO);
      switch (child.Output) {
        case tOutput::Pipe:
        case tOutput::Broken_pipe:
        case tOutput::Stalled:
          ::dup2(pipe_fds[1], STDOUT_FILENO);
          break;
        case tOutput::File:
          ::dup2(::open(child.Output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
                 STDOUT_FILENO);
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
    if (child.Output == tOutput::Stalled) {
      // Read nothing until the program has filled the pipe and waits to write.
      while (!child.Ready(ended.Out)) ::usleep(10000);
      ::kill(pid, child.Signal);
      signalled = true;
      ::usleep(500000);  // the program sees the signal while its output still waits
    }
    if (pipe_fds[0] >= 0) {
      char buffer[65536];
      for (;;) {
        pollfd p{pipe_fds[0], POLLIN, 0};
        if (::poll(&p, 1, 10) > 0) {
          const ssize_t n = ::read(pipe_fds[0], buffer, sizeof buffer);
          if (n <= 0) break;
          ended.Out.append(buffer, static_cast<std::size_t>(n));
        }
        if (child.Signal != 0 && !signalled &&
            (child.Ready_when_open.empty() ? child.Ready(ended.Out)
                                           : Holds_open(pid, child.Ready_when_open))) {
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
    if (child.Output == tOutput::File) {
      std::ifstream file(child.Output_file, std::ios::binary);
      std::ostringstream text;
      text << file.rdbuf();
      ended.Out = text.str();
    }
    return ended;
  }
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
      // The toolkit's commands through the same writer and batch runner.
      {With({"dissociation"}, batch), tOutput::Dev_full, "No space left on device"},
      {With({"dissociation"}, With(batch, {"--format", "json"})), tOutput::Dev_full, "No space left on device"},
      {With({"dissociation"}, With(kControls, {"--case-x", "70", "--case-y", "52", "--iterations", "1000"})),
       tOutput::Dev_full, "No space left on device"},
      {With({"dissociation"}, batch), tOutput::Closed, "Bad file descriptor"},
      {With({"dissociation"}, batch), tOutput::Broken_pipe, nullptr},
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
       2, "line 2: the row is longer than 65536 characters; the file is read no further", 2},
      {"/dev/zero as the case file", With(kControls, {"--batch", "/dev/zero"}), 2,
       "line 1: the row is longer than 65536 characters", 0},
      {"a header of 10 MB of commas", With(kControls, {"--batch", Write("head.csv", commas)}), 2,
       "line 1: the row is longer than 65536 characters", 0},
      {"draws beyond the limit", {"--example", "--iterations", "100000000"}, 3,
       "enough memory for 100000000", 0},
      {"the toolkit's draws beyond the limit",
       With({"dissociation"}, With(kControls, {"--case-x", "70", "--case-y", "52", "--iterations", "100000000"})),
       3, "enough memory for 100000000", 0},
      {"the toolkit's batch of 300,000 rows", With({"dissociation"}, With(kControls, {"--iterations", "21", "--batch",
                                         Write("big2.csv", Cases(300000, 3000))})),
       2, "Maximum length of input is 6 characters.", 300001},
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

// Rows as the header has columns, and nothing after the last line end.
std::size_t Whole_csv_rows(const std::string& out, const std::string& label) {
  std::istringstream lines(out);
  std::string header, row;
  std::getline(lines, header);
  const auto columns = std::count(header.begin(), header.end(), ',');
  std::size_t rows = 0;
  while (std::getline(lines, row)) {
    ++rows;
    EXPECT_EQ(std::count(row.begin(), row.end(), ','), columns) << label << ": " << row;
  }
  EXPECT_TRUE(out.empty() || out.back() == '\n') << label;
  return rows;
}

// The number K in "the output ends after row K (id ...)", or -1.
long Last_whole_row(const std::string& err) {
  std::smatch m;
  if (!std::regex_search(err, m, std::regex("the output ends after row ([0-9]+) \\(id c([0-9]+)\\), the last whole row"))) {
    return -1;
  }
  EXPECT_EQ(std::stol(m[1]), std::stol(m[2]) + 1) << err;  // row K holds case c(K-1)
  return std::stol(m[1]);
}

// Every wait ends on a signal: for a FIFO with no writer, for input that stops coming, for
// an output pipe nobody reads. A finished row is written while the next input row is
// still awaited.
TEST_F(CliProcess, EveryWaitEndsOnASignal) {
  const std::string fifo = (dir_ / "cases.fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Ready once `ms` have passed since the first look (the run's start).
  const auto after = [](int ms) {
    return [start = std::optional<std::chrono::steady_clock::time_point>(), ms](const std::string&) mutable {
      const auto now = std::chrono::steady_clock::now();
      if (!start) start = now;
      return now - *start > std::chrono::milliseconds(ms);
    };
  };
  const std::vector<std::string> fifo_batch = With(kControls, {"--iterations", "21", "--batch", fifo});
  const std::vector<std::string> toolkit_fifo_batch = With({"dissociation"}, fifo_batch);
  struct Case {
    const char* name;
    int signal;
    std::vector<std::string> args;
    std::function<bool(const std::string&)> ready;
    bool feed;       // a writer that sends one row and then nothing
    tOutput output;
    const char* message;
    long rows;       // whole rows in the output; -1: the number the message names
  };
  const Case cases[] = {
      {"a FIFO no one writes to", SIGINT, fifo_batch, nullptr, false, tOutput::Pipe,
       "Interrupted while waiting for the case file; nothing was written.", 0},
      {"a FIFO as the toolkit's case file", SIGINT, toolkit_fifo_batch, nullptr, false, tOutput::Pipe,
       "Interrupted while waiting for the case file; nothing was written.", 0},
      {"a FIFO as the toolkit's input file", SIGTERM, {"deficit", "--input", fifo}, nullptr, false,
       tOutput::Pipe, "Interrupted while waiting for the input file; nothing was written.", 0},
      {"a FIFO as the correlation file", SIGHUP,
       With({"dissociation"}, {"--mean-x", "100", "--sd-x", "15", "--mean-y", "50", "--sd-y", "10",
                               "--n", "20", "--case-x", "70", "--case-y", "52", "--correlations", fifo}),
       nullptr, false, tOutput::Pipe,
       "Interrupted while waiting for the input file; nothing was written.", 0},
      {"toolkit input that stops after one row", SIGTERM, toolkit_fifo_batch,
       [](const std::string& out) { return out.find("\nc0,") != std::string::npos && out.back() == '\n'; },
       true, tOutput::Pipe, "Interrupted after 1 cases; the rows written are complete.", 1},
      {"input that stops after one row", SIGTERM, fifo_batch,
       [](const std::string& out) { return out.find("\nc0,") != std::string::npos && out.back() == '\n'; },
       true, tOutput::Pipe, "Interrupted after 1 cases; the rows written are complete.", 1},
      {"an output pipe nobody reads", SIGHUP,
       // Rows that fail their checks: the pipe is full within moments.
       With(kControls, {"--iterations", "21", "--batch", Write("many.csv", Cases(20000, 1000000))}),
       after(1500),
       false, tOutput::Stalled, "cases while the output could not be written", -1},
  };
  for (const Case& c : cases) {
    int writer = -1;
    if (c.feed) {
      writer = ::open(fifo.c_str(), O_RDWR);  // never waits for a reader
      const std::string rows = "id,case_x,case_y\nc0,80,40\n";
      ASSERT_EQ(::write(writer, rows.data(), rows.size()), static_cast<ssize_t>(rows.size()));
    }
    tChild child{c.args, c.output};
    child.Signal = c.signal;
    child.Ready = c.ready;
    if (!c.ready) child.Ready_when_open = fifo;
    const tEnded ended = Run(child);
    if (writer >= 0) ::close(writer);
    EXPECT_EQ(ended.Exit, 128 + c.signal) << c.name << ": " << ended.Err << ended.Out.substr(0, 300);
    EXPECT_NE(ended.Err.find(c.message), std::string::npos) << c.name << ": " << ended.Err;
    const std::size_t rows = Whole_csv_rows(ended.Out, c.name);
    if (c.rows >= 0) {
      EXPECT_EQ(rows, static_cast<std::size_t>(c.rows)) << c.name;
    } else {
      EXPECT_EQ(static_cast<long>(rows), Last_whole_row(ended.Err)) << c.name << ": " << ended.Err;
      EXPECT_GT(rows, 0u) << c.name;
    }
  }
}

// A full disk (a file-size limit here) in the middle of a row: the file is cut back to
// the last whole row, which the message names.
TEST_F(CliProcess, OutputNeverEndsInAPartialRow) {
  const std::string csv = Write("cases.csv", Cases(200));
  // The main command, then the toolkit's dissociation through the same runner.
  const std::vector<std::pair<std::vector<std::string>, bool>> runs = {
      {{}, false}, {{}, true}, {{"dissociation"}, false}, {{"dissociation"}, true}};
  for (const auto& [command, json] : runs) {
    tChild child{With(command, With(kControls, {"--iterations", "21", "--batch", csv})), tOutput::File};
    if (json) child.Args.insert(child.Args.end(), {"--format", "json"});
    child.Output_file = (dir_ / "out.txt").string();
    child.File_size = 20000;
    const tEnded ended = Run(child);
    const std::string label = (command.empty() ? "main " : "dissociation ") + std::string(json ? "json" : "csv");
    EXPECT_EQ(ended.Exit, 3) << label << ": " << ended.Err;
    EXPECT_NE(ended.Err.find("cannot write the output: File too large; the output ends after row "),
              std::string::npos)
        << label << ": " << ended.Err;
    const long last = Last_whole_row(ended.Err);
    EXPECT_GT(last, 0) << label;
    EXPECT_LE(ended.Out.size(), 20000u) << label;
    if (json) {
      // "[" and one object per line, the last one complete.
      EXPECT_EQ(ended.Out.substr(ended.Out.size() - 2), "}}") << label;
      EXPECT_EQ(static_cast<long>(Lines(ended.Out)), last) << label;
    } else {
      EXPECT_EQ(static_cast<long>(Whole_csv_rows(ended.Out, label)), last) << label;
    }
  }
}

// Under any address-space limit from 4 MB to 1 GB, a run either succeeds or ends with
// status 3 and a message on standard error: never an abort, a core dump or a silent
// status. Below about 5 MB the system's dynamic loader cannot map the C library, and says
// so itself (status 127) before any of the program runs.
TEST_F(CliProcess, OutOfMemoryIsAlwaysAMessageAndStatusThree) {
  if (kAddress_sanitizer) GTEST_SKIP() << "memory limits do not apply under AddressSanitizer";
  const std::string csv = Write("cases.csv", Cases(3));
  const std::vector<std::vector<std::string>> runs = {
      {"--example"},
      {"--example", "--format", "json", "--iterations", "2000"},
      With(kControls, {"--batch", csv}),
      With({"dissociation"}, With(kControls, {"--batch", csv})),
      {"deficit", "--mean", "50", "--sd", "10", "--case", "28", "--n", "20", "--iterations", "2000"},
  };
  for (const rlim_t mb : {4, 5, 6, 7, 8, 12, 16, 32, 64, 256, 1024}) {
    for (const auto& args : runs) {
      tChild child{args};
      child.Address_space = mb * 1024 * 1024;
      const tEnded ended = Run(child);
      const std::string label = std::to_string(mb) + " MB " + args.front() + " " + args.back();
      EXPECT_EQ(ended.Killed_by, 0) << label;
      EXPECT_EQ(ended.Err.find("terminate"), std::string::npos) << label << ": " << ended.Err;
      if (ended.Exit == 127) {
        EXPECT_LT(mb, 6u) << label << ": " << ended.Err;
        EXPECT_NE(ended.Err.find("error while loading shared libraries"), std::string::npos) << label;
      } else if (ended.Exit == 3) {
        EXPECT_NE(ended.Err.find("memory"), std::string::npos) << label << ": " << ended.Err;
      } else {
        EXPECT_EQ(ended.Exit, 0) << label << ": " << ended.Err;
        EXPECT_FALSE(ended.Out.empty()) << label;
      }
    }
  }
}

}  // namespace
