#!/usr/bin/env bash
# End to end against the real server: zimbrel-server with a fresh SQLite
# database on loopback, a member and a project made with its admin command,
# then zimbrel --headless signs in, runs a self-test session of 70 s while
# xdotool types and clicks into an xterm, and the stored rows and screenshot
# file are checked. Run it inside the test desktop after building build-test:
#   bash scripts/test-env.sh bash tests/server/e2e-server.sh
set -u
B=${BUILD:-$(cd "$(dirname "$0")/../.." && pwd)/build-test}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
server() { "$B/server/zimbrel-server" --data-dir "$work/data" --database "$work/zimbrel.sqlite" "$@"; }

echo 'a long test password' | server member add member@example.com --name "E2E Member" --password-stdin >/dev/null || exit 1
server project add "Website" >/dev/null && server task add 1 "Design" >/dev/null && server assign member@example.com 1 >/dev/null || exit 1
server setting screenshot_interval 1 >/dev/null || exit 1
# Started directly, not through the function, so the trap can end it by its id.
"$B/server/zimbrel-server" --data-dir "$work/data" --database "$work/zimbrel.sqlite" --port 0 >"$work/server.log" 2>&1 &
for _ in $(seq 100); do grep -q 'Listening on' "$work/server.log" && break; sleep 0.1; done
url=$(grep -o 'http://127.0.0.1:[0-9]*/api/v1/' "$work/server.log")
[ -n "$url" ] || { cat "$work/server.log"; exit 1; }

xterm -geometry 80x24+100+100 &
for _ in $(seq 50); do xdotool search --class xterm >/dev/null 2>&1 && break; sleep 0.1; done
xdotool windowactivate --sync "$(xdotool search --class xterm | head -n1)"

echo 'a long test password' | "$B/src/app/zimbrel" --headless --email member@example.com --server "$url" \
  --selftest 70 >"$work/zimbrel.log" 2>&1 &
app=$!
# The session starts 6 s after launch; type and click in its first minute.
sleep 12
xdotool key --delay 50 a b c d e f g h i j
xdotool mousemove 200 200 click --repeat 3 --delay 100 1
sleep 75
kill "$app"; wait "$app" 2>/dev/null

q() { sqlite3 "$work/zimbrel.sqlite" "$1"; }
echo "== zimbrel log"; cat "$work/zimbrel.log"
echo "== server log"; cat "$work/server.log"
echo "== rows"
q "SELECT id, project_id, task_id, flagged, device_id, (stopped_at - started_at) / 1000 FROM time_entries"
entries=$(q "SELECT COUNT(*) FROM time_entries WHERE stopped_at IS NOT NULL AND flagged = 0 AND device_id IS NOT NULL")
open=$(q "SELECT COUNT(*) FROM time_entries WHERE stopped_at IS NULL")
seconds=$(q "SELECT COALESCE(SUM(stopped_at - started_at), 0) / 1000 FROM time_entries")
keys=$(q "SELECT COALESCE(SUM(keystrokes), 0) FROM activity_logs")
clicks=$(q "SELECT COALESCE(SUM(mouse_clicks), 0) FROM activity_logs")
usage=$(q "SELECT COUNT(*) FROM usage_logs WHERE app_name LIKE '%XTerm%' OR app_name LIKE '%xterm%'")
key=$(q "SELECT blob_key FROM screenshots LIMIT 1")
geometry=none
[ -n "$key" ] && geometry=$(identify -format '%wx%h' "$work/data/screenshots/$key" 2>/dev/null)
echo "== result: entries $entries (open $open, $seconds s), keystrokes $keys, clicks $clicks," \
     "usage records naming XTerm $usage, screenshot $geometry"
[ "$entries" -eq 1 ] && [ "$open" -eq 0 ] && [ "$seconds" -ge 69 ] && [ "$seconds" -le 72 ] \
  && [ "$keys" -eq 10 ] && [ "$clicks" -eq 3 ] && [ "$usage" -ge 1 ] && [ "$geometry" = 1440x900 ]
