#!/usr/bin/env bash
# Prints zimbrel's cost with the window open and with the tray icon alone:
# resident memory, CPU share and wake-ups per second while tracking (demo
# workspace, SECONDS each, default 120), launch to first frame, and reopening
# the window. Optimised build, on the private test desktop with trayer.
#   bash bench/app/window-run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-120}
B=build-bench
cmake -S . -B $B -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build $B -j2 --target zimbrel zimbrel-control bench_window >/dev/null

exec bash scripts/test-env.sh bash -c '
set -u
B='"$B"'; seconds='"$seconds"'
trayer --edge top --align right --widthtype pixel --width 120 --height 28 --SetDockType true >/dev/null 2>&1 &
tray=$!
trap "kill $tray 2>/dev/null" EXIT
sleep 1
$B/bench/app/bench_window $B/src/app/zimbrel $B/src/controls/zimbrel-control $seconds
'
