#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts a one-node Slurm cluster (Debian's slurm-wlm and munge, as root, no systemd), runs
# a 4-task job array of scripts/power_slurm.sh, merges the shards and checks the result
# byte for byte against the unsharded run; stops every daemon it started.
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
SlurmctldPort=16817
SlurmdPort=16818
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

args=(dissociation --effect -3,-1 --n 6,12 --r 0.6 --replications 2000 --iterations 200
      --prior jeffreys --format csv)
KESTRUM_CLI=$cli sbatch --wait --array=1-4 --output="$dir/out-%a.txt" \
  scripts/power_slurm.sh "$dir/shards" "${args[@]}" > /dev/null
"$cli" merge "$dir"/shards/shard-*.txt > "$dir/merged.csv"
"$cli" power "${args[@]}" > "$dir/whole.csv"
if cmp "$dir/merged.csv" "$dir/whole.csv"; then
  echo "test_power_slurm: 4 Slurm array tasks merged equal the unsharded run ($(wc -l < "$dir/whole.csv") lines)"
else
  diff "$dir/merged.csv" "$dir/whole.csv" >&2 || true
  exit 1
fi
