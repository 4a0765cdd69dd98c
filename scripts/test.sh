#!/usr/bin/env bash
# Installs dependencies, builds the test build (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs the whole suite inside the test desktop.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZIMBREL_SANITIZE=ON -DZIMBREL_BENCH=OFF >/dev/null
cmake --build build-test -j2
bash scripts/test-env.sh timeout 1200 ctest --test-dir build-test --output-on-failure "$@"
