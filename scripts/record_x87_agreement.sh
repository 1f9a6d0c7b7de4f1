#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Records the x87 build's figures on the agreement cases into tests/data/x87_agreement.txt,
# which test_agreement compares every build with (the double build within its tolerances).
# Run it after a change that alters the x87 build's results, and commit the file.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default > /dev/null
cmake --build build/default --target record_agreement
{
  echo "# The x87 build's figures on the agreement cases (tests/agreement_cases.h)."
  echo "# Written by scripts/record_x87_agreement.sh from build/default (Extended = x87 long double)"
  echo "# at commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)."
  build/default/tests/record_agreement tests/data
} > tests/data/x87_agreement.txt.new
mv tests/data/x87_agreement.txt.new tests/data/x87_agreement.txt
echo "tests/data/x87_agreement.txt: $(grep -vc '^#' tests/data/x87_agreement.txt) cases"
