#!/usr/bin/env bash
# Builds the history tests with ThreadSanitizer (build-tsan/) and runs the recorder's tests: the
# station's thread hands readings to the recorder's thread through an inbox.
# Usage: scripts/tsan-history.sh [extra gtest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTATION_TSAN=ON -DSTATION_BENCH=OFF >/dev/null
cmake --build build-tsan -j2 --target history_tests station-history sensorbus-sim
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan-qt.supp ${TSAN_OPTIONS:-}"
export STATION_BIN_DIR="$PWD/build-tsan/bin" STATION_SOURCE_DIR="$PWD" QT_QPA_PLATFORM=offscreen
./build-tsan/tests/history_tests --gtest_filter='Recording.*:LocalEpoch.*' "$@"
