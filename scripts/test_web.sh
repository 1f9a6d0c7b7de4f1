#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the double preset (the web page's numerics, natively) and runs its tests, then the
# web preset (emscripten) and the page's end-to-end tests in headless Chromium. Needs the
# default build's kestrum-cli (scripts/test.sh). The last line reads "# pass N" / "# fail N".
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset double
cmake --build --preset double
ctest --preset double
export NODE_PATH=/usr/share/nodejs
cmake --preset web
cmake --build --preset web
KESTRUM_WEB="$PWD/build/web/web" KESTRUM_CLI="$PWD/build/default/cli/kestrum-cli" \
  KESTRUM_OUT="$PWD/build/web" node --test tests/web/e2e.test.mjs
