// SPDX-License-Identifier: GPL-3.0-or-later
// The arguments and the help text of `kestrum-cli power`.
#include <cmath>
#include <set>
#include <sstream>

#include "app/shard_file.h"
#include "cli/power_cli.h"
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

}  // namespace

std::variant<tPower_cli, tUsage_error> Parse_power_arguments(const std::vector<std::string>& args) {
  tPower_cli o;
  if (args.size() < 2 || (args[1] != "deficit" && args[1] != "dissociation" && args[1] != "udt")) {
    if (args.size() >= 2 && (args[1] == "--help" || args[1] == "-h")) {
      o.Help = true;
      return o;
    }
    return tUsage_error{"power needs an analysis: deficit, dissociation or udt"};
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
    if (known.count(name) == 0) return tUsage_error{"unknown option '" + name + "' for power " + sub};
    if (!has_value) {
      if (i + 1 >= args.size()) return tUsage_error{"option '" + name + "' needs a value"};
      value = args[++i];
    }
    if (name != "--covariate" && !seen.insert(name).second)
      return tUsage_error{"option '" + name + "' given twice"};
    if (name != "--shard" && name != "--threads" && name != "--correlations") {
      o.Canonical.push_back(name);
      o.Canonical.push_back(value);
    }
    double v = 0;
    std::int64_t w = 0;
    if (name == "--effect") {
      job.Effects.clear();
      for (const std::string& p : Split(value, ',')) {
        if (!Number(p, v) || std::fabs(v) > 1000) return Bad_value(name, value, "SDs from -1000 to 1000, comma-separated");
        job.Effects.push_back(v);
      }
      effect_given = !job.Effects.empty();
    } else if (name == "--effect-y") {
      if (job.Analysis != tPower_analysis::Dissociation) return tUsage_error{"--effect-y is for dissociation"};
      if (!Number(value, v) || std::fabs(v) > 1000) return Bad_value(name, value, "SDs from -1000 to 1000");
      s.Delta_y = v;
    } else if (name == "--n") {
      if (!Parse_n(value, job.N_values)) return Bad_value(name, value, "N, A:B, A:B:STEP or a list, N from 2 to 10000000");
      n_given = true;
    } else if (name == "--alpha") {
      if (!Number(value, v) || !(v > 0 && v < 1)) return Bad_value(name, value, "a number between 0 and 1");
      s.Alpha = v;
    } else if (name == "--target-power") {
      if (!Number(value, v) || !(v > 0 && v < 1)) return Bad_value(name, value, "a number between 0 and 1");
      job.Target = v;
    } else if (name == "--tail") {
      if (value != "one" && value != "two") return Bad_value(name, value, "one or two");
      s.Two_tailed = value == "two";
    } else if (name == "--case") {
      if (value != "fixed" && value != "random") return Bad_value(name, value, "fixed or random");
      s.Case = value == "random" ? tCase_model::Random : tCase_model::Fixed;
    } else if (name == "--find") {
      if (value != "n" && value != "effect") return Bad_value(name, value, "n or effect");
      job.Goal = value == "n" ? tPower_goal::Sample_size : tPower_goal::Effect;
      find = value;
    } else if (name == "--replications") {
      if (!Whole(value, 1, kMax_replications, w)) return Bad_value(name, value, "a whole number from 1 to 100000000");
      job.Replications = w;
    } else if (name == "--iterations") {
      if (!Whole(value, 21, 100000000, w)) return Bad_value(name, value, "a whole number from 21 to 100000000");
      s.Iterations = static_cast<std::int32_t>(w);
    } else if (name == "--seed") {
      if (!Whole(value, 0, 4294967295LL, w)) return Bad_value(name, value, "a whole number from 0 to 4294967295");
      s.Seed = static_cast<std::uint32_t>(w);
    } else if (name == "--threads") {
      if (!Whole(value, 0, 1024, w)) return Bad_value(name, value, "a whole number from 0 (every core) to 1024");
      job.Threads = static_cast<int>(w);
    } else if (name == "--distance") {
      if (!Number(value, v) || v < 0 || v > 100) return Bad_value(name, value, "a distance from 0 to 100");
      s.D = v;
    } else if (name == "--test") {
      const bool deficit = job.Analysis == tPower_analysis::Deficit;
      const bool diss = job.Analysis == tPower_analysis::Dissociation;
      if (deficit && value == "t") s.Test = tSimulated_test::Deficit;
      else if (deficit && value == "bayesian") s.Test = tSimulated_test::Bayesian_deficit;
      else if (diss && value == "bsdt") s.Test = tSimulated_test::Bsdt;
      else if (diss && value == "rsdt") s.Test = tSimulated_test::Rsdt;
      else if (diss && value == "classification") s.Test = tSimulated_test::Classification;
      else return Bad_value(name, value, deficit ? "t or bayesian" : diss ? "bsdt, rsdt or classification" : "nothing: udt has one test");
      job.Exact = s.Test == tSimulated_test::Deficit;
    } else if (name == "--prior") {
      if (value != "calibrated" && value != "jeffreys") return Bad_value(name, value, "calibrated or jeffreys");
      s.Prior = value == "jeffreys" ? tPrior::Standard : tPrior::Calibrated;
    } else if (name == "--criteria") {
      if (value != "bayesian" && value != "combined") return Bad_value(name, value, "bayesian or combined");
      s.Criteria = value == "combined" ? tCriteria::Combined : tCriteria::Bayesian;
    } else if (name == "--covariate") {
      if (job.Analysis == tPower_analysis::Udt) return tUsage_error{"the unstandardized difference test allows for no covariates"};
      if (value.empty() || o.Covariate_names.size() >= 5) return Bad_value(name, value, "a name, at most 5 covariates");
      o.Covariate_names.push_back(value);
    } else if (name == "--correlations") {
      o.Correlations_file = value;
    } else if (name == "--matrix") {
      o.Matrix = value;
    } else if (name == "--r") {
      if (!Number(value, v) || !(v > -1 && v < 1)) return Bad_value(name, value, "a correlation between -1 and 1");
      o.R_xy = value;
    } else if (name == "--format") {
      if (value != "report" && value != "json" && value != "csv") return Bad_value(name, value, "report, json or csv");
      o.Format = value == "json" ? tPower_format::Json : value == "csv" ? tPower_format::Csv : tPower_format::Report;
    } else if (name == "--shard") {
      if (!Parse_shard(value, o.Shard, o.Shards)) return Bad_value(name, value, kShard_values);
    }
  }
  if (o.Help) return o;
  if (!effect_given) return tUsage_error{"the effect is needed: --effect DELTA (SDs; a list for several)"};
  if (!n_given && job.Goal != tPower_goal::Effect) {
    if (job.Goal == tPower_goal::Sample_size) job.N_values = {kMin_power_n, job.Exact ? kMax_power_n : 2000};
    else return tUsage_error{"the sample size is needed: --n N (a value, A:B, A:B:STEP or a list)"};
  }
  if (!n_given && job.Goal == tPower_goal::Effect) return tUsage_error{"--find effect needs --n"};
  if (job.Goal == tPower_goal::Sample_size)
    job.N_values = {job.N_values.front(), job.N_values.back()};  // the search's range
  if (o.Shards > 0 && job.Goal != tPower_goal::Power)
    return tUsage_error{"--shard splits power runs; a search (--find) runs whole"};
  if (!o.Correlations_file.empty() && !o.Matrix.empty())
    return tUsage_error{"--correlations and --matrix both give the correlations; give one"};
  if (job.Analysis == tPower_analysis::Dissociation && o.Covariate_names.empty() && o.R_xy.empty() &&
      o.Matrix.empty() && o.Correlations_file.empty())
    return tUsage_error{"the correlation between the tasks is needed: --r or --correlations FILE"};
  return o;
}

std::string Power_usage_text() {
  return "Usage: kestrum-cli power deficit|dissociation|udt [options]\n\n"
         "Plans a study: the power of a test for given N and effect, the smallest N reaching a\n"
         "target power (--find n), or the smallest effect detectable at N (--find effect). The\n"
         "test for a deficit and the unstandardized difference test (udt) are computed exactly\n"
         "from the non-central t; with covariates the power is averaged over simulated control\n"
         "samples. The Bayesian test for a deficit, the BSDT, the RSDT and the classification of\n"
         "a dissociation are simulated: each replication draws the controls' summary statistics\n"
         "(normal means, Wishart covariance) and runs the test as the analysis does.\n\n"
         "  --effect D[,D...]          Effect in SDs (deficit: below the mean is negative; udt: in\n"
         "                             SDs of the difference; dissociation: on task X)\n"
         "  --effect-y D               Dissociation: the effect on task Y (default 0)\n"
         "  --n N|A:B|A:B:STEP|N,N...  Sample sizes (--find n: the range searched)\n"
         "  --alpha A                  Significance level (default 0.05)\n"
         "  --tail one|two             One tail (the deficit side) or two (default two)\n"
         "  --case fixed|random        The case exactly at the effect, or drawn from the shifted\n"
         "                             population (default fixed)\n"
         "  --find n|effect            Search the sample size or the detectable effect\n"
         "  --target-power P           Target of the searches (default 0.8)\n"
         "  --test t|bayesian          deficit: the frequentist (default) or the Bayesian test\n"
         "  --test bsdt|rsdt|classification\n"
         "                             dissociation: the test simulated (default bsdt)\n"
         "  --prior calibrated|jeffreys --criteria bayesian|combined\n"
         "                             The BSDT's prior and the classification's criteria\n"
         "  --r R                      Correlation between the tasks (dissociation)\n"
         "  --covariate NAME           A covariate (repeat, at most 5)\n"
         "  --correlations FILE        The population's correlation matrix, covariates first, then\n"
         "                             the task(s), as for the analysis subcommands\n"
         "  --matrix R21,R31,R32,...   The same matrix's lower triangle, row by row\n"
         "  --distance D               Mahalanobis distance of the case's covariates from the\n"
         "                             controls' mean (default 0)\n"
         "  --replications R           Simulated replications or covariate samples (default 10000)\n"
         "  --iterations K             Monte Carlo iterations of each Bayesian test (default 1000)\n"
         "  --seed S                   Seed of the replications (default 1); replication i draws\n"
         "                             from a state of (S, i) only\n"
         "  --threads T                Threads (default 0: every core); the results do not depend\n"
         "                             on it\n"
         "  --format report|json|csv   Output (CSV: the table behind a power curve)\n"
         "  --shard K/N                Run shard K of N of the replications and write a shard\n"
         "                             file; `kestrum-cli merge` combines shards 1..N into the\n"
         "                             whole run's output, byte for byte\n\n"
         "At an effect of 0 the power is the test's type I error rate. Ctrl+C stops a run and\n"
         "writes the rows finished. Exit status as for kestrum-cli.\n";
}
