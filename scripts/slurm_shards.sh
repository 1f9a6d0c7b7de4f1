#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# One task of a Slurm job array running a kestrum-cli power run or batch in shards: task K
# of N runs shard K/N and writes OUTDIR/shard-K.txt; `kestrum-cli merge OUTDIR/shard-*.txt`
# then writes exactly the output of the unsharded run (for a batch also its messages and
# exit status).
#
# A power run (the replications split; `power` may be left out, as scripts/power_slurm.sh,
# a link to this script, always took it):
#   sbatch --array=1-N scripts/slurm_shards.sh OUTDIR power deficit --effect -2 --n 10:100 ...
# A batch (the cases split: shard K runs cases K, K + N, K + 2N, ... of the case file), with
# the arguments of the worksheet's batch or of a toolkit subcommand's:
#   sbatch --array=1-N scripts/slurm_shards.sh OUTDIR batch --mean-x 100 ... --batch cases.csv
#   sbatch --array=1-N scripts/slurm_shards.sh OUTDIR batch deficit ... --batch cases.csv
# then, after the array has ended:
#   kestrum-cli merge OUTDIR/shard-*.txt > out.csv
# or, with the merge as a job that waits for the array:
#   job=$(sbatch --parsable --array=1-N scripts/slurm_shards.sh OUTDIR batch ...)
#   sbatch --dependency=afterok:$job --wrap "kestrum-cli merge OUTDIR/shard-*.txt > out.csv"
# (a batch's shard ends with status 0 once its file is written; the merge reports the
# cases' failures). Give the case file and other files by paths the tasks can read.
#
# KESTRUM_CLI names the program (default: kestrum-cli on PATH). A power task uses the cores
# Slurm gives it (--cpus-per-task); a batch task every core it sees. The results do not
# depend on how many.
#SBATCH --job-name=kestrum-shards
#SBATCH --cpus-per-task=1
set -euo pipefail
usage() {
  echo "usage: sbatch --array=1-N $0 OUTDIR power ANALYSIS [power options]" >&2
  echo "       sbatch --array=1-N $0 OUTDIR batch [kestrum-cli batch arguments]" >&2
  exit 1
}
[[ $# -ge 2 ]] || usage
outdir=$1
mode=$2
shift 2
case $mode in
  power | batch) ;;
  deficit | dissociation | udt) set -- "$mode" "$@"; mode=power ;;
  *) usage ;;
esac
: "${SLURM_ARRAY_TASK_ID:?run this script as a Slurm job array (sbatch --array=1-N)}"
: "${SLURM_ARRAY_TASK_COUNT:?run this script as a Slurm job array (sbatch --array=1-N)}"
cli=${KESTRUM_CLI:-kestrum-cli}
k=$SLURM_ARRAY_TASK_ID
n=$SLURM_ARRAY_TASK_COUNT
# Arrays numbered from 0 (--array=0-3) shift to 1..N.
if [[ ${SLURM_ARRAY_TASK_MIN:-1} == 0 ]]; then k=$((k + 1)); fi
mkdir -p "$outdir"
# Written under a temporary name and renamed once whole, so that a merge never reads a
# shard cut short.
tmp="$outdir/.shard-$k.txt.$$"
if [[ $mode == power ]]; then
  "$cli" power "$@" --shard "$k/$n" --threads "${SLURM_CPUS_PER_TASK:-0}" > "$tmp"
else
  "$cli" "$@" --shard "$k/$n" > "$tmp"
fi
mv "$tmp" "$outdir/shard-$k.txt"
