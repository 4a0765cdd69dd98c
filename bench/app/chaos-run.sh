#!/usr/bin/env bash
# A long randomised run of the sync under faults, on loopback only: zimbrel
# runs headless against the test server, which answers every start and stop
# at random (late up to 25 s, 500, a dropped connection after doing the work,
# a 200 HTML page); zimbrel-control starts and stops the timer at random
# moments, and zimbrel is killed (SIGKILL) and started again at random. At
# the end the faults stop, zimbrel sends what is left, and the server's
# tally per session is printed.
#   bash bench/app/chaos-run.sh [SECONDS] [SEED] [KILLS]
# KILLS 0 leaves zimbrel running throughout; otherwise about one action in ten
# is a kill.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-180}
seed=${2:-$RANDOM}
kills=${3:-1}
B=${BUILD:-build-test}
cmake --build $B -j2 --target zimbrel zimbrel-control zimbrel-test-server >/dev/null

exec bash scripts/test-env.sh bash -c '
set -u
B='"$B"'; seconds='"$seconds"'; seed='"$seed"'; allowKills='"$kills"'
work=$(mktemp -d)
app=
trap "kill \$(jobs -p) 2>/dev/null; rm -rf $work" EXIT
$B/tests/model/zimbrel-test-server --port-file $work/url --faults $seed --ledger $work/ledger.json \
  --calm-file $work/calm >$work/server.log 2>&1 &
for _ in $(seq 50); do [ -s $work/url ] && break; sleep 0.1; done
url=$(cat $work/url)
RANDOM=$seed

launch() {
  if [ -z "$app" ] || ! kill -0 $app 2>/dev/null; then
    $B/src/app/zimbrel --headless --server "$url" >>$work/zimbrel.log 2>&1 &
    app=$!
  fi
}
echo secret | $B/src/app/zimbrel --headless --server "$url" --email member@example.com >>$work/zimbrel.log 2>&1 &
app=$!
sleep 3

kills=0; toggles=0; started=0
end=$((SECONDS + seconds))
while [ $SECONDS -lt $end ]; do
  sleep "$((RANDOM % 4)).$((RANDOM % 10))"
  case $((RANDOM % 10)) in
    0) [ "$allowKills" = 0 ] && continue
       kill -9 $app 2>/dev/null; wait $app 2>/dev/null; kills=$((kills + 1)); sleep 0.$((RANDOM % 10)); launch ;;
    *) $B/src/controls/zimbrel-control toggle >/dev/null 2>&1 || true; toggles=$((toggles + 1))
       case "$($B/src/controls/zimbrel-control status 2>&1)" in *"Start tracking"*) ;; *) started=$((started + 1)) ;; esac ;;
  esac
  launch
done

# The end: the timer stops, the server behaves, everything left goes out.
$B/src/controls/zimbrel-control off >/dev/null 2>&1 || true
touch $work/calm
launch
snapshot=${XDG_CONFIG_HOME:-$HOME/.config}/K7QW3ZP2LM.com.corvane.native/tracking.snapshot.v1
for _ in $(seq 120); do
  grep -q "\"pending\":\[{" "$snapshot" 2>/dev/null || break
  sleep 1
done
sleep 2
left=$(grep -o "\"sessionID\":\"[^\"]*\"" "$snapshot" 2>/dev/null | wc -l)
kill $app 2>/dev/null; wait $app 2>/dev/null
sleep 0.3

echo "seed               $seed"
echo "run                $seconds s, $toggles toggles ($started of them starts), $kills kills of zimbrel"
echo "left unsent        $left sessions in the local timer state at the end"
echo "server tally       (histograms: count -> sessions)"
cat $work/ledger.json
echo "sync failures logged by zimbrel: $(grep -c "sync failed" $work/zimbrel.log)"
'
