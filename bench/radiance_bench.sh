#!/bin/sh
# Times `kelvarin-cli hdr` on an 8000 x 4000 new-RLE Radiance file in one run against the
# commands a user would run instead (grey, 16 bits, TIFF): ImageMagick's `convert` and the
# pfstools pipeline `pfsin | pfsout`. Wall-clock seconds, page cache warm; GNU time's maximum
# resident size (which counts the mapped source) beside the peak RssAnon (the program's own).
#
# Usage: bench/radiance_bench.sh [WORK_DIR]   (needs convert, pfstools, cc)
#   KELVARIN_BENCH_BASELINE=/path/to/another/kelvarin-cli adds its row, to compare in one run.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=${1:-/tmp/kelvarin-bench}
mkdir -p "$WORK"

. "$ROOT/bench/bench_common.sh"
build_bench_tools

IN="$WORK/big.hdr"
if [ ! -s "$IN" ]; then
  echo "making $IN (8000 x 4000 plasma) ..."
  convert -seed 1 -size 8000x4000 plasma:fractal "$IN"
fi
PIXELS=32000000
cat "$IN" >/dev/null

row() {
  NAME=$1
  R=$("$TOOL" run "$2") || { printf "%-24s failed: %s\n" "$NAME" "$2"; E=0; return 0; }
  set -- $R
  E=$1
  printf "%-24s %7.3f s   cpu %6.2f s   max RSS %5d MiB   peak RssAnon %6.1f MiB (%.2f bytes a pixel)\n" "$NAME" \
    "$1" "$2" $(($3 / 1024)) "$(echo "scale=1; $4 / 1024" | bc)" "$(echo "scale=2; $4 * 1024 / $PIXELS" | bc)"
}

echo "input: $IN, $(stat -c %s "$IN") bytes, $PIXELS pixels"
row "kelvarin-cli hdr" "'$CLI' hdr '$IN' '$WORK/kelvarin.tif'"; K=$E
row "kelvarin-cli --boost hdr" "'$CLI' --boost hdr '$IN' '$WORK/kelvarin.tif'"; KB=$E
row "ImageMagick convert" "convert '$IN' -colorspace gray -depth 16 '$WORK/im.tif'"; I=$E
row "pfsin | pfsout" "pfsin '$IN' | pfsout '$WORK/pfs.tif'"; P=$E
BASE=${KELVARIN_BENCH_BASELINE:-}
if [ -n "$BASE" ]; then
  row "baseline hdr" "'$BASE' hdr '$IN' '$WORK/kelvarin.tif'"; B=$E
fi
FASTEST=$I
[ "$(echo "$P > 0 && $P < $I" | bc)" = 1 ] && FASTEST=$P
echo "ImageMagick / kelvarin:  $(ratio "$I" "$K")x"
echo "pfstools / kelvarin:     $(ratio "$P" "$K")x"
echo "fastest peer / kelvarin: $(ratio "$FASTEST" "$K")x   --boost $(ratio "$FASTEST" "$KB")x (target 4x)"
[ -z "$BASE" ] || echo "baseline / kelvarin:     $(ratio "$B" "$K")x"
rm -f "$WORK/kelvarin.tif" "$WORK/im.tif" "$WORK/pfs.tif"
