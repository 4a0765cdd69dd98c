#!/usr/bin/env bash
# Prints the CPU time, wake-ups and resident memory of zimbrel over a headless
# tracking session (default ten minutes) with a one-minute screenshot
# interval, against the loopback test server on the private test desktop
# (1440 x 900). CPU share and wake-ups are also given for the steady part of
# the run, from 20 s after launch (signed in, tracking) to its end, beside
# the floor program's over the same time (a Qt Quick window of the main
# window's size and renderer whose text changes once a second), and the
# ratio: the machine may be busy with other work.
#   bash bench/app/tracking-run.sh [SECONDS]
# ZIMBREL=PATH measures that program instead of this build's (another
# build's, for a before-and-after run on the same busy machine).
# The test server keeps idle connections open for two minutes, as the
# workspace server does (KEEP_ALIVE=SECONDS to change it).
# Wake-ups are the context switches (voluntary and not) of all the process's
# threads, from /proc/PID/task/*/status; "quiet seconds" gives them and the
# CPU share over the seconds with no capture or upload, the per-tick floor.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-600}
B=${BENCH_BUILD:-build-bench}
# ccache when the machine has it (not a dependency of the project).
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B $B -G Ninja -DCMAKE_BUILD_TYPE=Release -DZIMBREL_SANITIZE=OFF -DZIMBREL_BENCH=ON "${launcher[@]}" >/dev/null
cmake --build $B -j2 --target zimbrel zimbrel-test-server bench_floor >/dev/null

exec bash scripts/test-env.sh bash -c '
set -u
B='"$B"'; seconds='"$seconds"'; program='"${ZIMBREL:-$B/src/app/zimbrel}"'; keep='"${KEEP_ALIVE:-120}"'
work=$(mktemp -d)
trap "kill \$(jobs -p) 2>/dev/null; rm -rf $work" EXIT
$B/tests/model/zimbrel-test-server --port-file $work/url --keep-alive $keep \
  --respond settings/get "{\"success\":true,\"screenshot_interval\":1}" >$work/server.log 2>&1 &
for _ in $(seq 50); do [ -s $work/url ] && break; sleep 0.1; done
xterm -geometry 80x24+100+100 &
echo secret | $program --headless --email member@example.com --server "$(cat $work/url)" \
  --selftest $seconds >$work/zimbrel.log 2>&1 &
app=$!
$B/bench/app/bench_floor 500 0 >/dev/null 2>&1 &
floor=$!
hz=$(getconf CLK_TCK)
cputicks() { awk "{print \$14 + \$15}" /proc/${1:-$app}/stat; }
switches() { cat /proc/${1:-$app}/task/*/status 2>/dev/null | awk "/ctxt_switches/ {s += \$2} END {print s}"; }
# Only the voluntary ones: the process went to sleep. The others are the
# scheduler taking the core away, which a busy machine does more often.
voluntary() { cat /proc/$app/task/*/status 2>/dev/null | awk "/^voluntary_ctxt_switches/ {s += \$2} END {print s}"; }
# Thread id, name and context switches of each of zimbrel'"'"'s threads.
bythread() { for t in /proc/$app/task/*; do
  echo "${t##*/} $(tr " " _ <$t/comm) $(awk "/ctxt_switches/ {s += \$2} END {print s}" $t/status)"; done 2>/dev/null; }
sleep 20
steady_cpu=$(cputicks); steady_sw=$(switches); steady_vol=$(voluntary); steady_at=$(date +%s.%N); bythread >$work/threads0
floor_cpu=$(cputicks $floor); floor_sw=$(switches $floor)
# Each second the switches and CPU time (ns) of all the threads, to tell the
# seconds in which only the tick ran from those of the minute'"'"'s capture and uploads.
stop_at=$(( $(date +%s) + seconds + 8 - 20 ))
while [ $(date +%s) -lt $stop_at ]; do
  echo "$(date +%s.%N) $(switches) $(cat /proc/$app/task/*/schedstat 2>/dev/null | awk "{s += \$1} END {print s}")"
  sleep 1
done >$work/seconds
end_cpu=$(cputicks); end_sw=$(switches); end_vol=$(voluntary); end_at=$(date +%s.%N); bythread >$work/threads1
floor_cpu=$(( $(cputicks $floor) - floor_cpu )); floor_sw=$(( $(switches $floor) - floor_sw ))
read -r utime stime < <(awk "{print \$14, \$15}" /proc/$app/stat)
rss=$(awk "/VmRSS/ {print \$2}" /proc/$app/status)
hwm=$(awk "/VmHWM/ {print \$2}" /proc/$app/status)
threads=$(ls /proc/$app/task | wc -l)
kill $app
window=$(echo "$end_at - $steady_at" | bc)
cpu=$(echo "scale=2; ($utime + $stime) / $hz" | bc)
printf "tracked            %d s (plus 8 s of start-up and stop)\n" $seconds
printf "cpu time           %s s (user %s s, system %s s)\n" $cpu $(echo "scale=2; $utime/$hz" | bc) $(echo "scale=2; $stime/$hz" | bc)
printf "cpu share          %s %% over the whole run\n" $(echo "scale=3; 100 * ($utime + $stime) / $hz / ($seconds + 8)" | bc)
printf "cpu share steady   %s %% (from 20 s on)\n" $(echo "scale=3; 100 * ($end_cpu - $steady_cpu) / $hz / $window" | bc)
printf "wake-ups steady    %s a second (%d context switches in %.0f s, %d threads at the end)\n" \
  $(echo "scale=2; ($end_sw - $steady_sw) / $window" | bc) $((end_sw - steady_sw)) $window $threads
printf "  voluntary        %s a second\n" $(echo "scale=2; ($end_vol - $steady_vol) / $window" | bc)
printf "  by thread       %s\n" "$(join $work/threads0 $work/threads1 | awk -v w=$window "(\$5 - \$3) / w >= 0.1 {printf \" %s %.2f\", \$2, (\$5 - \$3) / w}")"
zcpu=$(echo "scale=4; 100 * ($end_cpu - $steady_cpu) / $hz / $window" | bc)
fcpu=$(echo "scale=4; 100 * $floor_cpu / $hz / $window" | bc)
# Quiet seconds: intervals with fewer than five switches (the tick alone);
# a thread that ended takes its count along, so such intervals are left out.
read -r qrate qcpu qtime < <(awk "NR > 1 && \$2 >= sw && \$2 - sw < 5 { n += \$2 - sw; t += \$1 - at; c += \$3 - ns }
  { at = \$1; sw = \$2; ns = \$3 } END { if (t > 0) printf \"%.2f %.4f %.0f\", n / t, 100 * c / 1e9 / t, t }" $work/seconds)
printf "quiet seconds      %s wake-ups a second, cpu %s %% (%s s of the steady part, no capture or upload)\n" \
  "$qrate" "$qcpu" "$qtime"
printf "floor, same time   cpu %s %%, wake-ups %s a second\n" $fcpu $(echo "scale=2; $floor_sw / $window" | bc)
printf "ratio to floor     cpu %s x, wake-ups %s x\n" \
  $(echo "scale=2; if ($fcpu > 0) $zcpu / $fcpu else 0" | bc) \
  $(echo "scale=2; if ($floor_sw > 0) ($end_sw - $steady_sw) / $floor_sw else 0" | bc)
printf "resident memory    %d KiB at the end, %d KiB peak\n" $rss $hwm
printf "screenshots        %d uploaded\n" $(grep -c "^POST screenshots/upload" $work/server.log)
printf "activity samples   %d\n" $(grep -c "^POST activity/logs" $work/server.log)
printf "usage records      %d\n" $(grep -c "^POST usage/logs" $work/server.log)
printf "heartbeats         %d\n" $(grep -c "^POST time/heartbeat" $work/server.log)
printf "connections        %d opened (%s requests)\n" $(grep -c "^connection " $work/server.log) \
  $(grep -c "^[A-Z]* " $work/server.log)
'
