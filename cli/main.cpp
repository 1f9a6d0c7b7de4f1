// kestrum-cli: the command-line front end of Kestrum (see cli_run.h).
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_run.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int status = Run_cli(args, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
  std::cout.flush();
  return status;
}
