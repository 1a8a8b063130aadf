#!/usr/bin/env bash
# Starts the program built in BUILD_DIR under a virtual X server, waits until
# its window shows, writes BUILD_DIR/screenshot.png (the window alone) and
# ends the program. Where the report's benchmark is built, it then also shows
# the report window as a run with faults leaves it, and writes
# BUILD_DIR/report-screenshot.png. Usage: screenshot.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:?usage: screenshot.sh BUILD_DIR}" && pwd)
"$(dirname "$0")/install-deps.sh" xvfb xauth x11-apps imagemagick

# shoot WINDOW_NAME PNG SECONDS COMMAND...: runs COMMAND, waits up to SECONDS
# for a window named WINDOW_NAME, and writes it to PNG.
shoot() {
  local name=$1 png=$2 seconds=$3
  shift 3
  local capture="$build/screenshot.xwd"
  rm -f "$capture"
  xvfb-run --auto-servernum --server-args="-screen 0 1280x900x24" bash -c '
    name=$1 capture=$2 seconds=$3
    shift 3
    "$@" & pid=$!
    trap "kill $pid 2>/dev/null" EXIT
    for _ in $(seq $((seconds * 10))); do
      xwd -name "$name" -silent -out "$capture" 2>/dev/null && break
      sleep 0.1
    done
    # Found: give it a moment to paint, then take the picture.
    sleep 1
    xwd -name "$name" -silent -out "$capture"
  ' screenshot "$name" "$capture" "$seconds" "$@"
  convert "xwd:$capture" "$png"
  rm -f "$capture"
  echo "$png"
}

shoot Palvimo "$build/screenshot.png" 10 "$build/app/palvimo"

report_bench="$build/bench/report/report_bench"
if [[ -x $report_bench ]]; then
  # The run's files, and its record, in a folder of their own.
  data=$(mktemp -d /tmp/palvimo-report.XXXXXX)
  trap 'rm -rf "$data"' EXIT
  shoot "Palvimo report" "$build/report-screenshot.png" 120 "$report_bench" show "$data"
fi
