#!/bin/sh
# An 8193 x 8193 16-bit map written as 8 x 8 tiles against the same map written as one file of
# the same format, PNG and TIFF. Interleaved runs from the page cache, medians of N.
#
#   bench/tiles_bench.sh [CLI] [RUNS]
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

# A PGM source, so that the job does no conversion: what is timed is the writing. Smooth heights
# (not noise), so that the PNG's deflate works as on a real map.
/usr/bin/python3 - "$WORK/map.pgm" <<'PY'
import sys
import numpy as np
side = 8193
y, x = np.mgrid[0:side, 0:side].astype(np.float32)
h = (np.sin(x / 700.0) * np.cos(y / 900.0) + 1.0) * 30000.0 + (x + y) * 0.2
with open(sys.argv[1], "wb") as f:
    f.write(b"P5\n8193 8193\n65535\n")
    f.write(h.astype(">u2").tobytes())
PY
cat "$WORK/map.pgm" >/dev/null

now() { date +%s.%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
seconds() {  # command... ; prints the seconds it took
    t0=$(now)
    "$@" >/dev/null 2>&1
    t1=$(now)
    echo "$t1 - $t0" | bc -l
}

for ext in png tif; do
    : >"$WORK/one.$ext.t"
    : >"$WORK/tiles.$ext.t"
done
i=0
while [ $i -lt "$RUNS" ]; do
    for ext in png tif; do
        seconds "$CLI" pgm "$WORK/map.pgm" "$WORK/one.$ext" >>"$WORK/one.$ext.t"
        seconds "$CLI" --tiles 8x8 pgm "$WORK/map.pgm" "$WORK/tiled.$ext" >>"$WORK/tiles.$ext.t"
        rm -f "$WORK"/one.$ext "$WORK"/tiled_x*
    done
    i=$((i + 1))
done
for ext in png tif; do
    ONE=$(median <"$WORK/one.$ext.t")
    TILES=$(median <"$WORK/tiles.$ext.t")
    printf '%s  one file %.3f s   8 x 8 tiles %.3f s   %.2fx\n' "$ext" "$ONE" "$TILES" "$(echo "$TILES / $ONE" | bc -l)"
done
