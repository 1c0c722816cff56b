#!/usr/bin/env bash
# Installs every Debian package that building, testing and running the station needs.
# Called by the README's commands and by CI; safe to run again (apt skips what is there).
#   scripts/install-deps.sh            everything: tool chain, tests, and what the station runs on
#   scripts/install-deps.sh --runtime  only what the installed station runs on (the list in
#                                      scripts/runtime-packages.txt, which its .deb also declares)
set -euo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"

RUNTIME=()
while read -r line; do
  line="${line%%#*}"
  line="${line//[[:space:]]/}"
  [ -n "$line" ] && RUNTIME+=("$line")
done < "$HERE/runtime-packages.txt"

BUILD_AND_TEST=(
  # tool chain and test frameworks
  build-essential cmake pkg-config clang-format
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # Qt 6 widgets, SQL with the SQLite driver, Qt Test
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl-dev
  # sqlite3 shell: the build makes the empty station database from its schema; the engine's
  # C interface: the station's read-only and lock-wait checks and the reading history
  sqlite3 libsqlite3-dev
  # the history window: charts (whose CMake files need the OpenGL module's, which the charts
  # package does not pull in) and the .xlsx writer
  qt6-charts-dev libqt6opengl6-dev libxlsxwriter-dev
  # sound: GStreamer playbin with WAV/MP3 decoders
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  # spreadsheet files: OLE2 container writer and BIFF reader; outside readers for tests
  libgsf-1-dev libfreexl-dev python3-xlrd python3-xlwt
  # ssconvert: second outside reader of the .xls files and the spreadsheet benchmark's yardstick
  gnumeric
  # outside readers of the history window's exports in its tests: .xlsx and PDF
  python3-openpyxl poppler-utils
  # virtual display for screenshots and end-to-end runs
  xvfb xauth x11-utils
  # locales the font tests run under (generated below); zone files the time-zone test
  # switches between
  locales tzdata
  # a second CJK font whose "℃" is empty: the font test proves the station does not use it
  fonts-wqy-microhei
  # drives the real program's windows in the single-instance test
  xdotool
  # a small notification-area host, so the tray icon's tests run inside a real tray on Xvfb
  trayer
  # remote notifications: MQTT and HTTP/SMTP client libraries
  libmosquitto-dev libcurl4-openssl-dev
  # ... and the servers their tests start on 127.0.0.1: a broker with its clients, an SMTP
  # server, and openssl for the broker's test certificate
  mosquitto mosquitto-clients python3-aiosmtpd openssl
)

case "${1:-}" in
  --runtime) PACKAGES=("${RUNTIME[@]}") ;;
  "") PACKAGES=("${BUILD_AND_TEST[@]}" "${RUNTIME[@]}") ;;
  *) echo "usage: $0 [--runtime]" >&2; exit 2 ;;
esac

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The font test runs the station under these locales.
if [ "${1:-}" != "--runtime" ]; then
  for loc in zh_CN en_US; do
    if ! locale -a 2>/dev/null | grep -qi "^${loc}\.utf-\?8$"; then
      $SUDO localedef -i "$loc" -f UTF-8 "$loc.UTF-8"
    fi
  done
fi
