#!/bin/sh
# Times File > Open... (`kelvarin-cli open SRC OUT.tif`) on the sources people bring most:
# an 8192 x 8192 16-bit grey PNG, and 8192 x 8192 48-bit RGB TIFFs compressed with Deflate and
# with LZW (horizontal predictor, strips of 8 rows as libtiff writes them), against the command
# a user would run instead: `vips copy` (grey) or `vips bandmean` (RGB), and ImageMagick's
# `convert SRC -colorspace Gray -depth 16 OUT.tif` (Debian's ImageMagick policy refuses images
# this large for some of them: "failed"). Medians of KELVARIN_BENCH_RUNS (5) runs,
# interleaved by hyperfine, wall clock, page cache warm. Ratios are KELVARIN's time over the
# peer's: under 0.5 is the goal. KELVARIN syncs its result before it takes its name and vips does
# not: "vips+sync" is vips followed by `sync OUT` (an fsync of its result), the same durable job,
# and a WORKDIR on tmpfs (/dev/shm/...) compares the work without the disk's sync.
# Run by hand:  bench/intake_bench.sh [WORKDIR]   (needs numpy+tifffile, ImageMagick, libtiff-tools,
# libvips-tools and hyperfine)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=${1:-/tmp/kelvarin-intake-bench}
RUNS=${KELVARIN_BENCH_RUNS:-5}
SIDE=${KELVARIN_BENCH_SIDE:-8192}
mkdir -p "$WORK"
cmake -S "$ROOT" -B "$ROOT/build-release" -DCMAKE_BUILD_TYPE=Release -DKELVARIN_BUILD_TESTS=OFF >/dev/null
cmake --build "$ROOT/build-release" -j2 --target kelvarin-cli >/dev/null
CLI=$ROOT/build-release/kelvarin-cli

# Smooth renders with a little noise, as height-map renders are.
/usr/bin/python3 - "$WORK" "$SIDE" <<'PYTHON'
import sys
import numpy as np
import tifffile
work, side = sys.argv[1], int(sys.argv[2])
y, x = np.mgrid[0:side, 0:side].astype(np.float32)
base = (np.sin(x / 300) + np.cos(y / 211) + 2) / 4
noise = np.random.default_rng(1).normal(0, 0.002, (side, side)).astype(np.float32)
grey = np.clip((base + noise) * 65535, 0, 65535).astype(np.uint16)
tifffile.imwrite(f"{work}/grey16.tif", grey, photometric="minisblack")
rgb = np.stack([grey, (grey * 0.9).astype(np.uint16), (grey * 0.8).astype(np.uint16)], axis=2)
tifffile.imwrite(f"{work}/rgb48.tif", rgb, photometric="rgb")
PYTHON
convert "$WORK/grey16.tif" "$WORK/grey16.png"
tiffcp -c zip:2 -r 8 "$WORK/rgb48.tif" "$WORK/deflate48.tif"
tiffcp -c lzw:2 -r 8 "$WORK/rgb48.tif" "$WORK/lzw48.tif"

median() {  # median NAME COMMAND: hyperfine's median in seconds, "failed" when the command fails
    if hyperfine -N --style none --warmup 1 --runs "$RUNS" --export-json "$WORK/$1.json" "$2" >/dev/null 2>&1; then
        /usr/bin/python3 -c "import json,sys; print('%.3f' % json.load(open(sys.argv[1]))['results'][0]['median'])" \
            "$WORK/$1.json"
    else
        echo failed
    fi
}
ratio() { case "$1$2" in *failed*) echo - ;; *) echo "scale=2; $1 / $2" | bc ;; esac; }
printf '%-14s %9s %9s %10s %9s %7s %11s %9s\n' source KELVARIN vips vips+sync convert /vips /vips+sync /convert
for case in grey16.png:copy deflate48.tif:bandmean lzw48.tif:bandmean; do
    source=${case%%:*}
    verb=${case#*:}
    k=$(median "k-$source" "$CLI open $WORK/$source $WORK/out-k.tif")
    v=$(median "v-$source" "vips $verb $WORK/$source $WORK/out-v.tif")
    s=$(median "s-$source" "sh -c 'vips $verb $WORK/$source $WORK/out-v.tif && sync $WORK/out-v.tif'")
    m=$(median "m-$source" "convert $WORK/$source -colorspace Gray -depth 16 $WORK/out-m.tif")
    printf '%-14s %9s %9s %10s %9s %7s %11s %9s\n' "$source" "$k" "$v" "$s" "$m" "$(ratio "$k" "$v")" \
        "$(ratio "$k" "$s")" "$(ratio "$k" "$m")"
done
