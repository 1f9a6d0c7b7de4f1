#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A large batch: ROWS cases (default 300,000) against one control sample at ITERATIONS
# Monte Carlo iterations (default 21), with the wall-clock time and the peak resident
# memory of the whole kestrum-cli run (GNU time). Usage: scripts/bench_batch.sh [kestrum-cli]
set -euo pipefail
cd "$(dirname "$0")/.."
cli="${1:-build/default/cli/kestrum-cli}"
rows="${ROWS:-300000}"
iterations="${ITERATIONS:-21}"
work="$(mktemp -d)"
trap 'rm -rf "${work}"' EXIT
export KESTRUM_DATA_FILE="${work}/kestrum.txt"  # never touch the user's control data

awk -v rows="${rows}" 'BEGIN {
  print "id,case_x,case_y"
  for (i = 0; i < rows; i++) printf "c%d,%d,%d\n", i, 60 + i % 40, 30 + (i * 7) % 35
}' > "${work}/cases.csv"

/usr/bin/time -f "%e %M" -o "${work}/time.txt" \
  "${cli}" --mean-x 100 --sd-x 15 --mean-y 50 --sd-y 10 --r 0.6 --n 20 \
  --iterations "${iterations}" --batch "${work}/cases.csv" > "${work}/out.csv"
read -r seconds peak_kb < "${work}/time.txt"
lines=$(($(wc -l < "${work}/out.csv") - 1))
echo "batch of ${rows} cases at ${iterations} iterations on $(nproc) cores: ${seconds} s," \
     "peak memory $((peak_kb / 1024)) MB (${peak_kb} KB), ${lines} rows written"
