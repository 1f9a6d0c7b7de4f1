#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts a one-node Slurm cluster (Debian's slurm-wlm and munge, as root, no systemd), runs
# a 4-task job array of scripts/slurm_shards.sh for a power run and one for a batch (by its
# older name scripts/power_slurm.sh for the power run), merges each's shards and checks the
# result byte for byte against the unsharded run (for the batch also its messages and exit
# status); stops every daemon it started. A cluster of an earlier or another run on the
# machine is left alone: this one has its own configuration and free ports.
#   sudo bash scripts/test_power_slurm.sh [build/default/cli/kestrum-cli]
# Exit status 0: identical; 1: different or failed; 77: the machine cannot run Slurm here
# (not root, packages missing) — the reason is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=$(realpath "${1:-build/default/cli/kestrum-cli}")
skip() { echo "test_power_slurm: skipped: $*" >&2; exit 77; }
[[ $(id -u) == 0 ]] || skip "needs root to start munged and the Slurm daemons"
for p in slurmctld slurmd sbatch munged; do
  command -v "$p" > /dev/null || [[ -x /usr/sbin/$p ]] || skip "$p is missing (apt-get install slurm-wlm munge)"
done
[[ -x $cli ]] || { echo "test_power_slurm: no program at $cli" >&2; exit 1; }

dir=$(mktemp -d /tmp/kestrum-slurm.XXXXXX)
chmod 755 "$dir"
munge_pid=""
cleanup() {
  for f in "$dir/slurmd.pid" "$dir/slurmctld.pid"; do
    [[ -s $f ]] && kill "$(cat "$f")" 2> /dev/null || true
  done
  [[ -n $munge_pid ]] && kill "$munge_pid" 2> /dev/null || true
  sleep 1
  rm -rf "$dir"
}
trap cleanup EXIT

# Munge, with its own socket and pid file in the scratch folder.
key=/etc/munge/munge.key
if [[ ! -s $key ]]; then
  mkdir -p /etc/munge
  head -c 1024 /dev/urandom > "$key"
  chown munge:munge "$key"
  chmod 400 "$key"
fi
mkdir -p /run/munge && chown munge:munge /run/munge
if ! munge -n 2> /dev/null | unmunge > /dev/null 2>&1; then
  runuser -u munge -- /usr/sbin/munged --force
  sleep 1
  munge_pid=$(cat /run/munge/munged.pid 2> /dev/null || pgrep -n -u munge munged || true)
fi
munge -n | unmunge > /dev/null || { echo "test_power_slurm: munge does not work" >&2; exit 1; }

# Two free ports from 16817 on (another test's cluster may hold the first ones).
ports=()
for p in $(seq 16817 16899); do
  if ! (exec 3<> "/dev/tcp/127.0.0.1/$p") 2> /dev/null; then ports+=("$p"); fi
  [[ ${#ports[@]} == 2 ]] && break
done
[[ ${#ports[@]} == 2 ]] || { echo "test_power_slurm: no free ports for Slurm" >&2; exit 1; }
host=$(hostname -s)
mem=$(( $(awk '/MemTotal/ {print int($2 / 1024)}' /proc/meminfo) / 2 ))
mkdir -p "$dir/slurmd" "$dir/state"
cat > "$dir/slurm.conf" <<CONF
ClusterName=test
SlurmctldHost=$host
AuthType=auth/munge
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SlurmUser=root
SlurmctldPort=${ports[0]}
SlurmdPort=${ports[1]}
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmdSpoolDir=$dir/slurmd
StateSaveLocation=$dir/state
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ReturnToService=2
NodeName=$host CPUs=$(nproc) RealMemory=$mem State=UNKNOWN
PartitionName=main Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$dir/slurm.conf
slurmctld -f "$SLURM_CONF"
slurmd -f "$SLURM_CONF"
for _ in $(seq 30); do
  sinfo -h -o %t 2> /dev/null | grep -q idle && break
  sleep 1
done
sinfo -h -o %t | grep -q idle || { echo "test_power_slurm: the node did not come up" >&2; cat "$dir"/*.log >&2; exit 1; }

# An array that does not finish in 10 minutes has failed.
run_array() { timeout 600 sbatch --wait --array=1-4 --output="$dir/out-$1-%a.txt" "${@:2}" > /dev/null; }
status=0

args=(dissociation --effect -3,-1 --n 6,12 --r 0.6 --replications 2000 --iterations 200
      --prior jeffreys --format csv)
KESTRUM_CLI=$cli run_array power scripts/power_slurm.sh "$dir/shards" "${args[@]}"
"$cli" merge "$dir"/shards/shard-*.txt > "$dir/merged.csv"
"$cli" power "${args[@]}" > "$dir/whole.csv"
if cmp "$dir/merged.csv" "$dir/whole.csv"; then
  echo "test_power_slurm: 4 Slurm array tasks merged equal the unsharded power run ($(wc -l < "$dir/whole.csv") lines)"
else
  diff "$dir/merged.csv" "$dir/whole.csv" >&2 || true
  status=1
fi

# A batch of the worksheet's analysis: 30 cases, two of them refused (exit status 2).
{
  echo "id,case_x,case_y"
  for i in $(seq 1 30); do echo "c$i,$((60 + i)),$((30 + i % 7))"; done
  echo "bad,6x,40"
  echo "short,70"
} > "$dir/cases.csv"
batch=(--mean-x 100 --sd-x 15 --mean-y 50 --sd-y 10 --r 0.6 --n 20 --iterations 20000
       --format json --batch "$dir/cases.csv")
KESTRUM_CLI=$cli run_array batch scripts/slurm_shards.sh "$dir/batch" batch "${batch[@]}"
merged_status=0 whole_status=0
"$cli" merge "$dir"/batch/shard-*.txt > "$dir/merged.json" 2> "$dir/merged.err" || merged_status=$?
"$cli" "${batch[@]}" > "$dir/whole.json" 2> "$dir/whole.err" || whole_status=$?
if cmp "$dir/merged.json" "$dir/whole.json" && cmp "$dir/merged.err" "$dir/whole.err" &&
   [[ $merged_status == "$whole_status" ]]; then
  echo "test_power_slurm: 4 Slurm array tasks merged equal the unsharded batch (32 cases, exit status $whole_status)"
else
  diff "$dir/merged.json" "$dir/whole.json" >&2 || true
  echo "test_power_slurm: batch exit status merged $merged_status, unsharded $whole_status" >&2
  status=1
fi
exit $status
