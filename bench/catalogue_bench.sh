#!/usr/bin/env bash
# The catalogue's costs, with palvimo-check: what it adds to a run of probes,
# a scrub against hashdeep over the same cold tree, a scrub's peak memory
# over 200,000 small files and what each file takes in the catalogue. Prints
# "name: value" lines. Usage: catalogue_bench.sh DATA_DIR PALVIMO_CHECK
# PAIRED_LOSSES (the program that sums up pairs of runs, bench/engine).
set -euo pipefail

usage="usage: catalogue_bench.sh DATA_DIR PALVIMO_CHECK PAIRED_LOSSES"
data=$(realpath "${1:?$usage}")
# XDG_STATE_HOME is taken only when absolute.
check=${2:?$usage}
paired_losses=${3:?$usage}
if ! command -v hashdeep >/dev/null; then
  sudo_cmd=(); [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get install -y -q hashdeep >&2
fi
work=$(mktemp -d "$data/catalogue-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A file's pages dropped from the cache: dd asks the kernel to forget them.
drop_cache() {
  if [[ -w /proc/sys/vm/drop_caches ]] && sync && echo 1 >/proc/sys/vm/drop_caches 2>/dev/null; then return; fi
  find "$1" -type f -exec dd of=/dev/null iflag=nocache count=0 status=none if={} \;
}
seconds() { date +%s.%N; }
median() { sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

# The scrub against hashdeep: 48 files of 4 MiB, each cold, in turns.
tree="$data/catalogue-scrub-tree"
if [[ ! -f $tree/.made ]]; then
  rm -rf "$tree"; mkdir -p "$tree/a" "$tree/b"
  for i in $(seq 1 24); do
    head -c 4194304 /dev/urandom >"$tree/a/f$i"; head -c 4194304 /dev/urandom >"$tree/b/f$i"
  done
  touch "$tree/.made"
fi
ratios=()
for turn in 1 2 3; do
  state="$work/scrub-state-$turn"; mkdir -p "$state"
  drop_cache "$tree"; t0=$(seconds)
  XDG_STATE_HOME=$state "$check" --scrub-all "$tree" >/dev/null 2>&1 || true
  t1=$(seconds)
  drop_cache "$tree"; t2=$(seconds)
  hashdeep -r "$tree" >/dev/null
  t3=$(seconds)
  ratios+=("$(echo "($t1 - $t0) / ($t3 - $t2)" | bc -l)")
done
printf 'scrub_vs_hashdeep: %.2f\n' "$(printf '%s\n' "${ratios[@]}" | median)"

# 200,000 small files: the scrub's peak memory, and the catalogue's size.
small="$data/catalogue-small-tree"
if [[ ! -f $small/.made ]]; then
  rm -rf "$small"; mkdir -p "$small"
  python3 - "$small" <<'PY'
import os, sys
root = sys.argv[1]
for d in range(200):
    folder = os.path.join(root, "d%03d" % d)
    os.mkdir(folder)
    for f in range(1000):
        with open(os.path.join(folder, "f%04d" % f), "wb") as out:
            out.write(os.urandom(64))
PY
  touch "$small/.made"
fi
state="$work/small-state"; mkdir -p "$state"
rss_kib=$( { XDG_STATE_HOME=$state /usr/bin/time -f 'RSS %M' "$check" --scrub-all "$small" >/dev/null 2>"$work/scrub.err"; } 2>&1; grep '^RSS' "$work/scrub.err" | awk '{print $2}')
printf 'scrub_peak_rss_mb: %.1f\n' "$(echo "$rss_kib / 1024" | bc -l)"
bytes=$(find "$state/palvimo/catalogue" -type f -printf '%s\n' | awk '{s+=$1} END {print s}')
printf 'catalogue_bytes_per_file: %.0f\n' "$(echo "$bytes / 200000" | bc -l)"

# Probe rate with the catalogue against without: 400 files of 64 KiB, 150
# pairs of runs of 1 s in turns ABBA, each run's rate its probes over its
# own elapsed time (so the program's start and end weigh on neither), each
# pair's loss in per cent, summed up by paired_losses. Both halves keep
# their records; in the one without, a file where the catalogue's folder
# would be keeps the catalogue out.
probes="$data/catalogue-probe-tree"
if [[ ! -f $probes/.made ]]; then
  rm -rf "$probes"; mkdir -p "$probes"
  for i in $(seq 1 400); do head -c 65536 /dev/urandom >"$probes/f$i"; done
  touch "$probes/.made"
fi
mkdir -p "$work/with/palvimo" "$work/without/palvimo"
touch "$work/without/palvimo/catalogue"
rate() {  # rate STATE_HOME: probes per second of a run of 1 s
  XDG_STATE_HOME=$1 "$check" --delay 0 -t 1s --json "$probes" 2>/dev/null | tail -n 1 |
    python3 -c 'import json, sys; s = json.load(sys.stdin); print(s["probes"] / s["elapsed_seconds"])'
}
for pair in $(seq 1 150); do
  if (( pair % 2 )); then with=$(rate "$work/with"); without=$(rate "$work/without")
  else without=$(rate "$work/without"); with=$(rate "$work/with"); fi
  echo "($without - $with) / $without * 100" | bc -l
done | "$paired_losses" catalogue_overhead_percent
