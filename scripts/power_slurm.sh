#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# One task of a Slurm job array running a `kestrum-cli power` job in shards: task K of N
# runs shard K/N and writes OUTDIR/shard-K.txt; `kestrum-cli merge OUTDIR/shard-*.txt` then
# writes exactly the output of the unsharded run.
#
#   sbatch --array=1-N scripts/power_slurm.sh OUTDIR deficit --effect -2 --n 10:100 ...
#   (after the array has ended)  kestrum-cli merge OUTDIR/shard-*.txt > power.csv
#
# or, with the merge as a job that waits for the array:
#   job=$(sbatch --parsable --array=1-N scripts/power_slurm.sh OUTDIR dissociation ...)
#   sbatch --dependency=afterok:$job --wrap "kestrum-cli merge OUTDIR/shard-*.txt > power.txt"
#
# KESTRUM_CLI names the program (default: kestrum-cli on PATH). Each task uses the cores
# Slurm gives it (--cpus-per-task); the results do not depend on how many.
#SBATCH --job-name=kestrum-power
#SBATCH --cpus-per-task=1
set -euo pipefail
if [[ $# -lt 2 ]]; then
  echo "usage: sbatch --array=1-N $0 OUTDIR ANALYSIS [power options]" >&2
  exit 1
fi
outdir=$1
shift
: "${SLURM_ARRAY_TASK_ID:?run this script as a Slurm job array (sbatch --array=1-N)}"
: "${SLURM_ARRAY_TASK_COUNT:?run this script as a Slurm job array (sbatch --array=1-N)}"
cli=${KESTRUM_CLI:-kestrum-cli}
k=$SLURM_ARRAY_TASK_ID
n=$SLURM_ARRAY_TASK_COUNT
# Arrays numbered from 0 (--array=0-3) shift to 1..N.
if [[ ${SLURM_ARRAY_TASK_MIN:-1} == 0 ]]; then k=$((k + 1)); fi
threads=${SLURM_CPUS_PER_TASK:-0}
mkdir -p "$outdir"
# Written under a temporary name and renamed once whole, so that a merge never reads a
# shard cut short.
tmp="$outdir/.shard-$k.txt.$$"
"$cli" power "$@" --shard "$k/$n" --threads "$threads" > "$tmp"
mv "$tmp" "$outdir/shard-$k.txt"
