#!/usr/bin/env bash
# Builds the serial component's tests with ThreadSanitizer (build-tsan/) and runs them.
# The tests open pseudo-terminals and drive the sensor bus simulator; no real device is used.
# Usage: scripts/tsan-serial.sh [extra gtest arguments, e.g. --gtest_filter=TComm.*]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTATION_TSAN=ON -DSTATION_BENCH=OFF >/dev/null
cmake --build build-tsan -j2 --target serial_tests sensorbus-sim
# No suppressions: the hand-off of notices through Qt's (uninstrumented) event queue is also
# ordered by an atomic the sanitizer sees.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
export STATION_BIN_DIR="$PWD/build-tsan/bin" STATION_SOURCE_DIR="$PWD" QT_QPA_PLATFORM=offscreen
./build-tsan/tests/serial_tests "$@"
