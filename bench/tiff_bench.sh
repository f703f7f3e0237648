#!/bin/sh
# Times `kelvarin-cli tif` in one run against the I/O floor and against `vips bandmean SRC DEST`,
# the one command a user would run instead (average of the three channels, same sample type):
#   48-bit, 6144 x 6144 and 8192 x 8192; 96-bit float, 8192 x 8192; each default and --boost.
# The floor is bench_tool.c: read the source, write the output's number of bytes ("floor"), and
# the same with the destination synced to the disk ("floor+sync"), which every complete
# destination here pays before it takes its name. Ratios use wall-clock seconds (page cache warm).
# Memory: GNU time's maximum resident size counts the source's mapped pages (page cache); the
# peak RssAnon beside it is the program's own memory.
#
# Run by hand:  bench/tiff_bench.sh [WORKDIR]   (needs numpy+tifffile, vips, cc)
#   KELVARIN_BENCH_BASELINE=/path/to/another/kelvarin-cli adds its rows, to compare in one run.
#   KELVARIN_BENCH_SIZES="6144:48 8192:48 8192:96f" picks the sources.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=${1:-/tmp/kelvarin-bench}
SIZES=${KELVARIN_BENCH_SIZES:-"6144:48 8192:48 8192:96f"}
PY=/usr/bin/python3
mkdir -p "$WORK"

. "$ROOT/bench/bench_common.sh"
build_bench_tools

# Sources, filled band by band through a memory map so making them needs little memory.
for SPEC in $SIZES; do
    $PY "$ROOT/bench/make_tiff_source.py" "$WORK" "${SPEC%%:*}" "${SPEC#*:}"
done

# Prints one row and leaves "elapsed" in $E.
row() {
    NAME=$1
    R=$("$TOOL" run "$2") || { printf "  %-28s failed: %s\n" "$NAME" "$2"; E=0; return 0; }
    set -- $R
    E=$1
    printf "  %-28s %7.3f s   cpu %6.2f s   max RSS %5d MiB   peak RssAnon %6.1f MiB\n" "$NAME" "$1" "$2" $(($3 / 1024)) \
        "$(echo "scale=1; $4 / 1024" | bc)"
}

for SPEC in $SIZES; do
    N=${SPEC%%:*}; KIND=${SPEC#*:}
    S=$WORK/src${KIND}_$N.tif
    OUTBYTES=$((N * N * 2 + 302))
    cat "$S" >/dev/null  # the same warm page cache for everybody
    echo "== $KIND-bit ${N}x$N ($(du -m "$S" | cut -f1) MiB)"
    row "floor (read + write)" "'$TOOL' floor '$S' $OUTBYTES '$WORK/floor.out'"; FL=$E
    row "floor+sync" "'$TOOL' floor '$S' $OUTBYTES '$WORK/floor.out' sync"; FS=$E
    row "kelvarin-cli tif" "'$CLI' tif '$S' '$WORK/k.tif'"; K=$E
    row "kelvarin-cli --boost tif" "'$CLI' --boost tif '$S' '$WORK/kb.tif'"; KB=$E
    row "vips bandmean" "vips bandmean '$S' '$WORK/v.tif'"; V=$E
    BASE=${KELVARIN_BENCH_BASELINE:-}
    if [ -n "$BASE" ]; then
        row "baseline tif" "'$BASE' tif '$S' '$WORK/k.tif'"; BT=$E
        row "baseline --boost tif" "'$BASE' --boost tif '$S' '$WORK/kb.tif'"; BB=$E
    fi
    echo "  kelvarin / floor:       $(ratio "$K" "$FL")x   --boost $(ratio "$KB" "$FL")x"
    echo "  kelvarin / floor+sync:  $(ratio "$K" "$FS")x   --boost $(ratio "$KB" "$FS")x"
    echo "  vips / kelvarin:        $(ratio "$V" "$K")x"
    [ -z "$BASE" ] || echo "  baseline / kelvarin:    $(ratio "$BT" "$K")x   --boost $(ratio "$BB" "$KB")x"
    rm -f "$WORK/k.tif" "$WORK/kb.tif" "$WORK/v.tif" "$WORK/floor.out"
done
