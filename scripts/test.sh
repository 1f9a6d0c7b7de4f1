#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up the machine, builds the default preset and runs its tests through CTest, then the
# double build's tests, the R and Python packages' tests (scripts/test_packages.sh) and the
# web page's end-to-end tests (scripts/test_web.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default
cmake --build --preset default
ctest --preset default
# A power run as a 4-task Slurm job array on a one-node cluster, merged and compared with the
# unsharded run (about 15 s); status 77 means the machine cannot run the daemons (not root).
status=0
bash scripts/test_power_slurm.sh build/default/cli/kestrum-cli || status=$?
[[ $status == 0 || $status == 77 ]] || exit "$status"
# The Python and R packages built from this checkout, their tests against kestrum-cli.
bash scripts/test_packages.sh
bash scripts/test_web.sh
