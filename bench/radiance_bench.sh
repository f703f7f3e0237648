#!/bin/sh
# Times `kelvarin-cli hdr` on an 8000 x 4000 new-RLE Radiance file against ImageMagick and
# pfstools doing the same job (grey, 16 bits, TIFF), in one run, and reports kelvarin's peak memory.
#
# Usage: bench/radiance_bench.sh [BUILD_DIR] [WORK_DIR]
#   BUILD_DIR  a Release build (default build-release, made with -O2 when missing)
#   WORK_DIR   where the input and outputs go (default /tmp/kelvarin-bench)
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build-release}
WORK=${2:-/tmp/kelvarin-bench}
mkdir -p "$WORK"

if [ ! -x "$BUILD/kelvarin-cli" ]; then
  cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DKELVARIN_BUILD_TESTS=OFF >/dev/null
  cmake --build "$BUILD" -j2 --target kelvarin-cli >/dev/null
fi

IN="$WORK/big.hdr"
if [ ! -s "$IN" ]; then
  echo "making $IN (8000 x 4000 plasma) ..."
  convert -seed 1 -size 8000x4000 plasma:fractal "$IN"
fi
SIZE=$(stat -c %s "$IN")
PIXELS=32000000

# seconds and peak resident kilobytes of a command
measure() {
  /usr/bin/time -f "%e %M" -o "$WORK/time.txt" sh -c "$1" >/dev/null 2>&1
  cat "$WORK/time.txt"
}

set -- $(measure "'$BUILD/kelvarin-cli' hdr '$IN' '$WORK/kelvarin.tif'")
K_T=$1; K_M=$2
set -- $(measure "convert '$IN' -colorspace gray -depth 16 '$WORK/im.tif'")
I_T=$1; I_M=$2
if command -v pfsin >/dev/null; then
  set -- $(measure "pfsin '$IN' | pfsout '$WORK/pfs.tif'")
  P_T=$1; P_M=$2
else
  P_T=0; P_M=0
fi

echo "input: $IN, $SIZE bytes, $PIXELS pixels"
printf "%-22s %8s s  peak %8s KiB\n" "kelvarin-cli hdr" "$K_T" "$K_M" "ImageMagick convert" "$I_T" "$I_M" \
  "pfsin | pfsout" "$P_T" "$P_M"
awk -v k="$K_T" -v i="$I_T" -v p="$P_T" -v m="$K_M" -v s="$SIZE" -v n="$PIXELS" 'BEGIN {
  printf "ImageMagick / kelvarin: %.2fx\n", i / k
  if (p > 0) printf "pfstools / kelvarin:    %.2fx\n", p / k
  fastest = (p > 0 && p < i) ? p : i
  printf "fastest peer / kelvarin: %.2fx (target 3x)\n", fastest / k
  printf "kelvarin peak: %.2f bytes per pixel; budget 9 per pixel + the file = %.2f per pixel: %s\n", \
    m * 1024 / n, 9 + s / n, (m * 1024 <= 9 * n + s) ? "within" : "OVER"
}'
/usr/bin/time -v "$BUILD/kelvarin-cli" hdr "$IN" "$WORK/kelvarin.tif" 2>&1 >/dev/null | \
  grep -E "Elapsed|Maximum resident"
