#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Compares the toolkit subcommands' outputs (deficit, dissociation, udt) of two kestrum-cli
# builds byte for byte: reports and JSON objects with and without covariates under every
# option, notes, far cases whose limits lie beyond the search's reach, refusals, and
# batches, each with its standard error and exit status. Used beside compare_outputs.sh
# to show that a change of the code left the outputs as they were.
# Usage: scripts/compare_toolkit_outputs.sh OLD_CLI NEW_CLI
set -euo pipefail
source "$(dirname "$0")/compare_common.sh" "$@"

cat > "${work}/r2.csv" <<'CSV'
1
0.3,1
0.5,0.4,1
CSV
cat > "${work}/r4.csv" <<'CSV'
1
0.3,1
0.5,0.4,1
0.4,0.45,0.6,1
CSV
cat > "${work}/input.json" <<'JSON'
{"analysis": "dissociation", "n": 25,
 "covariates": [{"name": "Age", "mean": 65, "sd": 8, "case": 78},
                {"name": "Education", "mean": 12, "sd": 3, "case": 9}],
 "tasks": [{"name": "Naming", "mean": 50, "sd": 10, "case": 28},
           {"name": "Reading", "mean": 40, "sd": 8, "case": 39}],
 "correlations": [[1, 0.3, 0.5, 0.4], [0.3, 1, 0.4, 0.45], [0.5, 0.4, 1, 0.6],
                  [0.4, 0.45, 0.6, 1]],
 "options": {"iterations": 20000, "udt": true}}
JSON
printf '1\n0.3,1\n' > "${work}/r1.csv"
printf '1\n0.99,1\n-0.99,0.99,1\n' > "${work}/bad.csv"
printf 'id,case,Age\na,30,70\nb,55,60\nc,abc,60\n' > "${work}/deficit.csv"
printf 'id,case_x,case_y\na,70,52\nb,40,52\nc,x,1\n' > "${work}/pairs.csv"


it=(--iterations 20000)
deficit=(deficit --mean 50 --sd 10 --n 20 "${it[@]}")
cov=(--covariate Age=65,8,78 --covariate Education=12,3,9 --correlations "${work}/r2.csv")
pair=(--mean-x 100 --sd-x 15 --mean-y 50 --sd-y 10 --n 20 "${it[@]}")
for format in report json; do
  for tail in two one; do
    for score in 30 55 90; do
      compare "deficit ${format} ${tail} ${score}" "${deficit[@]}" --case "${score}" \
          --tail "${tail}" --format "${format}"
      compare "deficit covariates ${format} ${tail} ${score}" "${deficit[@]}" "${cov[@]}" \
          --case "${score}" --tail "${tail}" --format "${format}"
    done
    for prior in calibrated jeffreys; do
      for criteria in bayesian combined; do
        compare "dissociation ${format} ${tail} ${prior} ${criteria}" dissociation "${pair[@]}" \
            --r 0.6 --case-x 70 --case-y 52 --tail "${tail}" --prior "${prior}" \
            --criteria "${criteria}" --format "${format}"
      done
      compare "dissociation covariates ${format} ${tail} ${prior}" dissociation "${pair[@]}" \
          --covariate Age=65,8,78 --covariate Education=12,3,9 \
          --correlations "${work}/r4.csv" --case-x 70 --case-y 52 --tail "${tail}" \
          --prior "${prior}" --udt --name-x Naming --name-y Reading --format "${format}"
    done
    compare "dissociation udt ${format} ${tail}" dissociation "${pair[@]}" --r 0.6 \
        --case-x 40 --case-y 52 --udt --tail "${tail}" --format "${format}"
    compare "udt ${format} ${tail}" udt --mean-x 50 --sd-x 10 --mean-y 48 --sd-y 9 --r 0.7 \
        --n 25 --case-x 30 --case-y 47 --tail "${tail}" --format "${format}"
  done
  compare "input file ${format}" dissociation --input "${work}/input.json" --format "${format}"
  compare "far case ${format}" deficit --mean 0 --sd 1 --n 100000 --case 9999 "${it[@]}" \
      --format "${format}"
  compare "far udt ${format}" udt --mean-x 0 --sd-x 1 --mean-y 0 --sd-y 1 --r 0.5 \
      --n 99999 --case-x 9999 --case-y -9999 --format "${format}"
  compare "deficit batch ${format}" "${deficit[@]}" --covariate Age=65,8,78 \
      --correlations "${work}/r1.csv" --batch "${work}/deficit.csv" --format "${format}"
  compare "dissociation batch ${format}" dissociation "${pair[@]}" --r 0.6 \
      --batch "${work}/pairs.csv" --format "${format}"
done
compare "notes" "${deficit[@]}" --case 30 --notes $'first\r\nsecond\x1b[2J\xc2\x9b'
compare "names" dissociation "${pair[@]}" --r 0.6 --case-x 70 --case-y 52 \
    --name-x $'Nam\ring' --name-y $'Read\xe2\x80\xaeing'
compare "sd of zero" deficit --mean 50 --sd 0 --n 20 --case 30
compare "not positive definite" deficit --mean 50 --sd 10 --n 20 --case 30 \
    --covariate A=1,1,1 --covariate B=1,1,1 --correlations "${work}/bad.csv"
compare "too few controls" deficit --mean 50 --sd 10 --n 4 --case 30 "${cov[@]}"
compare "correlation of 1" udt --mean-x 50 --sd-x 10 --mean-y 48 --sd-y 9 --r 1 --n 25 \
    --case-x 30 --case-y 47

echo "${count} outputs compared, ${differ} differ"
[[ ${differ} == 0 ]]
