#!/usr/bin/env bash
# Starts the program built in BUILD_DIR under a virtual X server, waits until
# its window shows, writes BUILD_DIR/screenshot.png (the window alone) and
# ends the program. Usage: screenshot.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:?usage: screenshot.sh BUILD_DIR}" && pwd)
"$(dirname "$0")/install-deps.sh" xvfb xauth x11-apps imagemagick

capture="$build/screenshot.xwd"
rm -f "$capture"
xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24" bash -c '
  program=$1 capture=$2
  "$program" & pid=$!
  trap "kill $pid 2>/dev/null" EXIT
  for _ in $(seq 100); do
    xwd -name Palvimo -silent -out "$capture" 2>/dev/null && break
    sleep 0.1
  done
  # Found: give it a moment to paint, then take the picture.
  sleep 1
  xwd -name Palvimo -silent -out "$capture"
' screenshot "$build/app/palvimo" "$capture"
convert "xwd:$capture" "$build/screenshot.png"
rm -f "$capture"
echo "$build/screenshot.png"
