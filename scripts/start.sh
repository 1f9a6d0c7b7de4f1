#!/usr/bin/env bash
# Sets up the machine, builds the default preset and starts the worksheet.
# Without a display it says so and prints the built-in example's report instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default
cmake --build --preset default
if [ -x build/default/app/kestrum ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec build/default/app/kestrum
fi
echo "No display found: printing the report of the built-in example instead of opening the worksheet." >&2
if [ -x build/default/cli/kestrum-cli ]; then
  exec build/default/cli/kestrum-cli --example
fi
echo "The program is not built yet." >&2
