#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs, with apt, whatever the build and the tests need and is not yet on this machine.
# Idempotent: a second run installs nothing. Runs apt as root directly, otherwise via sudo.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  qt6-base-dev libgl-dev fonts-dejavu-core
  fonts-liberation  # Liberation Mono, made to Courier New's metrics: the report's font
  qt6-svg-dev    # QSvgGenerator: the plots window exports SVG
  poppler-utils  # pdftotext: the viewer's tests read printed output back
  slurm-wlm munge  # the power job array's test on a one-node Slurm cluster
  xvfb xauth     # an X server for the window tests that need the primary selection
  locales        # a decimal-comma locale for the tests of locale-independent output
  help2man       # the kestrum-cli man page, generated from --help
  lintian        # checks the .deb (scripts/package_check.sh)
  time           # GNU time: peak memory in scripts/bench_batch.sh
  emscripten     # the web page (the "web" preset)
  chromium nodejs # the web page's end-to-end tests (tests/web, playwright-core)
  # The R and Python packages (r/, python/) and their tests, with Debian's interpreters.
  r-base-dev r-cran-rcpp r-cran-testthat
  pybind11-dev python3-pybind11 python3-dev python3-pip python3-venv python3-setuptools
  python3-numpy python3-pandas python3-dask python3-distributed python3-pytest
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
# npm comes with some builds of nodejs; Debian's own nodejs needs the npm package.
command -v npm > /dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# German writes a decimal comma: the tests switch to it to check that reports, limits and
# files are still written with a point.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  "${sudo_cmd[@]}" sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  "${sudo_cmd[@]}" locale-gen > /dev/null
fi

# The web page's end-to-end test tools, pinned by tests/web/package-lock.json.
web_tests="$(dirname "$0")/../tests/web"
if [ ! -d "$web_tests/node_modules" ] || [ "$web_tests/package-lock.json" -nt "$web_tests/node_modules" ]; then
  (cd "$web_tests" && npm ci --no-audit --no-fund --silent)
fi
