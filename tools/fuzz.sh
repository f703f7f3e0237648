#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (ASan + UBSan) and runs each for a bounded
# time on a copy of its seed corpus. A crash, sanitizer report, hang (over 10 s), allocation over
# 512 MiB or broken job guarantee fails the run. FUZZ_SECONDS sets the time per target (60);
# FUZZ_FLAGS adds libFuzzer flags; FUZZ_BUILD moves the build folder (build/fuzz). FUZZ_SEED fixes
# the mutation sequence (1 by default, so a run repeats what a longer run with the same seed has
# already explored; 0 lets libFuzzer pick a new seed each run, for exploring by hand).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages "${BUILD_PACKAGES[@]}" clang libclang-rt-14-dev

SECONDS_PER_TARGET="${FUZZ_SECONDS:-60}"
SEED="${FUZZ_SEED:-1}"
TARGETS=(tiff radiance pgm bin raw)
BUILD="${FUZZ_BUILD:-$ROOT/build/fuzz}"
CXX_COMPILER="$(command -v clang++-14 || command -v clang++)"
C_COMPILER="$(command -v clang-14 || command -v clang)"

echo "== building fuzz targets with $CXX_COMPILER"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVARIN_FUZZ=ON -DKELVARIN_BUILD_TESTS=OFF -DKELVARIN_WERROR=ON \
    -DCMAKE_CXX_COMPILER="$CXX_COMPILER" -DCMAKE_C_COMPILER="$C_COMPILER" >/dev/null
cmake --build "$BUILD" -j"$JOBS" --target fuzz_all

# Every iteration writes and deletes its files: keep them in memory where it can, in a folder of
# this run's own, removed at the end (a fuzzer stopped by a fault leaves its files behind).
TEMP_BASE=/tmp
if [ -d /dev/shm ] && [ -w /dev/shm ]; then TEMP_BASE=/dev/shm; fi
TMPDIR="$(mktemp -d "$TEMP_BASE/kelvarin-fuzz.XXXXXX")"
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT

# Artifacts belong in the build folder only. None is committed, and a target run by hand from
# another folder without an -artifact_prefix still writes there: an RSS limit below what any
# process needs makes it write one within a second.
stray="$(git -C "$ROOT" ls-files 2>/dev/null | grep -E '(^|/)(crash|leak|timeout|oom|slow-unit)-[0-9a-f]{40}$' || true)"
[ -z "$stray" ] || { echo "fuzz: libFuzzer artifacts committed: $stray"; exit 1; }
BY_HAND="$TMPDIR/by-hand"
mkdir -p "$BY_HAND/corpus"
rm -rf "$BUILD/tests/fuzz/artifacts/fuzz_raw"
(cd "$BY_HAND" && "$BUILD/tests/fuzz/fuzz_raw" -rss_limit_mb=1 -max_total_time=60 corpus >log 2>&1) || true
if ! ls "$BUILD/tests/fuzz/artifacts/fuzz_raw/"oom-* >/dev/null 2>&1 || [ "$(ls "$BY_HAND")" != "$(printf 'corpus\nlog')" ]; then
    echo "fuzz: a target run by hand left its artifact outside $BUILD/tests/fuzz/artifacts/:"
    ls "$BY_HAND"; tail -5 "$BY_HAND/log"; exit 1
fi
echo "fuzz: a target run by hand writes its artifacts into $BUILD/tests/fuzz/artifacts/"

# Never let a run touch the committed seeds: each target works on its own copy.
WORK="$BUILD/work"
rm -rf "$WORK"
mkdir -p "$WORK"

run_target() {
    local target="$1" dir="$WORK/$1"
    mkdir -p "$dir/corpus" "$dir/artifacts"
    cp "$ROOT/tests/fuzz/corpus/$target/"* "$dir/corpus/"
    local status=0
    # shellcheck disable=SC2086  # FUZZ_FLAGS: extra libFuzzer flags, split on blanks
    ASAN_OPTIONS=abort_on_error=1:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$BUILD/tests/fuzz/fuzz_$target" -max_total_time="$SECONDS_PER_TARGET" -seed="$SEED" -timeout=10 \
        -rss_limit_mb=2048 -malloc_limit_mb=512 -max_len=8192 -print_final_stats=1 ${FUZZ_FLAGS:-} \
        -artifact_prefix="$dir/artifacts/" "$dir/corpus" >"$dir/log" 2>&1 || status=$?
    echo "$status" >"$dir/status"
}

# At least two at a time, so five targets take three rounds of FUZZ_SECONDS whatever the machine.
PARALLEL=$((JOBS < 2 ? 2 : JOBS))
echo "== fuzzing ${#TARGETS[@]} targets for ${SECONDS_PER_TARGET} s each, $PARALLEL at a time"
running=0
for target in "${TARGETS[@]}"; do
    run_target "$target" &
    running=$((running + 1))
    if [ "$running" -ge "$PARALLEL" ]; then
        wait -n || true
        running=$((running - 1))
    fi
done
wait || true

passed=0
failed=0
total=0
for target in "${TARGETS[@]}"; do
    dir="$WORK/$target"
    status="$(cat "$dir/status" 2>/dev/null || echo 1)"
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1)"
    # A run that stopped on a fault prints no final statistics: take its last progress line.
    [ -n "$runs" ] || runs="$(grep -a -o -E '^#[0-9]+' "$dir/log" | tail -1 | tr -d '#')"
    runs="${runs:-0}"
    total=$((total + runs))
    if [ "$status" -eq 0 ]; then
        passed=$((passed + 1))
        echo "fuzz_$target: $runs executions, clean"
    else
        failed=$((failed + 1))
        echo "fuzz_$target: $runs executions, FAILED (exit $status); the log follows"
        grep -v -E '^#[0-9]+ +(NEW|REDUCE|pulse|INITED|RELOAD)' "$dir/log" | tail -60
        ls "$dir/artifacts/" 2>/dev/null | sed 's/^/  artifact: /'
    fi
done
echo "fuzz: total executions $total"
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
