#!/usr/bin/env bash
# The Debian package as an operator's machine meets it: built with CPack, installed by dpkg
# into a throw-away root (its set-up scripts run there too), the installed station started
# from there as a user who is not root but in the dialout group, on the bus simulator; then an
# upgrade, a removal and a purge.
#   package-test.sh <build dir>      (run as root: dpkg, a network namespace, another user)
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
SRC="$(cd "$(dirname "$0")/../.." && pwd)"
PKG=sensorbus-station

fail() { echo "FAIL: $*" >&2; exit 1; }
[ "$(id -u)" = 0 ] || { echo "SKIP: needs root"; exit 77; }
for p in cpack dpkg dpkg-deb sqlite3 unshare setpriv xvfb-run setsid; do
  command -v "$p" >/dev/null || { echo "SKIP: needs $p"; exit 77; }
done

WORK="$(mktemp -d /tmp/station-package.XXXXXX)"
chmod 755 "$WORK"
STATION=""
SIM=""
cleanup() {
  [ -n "$STATION" ] && kill -- "-$STATION" 2>/dev/null || true
  [ -n "$SIM" ] && kill "$SIM" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

# --- build ------------------------------------------------------------------------------------
cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$WORK/pkg" >/dev/null
DEB="$(ls "$WORK"/pkg/*.deb)"
[ "$(dpkg-deb -f "$DEB" Package)" = "$PKG" ] || fail "package name"

# Declares the run-time list and nothing else: no compiler, no -dev package, no test tool.
expected="$(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$SRC/scripts/runtime-packages.txt" | grep -v '^$' | sort)"
declared="$(dpkg-deb -f "$DEB" Depends | tr ',' '\n' | sed 's/[[:space:]]//g' | grep -v '^$' | sort)"
[ "$expected" = "$declared" ] || fail "Depends is not the run-time list: $declared"
if grep -E -- '-dev$|^(build-essential|cmake|g\+\+|gcc|clang-format|xvfb|googletest)$' <<<"$declared"; then
  fail "a build or test package among the dependencies"
fi
# Every library the two programs load directly comes from a declared package.
dpkg-deb -x "$DEB" "$WORK/x"
for exe in station station-xls-reader; do
  for lib in $(objdump -p "$WORK/x/usr/lib/$PKG/$exe" | awk '/NEEDED/ {print $2}'); do
    owner="$(dpkg -S "*/$lib" 2>/dev/null | grep -v i386 | head -1 | cut -d: -f1)"
    grep -qx "$owner" <<<"$declared" || fail "$exe needs $lib from $owner, not declared"
  done
done
# The data files are not in the package: dpkg would replace them on an upgrade.
if dpkg-deb -c "$DEB" | awk '{print $6}' | grep -E '^\./var/lib/.*(newdb\.mdb|peizhi\.ini)$'; then
  fail "the package carries the operators' data files"
fi

# --- install into a throw-away root ---------------------------------------------------------
ROOT="$WORK/root"
mkdir -p "$ROOT/var/lib/dpkg/info" "$ROOT/var/lib/dpkg/updates" "$ROOT/var/lib/dpkg/triggers"
touch "$ROOT/var/lib/dpkg/status"
# The run-time libraries are the host's own; dpkg in the empty root does not know them.
dpkg_root() {
  dpkg "--root=$ROOT" --force-depends --force-script-chrootless --log=/dev/null "$@" \
    >"$WORK/dpkg.log" 2>&1 || { cat "$WORK/dpkg.log" >&2; fail "dpkg $*"; }
}
dpkg_root -i "$DEB"

DATA="$ROOT/var/lib/$PKG"
DB="$DATA/newdb.mdb"
INI="$DATA/peizhi.ini"
[ "$(stat -c '%a %G' "$DATA")" = "2775 dialout" ] || fail "data folder: $(stat -c '%a %U:%G' "$DATA")"
for f in "$DB" "$INI"; do
  [ "$(stat -c '%a %G' "$f")" = "664 dialout" ] || fail "$f: $(stat -c '%a %U:%G' "$f")"
  [ "$(readlink -f "$ROOT/usr/lib/$PKG/$(basename "$f")")" = "$(readlink -f "$f")" ] ||
    fail "$(basename "$f") beside the program does not lead to the data folder"
done
[ -x "$ROOT/usr/bin/$PKG" ] || fail "no /usr/bin/$PKG"
grep -q '^Name=多点温度探测系统$' "$ROOT/usr/share/applications/$PKG.desktop" || fail "launcher name"
grep -q "^Exec=/usr/bin/$PKG$" "$ROOT/usr/share/applications/$PKG.desktop" || fail "launcher command"
[ -s "$ROOT/usr/share/icons/hicolor/48x48/apps/$PKG.png" ] || fail "icon"

# The operator registers a sensor (high limit 25 °C) and sets a 2-second interval.
sqlite3 "$DB" "insert into settab(code,codeid,fix,almhigh,almlow,remark)
               values (1,'28A001 ','冷库一号 ',25,0,' ');"
ini="$(sed 's/^interval=.*/interval=2/' "$INI")"
printf '%s\n' "$ini" >"$INI"

# --- the installed station, as a user in dialout, on the bus simulator ----------------------
"$BUILD/bin/sensorbus-sim" --quiet --path-file "$WORK/port" --sensor 28A001=30.5 >/dev/null &
SIM=$!
for _ in $(seq 50); do [ -s "$WORK/port" ] && break; sleep 0.1; done
PORT="$(cat "$WORK/port")"
# A serial device of the machine belongs to dialout; so does the simulator's port here.
chgrp dialout "$(readlink -f "$PORT")"
chmod 660 "$(readlink -f "$PORT")"

mkdir -p "$WORK/home"
chown 65534:65534 "$WORK/home"
DIALOUT_GID="$(getent group dialout | cut -d: -f3)"
# Its own network namespace: the station runs once per computer, and another may run here.
setsid unshare -n setpriv --reuid=65534 --regid=65534 --groups="$DIALOUT_GID" \
  env -i PATH=/usr/bin:/bin HOME="$WORK/home" LANG=zh_CN.UTF-8 SENSORBUS_PORTS="$PORT" \
  STATION_AUDIO_SINK=fakesink \
  xvfb-run -a -n 50 -s "-ac -screen 0 1280x800x24" "$ROOT/usr/bin/$PKG" \
  >"$WORK/station.log" 2>&1 &
STATION=$!

# It finds the bus, reads the sensor, and records the alarm in the installed database.
alarms=0
for _ in $(seq 300); do
  alarms="$(sqlite3 "$DB" 'select count(*) from alming;' 2>/dev/null || echo 0)"
  [ "$alarms" -gt 0 ] && break
  kill -0 "$STATION" 2>/dev/null || break
  sleep 0.2
done
[ "$alarms" -gt 0 ] || { cat "$WORK/station.log" >&2; fail "no alarm recorded: the station did not read the bus"; }
[ "$(sqlite3 "$DB" "select almtemp from alming limit 1;")" = "30.5" ] || fail "recorded temperature"
# Its first start wrote the settings file (as that user): the alarm sound beside the program.
grep -q "^media=/usr/lib/$PKG/Alarm.wav$" <(sed "s|$ROOT||" "$INI") ||
  grep -q "^media=$ROOT/usr/lib/$PKG/Alarm.wav$" "$INI" || fail "settings not written: $(cat "$INI")"
grep -q '^start=1$' "$INI" || fail "first start not recorded in the settings"
kill -- "-$STATION" 2>/dev/null || true
wait "$STATION" 2>/dev/null || true
STATION=""
kill "$SIM" 2>/dev/null || true
SIM=""

# --- upgrade to a newer version: register, alarm log and settings stay ----------------------
before_db="$(sqlite3 "$DB" 'select code,codeid,fix,almhigh,almnear from settab; select count(*) from alming;')"
before_ini="$(cat "$INI")"
dpkg-deb -R "$DEB" "$WORK/v2"
sed -i 's/^Version: .*/&+1/' "$WORK/v2/DEBIAN/control"
dpkg-deb -b "$WORK/v2" "$WORK/v2.deb" >/dev/null
dpkg_root -i "$WORK/v2.deb"
[ "$(dpkg-query "--admindir=$ROOT/var/lib/dpkg" -W -f '${Version}' "$PKG")" = "$(dpkg-deb -f "$DEB" Version)+1" ] ||
  fail "upgrade not installed"
[ "$(sqlite3 "$DB" 'select code,codeid,fix,almhigh,almnear from settab; select count(*) from alming;')" = "$before_db" ] ||
  fail "the upgrade changed the database"
[ "$(cat "$INI")" = "$before_ini" ] || fail "the upgrade changed the settings"
grep -q '^interval=2$' "$INI" || fail "interval lost"

# --- removal keeps the data, purging deletes it ---------------------------------------------
dpkg_root -r "$PKG"
[ ! -e "$ROOT/usr/lib/$PKG/station" ] || fail "program left after removal"
[ "$(cat "$INI")" = "$before_ini" ] || fail "removal changed the settings"
[ "$(sqlite3 "$DB" 'select count(*) from settab;')" = 1 ] || fail "removal lost the register"
dpkg_root -P "$PKG"
[ ! -e "$DATA" ] || fail "purge left the data folder"
echo "package test passed"
