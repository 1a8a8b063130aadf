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
terminal_bench="$build/bench/terminal/terminal_bench"
report_bench="$build/bench/report/report_bench"
fuse_bench="$build/bench/terminal/fuse_bench"
passthrough_fs="$build/tests/passthrough_fs"
mkdir -p "$data"

cat <<HEADER
Palvimo benchmark, data under $data
  copy_vs_cp          probe copy (copy, fdatasync, delete; its read-back left out) / cp
                      --reflink=never + sync + rm, medians over 8 files of 64 MiB, source
                      page cache dropped before each
  device_read_ratio   bytes read from the drive during the probe copies, up to their
                      read-backs / bytes probed
  device_write_ratio  bytes written to the drive (write_bytes - cancelled_write_bytes) / bytes probed
  walk_vs_find        time per entry of one pass over 200,000 empty files (probe stubbed,
                      listing read on the worker as in the program)
                      / find DIR -xdev -maxdepth 1 -type f, warm cache, medians of 5 runs
  walk_peak_rss_mb    peak resident memory (VmHWM, MiB) of a process that did only that pass
  navigator_100k_ms   the navigator's own benchmark, when it is built: from moving the folder list
                      to a folder of 100,000 empty files until both lists show it, median of 5
  navigator_stall_unserviced_ms  longest stretch without the window's events serviced while
                      the navigator shows a folder whose listing takes 2 s (a double of the
                      listing), median of 3
  probe_unserviced_ms longest stretch without the window kept alive during a whole probe
                      (copy, flush, read-back, pause 0, delete) of a 1 GiB file, median of 3
  end_during_copy_ms  from an end request until the probe has returned with its copy
                      removed, the longer of ends 30 % into a 1 GiB copy's write and
                      30 % into its read-back
  verify_read_ratio   bytes read from the drive during the read-back of a 256 MiB copy
                      / 256 MiB
  verified_probe_vs_tools  whole verified probe of a 1 GiB file (pause 0, delete)
                      / cp --reflink=never + sync + dd iflag=direct bs=1M | cmp + rm,
                      medians of 3, source page cache dropped before each
  empty_root_cpu_percent  CPU used by 5 s of passes over an empty root, % of one core
  rename_race_*       20,000 probes while another thread renames a user's file onto the
                      copy's name whenever the copy is there: user's files lost must be 0
  cli_peak_rss_mb     peak resident memory (MiB) of palvimo-check over a 60 s run with no
                      pause on 2,000 files of 4 KiB (cli_probes_in_60s: the files it probed)
  cli_vs_window_probe_rate  palvimo-check's probes a second / the window's (offscreen, clicked
                      Start and Stop), same tree, no pause, 12 turns of 4 s each (ABBA)
  record_overhead_percent  loss of probe rate (probes per CPU second) of runs over 400 files
                      of 16 KiB in a RAM folder, every tenth probe failing, with each run
                      recorded on disk and the report window open, against runs without,
                      in %; 192 pairs of 0.75 s runs in turns ABBA (target: at most 2)
  record_overhead_wall_percent  the same by the clock, which a shared machine's load sways
  fuse_probe_ratio    palvimo-check's probes a second through a passthrough FUSE mount
                      / on the folder it shows, 1,000 files of 16 KiB, no pause, 6 turns
                      of 4 s each (ABBA); left out where no FUSE mount can be made
  catalogue_overhead_percent  loss of palvimo-check's probe rate (probes over the run's own
                      elapsed time) on 400 files of 64 KiB with the catalogue against
                      without (records kept in both), in %; 150 pairs of 1 s runs in turns
                      ABBA (target: at most 3)
  *_overhead_*        each the mean of the middle 60 % of its pairs' losses; _95_low and
                      _95_high: where it lies with 95 % confidence; _iqr: the interquartile
                      range of single pairs' losses, their spread
  scrub_vs_hashdeep   palvimo-check --scrub-all / hashdeep -r over the same 48 files of 4 MiB,
                      each cold (caches dropped), median of 3 (target: at most 1.00)
  scrub_peak_rss_mb   peak resident memory (MiB) of --scrub-all over 200,000 files of 64 B
                      (target: at most 50)
  catalogue_bytes_per_file  the catalogue's files on disk after that scrub / 200,000
HEADER

start=$SECONDS
echo "copy: 8 files of 64 MiB, probe copy against cp" >&2
copy=$("$engine_bench" copy "$data")
echo "walk: 200,000 empty files, one pass against find" >&2
walk=$("$engine_bench" walk "$data")
walk_rss=$("$engine_bench" walk-rss "$data")
echo "probe: one file of 1 GiB, keep-alive gaps and ending mid-copy" >&2
probe=$("$engine_bench" probe "$data")
echo "verify: read-back of a 256 MiB copy, verified probe of 1 GiB against the tools" >&2
verify=$("$engine_bench" verify "$data")
echo "idle: 5 s of passes over an empty root" >&2
idle=$("$engine_bench" idle "$data")
echo "race: 20,000 probes against a renaming thread" >&2
race=$("$engine_bench" race "$data")
results=("$copy" "$walk" "$walk_rss" "$probe" "$verify" "$idle" "$race")
if [[ -x $navigator_bench ]]; then
  echo "navigator" >&2
  navigator=$("$navigator_bench" "$data")
  for name in navigator_100k_ms navigator_stall_unserviced_ms; do
    navigator_line=$(grep "^$name:" <<<"$navigator") ||
      { echo "navigator_bench printed no $name line" >&2; exit 1; }
    results+=("$navigator_line")
  done
fi

cli=$("$terminal_bench" "$data" "$build/app/palvimo-check" "$build/bench/terminal/window_rate_bench")
results+=("$cli")
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

if [[ -x $fuse_bench && -x $passthrough_fs ]]; then
  echo "fuse: probes through a passthrough mount against the folder" >&2
  fuse_status=0
  fuse=$("$fuse_bench" "$data" "$build/app/palvimo-check" "$passthrough_fs") || fuse_status=$?
  case $fuse_status in
    0) results+=("$fuse") ;;
    3) ;;  # no FUSE mount here: said on standard error, no figure
    *) exit 1 ;;
  esac
fi

echo "catalogue: probes with and without it, scrub against hashdeep, 200,000 files" >&2
while IFS= read -r line; do results+=("$line"); done < <("$(dirname "$0")/catalogue_bench.sh" "$data" "$build/app/palvimo-check" \
                                               "$build/bench/engine/paired_losses")

echo "bench took $((SECONDS - start)) s" >&2
printf '%s\n' "${results[@]}"
