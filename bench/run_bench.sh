#!/usr/bin/env bash
# Runs Palvimo's benchmarks against the build in BUILD_DIR, on data made (once,
# then reused) under BUILD_DIR/bench-data, and ends with "name: value" lines.
# Figures are printed, never judged: the exit status says only whether every
# part ran. Usage: run_bench.sh BUILD_DIR
set -euo pipefail

build=${1:?usage: run_bench.sh BUILD_DIR}
data="$build/bench-data"
engine_bench="$build/bench/engine/engine_bench"
navigator_bench="$build/bench/navigator/navigator_bench"
report_bench="$build/bench/report/report_bench"
mkdir -p "$data"

cat <<HEADER
Palvimo benchmark, data under $data
  copy_vs_cp          probe copy (copy, fdatasync, delete) / cp --reflink=never + sync + rm,
                      medians over 8 files of 64 MiB, source page cache dropped before each
  device_read_ratio   bytes read from the drive during the probe copies / bytes probed
  device_write_ratio  bytes written to the drive (write_bytes - cancelled_write_bytes) / bytes probed
  walk_vs_find        time per entry of one pass over 200,000 empty files (probe stubbed,
                      listing read on the worker as in the program)
                      / find DIR -xdev -maxdepth 1 -type f, warm cache, medians of 5 runs
  walk_peak_rss_mb    peak resident memory (VmHWM, MiB) of a process that did only that pass
  navigator_100k_ms   the navigator's own benchmark, when it is built
  probe_unserviced_ms longest stretch without the window kept alive during a whole probe
                      (copy, flush, pause 0, delete) of a 1 GiB file, median of 3
  end_during_copy_ms  from an end request 30 % into a 1 GiB copy until the probe has
                      returned with its copy removed
  empty_root_cpu_percent  CPU used by 5 s of passes over an empty root, % of one core
  rename_race_*       20,000 probes while another thread renames a user's file onto the
                      copy's name whenever the copy is there: user's files lost must be 0
  record_overhead_percent  loss of probe rate (probes per CPU second) of runs over 400 files
                      of 16 KiB in a RAM folder, every tenth probe failing, with each run
                      recorded on disk and the report window open, against runs without;
                      median of 16 pairs of 2 s runs (target: at most 2)
  record_overhead_wall_percent  the same by the clock, which a shared machine's load sways
HEADER

start=$SECONDS
echo "copy: 8 files of 64 MiB, probe copy against cp" >&2
copy=$("$engine_bench" copy "$data")
echo "walk: 200,000 empty files, one pass against find" >&2
walk=$("$engine_bench" walk "$data")
walk_rss=$("$engine_bench" walk-rss "$data")
echo "probe: one file of 1 GiB, keep-alive gaps and ending mid-copy" >&2
probe=$("$engine_bench" probe "$data")
echo "idle: 5 s of passes over an empty root" >&2
idle=$("$engine_bench" idle "$data")
echo "race: 20,000 probes against a renaming thread" >&2
race=$("$engine_bench" race "$data")
results=("$copy" "$walk" "$walk_rss" "$probe" "$idle" "$race")
if [[ -x $navigator_bench ]]; then
  echo "navigator" >&2
  navigator=$("$navigator_bench" "$data")
  navigator_line=$(grep '^navigator_100k_ms:' <<<"$navigator") ||
    { echo "navigator_bench printed no navigator_100k_ms line" >&2; exit 1; }
  results+=("$navigator_line")
fi

if [[ -x $report_bench ]]; then
  echo "report: runs with and without the record and the report window" >&2
  # A RAM folder where there is one, so that the probes are bound by the CPU
  # and the record's cost shows at its largest.
  report_data="$data"
  if [[ -d /dev/shm ]]; then
    report_data=$(mktemp -d /dev/shm/palvimo-bench.XXXXXX)
    trap 'rm -rf "$report_data"' EXIT
  fi
  results+=("$("$report_bench" overhead "$report_data")")
fi

echo "bench took $((SECONDS - start)) s" >&2
printf '%s\n' "${results[@]}"
