#!/usr/bin/env bash
# CPU time the real station spends per reading, painting included: the program from build/bin
# on a virtual display (Xvfb), 30 sensors on the bus simulator answering every 5 s, measured
# over a stretch after a warm-up. The readings are counted in the station's own history.db.
#   bench/station/station-cpu.sh [seconds]   (default 120; as root: the station runs in a
#                                             network namespace of its own)
# With PROFILE=file, perf records the station's call graphs into that file while measuring.
# SENSORS and INTERVAL (seconds) change the bus; INTERVAL=0 (no timed acquisition) measures
# the idle station.
set -euo pipefail
cd "$(dirname "$0")/../.."
BIN=${BIN:-$PWD/build/bin}
SECONDS_TO_MEASURE=${1:-120}
SENSORS=${SENSORS:-30}
INTERVAL=${INTERVAL:-5}
WORK=$(mktemp -d)
DISPLAY_NUMBER=$((70 + RANDOM % 200))
cleanup() {
  [ -n "${STATION:-}" ] && kill "$STATION" 2>/dev/null || true
  [ -n "${SIM:-}" ] && kill "$SIM" 2>/dev/null || true
  [ -n "${XVFB:-}" ] && kill "$XVFB" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

cp "$BIN/station" "$BIN/station-xls-reader" "$BIN/Alarm.wav" "$WORK/"
sqlite3 "$WORK/newdb.mdb" ".read storage/schema.sql"
SIM_ARGS=()
SQL="begin;"
for i in $(seq 1 $SENSORS); do
  id=$(printf '28C%03X' "$i")
  SIM_ARGS+=(--sensor "$id=sine:20:3:$((300 + i * 7))")
  SQL+="insert into settab(code,codeid,fix,almhigh,almlow,remark) values($i,'$id ','房间$i ',40,0,' ');"
done
sqlite3 "$WORK/newdb.mdb" "$SQL commit;"
printf '[seting]\nstart=0\nicon=0\ntitle=告 警 信 息 表\naddhigh=25\ninterval=%s\nmedia=\n' \
  "$INTERVAL" > "$WORK/peizhi.ini"

Xvfb ":$DISPLAY_NUMBER" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
XVFB=$!
"$BIN/sensorbus-sim" --quiet --path-file "$WORK/port" "${SIM_ARGS[@]}" >/dev/null &
SIM=$!
for _ in $(seq 50); do [ -s "$WORK/port" ] && break; sleep 0.1; done

RUN=(env DISPLAY=":$DISPLAY_NUMBER" LANG=zh_CN.UTF-8 SENSORBUS_PORTS="$(cat "$WORK/port")"
     "$WORK/station")
if [ "$(id -u)" = 0 ]; then RUN=(unshare -n "${RUN[@]}"); fi
"${RUN[@]}" >"$WORK/station.log" 2>&1 &
STATION=$!
# unshare execs the station, so this is the station's own process once it has started. The
# warm-up fills the message board, as it is in a station that has run for a while.
sleep "${WARMUP:-60}"

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
readings() { sqlite3 "$WORK/history.db" "select count(*) from readings"; }
HZ=$(getconf CLK_TCK)
# Per thread, in nanoseconds (schedstat), to show where the station's time goes.
threads() {
  for t in /proc/"$STATION"/task/*; do
    name=$(tr ' ' '_' <"$t/comm")
    [ "${t##*/}" = "$STATION" ] && name=main
    printf '%s %s %s\n' "${t##*/}" "$(cut -d' ' -f1 "$t/schedstat")" "$name"
  done
}
threads >"$WORK/threads0"
c0=$(ticks "$STATION"); x0=$(ticks "$XVFB"); r0=$(readings)
if [ -n "${PROFILE:-}" ]; then
  perf record -F ${PROFILE_HZ:-999} --call-graph dwarf,32768 -o "$PROFILE" -p "$STATION" \
    -- sleep "$SECONDS_TO_MEASURE" >/dev/null 2>&1
else
  sleep "$SECONDS_TO_MEASURE"
fi
c1=$(ticks "$STATION"); x1=$(ticks "$XVFB"); r1=$(readings)
threads >"$WORK/threads1"
n=$((r1 - r0))
if [ "$n" -le 0 ] && [ "$INTERVAL" -ne 0 ]; then
  echo "no readings recorded; station log:" >&2
  cat "$WORK/station.log" >&2
  exit 1
fi
awk -v c=$((c1 - c0)) -v x=$((x1 - x0)) -v n="$n" -v hz="$HZ" -v s="$SECONDS_TO_MEASURE" 'BEGIN {
  printf "readings: %d in %d s (%d sensors every %d s)\n", n, s, '"$SENSORS"', '"$INTERVAL"'
  printf "station CPU: %.1f ms in all, %.2f ms per second", c * 1000 / hz, c * 1000 / hz / s
  if (n > 0) printf ", %.3f ms per reading", c * 1000 / hz / n
  printf "\nX server CPU: %.1f ms in all", x * 1000 / hz
  if (n > 0) printf ", %.3f ms per reading", x * 1000 / hz / n
  printf "\n"
}'
awk -v n="$n" 'NR == FNR { start[$1] = $2; next }
  { used[$3] += ($2 - ($1 in start ? start[$1] : 0)) / 1e6 }
  END { for (c in used) if (used[c] > 0) {
          printf "  thread %-16s %8.1f ms", c, used[c]
          if (n > 0) printf ", %.3f ms per reading", used[c] / n
          printf "\n" } }' "$WORK/threads0" "$WORK/threads1" | sort -k3 -rn

