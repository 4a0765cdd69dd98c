#!/usr/bin/env bash
# Prints the CPU time and resident memory of zimbrel over a headless tracking
# session (default ten minutes) with a one-minute screenshot interval, against
# the loopback test server on the private test desktop (1440 x 900).
#   bash bench/app/tracking-run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-600}
B=build-bench
cmake -S . -B $B -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build $B -j2 --target zimbrel zimbrel-test-server >/dev/null

exec bash scripts/test-env.sh bash -c '
set -u
B='"$B"'; seconds='"$seconds"'
work=$(mktemp -d)
trap "kill \$(jobs -p) 2>/dev/null; rm -rf $work" EXIT
$B/tests/model/zimbrel-test-server --port-file $work/url \
  --respond settings/get "{\"success\":true,\"screenshot_interval\":1}" >$work/server.log 2>&1 &
for _ in $(seq 50); do [ -s $work/url ] && break; sleep 0.1; done
xterm -geometry 80x24+100+100 &
echo secret | $B/src/app/zimbrel --headless --email member@example.com --server "$(cat $work/url)" \
  --selftest $seconds >$work/zimbrel.log 2>&1 &
app=$!
sleep $((seconds + 8))
hz=$(getconf CLK_TCK)
read -r utime stime < <(awk "{print \$14, \$15}" /proc/$app/stat)
rss=$(awk "/VmRSS/ {print \$2}" /proc/$app/status)
hwm=$(awk "/VmHWM/ {print \$2}" /proc/$app/status)
kill $app
cpu=$(echo "scale=2; ($utime + $stime) / $hz" | bc)
printf "tracked            %d s (plus 8 s of start-up and stop)\n" $seconds
printf "cpu time           %s s (user %s s, system %s s)\n" $cpu $(echo "scale=2; $utime/$hz" | bc) $(echo "scale=2; $stime/$hz" | bc)
printf "cpu share          %s %%\n" $(echo "scale=3; 100 * ($utime + $stime) / $hz / ($seconds + 8)" | bc)
printf "resident memory    %d KiB at the end, %d KiB peak\n" $rss $hwm
printf "screenshots        %d uploaded\n" $(grep -c "^POST screenshots/upload" $work/server.log)
printf "activity samples   %d\n" $(grep -c "^POST activity/logs" $work/server.log)
printf "usage records      %d\n" $(grep -c "^POST usage/logs" $work/server.log)
printf "heartbeats         %d\n" $(grep -c "^POST time/heartbeat" $work/server.log)
'
