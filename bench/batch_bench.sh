#!/bin/sh
# Times a batch run, `kelvarin-cli --out-dir OUT tif SRC/`, on 16 files of 2048 x 2048 48-bit
# against the I/O floor of all 16: a small C program that reads each source and writes the
# output's number of bytes (the 302-byte header and 2 bytes a pixel), one file after the other.
# A second floor also does what makes a result whole and durable (write to a temporary name,
# fsync, rename, fsync the folder), as kelvarin-cli does for each result; on a disk that sync is
# most of the time. Runs on the disk (WORKDIR) and, where there is one, on tmpfs (/dev/shm), where
# a sync costs nothing and the ratio is the program's own work. vips bandmean, one command per
# file and as many at once as there are cores, is the peer. Each timing is the best of
# KELVARIN_BENCH_REPEAT (3) runs, wall clock, page cache warm; ratios are of wall clock.
# Run by hand:  bench/batch_bench.sh [WORKDIR]   (needs numpy+tifffile, cc, GNU time; vips optional)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=${1:-/tmp/kelvarin-batch-bench}
FILES=${KELVARIN_BENCH_FILES:-16}
SIZE=${KELVARIN_BENCH_SIZE:-2048}
REPEAT=${KELVARIN_BENCH_REPEAT:-3}
TMPFS=${KELVARIN_BENCH_TMPFS:-/dev/shm}
PY=/usr/bin/python3
CORES=$(nproc)
mkdir -p "$WORK"

cmake -S "$ROOT" -B "$ROOT/build-release" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DKELVARIN_BUILD_TESTS=OFF >/dev/null
cmake --build "$ROOT/build-release" -j2 --target kelvarin-cli >/dev/null
CLI=$ROOT/build-release/kelvarin-cli

# The floor: reads each source whole, writes OUTBYTES bytes for it into OUTDIR; with "sync" the
# way a result is made whole and durable.
cc -O2 -o "$WORK/floor" "$ROOT/bench/batch_floor.c"

# Sources, 16-bit RGB in one strip, each a little different.
$PY - "$WORK/src" "$SIZE" "$FILES" <<'PYEOF'
import os, sys
import numpy as np, tifffile
folder, n, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
os.makedirs(folder, exist_ok=True)
x = np.arange(n, dtype=np.float64)[None, :]
y = np.arange(n, dtype=np.float64)[:, None]
for i in range(count):
    path = os.path.join(folder, "render%02d.tif" % i)
    if os.path.exists(path):
        continue
    base = 0.5 + 0.25 * np.sin((x + 7 * i) / 97.0) * np.cos(y / 61.0) + 0.2 * (x + y) / (2 * n)
    image = (np.stack([base, base * 0.9 + 0.05, base * 0.8 + 0.1], axis=-1) * 65535).astype(np.uint16)
    tifffile.imwrite(path, image, photometric="rgb", rowsperstrip=n)
PYEOF

OUTBYTES=$((SIZE * SIZE * 2 + 302))
HAVE_VIPS=$(command -v vips >/dev/null && echo 1 || echo 0)

# Prints "elapsedSeconds peakKiB" of the best of REPEAT runs of a command; CLEAN runs before each.
best() {
    CLEAN=$1 CMD=$2 BEST="" BESTM=0
    for _ in $(seq "$REPEAT"); do
        sh -c "$CLEAN"
        /usr/bin/time -f "%e %M" -o "$DIR/time.txt" sh -c "$CMD" >/dev/null 2>&1 || return 1
        read -r E M <"$DIR/time.txt"
        if [ -z "$BEST" ] || [ "$(echo "$E < $BEST" | bc)" = 1 ]; then BEST=$E BESTM=$M; fi
    done
    echo "$BEST $BESTM"
}
ratio() { echo "scale=2; $1 / ($2 + 0.005)" | bc; }  # + 5 ms: no division by a zero reading

run_in() {
    DIR=$1
    mkdir -p "$DIR"
    [ "$DIR" = "$WORK" ] || { rm -rf "$DIR/src"; cp -r "$WORK/src" "$DIR/src"; }
    cat "$DIR"/src/*.tif >/dev/null  # same warm page cache for everybody
    echo "== $2: $FILES files of $SIZE x $SIZE 48-bit ($(du -sm "$DIR/src" | cut -f1) MiB) in $DIR, $CORES cores"
    OUT=$DIR/out
    CLEAN="rm -rf '$OUT' && mkdir -p '$OUT'"
    set -- \
        "floor (read, write)" "'$WORK/floor' plain $OUTBYTES '$OUT' '$DIR'/src/*.tif" \
        "floor (+ whole and durable)" "'$WORK/floor' sync $OUTBYTES '$OUT' '$DIR'/src/*.tif" \
        "kelvarin-cli --out-dir" "'$CLI' --out-dir '$OUT' tif '$DIR/src'" \
        "kelvarin-cli --jobs 1 --out-dir" "'$CLI' --jobs 1 --out-dir '$OUT' tif '$DIR/src'" \
        "kelvarin-cli, one run per file" "for f in '$DIR'/src/*.tif; do '$CLI' tif \"\$f\" '$OUT'/\$(basename \"\$f\") || exit 1; done"
    [ "$HAVE_VIPS" = 0 ] || set -- "$@" \
        "vips bandmean, $CORES at once" "ls '$DIR'/src/*.tif | xargs -P $CORES -I{} sh -c 'vips bandmean {} $OUT/\$(basename {})'"
    while [ $# -gt 0 ]; do
        NAME=$1; CMD=$2; shift 2
        R=$(best "$CLEAN" "$CMD") || { printf "  %-34s failed: %s\n" "$NAME" "$CMD"; continue; }
        E=${R% *}; M=${R#* }
        printf "  %-34s %7.3f s  %5d MiB peak\n" "$NAME" "$E" $((M / 1024))
        case $NAME in
            "floor (read, write)") FLOOR=$E ;;
            "floor (+ whole and durable)") DURABLE=$E ;;
            "kelvarin-cli --out-dir") K=$E ;;
            "kelvarin-cli --jobs 1 --out-dir") K1=$E ;;
            "kelvarin-cli, one run per file") KS=$E ;;
            vips*) V=$E ;;
        esac
    done
    echo "  kelvarin --out-dir / floor:          $(ratio "$K" "$FLOOR")x   (goal <= 1.3x)"
    echo "  kelvarin --out-dir / durable floor:  $(ratio "$K" "$DURABLE")x"
    echo "  --jobs 1 / default jobs:             $(ratio "$K1" "$K")x   one run per file / batch: $(ratio "$KS" "$K")x"
    [ -z "${V:-}" ] || echo "  vips / kelvarin --out-dir:           $(ratio "$V" "$K")x"
    rm -rf "$OUT" "$DIR/time.txt"
    [ "$DIR" = "$WORK" ] || rm -rf "$DIR/src"
}

run_in "$WORK" "disk"
if [ -d "$TMPFS" ] && [ "$(stat -f -c %T "$TMPFS")" = tmpfs ]; then
    run_in "$TMPFS/kelvarin-batch-bench" "tmpfs"
    rmdir "$TMPFS/kelvarin-batch-bench" 2>/dev/null || true
fi
