#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Python and R packages from this checkout and runs their tests against the
# kestrum-cli built from the same checkout (the figures must agree bit for bit).
#   scripts/test_packages.sh [--no-check]
# The Python package is installed into build/python-venv, a virtual environment of Debian's
# /usr/bin/python3 that sees the system's numpy, pandas, dask and pytest. The R package's
# source package goes through `R CMD check`, which installs it and runs its tests (no error
# and no warning allowed); --no-check installs it into build/r-lib and runs the tests only.
# KESTRUM_CLI may name an already built kestrum-cli; otherwise build/default's is built.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
check=1
[ "${1:-}" = "--no-check" ] && check=0

if [ -z "${KESTRUM_CLI:-}" ]; then
  [ -f build/default/build.ninja ] || cmake --preset default > /dev/null
  cmake --build build/default --target kestrum-cli > /dev/null
  KESTRUM_CLI="$root/build/default/cli/kestrum-cli"
fi
export KESTRUM_CLI

echo "== Python package"
python=/usr/bin/python3
[ -x build/python-venv/bin/python ] || "$python" -m venv --system-site-packages build/python-venv
build/python-venv/bin/python -m pip install -q --no-build-isolation ./python
# From the root, so that the installed package is imported, not python/kestrum.
build/python-venv/bin/python -m pytest -q -p no:cacheprovider python/tests

echo "== R package"
scripts/build_r_package.sh build/r-package > /dev/null
mkdir -p build/r-lib
(cd build/r-package && R CMD build --no-manual kestrum > /dev/null)
tarball="$(ls -t build/r-package/kestrum_*.tar.gz | head -1)"
if [ "$check" -eq 1 ]; then
  # The check installs the package and runs its tests (with KESTRUM_CLI, the comparisons).
  (cd build/r-package && _R_CHECK_FORCE_SUGGESTS_=false R CMD check --no-manual "$(basename "$tarball")") \
    > build/r-package/check.log 2>&1 || true
  tail -n 8 build/r-package/check.log
  cat build/r-package/kestrum.Rcheck/tests/testthat.Rout | grep -E "^\[ FAIL|^══|Error" || true
  if ! grep -q "^Status: " build/r-package/check.log || grep -q -E "^Status: .*(ERROR|WARNING)" build/r-package/check.log; then
    echo "R CMD check: an error or a warning (build/r-package/check.log)" >&2
    exit 1
  fi
  # The package the check installed, for scripts/bench_packages.sh and for use.
  rm -rf build/r-lib/kestrum && cp -r build/r-package/kestrum.Rcheck/kestrum build/r-lib/
else
  R CMD INSTALL --library=build/r-lib "$tarball" > build/r-package/install.log 2>&1
  (cd build/r-package/kestrum/tests && R_LIBS="$root/build/r-lib" Rscript testthat.R)
fi
