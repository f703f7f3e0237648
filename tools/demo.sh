#!/usr/bin/env bash
# Builds kelvarin-cli and converts the bundled samples, printing each job's status log.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages "${BUILD_PACKAGES[@]}"
ensure_tools cmake g++ make

cmake -S "$ROOT" -B "$ROOT/build/demo" -DCMAKE_BUILD_TYPE=Release -DKELVARIN_BUILD_TESTS=OFF >/dev/null
cmake --build "$ROOT/build/demo" -j"$JOBS" --target kelvarin-cli >/dev/null
CLI="$ROOT/build/demo/kelvarin-cli"
OUT="$ROOT/out/demo"
mkdir -p "$OUT"
S="$ROOT/samples"

status=0
demo() {
    echo
    echo "### kelvarin-cli $*"
    "$CLI" "$@" || status=1
}
demo tif "$S/render48.tif" "$OUT/render48-grey.tif"
demo --boost --weighting hdtv tif "$S/render48.tif" "$OUT/render48-boosted.tif"
demo hdr "$S/sky.hdr" "$OUT/sky-grey.tif"
demo pgm "$S/ridge.pgm" "$OUT/ridge.tif"
demo raw "$S/valley.raw" "$OUT/valley.tif"
demo bin "$S/crater.bin" "$S/crater.hdr" "$OUT/crater.tif"
demo --te-raw tif "$OUT/render48-grey.tif" "$OUT/render48-grey.raw"
# For game engines: a 16-bit PNG at an engine size, with the report of what was written.
demo --size 513 --report "$OUT/render48-513.json" tif "$S/render48.tif" "$OUT/render48-513.png"
echo
echo "Outputs in $OUT:"
ls -l "$OUT"
exit $status
