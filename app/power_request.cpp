// SPDX-License-Identifier: GPL-3.0-or-later
// A planning request from its argument words, as `kestrum-cli power` takes them and as a
// shard file stores them (the engine interface turns its JSON request into the same words),
// and the correlation matrix the request gives.
#include "app/power_request.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <sstream>

#include "app/option_word.h"
#include "app/shard_file.h"
#include "distrib/number_text.h"

namespace {

// The largest grid of sample sizes a range may make, and the largest replications.
constexpr std::size_t kMax_grid = 100000;
constexpr std::int64_t kMax_replications = 100000000;

bool Number(const std::string& text, double& value) {
  const char* end = nullptr;
  return !text.empty() &&
         Parse_double(text.data(), text.data() + text.size(), value, &end) == std::errc{} &&
         end == text.data() + text.size() && std::isfinite(value);
}

bool Whole(const std::string& text, std::int64_t lo, std::int64_t hi, std::int64_t& value) {
  double v = 0;
  if (!Number(text, v) || v != std::floor(v) || v < static_cast<double>(lo) || v > static_cast<double>(hi))
    return false;
  value = static_cast<std::int64_t>(v);
  return true;
}

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::string part;
  std::stringstream in(text);
  while (std::getline(in, part, sep)) parts.push_back(part);
  if (!text.empty() && text.back() == sep) parts.emplace_back();
  return parts;
}

// N: a value, A:B, A:B:STEP or a comma-separated list.
bool Parse_n(const std::string& text, std::vector<std::int32_t>& out) {
  out.clear();
  std::int64_t a = 0, b = 0, step = 1;
  const auto range = Split(text, ':');
  if (range.size() == 2 || range.size() == 3) {
    if (!Whole(range[0], kMin_power_n, kMax_power_n, a) || !Whole(range[1], a, kMax_power_n, b) ||
        (range.size() == 3 && !Whole(range[2], 1, kMax_power_n, step)))
      return false;
    if ((b - a) / step + 1 > static_cast<std::int64_t>(kMax_grid)) return false;
    for (std::int64_t n = a; n <= b; n += step) out.push_back(static_cast<std::int32_t>(n));
    if (out.back() != b) out.push_back(static_cast<std::int32_t>(b));
    return true;
  }
  for (const std::string& p : Split(text, ',')) {
    if (!Whole(p, kMin_power_n, kMax_power_n, a) || out.size() >= kMax_grid) return false;
    out.push_back(static_cast<std::int32_t>(a));
  }
  return !out.empty();
}

std::string Bad(const std::string& name, const std::string& value, const std::string& allowed) {
  return "invalid value '" + value + "' for " + name + " (expected " + allowed + ")";
}

}  // namespace

std::variant<tPower_request, std::string> Parse_power_arguments(const std::vector<std::string>& args) {
  tPower_request o;
  if (args.size() < 2 || (args[1] != "deficit" && args[1] != "dissociation" && args[1] != "udt")) {
    if (args.size() >= 2 && (args[1] == "--help" || args[1] == "-h")) {
      o.Help = true;
      return o;
    }
    return std::string{"power needs an analysis: deficit, dissociation or udt"};
  }
  tPower_job& job = o.Job;
  tSimulation_setting& s = job.Setting;
  const std::string sub = args[1];
  job.Analysis = sub == "deficit" ? tPower_analysis::Deficit
                 : sub == "udt" ? tPower_analysis::Udt : tPower_analysis::Dissociation;
  s.Test = job.Analysis == tPower_analysis::Dissociation ? tSimulated_test::Bsdt : tSimulated_test::Deficit;
  job.Exact = job.Analysis != tPower_analysis::Dissociation;
  s.Two_tailed = true;  // the analyses' default tail
  o.Canonical = {args[0], args[1]};
  std::set<std::string> seen;
  bool n_given = false, effect_given = false;
  std::string find;
  for (std::size_t i = 2; i < args.size(); ++i) {
    const tOption_word word = Split_option(args[i]);
    const std::string& name = word.Name;
    std::string value = word.Value.value_or("");
    const bool has_value = word.Value.has_value();
    if (word.Help()) {
      o.Help = true;
      continue;
    }
    static const std::set<std::string> known = {
        "--effect", "--effect-y", "--n", "--alpha", "--tail", "--case", "--target-power",
        "--find", "--replications", "--iterations", "--test", "--prior", "--criteria",
        "--covariate", "--correlations", "--matrix", "--r", "--distance", "--seed",
        "--threads", "--format", "--shard"};
    if (known.count(name) == 0) return std::string{"unknown option '" + name + "' for power " + sub};
    if (!has_value) {
      if (i + 1 >= args.size()) return std::string{"option '" + name + "' needs a value"};
      value = args[++i];
    }
    if (name != "--covariate" && !seen.insert(name).second)
      return std::string{"option '" + name + "' given twice"};
    if (name != "--shard" && name != "--threads" && name != "--correlations") {
      o.Canonical.push_back(name);
      o.Canonical.push_back(value);
    }
    double v = 0;
    std::int64_t w = 0;
    if (name == "--effect") {
      job.Effects.clear();
      for (const std::string& p : Split(value, ',')) {
        if (!Number(p, v) || std::fabs(v) > 1000) return Bad(name, value, "SDs from -1000 to 1000, comma-separated");
        job.Effects.push_back(v);
      }
      effect_given = !job.Effects.empty();
    } else if (name == "--effect-y") {
      if (job.Analysis != tPower_analysis::Dissociation) return std::string{"--effect-y is for dissociation"};
      if (!Number(value, v) || std::fabs(v) > 1000) return Bad(name, value, "SDs from -1000 to 1000");
      s.Delta_y = v;
    } else if (name == "--n") {
      if (!Parse_n(value, job.N_values)) return Bad(name, value, "N, A:B, A:B:STEP or a list, N from 2 to 10000000");
      n_given = true;
    } else if (name == "--alpha") {
      if (!Number(value, v) || !(v > 0 && v < 1)) return Bad(name, value, "a number between 0 and 1");
      s.Alpha = v;
    } else if (name == "--target-power") {
      if (!Number(value, v) || !(v > 0 && v < 1)) return Bad(name, value, "a number between 0 and 1");
      job.Target = v;
    } else if (name == "--tail") {
      if (value != "one" && value != "two") return Bad(name, value, "one or two");
      s.Two_tailed = value == "two";
    } else if (name == "--case") {
      if (value != "fixed" && value != "random") return Bad(name, value, "fixed or random");
      s.Case = value == "random" ? tCase_model::Random : tCase_model::Fixed;
    } else if (name == "--find") {
      if (value != "n" && value != "effect") return Bad(name, value, "n or effect");
      job.Goal = value == "n" ? tPower_goal::Sample_size : tPower_goal::Effect;
      find = value;
    } else if (name == "--replications") {
      if (!Whole(value, 1, kMax_replications, w)) return Bad(name, value, "a whole number from 1 to 100000000");
      job.Replications = w;
    } else if (name == "--iterations") {
      if (!Whole(value, 21, 100000000, w)) return Bad(name, value, "a whole number from 21 to 100000000");
      s.Iterations = static_cast<std::int32_t>(w);
    } else if (name == "--seed") {
      if (!Whole(value, 0, 4294967295LL, w)) return Bad(name, value, "a whole number from 0 to 4294967295");
      s.Seed = static_cast<std::uint32_t>(w);
    } else if (name == "--threads") {
      if (!Whole(value, 0, 1024, w)) return Bad(name, value, "a whole number from 0 (every core) to 1024");
      job.Threads = static_cast<int>(w);
    } else if (name == "--distance") {
      if (!Number(value, v) || v < 0 || v > 100) return Bad(name, value, "a distance from 0 to 100");
      s.D = v;
    } else if (name == "--test") {
      const bool deficit = job.Analysis == tPower_analysis::Deficit;
      const bool diss = job.Analysis == tPower_analysis::Dissociation;
      if (deficit && value == "t") s.Test = tSimulated_test::Deficit;
      else if (deficit && value == "bayesian") s.Test = tSimulated_test::Bayesian_deficit;
      else if (diss && value == "bsdt") s.Test = tSimulated_test::Bsdt;
      else if (diss && value == "rsdt") s.Test = tSimulated_test::Rsdt;
      else if (diss && value == "classification") s.Test = tSimulated_test::Classification;
      else return Bad(name, value, deficit ? "t or bayesian" : diss ? "bsdt, rsdt or classification" : "nothing: udt has one test");
      job.Exact = s.Test == tSimulated_test::Deficit;
    } else if (name == "--prior") {
      if (value != "calibrated" && value != "jeffreys") return Bad(name, value, "calibrated or jeffreys");
      s.Prior = value == "jeffreys" ? tPrior::Standard : tPrior::Calibrated;
    } else if (name == "--criteria") {
      if (value != "bayesian" && value != "combined") return Bad(name, value, "bayesian or combined");
      s.Criteria = value == "combined" ? tCriteria::Combined : tCriteria::Bayesian;
    } else if (name == "--covariate") {
      if (job.Analysis == tPower_analysis::Udt) return std::string{"the unstandardized difference test allows for no covariates"};
      if (value.empty() || o.Covariate_names.size() >= 5) return Bad(name, value, "a name, at most 5 covariates");
      o.Covariate_names.push_back(value);
    } else if (name == "--correlations") {
      o.Correlations_file = value;
    } else if (name == "--matrix") {
      o.Matrix = value;
    } else if (name == "--r") {
      if (!Number(value, v) || !(v > -1 && v < 1)) return Bad(name, value, "a correlation between -1 and 1");
      o.R_xy = value;
    } else if (name == "--format") {
      if (value != "report" && value != "json" && value != "csv") return Bad(name, value, "report, json or csv");
      o.Format = value == "json" ? tPower_format::Json : value == "csv" ? tPower_format::Csv : tPower_format::Report;
    } else if (name == "--shard") {
      if (!Parse_shard(value, o.Shard, o.Shards)) return Bad(name, value, kShard_values);
    }
  }
  if (o.Help) return o;
  if (!effect_given) return std::string{"the effect is needed: --effect DELTA (SDs; a list for several)"};
  if (!n_given && job.Goal != tPower_goal::Effect) {
    if (job.Goal == tPower_goal::Sample_size) job.N_values = {kMin_power_n, job.Exact ? kMax_power_n : 2000};
    else return std::string{"the sample size is needed: --n N (a value, A:B, A:B:STEP or a list)"};
  }
  if (!n_given && job.Goal == tPower_goal::Effect) return std::string{"--find effect needs --n"};
  if (job.Goal == tPower_goal::Sample_size)
    job.N_values = {job.N_values.front(), job.N_values.back()};  // the search's range
  if (o.Shards > 0 && job.Goal != tPower_goal::Power)
    return std::string{"--shard splits power runs; a search (--find) runs whole"};
  if (!o.Correlations_file.empty() && !o.Matrix.empty())
    return std::string{"--correlations and --matrix both give the correlations; give one"};
  if (job.Analysis == tPower_analysis::Dissociation && o.Covariate_names.empty() && o.R_xy.empty() &&
      o.Matrix.empty() && o.Correlations_file.empty())
    return std::string{"the correlation between the tasks is needed: --r or --correlations FILE"};
  return o;
}

std::vector<std::string> Power_variable_names(const tPower_request& o) {
  std::vector<std::string> names = o.Covariate_names;
  if (Tasks_of(o.Job.Setting.Test) == 2) {
    names.push_back("Task X");
    names.push_back("Task Y");
  } else {
    names.push_back("Task");
  }
  return names;
}

std::string Set_power_matrix(tPower_request& o, const std::vector<std::vector<std::string>>* file) {
  const std::vector<std::string> names = Power_variable_names(o);
  const std::size_t p = names.size();
  std::vector<std::vector<Extended>> r(p, std::vector<Extended>(p, 0));
  for (std::size_t i = 0; i < p; ++i) r[i][i] = 1;
  std::vector<std::string> lower;
  if (file != nullptr) {
    if (file->size() != p || std::any_of(file->begin(), file->end(), [p](const auto& row) { return row.size() != p; }))
      return "the correlation matrix must have " + std::to_string(p) + " rows of " + std::to_string(p) +
             " values (" + std::to_string(p) + " variables)";
    std::string text;
    for (std::size_t i = 1; i < p; ++i)
      for (std::size_t j = 0; j < i; ++j) lower.push_back(file->at(i).at(j));
    for (std::size_t k = 0; k < lower.size(); ++k) text += (k ? "," : "") + lower[k];
    o.Matrix = text;
    o.Canonical.push_back("--matrix");
    o.Canonical.push_back(text);
  } else if (!o.Matrix.empty()) {
    std::stringstream in(o.Matrix);
    std::string part;
    while (std::getline(in, part, ',')) lower.push_back(part);
  } else if (!o.R_xy.empty() && p == 2) {
    lower = {o.R_xy};
  } else if (p > 1 && !(o.Job.Exact && Tasks_of(o.Job.Setting.Test) == 1)) {
    return "the correlations of the covariates and tasks are needed: --correlations FILE or --matrix";
  }
  if (!lower.empty() && lower.size() != p * (p - 1) / 2)
    return "the correlation matrix must give " + std::to_string(p * (p - 1) / 2) +
           " correlations (the lower triangle of " + std::to_string(p) + " variables)";
  std::size_t k = 0;
  for (std::size_t i = 1; i < p && !lower.empty(); ++i)
    for (std::size_t j = 0; j < i; ++j, ++k) {
      double v = 0;
      const char* end = nullptr;
      const std::string& t = lower[k];
      if (Parse_double(t.data(), t.data() + t.size(), v, &end) != std::errc{} ||
          end != t.data() + t.size() || !(v > -1 && v < 1))
        return "the correlation of " + names[i] + " and " + names[j] + " is not a number between -1 and 1";
      r[i][j] = r[j][i] = v;
    }
  o.Job.Setting.Correlations = r;
  return "";
}
