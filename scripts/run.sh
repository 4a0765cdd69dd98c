#!/usr/bin/env bash
# Installs dependencies, builds the optimised programs and runs zimbrel.
# Unless the command line names a server or the demo, a local zimbrel-server
# is started first (when none answers on its port) and zimbrel signs in to it:
# on its first start the server prints the member's sign-in details once.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DZIMBREL_TESTS=OFF -DZIMBREL_BENCH=OFF >/dev/null
cmake --build build -j2

port=8787
api="http://127.0.0.1:$port/api/v1/"
args=("$@")
wants_local=1
for a in "${args[@]}"; do
  case "$a" in --server|--server=*|--demo|--help|-h|--version|-v|--help-all) wants_local=0 ;; esac
done

answers() { (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; }

if [ "$wants_local" = 1 ]; then
  if ! answers; then
    log_dir="${XDG_STATE_HOME:-$HOME/.local/state}/zimbrel-server"
    mkdir -p "$log_dir"
    log="$log_dir/server.log"
    echo "Starting zimbrel-server on 127.0.0.1:$port; it keeps running after zimbrel quits (log: $log)."
    nohup ./build/server/zimbrel-server --port "$port" </dev/null >"$log" 2>&1 &
    for _ in $(seq 50); do answers && break; sleep 0.2; done
    sleep 0.2
    cat "$log"
    answers || { echo "zimbrel-server did not start." >&2; exit 1; }
  fi
  args=(--server "$api" "${args[@]}")
fi
exec ./build/src/app/zimbrel "${args[@]}"
