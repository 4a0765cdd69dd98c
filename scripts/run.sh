#!/usr/bin/env bash
# Installs dependencies, builds the optimised program and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DZIMBREL_TESTS=OFF -DZIMBREL_BENCH=OFF >/dev/null
cmake --build build -j2
exec ./build/src/app/zimbrel "$@"
