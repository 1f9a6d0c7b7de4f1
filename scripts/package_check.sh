#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from the default preset and checks it with lintian: any error
# or warning fails the script. Usage: scripts/package_check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default
cmake --build --preset default
rm -f build/default/kestrum_*.deb
(cd build/default && cpack -G DEB)
deb="$(ls build/default/kestrum_*.deb)"
echo "lintian ${deb}"
# Lintian warns about running as root on its standard error; that is not the package's.
lintian --fail-on error,warning --display-info "${deb}"
echo "lintian: no errors or warnings"
