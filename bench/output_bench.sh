#!/bin/sh
# Times the engine outputs on an 8192 x 4096 48-bit TIFF (a smooth render with a little noise):
#   PNG: `kelvarin-cli tif SRC OUT.png` against `vips bandmean SRC OUT.png` (the one command a
#        user would run instead), the durable floor (read the source, write the PNG's bytes,
#        fsync) and the plain floor (the same without the fsync), with the files' sizes;
#   resampling: `--size 4097` (4097 x 4097) written to tmpfs against the plain conversion written
#        there, the floor there (read the source, write the result's bytes) and `vips resize` to
#        the same size (it keeps the three channels: the nearest single command).
# Wall clock, page cache warm, the commands interleaved run by run, medians of
# KELVARIN_BENCH_RUNS (11) runs.
# Run by hand:  bench/output_bench.sh [WORKDIR]   (needs numpy+tifffile, vips, cc, bc)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=${1:-/tmp/kelvarin-output-bench}
RUNS=${KELVARIN_BENCH_RUNS:-11}
SHM=${KELVARIN_BENCH_TMPFS:-/dev/shm/kelvarin-output-bench}
PY=/usr/bin/python3
mkdir -p "$WORK" "$SHM"

. "$ROOT/bench/bench_common.sh"
build_bench_tools

S=$WORK/render48.tif
[ -e "$S" ] || $PY - "$S" <<'PYTHON'
import sys
import numpy as np
import tifffile
y, x = np.mgrid[0:4096, 0:8192].astype(np.float32)
base = (np.sin(x / 300) + np.cos(y / 211) + 2) / 4
grey = np.clip((base + np.random.default_rng(1).normal(0, 0.002, base.shape)) * 65535, 0, 65535).astype(np.uint16)
tifffile.imwrite(sys.argv[1], np.stack([grey, grey, grey], axis=2), photometric="rgb")
PYTHON
cat "$S" >/dev/null
"$CLI" tif "$S" "$WORK/k.png" >/dev/null
PNGBYTES=$(stat -c %s "$WORK/k.png")

# name|command pairs, run in turn RUNS times; each name's times go to WORK/times.NAME.
set -- \
    "png.kelvarin|'$CLI' tif '$S' '$WORK/k.png'" \
    "png.vips|vips bandmean '$S' '$WORK/v.png'" \
    "png.floor|'$TOOL' floor '$S' $PNGBYTES '$WORK/floor.out'" \
    "png.durable|'$TOOL' floor '$S' $PNGBYTES '$WORK/floor.out' sync" \
    "tmpfs.plain|'$CLI' tif '$S' '$SHM/k.tif'" \
    "tmpfs.size|'$CLI' --size 4097 tif '$S' '$SHM/ks.tif'" \
    "tmpfs.floor|'$TOOL' floor '$S' $((4097 * 4097 * 2 + 302)) '$SHM/floor.out'" \
    "tmpfs.vips|vips resize '$S' '$SHM/vs.tif' 0.5001220703125 --vscale 1.000244140625"
interleave "$@"
for CASE in "$@"; do printf '%-16s %8.3f s\n' "${CASE%%|*}" "$(median "${CASE%%|*}")"; done
K=$(median png.kelvarin); V=$(median png.vips)
echo "PNG: vips / kelvarin $(ratio "$V" "$K")x (goal >= 5), kelvarin / durable floor" \
    "$(ratio "$K" "$(median png.durable)")x, / plain floor $(ratio "$K" "$(median png.floor)")x"
echo "PNG sizes: kelvarin $(stat -c %s "$WORK/k.png") bytes, vips $(stat -c %s "$WORK/v.png") bytes"
KS=$(median tmpfs.size)
echo "--size 4097 on tmpfs / plain conversion there: $(ratio "$KS" "$(median tmpfs.plain)")x (goal <= 2.5)," \
    "/ floor there $(ratio "$KS" "$(median tmpfs.floor)")x, vips resize / kelvarin $(ratio "$(median tmpfs.vips)" "$KS")x"
rm -f "$WORK/floor.out" "$SHM/floor.out" "$SHM/k.tif" "$SHM/ks.tif" "$SHM/vs.tif"
