# SPDX-License-Identifier: GPL-3.0-or-later
# What the compare_*outputs.sh scripts share, sourced by them with their arguments OLD_CLI
# NEW_CLI: a scratch folder (work) for their files, then compare NAME ARGS... for each
# output, which keeps count and differ.
old="$1"
new="$2"
work="$(mktemp -d)"
trap 'rm -rf "${work}"' EXIT
export KESTRUM_DATA_FILE="${work}/kestrum.txt"  # never touch the user's control data

count=0
differ=0
# Runs one output with both programs and compares standard output, standard error and
# the exit status.
compare() {
  local name="$1"
  shift
  count=$((count + 1))
  local so="${work}/old.out" se="${work}/old.err" no="${work}/new.out" ne="${work}/new.err"
  local rs=0 rn=0
  "${old}" "$@" >"${so}" 2>"${se}" || rs=$?
  "${new}" "$@" >"${no}" 2>"${ne}" || rn=$?
  if ! cmp -s "${so}" "${no}" || ! cmp -s "${se}" "${ne}" || [[ ${rs} != "${rn}" ]]; then
    differ=$((differ + 1))
    echo "DIFFERS: ${name} (exit ${rs} / ${rn})"
    diff "${so}" "${no}" | head -5 || true
    diff "${se}" "${ne}" | head -5 || true
  fi
}
