#!/bin/sh
# Times `kelvarin-cli tif` on two 8192 x 8192 single-strip TIFFs (48-bit, 96-bit float) against
# libvips and ImageMagick doing the nearest equivalent (average of the three channels to a
# 16-bit grey TIFF) and against the floor of reading the source and writing the output's bytes.
# Run by hand:  bench/tiff_bench.sh [WORKDIR]   (needs numpy+tifffile, vips, convert, GNU time)
# KELVARIN_BENCH_BASELINE=/path/to/an/older/kelvarin-cli adds its rows, to compare in one run.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=${1:-/tmp/kelvarin-bench}
SIZE=${KELVARIN_BENCH_SIZE:-8192}
PY=/usr/bin/python3
mkdir -p "$WORK"

cmake -S "$ROOT" -B "$ROOT/build-release" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DKELVARIN_BUILD_TESTS=OFF >/dev/null
cmake --build "$ROOT/build-release" -j2 --target kelvarin-cli >/dev/null
CLI=$ROOT/build-release/kelvarin-cli

# Sources, filled band by band through a memory map so making them needs little memory.
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

OUTBYTES=$((SIZE * SIZE * 2 + 302))
# Debian's ImageMagick policy caps the pixel cache far below an 8192 x 8192 image; let it work.
mkdir -p "$WORK/impolicy"
cat >"$WORK/impolicy/policy.xml" <<'XML'
<policymap>
  <policy domain="resource" name="memory" value="4GiB"/>
  <policy domain="resource" name="map" value="8GiB"/>
  <policy domain="resource" name="disk" value="16GiB"/>
  <policy domain="resource" name="area" value="4GP"/>
</policymap>
XML
export MAGICK_CONFIGURE_PATH="$WORK/impolicy"
# Prints "cpuSeconds elapsedSeconds peakKiB" of one command (GNU time). On a shared machine the
# CPU time (user + system) is the steadier figure; both are shown, ratios use the CPU time.
measure() {
    /usr/bin/time -f "%U %S %e %M" -o "$WORK/time.txt" sh -c "$1" >/dev/null 2>&1 || return 1
    awk '{ printf "%.2f %.2f %d\n", $1 + $2, $3, $4 }' "$WORK/time.txt"
}

for SRC in src48.tif src96f.tif; do
    S=$WORK/$SRC
    cat "$S" >/dev/null  # same warm page cache for everybody
    echo "== $SRC ($(du -m "$S" | cut -f1) MiB)"
    set -- \
        "floor (cat + write zeros)" "cat '$S' >/dev/null && head -c $OUTBYTES /dev/zero >'$WORK/floor.out'" \
        "kelvarin-cli tif" "'$CLI' tif '$S' '$WORK/k.tif'" \
        "kelvarin-cli --boost tif" "'$CLI' --boost tif '$S' '$WORK/kb.tif'" \
        "vips bandmean + cast ushort" "vips bandmean '$S' '$WORK/m.v' && vips cast '$WORK/m.v' '$WORK/v.tif' ushort" \
        "convert -grayscale Average" "convert '$S' -grayscale Average -depth 16 '$WORK/im.tif'"
    BASE=${KELVARIN_BENCH_BASELINE:-}
    [ -z "$BASE" ] || set -- "$@" \
        "baseline tif" "'$BASE' tif '$S' '$WORK/k.tif'" \
        "baseline --boost tif" "'$BASE' --boost tif '$S' '$WORK/kb.tif'"
    FLOOR="" PEERBEST="" PEERBESTE=""
    while [ $# -gt 0 ]; do
        NAME=$1; CMD=$2; shift 2
        R=$(measure "$CMD") || { printf "  %-30s failed: %s\n" "$NAME" "$CMD"; continue; }
        T=$(echo "$R" | cut -d' ' -f1); E=$(echo "$R" | cut -d' ' -f2); M=$(echo "$R" | cut -d' ' -f3)
        printf "  %-30s cpu %7.2f s  elapsed %7.2f s  %5d MiB peak\n" "$NAME" "$T" "$E" $((M / 1024))
        case $NAME in
            floor*) FLOOR=$T; FLOORE=$E ;;
            "kelvarin-cli tif") KT=$T; KTE=$E ;;
            "kelvarin-cli --boost tif") KB=$T ;;
            "baseline tif") BT=$T ;;
            "baseline --boost tif") BB=$T ;;
            *) if [ -z "$PEERBEST" ] || [ "$(echo "$T < $PEERBEST" | bc)" = 1 ]; then PEERBEST=$T; fi
               if [ -z "$PEERBESTE" ] || [ "$(echo "$E < $PEERBESTE" | bc)" = 1 ]; then PEERBESTE=$E; fi ;;
        esac
    done
    ratio() { echo "scale=2; $1 / ($2 + 0.005)" | bc; }  # + 5 ms: no division by a zero reading
    echo "  fastest peer / kelvarin (cpu): $(ratio "$PEERBEST" "$KT")x   with --boost: $(ratio "$PEERBEST" "$KB")x"
    echo "  kelvarin / floor (cpu):        $(ratio "$KT" "$FLOOR")x   with --boost: $(ratio "$KB" "$FLOOR")x"
    echo "  elapsed: fastest peer / kelvarin $(ratio "$PEERBESTE" "$KTE")x, kelvarin / floor $(ratio "$KTE" "$FLOORE")x"
    if [ -n "$BASE" ]; then
        echo "  baseline: fastest peer / baseline (cpu) $(ratio "$PEERBEST" "$BT")x   with --boost: $(ratio "$PEERBEST" "$BB")x"
        echo "            baseline / floor (cpu)        $(ratio "$BT" "$FLOOR")x   with --boost: $(ratio "$BB" "$FLOOR")x"
    fi
    rm -f "$WORK/k.tif" "$WORK/kb.tif" "$WORK/m.v" "$WORK/v.tif" "$WORK/im.tif" "$WORK/floor.out"
done
