#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets (the `fuzz` preset: clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for FUZZ_SECONDS (default 60) from the seed
# inputs in tests/fuzz/corpus/. A crash, a sanitizer report or a failed check stops the
# script with a non-zero status; the failing input is left in build/fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"
cmake --preset fuzz
cmake --build --preset fuzz
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
for name in read_number control_data control_file batch_csv cli_args; do
  work="build/fuzz/corpus/${name}"
  mkdir -p "${work}"
  log="build/fuzz/fuzz_${name}.log"
  echo "fuzz_${name}: ${seconds} s (log in ${log})"
  if ! (cd build/fuzz && "./tests/fuzz/fuzz_${name}" -max_total_time="${seconds}" -max_len=4096 \
      -print_final_stats=1 "../../${work}" "../../tests/fuzz/corpus/${name}") > "${log}" 2>&1; then
    tail -n 60 "${log}"
    echo "fuzz_${name} FAILED" >&2
    exit 1
  fi
  grep -E '^stat::number_of_executed_units|^Done ' "${log}" || true
done
