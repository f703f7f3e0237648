#!/bin/sh
# A batch's results synced in groups, against the I/O floors of the same files, in one process:
#   big:   16 sources of 2048 x 2048 48-bit TIFF into a new folder  (goal: <= 1.5x the plain floor)
#   small: 3000 sources of 64 x 64 48-bit TIFF into a new folder    (goal: <= 2x the plain floor)
# The plain floor reads each source and writes the result's bytes (302-byte header, 2 bytes a
# pixel) under its name; the durable floor writes each to a temporary name, fsyncs it, renames it
# and fsyncs the folder, one file after the other, as every result was made before. Interleaved
# runs (floor, durable floor, kelvarin-cli, ...) from a warm page cache, wall clock, medians.
#
#   bench/batch_sync_bench.sh [CLI] [RUNS] [WORKDIR]
#
# CLI defaults to build-release/kelvarin-cli, which this script configures (-O2) when missing.
# WORKDIR (default: a new folder under /var/tmp, on the disk) must not be tmpfs: the syncs are
# what is measured. Needs numpy and tifffile.
set -eu
cd "$(dirname "$0")/.."
CLI=${1:-build-release/kelvarin-cli}
RUNS=${2:-7}
if [ ! -x "$CLI" ]; then
    cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
        -DKELVARIN_BUILD_TESTS=OFF >/dev/null
    cmake --build build-release -j2 --target kelvarin-cli >/dev/null
fi
CLI=$(cd "$(dirname "$CLI")" && pwd)/$(basename "$CLI")
WORK=${3:-$(mktemp -d /var/tmp/kelvarin-batch-sync.XXXXXX)}
mkdir -p "$WORK"
trap 'rm -rf "$WORK"' EXIT

cc -O2 -o "$WORK/floor" bench/batch_floor.c

# Sources: 16-bit RGB in one strip, each a little different.
make_sources() {  # FOLDER SIDE COUNT
    /usr/bin/python3 - "$@" <<'PY'
import os, sys
import numpy as np, tifffile
folder, n, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
os.makedirs(folder, exist_ok=True)
x = np.arange(n, dtype=np.float64)[None, :]
y = np.arange(n, dtype=np.float64)[:, None]
for i in range(count):
    base = 0.5 + 0.25 * np.sin((x + 7 * i) / 97.0) * np.cos(y / 61.0) + 0.2 * (x + y) / (2 * n)
    image = (np.stack([base, base * 0.9 + 0.05, base * 0.8 + 0.1], axis=-1) * 65535).astype(np.uint16)
    tifffile.imwrite(os.path.join(folder, "m%04d.tif" % i), image, photometric="rgb", rowsperstrip=n)
PY
}

now() { date +%s.%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
seconds() {  # command... ; prints the seconds it took (a failed command fails the bench)
    t0=$(now)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    t1=$(now)
    echo "$t1 - $t0" | bc -l
}

case_run() {  # NAME SIDE COUNT
    NAME=$1 SIDE=$2 COUNT=$3
    SRC=$WORK/$NAME-src OUT=$WORK/$NAME-out
    make_sources "$SRC" "$SIDE" "$COUNT"
    cat "$SRC"/*.tif >/dev/null
    BYTES=$((SIDE * SIDE * 2 + 302))
    for t in plain durable kelvarin; do : >"$WORK/$NAME.$t"; done
    i=0
    while [ "$i" -lt "$RUNS" ]; do
        sync
        rm -rf "$OUT"; mkdir "$OUT"; sync
        seconds "$WORK/floor" plain "$BYTES" "$OUT" "$SRC"/*.tif >>"$WORK/$NAME.plain"
        rm -rf "$OUT"; mkdir "$OUT"; sync
        seconds "$WORK/floor" sync "$BYTES" "$OUT" "$SRC"/*.tif >>"$WORK/$NAME.durable"
        rm -rf "$OUT"; mkdir "$OUT"; sync
        seconds "$CLI" --out-dir "$OUT" tif "$SRC" >>"$WORK/$NAME.kelvarin"
        i=$((i + 1))
    done
    P=$(median <"$WORK/$NAME.plain") D=$(median <"$WORK/$NAME.durable") K=$(median <"$WORK/$NAME.kelvarin")
    printf '%-6s %5d x %4d^2  plain floor %7.3f s  durable floor %7.3f s  kelvarin-cli --out-dir %7.3f s  %5.2fx plain  %5.2fx durable\n' \
        "$NAME" "$COUNT" "$SIDE" "$P" "$D" "$K" "$(echo "$K / $P" | bc -l)" "$(echo "$K / $D" | bc -l)"
    rm -rf "$SRC" "$OUT"
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores, $RUNS runs each, in $WORK"
case_run big 2048 "${KELVARIN_BENCH_BIG:-16}"
case_run small 64 "${KELVARIN_BENCH_SMALL:-3000}"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
