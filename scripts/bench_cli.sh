#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Wall-clock and CPU figures of kestrum-cli, start-up included: the median of RUNS whole
# runs (combined criteria, calibrated prior, N = 20, 1,000,000 iterations) and one batch
# of 100 cases against the same controls. CPU is user plus system time of the process.
# Usage: scripts/bench_cli.sh [path/to/kestrum-cli]
set -euo pipefail
cd "$(dirname "$0")/.."
cli="${1:-build/default/cli/kestrum-cli}"
runs="${RUNS:-7}"
work="$(mktemp -d)"
trap 'rm -rf "${work}"' EXIT
export KESTRUM_DATA_FILE="${work}/kestrum.txt"  # never touch the user's control data

# Runs the command with its output to OUT; sets wall_ms and cpu_ms (user plus system time).
timed() {
  local out="$1"
  shift
  /usr/bin/time -f "%e %U %S" -o "${work}/time.txt" "$@" >"${out}" 2>/dev/null
  read -r wall user sys <"${work}/time.txt"
  wall_ms=$(awk -v w="${wall}" 'BEGIN { printf "%d", w * 1000 }')
  cpu_ms=$(awk -v u="${user}" -v s="${sys}" 'BEGIN { printf "%d", (u + s) * 1000 }')
}

times_ms=()
cpus=()
for ((i = 0; i < runs; i++)); do
  timed /dev/null "${cli}" --mean-x 100 --sd-x 15 --mean-y 50 --sd-y 10 --r 0.6 --n 20 \
      --case-x 70 --case-y 52 --criteria combined --prior calibrated
  times_ms+=("${wall_ms}")
  cpus+=("${cpu_ms}")
done
sorted=($(printf '%s\n' "${times_ms[@]}" | sort -n))
sorted_cpu=($(printf '%s\n' "${cpus[@]}" | sort -n))
echo "single run (combined, calibrated, N = 20, 1e6 iterations): wall median ${sorted[$((runs / 2))]} ms" \
     "(min ${sorted[0]} ms, max ${sorted[$((runs - 1))]} ms), CPU median" \
     "${sorted_cpu[$((runs / 2))]} ms (min ${sorted_cpu[0]} ms, max ${sorted_cpu[$((runs - 1))]} ms), ${runs} runs"

{
  echo "id,case_x,case_y"
  for ((i = 0; i < 100; i++)); do echo "c${i},$((60 + i % 40)),$((30 + (i * 7) % 35))"; done
} > "${work}/cases.csv"
timed "${work}/out.csv" "${cli}" --mean-x 100 --sd-x 15 --mean-y 50 --sd-y 10 --r 0.6 --n 20 \
    --criteria combined --batch "${work}/cases.csv"
echo "batch of 100 cases (same options): wall ${wall_ms} ms, CPU ${cpu_ms} ms on $(nproc) cores"
