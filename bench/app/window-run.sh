#!/usr/bin/env bash
# Prints zimbrel's cost with the window open and with the tray icon alone:
# memory, CPU share, wake-ups and frames per second while tracking (demo
# workspace, SECONDS each, default 120), launch to first frame, and reopening
# the window; beside each, the floor program's figures from the same time
# window (a Qt Quick window of the same size and renderer whose text changes
# once a second) and the ratio. Optimised build, on the private test desktop
# with trayer. ZIMBREL=PATH measures another build of the program beside the
# same floor.
#   [ZIMBREL=PATH] bash bench/app/window-run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-120}
B=${BENCH_BUILD:-build-bench}
# ccache when the machine has it (not a dependency of the project).
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B $B -G Ninja -DCMAKE_BUILD_TYPE=Release -DZIMBREL_SANITIZE=OFF -DZIMBREL_BENCH=ON "${launcher[@]}" >/dev/null
cmake --build $B -j2 --target zimbrel zimbrel-control bench_window bench_floor >/dev/null

exec bash scripts/test-env.sh bash -c '
set -u
B='"$B"'; seconds='"$seconds"'; Z='"${ZIMBREL:-$B/src/app/zimbrel}"'
trayer --edge top --align right --widthtype pixel --width 120 --height 28 --SetDockType true >/dev/null 2>&1 &
tray=$!
trap "kill $tray 2>/dev/null" EXIT
sleep 1
$B/bench/app/bench_window "$Z" $B/src/controls/zimbrel-control $B/bench/app/bench_floor $seconds
'
