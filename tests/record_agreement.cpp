// SPDX-License-Identifier: GPL-3.0-or-later
// Prints the agreement lines of this build (see agreement_cases.h):
//   record_agreement <tests/data directory>
#include <iostream>

#include "tests/agreement_cases.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: record_agreement <tests/data directory>\n";
    return 1;
  }
  for (const tAgreement_case& c : Agreement_cases(argv[1])) std::cout << Agreement_line(c) << '\n';
  return std::cout.flush() ? 0 : 1;
}
