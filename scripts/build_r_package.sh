#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Assembles the R source package "kestrum" from r/ and the repository's own core sources
# (distrib, stats, bayes, app; bindings), so that
# no second copy of the core is kept in the repository. The sources keep their folders
# under src/, so their includes ("app/report.h") need no change.
#   scripts/build_r_package.sh [DEST]   -> DEST/kestrum (default build/r-package)
# Then: R CMD build DEST/kestrum, R CMD INSTALL / R CMD check the tarball.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
dest="${1:-$root/build/r-package}"
pkg="$dest/kestrum"

rm -rf "$pkg"
mkdir -p "$dest"
cp -r "$root/r" "$pkg"
cp "$root/tests/data/package_cases.json" "$pkg/tests/testthat/package_cases.json"

objects=()
copy_unit() {  # unit, then the source files to compile (all when none are named)
  local unit="$1"; shift
  mkdir -p "$pkg/src/$unit"
  cp "$root/$unit"/*.h "$pkg/src/$unit/"
  local files=("$@")
  [ ${#files[@]} -gt 0 ] || files=($(cd "$root/$unit" && ls *.cpp))
  for f in "${files[@]}"; do
    cp "$root/$unit/$f" "$pkg/src/$unit/$f"
    objects+=("$unit/${f%.cpp}.o")
  done
}
for unit in distrib stats bayes app bindings; do copy_unit "$unit"; done

# The compiled glue and Rcpp's registration.
Rscript -e "Rcpp::compileAttributes('$pkg')" > /dev/null
objects+=(RcppExports.o kestrum_r.o)

# C++20 as the core is written; the compiler's default floating-point semantics (no flag
# that changes them).
{
  echo "CXX_STD = CXX20"
  echo "PKG_CPPFLAGS = -I."
  echo "PKG_LIBS = -pthread"
  printf 'OBJECTS ='
  for o in "${objects[@]}"; do printf ' \\\n  %s' "$o"; done
  echo
} > "$pkg/src/Makevars"
echo "$pkg"
