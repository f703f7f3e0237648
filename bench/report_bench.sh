#!/bin/sh
# What the report costs: `kelvarin-cli tif` on a 48-bit and a 96-bit float TIFF, built from this
# tree (every written image counted for its report), with --report FILE as well, and built from a
# revision from before the report existed (the same grey output, nothing counted). Prints each
# one's CPU time and the ratios to the build without the report.
# Run by hand:  bench/report_bench.sh [WORKDIR]   (needs git, numpy+tifffile, GNU time)
# KELVARIN_BENCH_SIZE (default 8192) sets the side; KELVARIN_BENCH_NO_REPORT the revision.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=${1:-/tmp/kelvarin-report-bench}
SIZE=${KELVARIN_BENCH_SIZE:-8192}
REV=${KELVARIN_BENCH_NO_REPORT:-46a43a6}
RUNS=5
PY=/usr/bin/python3
mkdir -p "$WORK"

release_cli() {  # SOURCE_DIR BUILD_DIR
    cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
        -DKELVARIN_BUILD_TESTS=OFF >/dev/null
    cmake --build "$2" -j2 --target kelvarin-cli >/dev/null
}
release_cli "$ROOT" "$ROOT/build-release"
CLI=$ROOT/build-release/kelvarin-cli
if [ ! -x "$WORK/no-report-build/kelvarin-cli" ]; then
    rm -rf "$WORK/no-report-src" && mkdir -p "$WORK/no-report-src"
    git -C "$ROOT" archive "$REV" | tar -x -C "$WORK/no-report-src"
    release_cli "$WORK/no-report-src" "$WORK/no-report-build"
fi
PLAIN=$WORK/no-report-build/kelvarin-cli

$PY - "$WORK" "$SIZE" <<'PYEOF'
import os, sys
import numpy as np, tifffile
work, n = sys.argv[1], int(sys.argv[2])
for name, dtype in (("src48.tif", np.uint16), ("src96f.tif", np.float32)):
    path = os.path.join(work, name)
    if os.path.exists(path):
        continue
    image = tifffile.memmap(path, shape=(n, n, 3), dtype=dtype, photometric="rgb", rowsperstrip=n)
    x = np.arange(n, dtype=np.float64)
    for top in range(0, n, 512):
        y = np.arange(top, min(top + 512, n), dtype=np.float64)[:, None]
        base = 0.5 + 0.25 * np.sin(x / 97.0) * np.cos(y / 61.0) + 0.2 * (x + y) / (2 * n)
        band = np.stack([base, base * 0.9 + 0.05, base * 0.8 + 0.1], axis=-1)
        image[top:top + len(y)] = (band * 65535).astype(dtype) if dtype == np.uint16 else (band * 3.5 - 0.7).astype(dtype)
    image.flush()
    del image
PYEOF

# The least CPU time (user + system) of $RUNS runs: the steadiest figure on a shared machine.
best_cpu() {
    BEST=""
    for _ in $(seq "$RUNS"); do
        /usr/bin/time -f "%U %S" -o "$WORK/time.txt" sh -c "$1" >/dev/null 2>&1 || return 1
        T=$(awk '{ printf "%.3f", $1 + $2 }' "$WORK/time.txt")
        BEST=$(awk -v a="$BEST" -v b="$T" 'BEGIN { print (a == "" || b < a) ? b : a }')
    done
    echo "$BEST"
}

for SRC in src48.tif src96f.tif; do
    S=$WORK/$SRC
    cat "$S" >/dev/null
    echo "== $SRC ($SIZE x $SIZE)"
    P=$(best_cpu "'$PLAIN' tif '$S' '$WORK/p.tif'")
    R=$(best_cpu "'$CLI' tif '$S' '$WORK/r.tif'")
    J=$(best_cpu "'$CLI' --report '$WORK/r.json' tif '$S' '$WORK/r.tif'")
    printf "  %-34s cpu %7.3f s\n" "without the report ($REV)" "$P" "counted (this tree)" "$R" \
        "counted, --report FILE" "$J"
    awk -v p="$P" -v r="$R" -v j="$J" 'BEGIN { printf "  ratio counted / without %.3f, with --report / without %.3f\n", r / p, j / p }'
done
