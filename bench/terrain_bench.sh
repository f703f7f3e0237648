#!/bin/sh
# Terrain set build against the floor of its own I/O: reading the four inputs and writing the
# three tiles with no computation. All from the page cache, in the same run, best of N.
#
#   bench/terrain_bench.sh [CLI] [RUNS]
#
# CLI defaults to build-release/kelvarin-cli, which this script configures (-O2) when missing.
set -eu
cd "$(dirname "$0")/.."
CLI=${1:-build-release/kelvarin-cli}
RUNS=${2:-5}
if [ ! -x "$CLI" ]; then
    cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
        -DKELVARIN_BUILD_TESTS=OFF >/dev/null
    cmake --build build-release -j2 --target kelvarin-cli >/dev/null
fi
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

head -c 134217728 /dev/urandom >"$WORK/8set.raw"
head -c 33554432 /dev/urandom >"$WORK/4set.raw"
head -c 8388608 /dev/urandom >"$WORK/2set.raw"
head -c 2097152 /dev/urandom >"$WORK/1set.raw"
cat "$WORK"/*.raw >/dev/null

now() { date +%s.%N; }
best() { sort -g | head -n 1; }

floor_run() {
    cat "$WORK/8set.raw" "$WORK/4set.raw" "$WORK/2set.raw" "$WORK/1set.raw" >/dev/null
    head -c 33554734 /dev/zero >"$WORK/floor_4096.tif"
    head -c 8388910 /dev/zero >"$WORK/floor_2048.tif"
    head -c 2097454 /dev/zero >"$WORK/floor_1024.tif"
}

seconds() {  # command... ; prints the seconds it took
    t0=$(now)
    "$@" >/dev/null 2>&1
    t1=$(now)
    echo "$t1 - $t0" | bc -l
}

# Interleaved, so that the other load of a shared machine hits all four alike.
: >"$WORK/floor.t"; : >"$WORK/max.t"; : >"$WORK/avg.t"; : >"$WORK/three.t"
i=0
while [ $i -lt "$RUNS" ]; do
    seconds floor_run >>"$WORK/floor.t"
    seconds "$CLI" terrain4-max "$WORK/4set.raw" >>"$WORK/max.t"
    seconds "$CLI" terrain4-avg "$WORK/4set.raw" >>"$WORK/avg.t"
    seconds "$CLI" terrain3 "$WORK/4set.raw" >>"$WORK/three.t"
    i=$((i + 1))
done
FLOOR=$(best <"$WORK/floor.t")
MAX=$(best <"$WORK/max.t")
AVG=$(best <"$WORK/avg.t")
THREE=$(best <"$WORK/three.t")

printf 'floor (read 4 inputs, write 3 tiles)  %.3f s\n' "$FLOOR"
printf 'terrain4-max                          %.3f s  %.2fx floor\n' "$MAX" "$(echo "$MAX / $FLOOR" | bc -l)"
printf 'terrain4-avg                          %.3f s  %.2fx floor\n' "$AVG" "$(echo "$AVG / $FLOOR" | bc -l)"
printf 'terrain3                              %.3f s  %.2fx floor\n' "$THREE" "$(echo "$THREE / $FLOOR" | bc -l)"
for mode in terrain4-max terrain4-avg terrain3; do
    rss=$(/usr/bin/time -v "$CLI" "$mode" "$WORK/4set.raw" 2>&1 >/dev/null | sed -n 's/.*Maximum resident set size (kbytes): //p')
    printf '%-13s peak RSS %d KiB (%.1f MiB)\n' "$mode" "$rss" "$(echo "$rss / 1024" | bc -l)"
done
