#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Benchmarks of the web page against the native x87 build, side by side (not a test; run
# it on an otherwise idle machine): builds the default and web presets, then runs
# bench/web_bench.mjs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default > /dev/null
cmake --build build/default --target kestrum-cli
export NODE_PATH=/usr/share/nodejs
cmake --preset web > /dev/null
cmake --build --preset web
node bench/web_bench.mjs "$PWD/build/web/web" "$PWD/build/default/cli/kestrum-cli"
