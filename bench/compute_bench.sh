#!/bin/sh
# The conversion's own compute, with no disk under it: 6144 x 6144 48-bit and 96-bit float TIFFs
# on tmpfs, converted there (default and --boost), against the plain floor there (read the
# source, write the result's bytes), and the same 48-bit image as a PNG (whose pixels cost an
# inflate each time they are read). Each analysing job also runs with KELVARIN_HELD_MIB=0, which
# makes the conversion read the source again instead of taking the greys the analysis kept: the
# two in one run show what keeping them saves. Wall clock, the commands interleaved run by run,
# medians of KELVARIN_BENCH_RUNS (11) runs. (tiff_bench.sh has vips beside the same TIFFs; run
# between these commands, it made every time here longer, the floors' too.)
# Run by hand:  bench/compute_bench.sh [TMPFS_WORKDIR]   (needs numpy+tifffile, ImageMagick, cc, bc)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=${1:-/dev/shm/kelvarin-compute-bench}
RUNS=${KELVARIN_BENCH_RUNS:-11}
N=6144
PY=/usr/bin/python3
mkdir -p "$WORK"

. "$ROOT/bench/bench_common.sh"
build_bench_tools
for KIND in 48 96f; do $PY "$ROOT/bench/make_tiff_source.py" "$WORK" $N $KIND; done
I=$WORK/src48_$N.tif F=$WORK/src96f_$N.tif P=$WORK/src48_$N.png
[ -e "$P" ] || convert "$I" "$P"
OUTBYTES=$((N * N * 2 + 302))
cat "$I" "$F" "$P" >/dev/null

# name|command pairs, run in turn RUNS times; each name's times go to WORK/times.NAME.
set -- \
    "floor48|'$TOOL' floor '$I' $OUTBYTES '$WORK/floor.out'" \
    "plain48|'$CLI' tif '$I' '$WORK/k.tif'" \
    "boost48|'$CLI' --boost tif '$I' '$WORK/k.tif'" \
    "boost48.reread|env KELVARIN_HELD_MIB=0 '$CLI' --boost tif '$I' '$WORK/k.tif'" \
    "floorf|'$TOOL' floor '$F' $OUTBYTES '$WORK/floor.out'" \
    "float|'$CLI' tif '$F' '$WORK/k.tif'" \
    "float.reread|env KELVARIN_HELD_MIB=0 '$CLI' tif '$F' '$WORK/k.tif'" \
    "floatboost|'$CLI' --boost tif '$F' '$WORK/k.tif'" \
    "floatboost.reread|env KELVARIN_HELD_MIB=0 '$CLI' --boost tif '$F' '$WORK/k.tif'" \
    "png|'$CLI' open '$P' '$WORK/k.tif'" \
    "pngboost|'$CLI' --boost open '$P' '$WORK/k.tif'" \
    "pngboost.reread|env KELVARIN_HELD_MIB=0 '$CLI' --boost open '$P' '$WORK/k.tif'"
interleave "$@"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
for CASE in "$@"; do printf '%-18s %8.3f s\n' "${CASE%%|*}" "$(median "${CASE%%|*}")"; done
F48=$(median floor48) FF=$(median floorf)
printf '%-22s %6s %8s %6s\n' "job / plain floor" now reread goal
printf '%-22s %6s\n' "48-bit" "$(ratio "$(median plain48)" "$F48")"
printf '%-22s %6s %8s %6s\n' "48-bit Boost" "$(ratio "$(median boost48)" "$F48")" "$(ratio "$(median boost48.reread)" "$F48")" 1.4
printf '%-22s %6s %8s %6s\n' "96-bit float" "$(ratio "$(median float)" "$FF")" "$(ratio "$(median float.reread)" "$FF")" 1.6
printf '%-22s %6s %8s %6s\n' "96-bit float Boost" "$(ratio "$(median floatboost)" "$FF")" \
    "$(ratio "$(median floatboost.reread)" "$FF")" 1.8
echo "48-bit PNG: Boost / plain $(ratio "$(median pngboost)" "$(median png)")x," \
    "reading again $(ratio "$(median pngboost.reread)" "$(median png)")x"
rm -f "$WORK/floor.out" "$WORK/k.tif"
