// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/power_writers.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "app/shard_file.h"
#include "distrib/number_text.h"

namespace {

// The first line of a shard file, with the format's version.
constexpr const char* kShard_magic = "kestrum-power-shard 1";

std::string Num(Extended x, int digits = 6) { return Fixed_text(static_cast<long double>(x), digits); }
std::string Eff(Extended x) { return Shortest_text(static_cast<double>(x)); }
// A standard error, or "-" (report) / empty (CSV) for an exact value.
std::string Se_text(const tPower_row& r, const char* exact) {
  return r.Replications > 0 ? Num(r.Se) : std::string(exact);
}

std::string Case_text(const tPower_job& job) {
  return job.Setting.Case == tCase_model::Fixed ? "fixed" : "random";
}
std::string Tail_text(const tPower_job& job) { return job.Setting.Two_tailed ? "two" : "one"; }
std::string Analysis_text(const tPower_job& job) {
  switch (job.Analysis) {
    case tPower_analysis::Deficit: return "deficit";
    case tPower_analysis::Dissociation: return "dissociation";
    case tPower_analysis::Udt: return "udt";
  }
  return "";
}
bool Is_classification(const tPower_job& job) {
  return !job.Exact && job.Setting.Test == tSimulated_test::Classification;
}
std::string Goal_key(const tPower_job& job) {
  return job.Goal == tPower_goal::Power ? "power"
         : job.Goal == tPower_goal::Sample_size ? "sample_size" : "detectable_effect";
}

std::string Csv(const tPower_job& job, const std::vector<tPower_row>& rows) {
  std::ostringstream o;
  const bool cls = Is_classification(job);
  if (job.Goal == tPower_goal::Power) o << "n,effect,power,se,replications,limit";
  else if (job.Goal == tPower_goal::Sample_size) o << "effect,target,reached,n,power,se,replications,limit";
  else o << "n,target,reached,effect,power,se,replications";
  o << (cls ? ",strong,classical\n" : "\n");
  for (const tPower_row& r : rows) {
    const std::string lim = r.Limit < 0 ? "" : Num(r.Limit);
    if (job.Goal == tPower_goal::Power)
      o << r.N << ',' << Eff(r.Effect) << ',' << Num(r.Power) << ',' << Se_text(r, "") << ','
        << r.Replications << ',' << lim;
    else if (job.Goal == tPower_goal::Sample_size)
      o << Eff(r.Effect) << ',' << Num(job.Target, 4) << ',' << (r.Reached ? "yes" : "no") << ','
        << (r.Reached ? std::to_string(r.N) : "") << ',' << Num(r.Power) << ',' << Se_text(r, "")
        << ',' << r.Replications << ',' << lim;
    else
      o << r.N << ',' << Num(job.Target, 4) << ',' << (r.Reached ? "yes" : "no") << ','
        << (r.Reached ? Num(r.Effect, 4) : "") << ',' << Num(r.Power) << ',' << Se_text(r, "")
        << ',' << r.Replications;
    if (cls) o << ',' << r.Strong << ',' << r.Classical;
    o << '\n';
  }
  return o.str();
}

std::string Json(const tPower_job& job, const std::vector<tPower_row>& rows, bool complete) {
  std::ostringstream o;
  o << "{\n  \"analysis\": \"" << Analysis_text(job) << "\",\n  \"test\": \"" << Test_name(job)
    << "\",\n  \"method\": \"" << (job.Exact ? "exact" : "simulation") << "\",\n  \"goal\": \""
    << Goal_key(job) << "\",\n  \"case_model\": \"" << Case_text(job) << "\",\n  \"tail\": \""
    << Tail_text(job) << "\",\n  \"alpha\": " << Eff(job.Setting.Alpha)
    << ",\n  \"covariates\": " << Covariates_of(job) << ",\n  \"distance\": " << Eff(job.Setting.D);
  if (job.Analysis == tPower_analysis::Dissociation)
    o << ",\n  \"effect_y\": " << Eff(job.Setting.Delta_y);
  if (Uses_replications(job))
    o << ",\n  \"replications\": " << job.Replications << ",\n  \"seed\": " << job.Setting.Seed;
  if (!job.Exact) o << ",\n  \"iterations\": " << job.Setting.Iterations;
  if (job.Goal != tPower_goal::Power) o << ",\n  \"target_power\": " << Num(job.Target, 4);
  o << ",\n  \"complete\": " << (complete ? "true" : "false") << ",\n  \"rows\": [";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const tPower_row& r = rows[i];
    o << (i ? ",\n" : "\n") << "    {\"n\": " << (r.Reached ? std::to_string(r.N) : "null")
      << ", \"effect\": " << (job.Goal == tPower_goal::Effect && !r.Reached ? "null" : Eff(r.Effect))
      << ", \"reached\": " << (r.Reached ? "true" : "false") << ", \"power\": " << Num(r.Power)
      << ", \"se\": " << (r.Replications > 0 ? Num(r.Se) : "null");
    if (r.Limit >= 0) o << ", \"limit\": " << Num(r.Limit);
    if (Is_classification(job)) o << ", \"strong\": " << r.Strong << ", \"classical\": " << r.Classical;
    o << '}';
  }
  o << "\n  ]\n}\n";
  return o.str();
}

std::string Report(const tPower_job& job, const std::vector<tPower_row>& rows, bool complete) {
  std::ostringstream o;
  o << "Planning a study: " << (job.Goal == tPower_goal::Power ? "power"
                               : job.Goal == tPower_goal::Sample_size ? "sample size"
                                                                      : "detectable effect")
    << " of the " << Test_name(job) << "\n\n";
  o << "Case model: " << Case_text(job)
    << (job.Setting.Case == tCase_model::Fixed
            ? " (the case's score lies exactly the effect from the population mean)\n"
            : " (the case is a draw from the population shifted by the effect)\n");
  o << "Effect in SDs of " << (job.Analysis == tPower_analysis::Udt ? "the difference between the tasks"
                              : Covariates_of(job) > 0 ? "the task given the covariates (residual SDs)"
                                                       : "the task in the control population")
    << "; " << (job.Setting.Two_tailed ? "two-tailed" : "one-tailed (deficit side)")
    << ", alpha = " << Eff(job.Setting.Alpha) << '\n';
  if (job.Analysis == tPower_analysis::Dissociation)
    o << "Effect on task Y: " << Eff(job.Setting.Delta_y) << " SDs; the effect below is on task X\n";
  if (Covariates_of(job) > 0)
    o << "Covariates: " << Covariates_of(job) << ", the case's profile at Mahalanobis distance "
      << Eff(job.Setting.D) << '\n';
  if (job.Exact)
    o << (Uses_replications(job)
              ? "Power from the non-central t given the covariates, averaged over " +
                    std::to_string(job.Replications) + " simulated control samples (SE: Monte Carlo)\n"
              : std::string("Exact power from the non-central t distribution\n"));
  else
    o << "Power by simulation: " << job.Replications << " replications (SE: binomial), "
      << job.Setting.Iterations << " Monte Carlo iterations per test, seed " << job.Setting.Seed << '\n';
  o << '\n';
  char line[160];
  if (job.Goal == tPower_goal::Power) {
    std::snprintf(line, sizeof line, "%8s %10s %10s %10s\n", "N", "effect", "power", "SE");
    o << line;
    for (const tPower_row& r : rows) {
      std::snprintf(line, sizeof line, "%8d %10s %10s %10s\n", static_cast<int>(r.N),
                    Eff(r.Effect).c_str(), Num(r.Power).c_str(), Se_text(r, "-").c_str());
      o << line;
    }
  } else if (job.Goal == tPower_goal::Sample_size) {
    o << "Target power " << Num(job.Target, 4) << ", N searched from " << job.N_values.front()
      << " to " << job.N_values.back() << "\n";
    for (const tPower_row& r : rows) {
      o << "  effect " << Eff(r.Effect) << ": ";
      if (r.Reached) o << "N = " << r.N << " (power " << Num(r.Power) << (r.Se > 0 ? ", SE " + Num(r.Se) : "") << ")\n";
      else if (r.Limit >= 0 && r.Limit < job.Target)
        o << "never: as N grows the power tends to " << Num(r.Limit) << ", below the target\n";
      else o << "not reached up to N = " << job.N_values.back() << " (power there " << Num(r.Power) << ")\n";
    }
  } else {
    o << "Target power " << Num(job.Target, 4) << "\n";
    for (const tPower_row& r : rows) {
      o << "  N = " << r.N << ": ";
      if (r.Reached) o << "smallest detectable |effect| " << Num(r.Effect, 4) << " SDs (power " << Num(r.Power)
                       << (r.Se > 0 ? ", SE " + Num(r.Se) : "") << ")\n";
      else o << "not reached by an effect of " << Eff(r.Effect) << " SDs\n";
    }
  }
  bool zero = false;
  for (const tPower_row& r : rows) zero = zero || (r.Effect == 0 && job.Goal == tPower_goal::Power);
  if (zero)
    o << (job.Setting.Case == tCase_model::Random
              ? "\nAt an effect of 0 the case is one more member of the control population: the power\n"
                "there is the test's type I error rate.\n"
              : "\nAt an effect of 0 the fixed case lies exactly at the population mean; the test's type I\n"
                "error rate is the power at 0 under the random case model (--case random).\n");
  if (job.Goal == tPower_goal::Power && job.Exact && !rows.empty()) {
    o << "\nAs N grows the power tends to:";
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (i == 0 || rows[i].Effect != rows[i - 1].Effect)
        o << "\n  effect " << Eff(rows[i].Effect) << ": " << Num(rows[i].Limit);
    o << '\n';
  }
  if (!complete) o << "\nStopped: only the rows above were finished.\n";
  return o.str();
}

std::string Hex(Extended x) {
  char b[64];
  std::snprintf(b, sizeof b, "%La", static_cast<long double>(x));
  return b;
}

}  // namespace

std::string Power_output(const tPower_job& job, const std::vector<tPower_row>& rows,
                         tPower_format format, bool complete) {
  switch (format) {
    case tPower_format::Csv: return Csv(job, rows);
    case tPower_format::Json: return Json(job, rows, complete);
    case tPower_format::Report: return Report(job, rows, complete);
  }
  return "";
}

std::string Shard_text(const tShard_file& shard) {
  std::ostringstream o;
  o << Shard_frame_text(kShard_magic, {shard.Arguments, shard.Shard, shard.Shards});
  for (std::size_t p = 0; p < shard.Point_blocks.size(); ++p) {
    o << "point " << p << ' ' << shard.Point_blocks[p].size() << '\n';
    for (const tPower_block& b : shard.Point_blocks[p])
      o << "block " << b.Count << ' ' << b.Hits[0] << ' ' << b.Hits[1] << ' ' << b.Hits[2] << ' '
        << Hex(b.Sum) << ' ' << Hex(b.Sum_squares) << '\n';
  }
  o << "end\n";
  return o.str();
}

bool Is_power_shard(const std::string& text) { return Shard_magic_of(text) == kShard_magic; }

tShard_file Read_shard(const std::string& text) {
  tShard_reader in(text, kShard_magic, "power shard file");
  tShard_file f;
  f.Arguments = in.Frame().Arguments;
  f.Shard = in.Frame().Shard;
  f.Shards = in.Frame().Shards;
  std::string line;
  for (;;) {
    if (!in.Line(line)) throw in.Bad("incomplete: no end");
    if (line == "end") break;
    std::size_t index = 0, count = 0;
    if (std::sscanf(line.c_str(), "point %zu %zu", &index, &count) != 2 ||
        index != f.Point_blocks.size() || count > (1u << 30))
      throw in.Bad("point line");
    f.Point_blocks.emplace_back();
    for (std::size_t k = 0; k < count; ++k) {
      if (!in.Line(line)) throw in.Bad("missing blocks");
      tPower_block b;
      char sum[64] = {}, squares[64] = {};
      if (std::sscanf(line.c_str(), "block %" SCNd64 " %" SCNd64 " %" SCNd64 " %" SCNd64 " %63s %63s",
                      &b.Count, &b.Hits[0], &b.Hits[1], &b.Hits[2], sum, squares) != 6 ||
          b.Count < 0)
        throw in.Bad("block line");
      char* end1 = nullptr;
      char* end2 = nullptr;
      b.Sum = std::strtold(sum, &end1);
      b.Sum_squares = std::strtold(squares, &end2);
      if (*end1 != '\0' || *end2 != '\0') throw in.Bad("block value");
      f.Point_blocks.back().push_back(b);
    }
  }
  in.Expect_end();
  return f;
}

std::vector<std::vector<tPower_block>> Merge_shards(const std::vector<tShard_file>& shards) {
  std::vector<tShard_frame> frames;
  for (const tShard_file& s : shards) frames.push_back({s.Arguments, s.Shard, s.Shards});
  std::vector<const tShard_frame*> pointers;
  for (const tShard_frame& f : frames) pointers.push_back(&f);
  const std::vector<std::size_t> order = Shard_order(pointers);
  std::vector<std::vector<tPower_block>> points(shards.front().Point_blocks.size());
  for (const std::size_t i : order) {
    if (shards[i].Point_blocks.size() != points.size())
      throw std::runtime_error("the shard files come from different runs");
    for (std::size_t p = 0; p < points.size(); ++p)
      points[p].insert(points[p].end(), shards[i].Point_blocks[p].begin(), shards[i].Point_blocks[p].end());
  }
  return points;
}
