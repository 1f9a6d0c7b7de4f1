// SPDX-License-Identifier: GPL-3.0-or-later
// The arguments and the help text of the subcommands deficit, dissociation and udt.
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "app/request_reader.h"
#include "app/safe_text.h"
#include "app/shard_file.h"
#include "cli/toolkit_cli.h"

namespace {

// NAME=MEAN,SD,CASE
std::optional<tVariable_texts> Covariate_of(const std::string& text) {
  const auto eq = text.rfind('=');
  if (eq == std::string::npos || eq == 0) return std::nullopt;
  tVariable_texts v;
  v.Name = Trim_blanks(text.substr(0, eq));
  std::vector<std::string> parts;
  std::string rest = text.substr(eq + 1), part;
  std::stringstream in(rest);
  while (std::getline(in, part, ',')) parts.push_back(Trim_blanks(part));
  if (parts.size() != 3 || v.Name.empty()) return std::nullopt;
  v.Mean = parts[0];
  v.Sd = parts[1];
  v.Case = parts[2];
  return v;
}

}  // namespace

std::variant<tToolkit_cli, tUsage_error> Parse_toolkit_arguments(
    const std::vector<std::string>& args) {
  tToolkit_cli o;
  const std::string sub = args.at(0);
  o.Request.Kind = Analysis_of(sub).value_or(tAnalysis_kind::Udt);
  o.Request.Options.Engine_threads = 1;
  const bool two_tasks = o.Request.Kind != tAnalysis_kind::Deficit;
  if (two_tasks) o.Request.Tasks.assign(2, {});
  else o.Request.Tasks.assign(1, {});
  std::map<std::string, std::string*> figures;
  if (two_tasks) {
    auto& x = o.Request.Tasks[0];
    auto& y = o.Request.Tasks[1];
    x.Name = "Task X";
    y.Name = "Task Y";
    figures = {{"--mean-x", &x.Mean}, {"--sd-x", &x.Sd}, {"--case-x", &x.Case},
               {"--mean-y", &y.Mean}, {"--sd-y", &y.Sd}, {"--case-y", &y.Case},
               {"--name-x", &x.Name}, {"--name-y", &y.Name}, {"--r", &o.R_xy}};
  } else {
    auto& t = o.Request.Tasks[0];
    t.Name = "Task";
    figures = {{"--mean", &t.Mean}, {"--sd", &t.Sd}, {"--case", &t.Case}, {"--name", &t.Name}};
  }
  figures["--n"] = &o.Request.N;
  std::set<std::string> seen;
  bool figures_given = false;
  std::size_t shard_at = args.size(), shard_words = 0;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::size_t start = i;
    const tOption_word word = Split_option(args[i]);
    const std::string& name = word.Name;
    std::string value = word.Value.value_or("");
    const bool has_value = word.Value.has_value();
    if (word.Help()) {
      o.Help = true;
      continue;
    }
    if (name == "--udt" && o.Request.Kind == tAnalysis_kind::Dissociation) {
      o.Request.With_udt = true;
      continue;
    }
    const bool known = figures.count(name) != 0 || name == "--covariate" ||
                       name == "--correlations" || name == "--input" || name == "--format" ||
                       name == "--notes" || name == "--batch" || name == "--shard" || name == "--tail" ||
                       (name == "--iterations" && o.Request.Kind != tAnalysis_kind::Udt) ||
                       (o.Request.Kind == tAnalysis_kind::Dissociation &&
                        (name == "--prior" || name == "--criteria"));
    if (!known) return tUsage_error{"unknown option '" + name + "' for " + sub};
    if (!has_value) {
      if (i + 1 >= args.size()) return tUsage_error{"option '" + name + "' needs a value"};
      value = args[++i];
    }
    if (name != "--covariate" && !seen.insert(name).second)
      return tUsage_error{"option '" + name + "' given twice"};
    if (auto it = figures.find(name); it != figures.end()) {
      *it->second = value;
      if (name.rfind("--name", 0) != 0) figures_given = true;
    } else if (name == "--covariate") {
      if (o.Request.Kind == tAnalysis_kind::Udt)
        return tUsage_error{"the unstandardized difference test allows for no covariates"};
      const auto c = Covariate_of(value);
      if (!c) return Bad_value(name, value, "NAME=MEAN,SD,CASE");
      o.Request.Covariates.push_back(*c);
      figures_given = true;
    } else if (name == "--correlations") {
      o.Correlations_file = value;
    } else if (name == "--input") {
      o.Input_file = value;
    } else if (name == "--batch") {
      o.Batch_file = value;
    } else if (name == "--shard") {
      if (!Parse_shard(value, o.Shard, o.Shards)) return Bad_value(name, value, kShard_values);
      shard_at = start;
      shard_words = i - start + 1;
    } else if (name == "--notes") {
      o.Notes_lines = Split_notes(value);
    } else if (name == "--format") {
      if (value != "report" && value != "json") return Bad_value(name, value, "report or json");
      o.Format = value == "json" ? tOutput_format::Json : tOutput_format::Report;
    } else {  // --tail, --prior, --criteria, --iterations
      std::string allowed;
      if (!Set_run_option(o.Request.Options, name.substr(2), value, "", allowed))
        return Bad_value(name, value, allowed);
    }
  }
  o.Canonical = Without_words(args, shard_at, shard_words);
  if (o.Shards > 0 && o.Batch_file.empty() && !o.Help)
    return tUsage_error{"--shard splits a batch: give --batch FILE"};
  if (!o.Input_file.empty() && (figures_given || !o.Correlations_file.empty()))
    return tUsage_error{"--input holds the whole analysis; give no figures, covariates or "
                        "--correlations beside it"};
  if (o.Input_file.empty() && !o.Help) {
    if (!o.Request.Covariates.empty() && o.Correlations_file.empty())
      return tUsage_error{"covariates need their correlations: --correlations FILE"};
    if (two_tasks && o.Correlations_file.empty() && o.R_xy.empty())
      return tUsage_error{"the correlation between the tasks is needed: --r or --correlations FILE"};
    if (!o.Correlations_file.empty() && !o.R_xy.empty())
      return tUsage_error{"--r and --correlations both give the tasks' correlation; give one"};
  }
  return o;
}

std::string Toolkit_usage_text(const std::string& sub) {
  std::string t;
  if (sub == "deficit") {
    t = "Usage: kestrum-cli deficit [options]\n\n"
        "Tests one case's score on one task for a deficit against a control sample, allowing\n"
        "for up to 5 covariates (for example age and years of education): the frequentist test\n"
        "with the effect size Z-CCC (Z-CC without covariates) and its confidence limits, and the\n"
        "Bayesian test with credible limits.\n\n"
        "  --mean T --sd T --case T   The controls' mean and SD on the task, the case's score\n"
        "  --name NAME                The task's name in the report (default Task)\n";
  } else if (sub == "dissociation") {
    t = "Usage: kestrum-cli dissociation [options]\n\n"
        "Tests a case for a dissociation between two tasks allowing for up to 5 covariates: the\n"
        "test for a deficit on each task, the BSDT on the difference between the case's\n"
        "standardized scores on the controls' conditional model, and the criteria for a strong or\n"
        "classical dissociation. Without covariates the figures are the worksheet's.\n\n"
        "  --mean-x T --sd-x T --case-x T   Task X\n"
        "  --mean-y T --sd-y T --case-y T   Task Y\n"
        "  --name-x NAME --name-y NAME      The tasks' names (default Task X, Task Y)\n"
        "  --r T                            Correlation between the tasks (without --correlations)\n"
        "  --criteria bayesian|combined     Criteria (combined needs the RSDT: no covariates)\n"
        "  --prior calibrated|jeffreys      Form of the prior (calibrated needs N - m >= 4)\n"
        "  --udt                            Also the unstandardized difference test\n";
  } else {
    t = "Usage: kestrum-cli udt [options]\n\n"
        "The unstandardized difference test, for two tasks on the same scale: the deficit test\n"
        "with its intervals on the difference between the case's scores.\n\n"
        "  --mean-x T --sd-x T --case-x T --mean-y T --sd-y T --case-y T --r T\n";
  }
  t += "  --n T                      Sample size of the normative sample\n";
  if (sub != "udt")
    t += "  --covariate NAME=MEAN,SD,CASE\n"
         "                             A covariate: the controls' mean and SD, the case's score\n"
         "                             (repeat for each, at most 5)\n"
         "  --correlations FILE        The correlation matrix of every variable, covariates first\n"
         "                             in the order given, then the task(s): CSV (numbers; a header\n"
         "                             row of names may give any order) or JSON ([[...], ...] or\n"
         "                             {\"names\": [...], \"matrix\": [[...], ...]}); square or lower\n"
         "                             triangle\n"
         "  --iterations K             Monte Carlo iterations (default 1000000)\n";
  t += "  --tail two|one             Tail of the reported probability (default two)\n"
       "  --input FILE.json          The whole analysis from a JSON file (docs/toolkit_input.md)\n"
       "  --notes TEXT               User's notes printed in the report\n"
       "  --format report|json       The report (default) or one JSON object\n"
       "  --batch FILE.csv           Every case of a CSV file against the same controls: columns\n"
       "                             id (optional), " +
       std::string(sub == "deficit" ? "case" : "case_x, case_y") +
       ", and optionally one per covariate\n"
       "                             named as it, for the case's covariate scores. Output is CSV,\n"
       "                             or a JSON array with --format json.\n"
       "  --shard K/N                With --batch: run shard K of N (the cases K, K+N, ...) and\n"
       "                             write a shard file; `kestrum-cli merge` combines shards\n"
       "                             1..N into the whole batch's output, byte for byte\n\n"
       "Every figure is a field text with the worksheet's rules (at most 6 characters, digits,\n"
       "one point, a leading minus). A correlation matrix that is not positive definite, an\n"
       "SD of 0 or less, a correlation of +/-1 or beyond, or too few controls for the covariates\n"
       "are refused, and nothing is computed. Exit status as for kestrum-cli.\n";
  return t;
}


