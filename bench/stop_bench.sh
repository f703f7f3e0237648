#!/bin/sh
# The seconds from a stop request to the job's end on a 16385 x 16385 resample and PNG write
# (bench/stop_latency.cpp). Exit status 1 when a stop took longer than 0.5 s, was not logged, or
# left a file behind.
#
#   bench/stop_bench.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR defaults to build/dev, a configured build with the tests (KELVARIN_BUILD_TESTS on).
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build/dev}
RUNS=${2:-3}
cmake --build "$BUILD" -j2 --target kelvarin_stop_bench >/dev/null
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
"$BUILD/tests/kelvarin_stop_bench" "$WORK" "$RUNS"
