#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up the machine, builds the default preset and runs its tests through CTest, then the
# double build's tests and the web page's end-to-end tests (scripts/test_web.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default
cmake --build --preset default
ctest --preset default
bash scripts/test_web.sh
