#!/usr/bin/env bash
# Screenshots of every web page at 1440 and 390 pixels wide, light and dark,
# in headless chromium against a server with a seeded team.
#   scripts/web-shots.sh <folder> [build folder, default build-test]
set -euo pipefail
out=${1:?usage: scripts/web-shots.sh <folder> [build folder]}
here=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$here/build-test}
cmake --build "$build" -j2 --target webshots >/dev/null
mkdir -p "$out"
"$build/tests/server/webshots" "$(cd "$out" && pwd)"
