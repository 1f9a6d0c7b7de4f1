// SPDX-License-Identifier: GPL-3.0-or-later
// The cases on which the double build is compared with the x87 build: every reference
// case of tests/data (each under the four combinations of criteria and tail, both priors
// as given), six cases at the edges of legal input, and 200 random cases. Each case gives one line of text: its name, the
// figures at 17 significant digits and a hash of its report. record_agreement prints the
// lines of the x87 build into tests/data/x87_agreement.txt (scripts/record_x87_agreement.sh);
// test_agreement compares every build with them.
#pragma once

#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/analysis_run.h"
#include "app/report.h"
#include "distrib/number_text.h"

struct tAgreement_case {
  std::string Name;
  std::array<std::string, 8> Fields;
  tRun_options Options;
  bool Random = false;  // random cases are compared by their draws only
};

inline std::vector<tAgreement_case> Agreement_cases(const std::string& data_dir) {
  std::vector<tAgreement_case> cases;
  static const char* const kKeys[] = {"mean_x", "sd_x", "mean_y", "sd_y", "r", "n", "case_x", "case_y"};
  int index = 0;
  for (const char* file : {"frequentist.json", "bsdt_10000.json"}) {
    std::ifstream in(data_dir + "/" + file);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    for (std::size_t at = all.find("\"inputs\""); at != std::string::npos;
         at = all.find("\"inputs\"", at + 1)) {
      tAgreement_case c;
      for (int k = 0; k < 8; ++k) {
        const std::size_t key = all.find(std::string("\"") + kKeys[k] + "\":", at);
        const std::size_t start = all.find_first_not_of(" ", all.find(':', key) + 1);
        c.Fields[static_cast<std::size_t>(k)] = all.substr(start, all.find_first_of(",\n}", start) - start);
      }
      const std::size_t prior = all.find("\"prior\":", at);
      const std::size_t next = all.find("\"inputs\"", at + 1);
      const bool standard = prior < next && all.compare(all.find('"', prior + 8), 10, "\"standard\"") == 0;
      for (int combo = 0; combo < 4; ++combo) {
        tAgreement_case v = c;
        v.Options.Prior = standard ? tPrior::Standard : tPrior::Calibrated;
        v.Options.Criteria = combo & 1 ? tCriteria::Combined : tCriteria::Bayesian;
        v.Options.Tail = combo & 2 ? tTail::One : tTail::Two;
        v.Options.Iterations = 10000;
        v.Options.Engine_threads = 1;
        v.Name = "reference" + std::to_string(index) + "." + std::to_string(combo);
        cases.push_back(v);
      }
      ++index;
    }
  }
  // The edges of legal input that once ended a run or lost digits: a case 700 SD out at
  // r = 0.9999 (a draw's Phi beyond the range), N = 4 at r = +/-0.9999 (drawn Wishart
  // matrices singular at double precision), a P folded to a tiny upper tail, a deficit
  // 8 SD out with N = 12.
  const struct {
    std::array<std::string, 8> fields;
    tPrior prior;
  } extremes[] = {
      {{"0", "1", "0", "1", "0.9999", "4", "700", "-700"}, tPrior::Standard},
      {{"0", "1", "0", "1", "0.9999", "4", "700", "-700"}, tPrior::Calibrated},
      {{"0", "1", "0", "1", "-.9999", "4", "2.01", "2"}, tPrior::Calibrated},
      {{"0", "1", "0", "1", "0.9999", "4", "2.01", "2"}, tPrior::Calibrated},
      {{"75446", "3357.8", "19036", "932.84", "-0.095", "409", "84970", "12655"}, tPrior::Standard},
      {{"936.83", "48.270", "50", "10", "0.3", "12", "550.67", "52"}, tPrior::Calibrated},
  };
  int extreme = 0;
  for (const auto& e : extremes) {
    tAgreement_case c;
    c.Fields = e.fields;
    c.Options.Prior = e.prior;
    c.Options.Criteria = tCriteria::Combined;
    c.Options.Iterations = 10000;
    c.Options.Engine_threads = 1;
    c.Name = "extreme" + std::to_string(extreme++);
    cases.push_back(c);
  }
  // Random cases as a worksheet takes them: texts of at most six characters.
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> mean(20, 200), sd(2, 40), r(-95, 95), n(5, 200),
      offset(-60, 30), prior(0, 1);
  for (int i = 0; i < 200; ++i) {
    tAgreement_case c;
    const int mx = mean(random), sx = sd(random), my = mean(random), sy = sd(random);
    c.Fields = {std::to_string(mx), std::to_string(sx), std::to_string(my), std::to_string(sy),
                Fixed_text(r(random) / 100.0, 2), std::to_string(n(random)),
                std::to_string(mx + offset(random) * sx / 20), std::to_string(my + offset(random) * sy / 20)};
    c.Options.Prior = prior(random) ? tPrior::Standard : tPrior::Calibrated;
    c.Options.Iterations = 10000;
    c.Options.Engine_threads = 1;
    c.Name = "random" + std::to_string(i);
    c.Random = true;
    cases.push_back(c);
  }
  return cases;
}

// FNV-1a, 64 bits.
inline std::uint64_t Text_hash(const std::string& text) {
  std::uint64_t h = 1469598103934665603ULL;
  for (const unsigned char c : text) h = (h ^ c) * 1099511628211ULL;
  return h;
}

// The line of a case: name, then "key=value" items separated by spaces.
inline std::string Agreement_line(const tAgreement_case& c) {
  const auto checked = Check_inputs(c.Fields, c.Options);
  if (std::holds_alternative<tInput_error>(checked)) return c.Name + " input_error";
  std::string line = c.Name;
  const auto item = [&line](const char* key, double v) {
    line += std::string(" ") + key + "=" + General_text(v, 17);
  };
  try {
    const tRun_results r = Compute_analysis(std::get<tChecked_inputs>(checked), c.Options);
    const tBSDT_results& b = r.Bsdt;
    item("P_one", static_cast<double>(b.P_one_tailed));
    item("Zdcc_lower", static_cast<double>(b.Zdcc_lower));
    item("Zdcc_upper", static_cast<double>(b.Zdcc_upper));
    item("Pct_lower", static_cast<double>(b.Pct_lower));
    item("Pct_upper", static_cast<double>(b.Pct_upper));
    if (c.Random) return line;
    for (const auto* d : {&r.Deficit_x_results, &r.Deficit_y_results}) {
      item("t", static_cast<double>(d->T_value));
      item("p", static_cast<double>(d->P_one_tailed));
      item("Zcc_lower", static_cast<double>(d->Zcc_lower));
      item("Zcc_upper", static_cast<double>(d->Zcc_upper));
      item("Pct_lower", static_cast<double>(d->Pct_lower));
      item("Pct_upper", static_cast<double>(d->Pct_upper));
    }
    if (r.Rsdt_computed) {
      item("Rsdt_t", static_cast<double>(r.Rsdt_t));
      item("Rsdt_p", r.Rsdt_p_two_tailed);
    }
    std::string report;
    for (const std::string& l : Report_lines(r, {"agreement"}, false)) report += l + "\n";
    line += " report=" + std::to_string(Text_hash(report));
  } catch (const std::exception& e) {
    line += " error=" + std::to_string(Text_hash(e.what()));
  }
  return line;
}
