#!/usr/bin/env bash
# Installs every Debian package that building, testing and running the station needs.
# Called by the README's commands and by CI; safe to run again (apt skips what is there).
set -euo pipefail

PACKAGES=(
  # tool chain and test frameworks
  build-essential cmake pkg-config clang-format
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # Qt 6 widgets, SQL with the SQLite driver, Qt Test
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl-dev
  # sqlite3 shell: the build makes the empty station database from its schema; the engine's
  # C interface: the station's read-only and lock-wait checks and the reading history
  sqlite3 libsqlite3-dev
  # sound: GStreamer playbin with WAV/MP3 decoders
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  # spreadsheet files: OLE2 container writer and BIFF reader; outside readers for tests
  libgsf-1-dev libfreexl-dev python3-xlrd python3-xlwt
  # ssconvert: second outside reader of the .xls files and the spreadsheet benchmark's yardstick
  gnumeric
  # Chinese interface font, virtual display for screenshots and end-to-end runs
  fonts-wqy-microhei xvfb xauth x11-utils
  # drives the real program's windows in the single-instance test
  xdotool
  # a small notification-area host, so the tray icon's tests run inside a real tray on Xvfb
  trayer
)

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
