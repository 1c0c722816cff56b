#!/usr/bin/env bash
# Runs the station against the bus simulator: a demo program folder (build/demo) whose
# register holds the simulator's sensors, a pseudo-terminal bus with four sensors, and the
# station told to look for the bus there. The demo folder keeps its register and settings
# between runs; delete build/demo to start afresh.
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=build/bin
DEMO=build/demo
mkdir -p "$DEMO"
cp -f "$BIN/station" "$BIN/station-xls-reader" "$DEMO/"
cp -f "$BIN/Alarm.wav" "$DEMO/Alarm.wav"

if [ ! -f "$DEMO/newdb.mdb" ]; then
  sqlite3 "$DEMO/newdb.mdb.new" ".read storage/schema.sql"
  sqlite3 "$DEMO/newdb.mdb.new" "
    insert into settab(code,codeid,fix,almhigh,almlow,remark) values
      (1,'28A001 ','冷库一号 ',-5,-25,'冷藏 '),
      (2,'28A002 ','服务器机房 ',28,10,'机柜B '),
      (3,'28A003 ','办公室 ',30,5,' '),
      (4,'28A004 ','配电室 ',40,0,' ');"
  mv "$DEMO/newdb.mdb.new" "$DEMO/newdb.mdb"
fi
if [ ! -f "$DEMO/peizhi.ini" ]; then
  cat > "$DEMO/peizhi.ini" <<INI
[seting]
start=0
icon=0
title=告 警 信 息 表
addhigh=25
interval=10
media=
INI
fi

# Sensor 2 leaves its range 40 s into the demo for a minute, so an alarm shows.
SIM_LOG="$DEMO/sensorbus-sim.log"
"$BIN/sensorbus-sim" --quiet --log "$SIM_LOG" --path-file "$DEMO/port" \
  --sensor 28A001=sine:-18:2:120 \
  --sensor 28A002=ramp:22:0.01,excursion:31.5@40+60 \
  --sensor 28A003=21.5 \
  --sensor 28A004=sine:30:3:300 >/dev/null &
SIM=$!
trap 'kill $SIM 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -s "$DEMO/port" ] && break; sleep 0.1; done
export SENSORBUS_PORTS
SENSORBUS_PORTS="$(cat "$DEMO/port")"
echo "bus simulator on $SENSORBUS_PORTS (log: $SIM_LOG)"
"$DEMO/station"
