#!/usr/bin/env bash
# Makes the pictures of the operator guide (docs/images/) from the running station, under a
# virtual display and with a Chinese locale, on the bus simulator with four demo sensors (one
# of them in alarm), and the history window on a week of demo readings of two of them. Run again
# after a change to the windows:  scripts/make-screenshots.sh
# Needs a built tree (build/) with the targets station-screenshots and sensorbus-sim.
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=build/bin
OUT=docs/images
WORK="$(mktemp -d /tmp/station-shots.XXXXXX)"
SIM=""
trap '[ -n "$SIM" ] && kill $SIM 2>/dev/null; rm -rf "$WORK"' EXIT

# A program folder with the demo register and a 3-second interval.
sqlite3 "$WORK/newdb.mdb" ".read storage/schema.sql"
mkdir -p "$WORK/备份"
sqlite3 "$WORK/newdb.mdb" "
  insert into settab(code,codeid,fix,almhigh,almlow,remark) values
    (1,'28A001 ','冷库一号 ',-5,-25,'冷藏 '),
    (2,'28A002 ','服务器机房 ',28,10,'机柜B '),
    (3,'28A003 ','办公室 ',30,5,' '),
    (4,'28A004 ','配电室 ',40,0,' ');
  insert into alming(dates,times,code,fix,almtemp) values
    ($(date +%Y%m%d),81502,2,'服务器机房 ','28.5');"
cat >"$WORK/peizhi.ini" <<INI
[seting]
start=1
icon=0
title=告 警 信 息 表
addhigh=25
interval=3
media=
INI

"$BIN/sensorbus-sim" --quiet --path-file "$WORK/port" \
  --sensor 28A001=-18.5 --sensor 28A002=31.5 --sensor 28A003=21.5 --sensor 28A004=30 \
  >/dev/null &
SIM=$!
for _ in $(seq 50); do [ -s "$WORK/port" ] && break; sleep 0.1; done

mkdir -p "$OUT"
ROOT="$(pwd)"
# The file dialog opens on the working folder: the program folder, as for an operator.
cd "$WORK"
LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 SENSORBUS_PORTS="$(cat "$WORK/port")" \
  STATION_AUDIO_SINK=fakesink \
  xvfb-run -a -n 50 -s "-screen 0 1280x800x24" "$ROOT/$BIN/station-screenshots" "$WORK" "$ROOT/$OUT"
