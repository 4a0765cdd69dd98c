#!/usr/bin/env bash
# A bounded load run of zimbrel-server on 127.0.0.1 with wrk: heartbeats from
# MEMBERS signed-in members (each with an open entry and a day of activity
# rows), then screenshot uploads of a ~300 KB JPEG. Prints wrk's requests per
# second and latency percentiles, and the server's CPU time per heartbeat.
# Build first (Release):
#   cmake --build build --target zimbrel-server && bash server/bench/load.sh [build]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
B=${1:-$(cd "$here/../.." && pwd)/build}
export MEMBERS=${MEMBERS:-200}
DURATION=${DURATION:-10s}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
server() { "$B/server/zimbrel-server" --data-dir "$work/data" --database "$work/db.sqlite" "$@"; }

# Schema through the program itself, then members, sessions with known
# tokens (stored as their SHA-256, as the server stores them), open entries
# and 480 activity rows each, straight into SQLite.
server setting screenshot_interval 5 >/dev/null
now=$(($(date +%s) * 1000))
{
  echo "BEGIN;"
  for i in $(seq "$MEMBERS"); do
    digest=$(printf 'zs_bench_%s' "$i" | sha256sum | cut -d' ' -f1)
    echo "INSERT INTO members (id, email, name, password_hash, created_at) VALUES ($i, 'm$i@bench', 'M$i', '-', $now);"
    echo "INSERT INTO sessions (member_id, token_hash, created_at, last_used_at) VALUES ($i, '$digest', $now, $now);"
    echo "INSERT INTO time_entries (member_id, client_session_id, started_at, created_at) VALUES ($i, 'S$i', $now - 3600000, $now);"
  done
  echo "WITH RECURSIVE k(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM k WHERE x < 480)"
  echo "INSERT INTO activity_logs (member_id, client_id, mouse_clicks, keystrokes, activity_percentage, tracked_at)"
  echo "SELECT m.id, 'A' || k.x, 1, 2, 3.0, $now - k.x * 60000 FROM members m, k;"
  echo "COMMIT;"
} | sqlite3 "$work/db.sqlite"

# Started directly, not through the function, so the trap can end it by its id
# (and its CPU time can be read).
"$B/server/zimbrel-server" --data-dir "$work/data" --database "$work/db.sqlite" --port 0 \
  --screenshots-per-minute 1000000 >"$work/server.log" 2>&1 &
for _ in $(seq 100); do grep -q 'Listening on' "$work/server.log" && break; sleep 0.1; done
url=$(grep -o 'http://127.0.0.1:[0-9]*' "$work/server.log" | head -n1)
[ -n "$url" ] || { cat "$work/server.log"; exit 1; }

pid=$!
# Server CPU (user + system) in clock ticks, from /proc.
cpu() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
tick=$(getconf CLK_TCK)

echo "== heartbeats: $MEMBERS members, 2 threads, 32 connections, $DURATION (load average $(cut -d' ' -f1-3 /proc/loadavg))"
before=$(cpu)
wrk -t2 -c32 -d"$DURATION" --latency -s "$here/heartbeat.lua" "$url" >"$work/wrk.txt"
after=$(cpu)
grep -E 'Non-2xx|Socket errors' "$work/wrk.txt" || true
requests=$(grep -oE '^ *[0-9]+ requests in' "$work/wrk.txt" | grep -oE '[0-9]+')
awk -v req="$requests" -v ticks=$((after - before)) -v hz="$tick" '
  /Requests\/sec/ { rps = $2 }
  /^ +50%/ { p50 = $2 }
  /^ +99%/ { p99 = $2 }
  END {
    printf "heartbeats/s %.0f  p50 %s  p99 %s\n", rps, p50, p99
    if (req > 0) printf "server CPU per heartbeat %.0f us (%d requests, %.2f s CPU)\n", ticks / hz / req * 1e6, req, ticks / hz
  }' "$work/wrk.txt"

convert -size 1440x900 plasma:fractal -quality 88 "$work/shot.jpg" 2>/dev/null
echo "== uploads: $(($(stat -c %s "$work/shot.jpg") / 1024)) KB JPEG, 1 thread, 4 connections, $DURATION"
SHOT_FILE="$work/shot.jpg" wrk -t1 -c4 -d"$DURATION" --latency -s "$here/upload.lua" "$url" \
  | grep -E 'Requests/sec|Latency|50%|99%|Non-2xx|Socket errors'
echo "== stored: $(sqlite3 "$work/db.sqlite" 'SELECT COUNT(*) FROM screenshots') screenshots, $(du -sh "$work/data/screenshots" | cut -f1)"
