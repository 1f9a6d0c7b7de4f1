// SPDX-License-Identifier: GPL-3.0-or-later
// Agreement with the x87 build, whose figures tests/data/x87_agreement.txt holds (written
// by scripts/record_x87_agreement.sh). The x87 build must give them exactly (the file is
// current); a double build (the web page's numerics) within these tolerances:
//   - every reference case: BSDT P and limits, and every frequentist figure, within 1E-9
//     (percentages: 1E-9 relative to 100), and the report identical byte for byte;
//   - 200 random cases at 10,000 iterations: the share whose draws coincide (every BSDT
//     figure within 1E-9) is measured and printed; at least 99 % is required.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>
#include <sstream>

#include "tests/agreement_cases.h"

namespace {

constexpr bool kX87 = std::numeric_limits<Extended>::digits == 64;
constexpr double kTolerance = 1e-9;

using tItems = std::map<std::string, std::string>;

std::map<std::string, tItems> Parse(std::istream& in) {
  std::map<std::string, tItems> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string name, word;
    words >> name;
    tItems items;
    int position = 0;
    while (words >> word) {
      const auto eq = word.find('=');
      items[std::to_string(position++) + ":" + word.substr(0, eq)] =
          eq == std::string::npos ? "" : word.substr(eq + 1);
    }
    lines[name] = items;
  }
  return lines;
}

// True when every item agrees: equal texts, or numbers within the tolerance.
bool Agree(const tItems& want, const tItems& got, std::string& why) {
  if (want.size() != got.size()) {
    why = "different items";
    return false;
  }
  for (const auto& [key, value] : want) {
    const auto it = got.find(key);
    if (it == got.end()) {
      why = key + " missing";
      return false;
    }
    if (it->second == value) continue;
    if (kX87 || key.find("report") != std::string::npos || key.find("error") != std::string::npos) {
      why = key + ": " + it->second + " instead of " + value;
      return false;
    }
    const double a = std::strtod(value.c_str(), nullptr), b = std::strtod(it->second.c_str(), nullptr);
    const double scale = key.find("Pct") != std::string::npos ? 100 : 1;
    // Within 1E-9 relative to the figure, or absolute below 1 (percentages: below 100).
    if (!(std::fabs(a - b) <= kTolerance * std::fmax(scale, std::fabs(a)))) {
      why = key + ": " + it->second + " instead of " + value;
      return false;
    }
  }
  return true;
}

TEST(Agreement, WithTheX87Build) {
  std::ifstream file(std::string(KESTRUM_TEST_DATA_DIR) + "/x87_agreement.txt");
  ASSERT_TRUE(file) << "tests/data/x87_agreement.txt is missing";
  const auto want = Parse(file);
  const std::vector<tAgreement_case> cases = Agreement_cases(KESTRUM_TEST_DATA_DIR);
  ASSERT_EQ(want.size(), cases.size());
  int random = 0, coinciding = 0;
  for (const tAgreement_case& c : cases) {
    std::istringstream one(Agreement_line(c));
    const auto got = Parse(one);
    ASSERT_EQ(want.count(c.Name), 1u) << c.Name;
    std::string why;
    const bool agree = Agree(want.at(c.Name), got.at(c.Name), why);
    if (c.Random) {
      ++random;
      coinciding += agree;
      if (kX87) {
        EXPECT_TRUE(agree) << c.Name << ": " << why;
      }
    } else {
      EXPECT_TRUE(agree) << c.Name << ": " << why;
    }
  }
  const double share = 100.0 * coinciding / random;
  std::cout << "Random cases whose draws coincide with the x87 build's: " << coinciding << " of "
            << random << " (" << share << " %)\n";
  RecordProperty("coinciding_share_percent", std::to_string(share));
  EXPECT_GE(share, 99.0);
}

}  // namespace
