#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A 1,000-case batch at 10,000 iterations from kestrum-cli --batch, Python (every core),
# Dask (LocalCluster, 2 worker processes) and R (every core): the times side by side, and
# whether every output is kestrum-cli's byte for byte; and the overhead of one call from
# Python and from R beyond the engine's own time. Needs the packages as
# scripts/test_packages.sh installs them (build/python-venv, build/r-lib).
#   scripts/bench_packages.sh [CASES] [ITERATIONS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cli="${KESTRUM_CLI:-$root/build/default/cli/kestrum-cli}"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
/usr/bin/python3 "$root/bench/packages/make_cases.py" "$dir" "${1:-1000}" "${2:-10000}"
echo "cores $(nproc)"
# Wall-clock and CPU seconds (user + system, every thread): on a machine shared with other
# work the CPU time is the steadier measure.
/usr/bin/time -f "cli_batch_seconds %e cpu_seconds %U+%S" \
  "$cli" dissociation --input "$dir/controls.json" --batch "$dir/cases.csv" > "$dir/cli.csv"
(cd "$dir" && "$root/build/python-venv/bin/python" "$root/bench/packages/bench_python.py" "$dir")
R_LIBS="$root/build/r-lib" Rscript "$root/bench/packages/bench_r.R" "$dir"
for out in python r; do
  if cmp -s "$dir/cli.csv" "$dir/$out.csv"; then echo "${out}_csv_equals_cli yes"
  else echo "${out}_csv_equals_cli NO"; exit 1; fi
done
