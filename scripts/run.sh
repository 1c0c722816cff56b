#!/usr/bin/env bash
# Installs what is missing, builds the station and starts it. With no real sensor bus named in
# SENSORBUS_PORTS, it starts the bus simulator and runs the station on a demo program folder
# whose register holds the simulator's sensors.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"

if [ -n "${SENSORBUS_PORTS+x}" ]; then
  # A real bus (or ports chosen by the operator): run the station from build/bin.
  exec build/bin/station
fi
exec bash scripts/demo.sh
