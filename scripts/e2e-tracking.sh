#!/usr/bin/env bash
# End-to-end run of a tracking session, as a person and a server meet it:
# zimbrel --headless signs in against the loopback test server, a self-test
# session of 70 s runs while xdotool types and clicks into an xterm, and the
# server's log is checked for activity samples, usage records and a
# screenshot. Run it inside the test desktop after building build-test:
#   bash scripts/test-env.sh bash scripts/e2e-tracking.sh
set -u
B=${BUILD:-$(cd "$(dirname "$0")/.." && pwd)/build-test}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT

"$B/tests/model/zimbrel-test-server" --port-file "$work/url" --dump "$work/bodies" \
  --respond settings/get '{"success":true,"screenshot_interval":1}' >"$work/server.log" 2>&1 &
for _ in $(seq 50); do [ -s "$work/url" ] && break; sleep 0.1; done
url=$(cat "$work/url")

xterm -geometry 80x24+100+100 &
for _ in $(seq 50); do xdotool search --class xterm >/dev/null 2>&1 && break; sleep 0.1; done
xdotool windowactivate --sync "$(xdotool search --class xterm | head -n1)"

echo secret | "$B/src/app/zimbrel" --headless --email member@example.com --server "$url" --selftest 70 \
  >"$work/zimbrel.log" 2>&1 &
app=$!

# The session starts 6 s after launch; type and click in its first minute.
sleep 12
xdotool key --delay 50 a b c d e f g h i j
xdotool mousemove 200 200 click --repeat 3 --delay 100 1
sleep 75
kill "$app"; wait "$app" 2>/dev/null

echo "== zimbrel log"; cat "$work/zimbrel.log"
echo "== server log"; cut -c1-200 "$work/server.log"

keys=$(grep -o '"keystrokes":[0-9]*' "$work/server.log" | awk -F: '{s+=$2} END {print s+0}')
clicks=$(grep -o '"mouse_clicks":[0-9]*' "$work/server.log" | awk -F: '{s+=$2} END {print s+0}')
# Each sample carries its counts twice: flat and in its one-element batch.
keys=$((keys / 2)); clicks=$((clicks / 2))
usage=$(grep -c '^POST usage/logs.*XTerm' "$work/server.log")
upload=$(ls "$work"/bodies/*screenshots_upload.body.* 2>/dev/null | xargs -r file | grep -i jpeg | cut -d: -f1 | head -n1)
geometry=none
if [ -n "$upload" ]; then
  cp "$upload" "$work/shot.jpg" # ImageMagick reads "[]" in a name as a frame number
  geometry=$(identify -format '%wx%h' "$work/shot.jpg" 2>/dev/null)
fi
echo "== result: keystrokes $keys, clicks $clicks, usage records naming XTerm $usage, screenshot $geometry"
[ "$keys" -eq 10 ] && [ "$clicks" -eq 3 ] && [ "$usage" -ge 1 ] && [ "$geometry" = 1440x900 ]
