// SPDX-License-Identifier: GPL-3.0-or-later
// The outputs of a planning job (a report, one JSON object, or CSV: the table behind each
// power curve), and the shard files from which `merge` rebuilds the whole run's output.
// Each output is a function of the job and its rows only, so a merged run writes the same
// bytes as the unsharded one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/power_job.h"

enum class tPower_format { Report, Json, Csv };

// `complete` false: the run was stopped, the rows are those finished (the outputs say so).
std::string Power_output(const tPower_job& job, const std::vector<tPower_row>& rows,
                         tPower_format format, bool complete = true);

// A shard file: the command's arguments (without --shard), the shard K/N, and each grid
// point's blocks, values in exact hexadecimal.
struct tShard_file {
  std::vector<std::string> Arguments;
  int Shard = 1, Shards = 1;
  std::vector<std::vector<tPower_block>> Point_blocks;  // per grid point
};
std::string Shard_text(const tShard_file& shard);
// Whether a text is a power run's shard file (by its first line).
bool Is_power_shard(const std::string& text);
// Reads a shard file; throws std::runtime_error with a readable message on a malformed one.
tShard_file Read_shard(const std::string& text);
// The grid points' blocks of shards 1..N of one run put together; throws
// std::runtime_error naming what is missing, repeated or mismatched.
std::vector<std::vector<tPower_block>> Merge_shards(const std::vector<tShard_file>& shards);
