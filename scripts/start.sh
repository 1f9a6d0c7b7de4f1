#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up the machine, builds the default preset and starts the worksheet.
# Without a display it says so and prints the built-in example's report instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default
cmake --build --preset default
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/default/gui/kestrum
fi
echo "No display found (neither DISPLAY nor WAYLAND_DISPLAY is set), so the worksheet cannot open." >&2
echo "Printing the report of the built-in example instead (build/default/cli/kestrum-cli --example):" >&2
exec build/default/cli/kestrum-cli --example
