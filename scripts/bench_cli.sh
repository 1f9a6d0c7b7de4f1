#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Wall-clock figures of kestrum-cli, start-up included: the median of RUNS whole runs
# (combined criteria, calibrated prior, N = 20, 1,000,000 iterations) and one batch of
# 100 cases against the same controls. Usage: scripts/bench_cli.sh [path/to/kestrum-cli]
set -euo pipefail
cd "$(dirname "$0")/.."
cli="${1:-build/default/cli/kestrum-cli}"
runs="${RUNS:-7}"
work="$(mktemp -d)"
trap 'rm -rf "${work}"' EXIT
export KESTRUM_DATA_FILE="${work}/kestrum.txt"  # never touch the user's control data

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

times=()
for ((i = 0; i < runs; i++)); do
  start=$(now_ms)
  "${cli}" --mean-x 100 --sd-x 15 --mean-y 50 --sd-y 10 --r 0.6 --n 20 --case-x 70 \
      --case-y 52 --criteria combined --prior calibrated >/dev/null
  times+=($(( $(now_ms) - start )))
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "single run (combined, calibrated, N = 20, 1e6 iterations): median ${sorted[$((runs / 2))]} ms" \
     "(min ${sorted[0]} ms, max ${sorted[$((runs - 1))]} ms, ${runs} runs)"

{
  echo "id,case_x,case_y"
  for ((i = 0; i < 100; i++)); do echo "c${i},$((60 + i % 40)),$((30 + (i * 7) % 35))"; done
} > "${work}/cases.csv"
start=$(now_ms)
"${cli}" --mean-x 100 --sd-x 15 --mean-y 50 --sd-y 10 --r 0.6 --n 20 --criteria combined \
    --batch "${work}/cases.csv" >"${work}/out.csv" 2>/dev/null
echo "batch of 100 cases (same options): $(( $(now_ms) - start )) ms on $(nproc) cores"
