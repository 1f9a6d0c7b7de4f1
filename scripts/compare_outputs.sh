#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Compares the worksheet command's outputs of two kestrum-cli builds byte for byte: 74
# outputs (reports and JSON objects of single runs under every option set and three cases,
# notes, input errors, batch CSV and JSON under every option set), each with its standard
# error and exit status. Used to show that a change of the code left the outputs as they
# were. Usage: scripts/compare_outputs.sh OLD_CLI NEW_CLI
set -euo pipefail
source "$(dirname "$0")/compare_common.sh" "$@"

controls=(--mean-x 100 --sd-x 15 --mean-y 50 --sd-y 10 --r 0.6 --n 20 --iterations 20000)
cat > "${work}/cases.csv" <<'EOF'
id,case_x,case_y
a,70,52
b,40,52
c,abc,3
d,130,20
e,"85,5",49.25
f,100,50
EOF
printf 'id;case_x;case_y\r\nx;70,5;52\r\ny;40;52\r\n' > "${work}/semicolon.csv"


for criteria in bayesian combined; do
  for tail in two one; do
    for prior in calibrated jeffreys; do
      opts=(--criteria "${criteria}" --tail "${tail}" --prior "${prior}")
      for case in "70 52" "40 52" "130 20"; do
        read -r cx cy <<<"${case}"
        for format in report json; do
          compare "${format} ${opts[*]} case ${cx} ${cy}" "${controls[@]}" "${opts[@]}" \
              --case-x "${cx}" --case-y "${cy}" --format "${format}"
        done
      done
      compare "batch csv ${opts[*]}" "${controls[@]}" "${opts[@]}" --batch "${work}/cases.csv"
      compare "batch json ${opts[*]}" "${controls[@]}" "${opts[@]}" --batch "${work}/cases.csv" \
          --format json
    done
  done
done
compare "notes, two lines" "${controls[@]}" --case-x 70 --case-y 52 --notes $'first\nsecond'
compare "notes with controls" "${controls[@]}" --case-x 70 --case-y 52 --notes $'a\x1b[2J\rb'
compare "decimals shown as typed" --mean-x 100.25 --sd-x 15.5 --mean-y 50 --sd-y 10 --r 0.655 \
    --n 20 --iterations 20000 --case-x 70.125 --case-y 52
compare "sd of zero" "${controls[@]/15/0}" --case-x 70 --case-y 52
compare "sample size 3 under the calibrated prior" --mean-x 100 --sd-x 15 --mean-y 50 \
    --sd-y 10 --r 0.6 --n 3 --case-x 70 --case-y 52
compare "correlation of 1" --mean-x 100 --sd-x 15 --mean-y 50 --sd-y 10 --r 1 --n 20 \
    --case-x 70 --case-y 52
compare "iterations in hexadecimal" --mean-x 100 --sd-x 15 --mean-y 50 --sd-y 10 --r 0.6 \
    --n 20 --case-x 70 --case-y 52 --iterations 0x100
compare "an option given twice" "${controls[@]}" --case-x 70 --case-y 52 --iterations 1e3
compare "semicolon batch" "${controls[@]}" --batch "${work}/semicolon.csv"
compare "example" --example --iterations 20000

echo "${count} outputs compared, ${differ} differ"
[[ ${differ} == 0 ]]
