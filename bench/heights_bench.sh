#!/bin/sh
# Times elevation files through File > Open... (`kelvarin-cli open SRC OUT.tif`): a 3601 x 3601
# SRTM .hgt tile and an 8192 x 8192 Float32 GeoTIFF with a no-data value, against the command a
# user would run instead, `gdal_translate -ot UInt16 -scale` (which also finds the range in a
# pass of its own). Medians of KELVARIN_BENCH_RUNS (5) runs, interleaved by hyperfine, wall clock,
# page cache warm; ratios are KELVARIN's time over GDAL's: under 0.5 is the goal. Peak RssAnon
# (the program's own memory, apart from mapped pages) of one KELVARIN run each.
# Run by hand:  bench/heights_bench.sh [WORKDIR]   (needs python3-gdal, gdal-bin, hyperfine, bc)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=${1:-/tmp/kelvarin-heights-bench}
RUNS=${KELVARIN_BENCH_RUNS:-5}
mkdir -p "$WORK"
# KELVARIN_CLI names a Release kelvarin-cli built already; otherwise one is built here.
CLI=${KELVARIN_CLI:-}
if [ -z "$CLI" ]; then
    cmake -S "$ROOT" -B "$ROOT/build-release" -DCMAKE_BUILD_TYPE=Release -DKELVARIN_BUILD_TESTS=OFF >/dev/null
    cmake --build "$ROOT/build-release" -j2 --target kelvarin-cli >/dev/null
    CLI=$ROOT/build-release/kelvarin-cli
fi

/usr/bin/python3 - "$WORK" <<'PYTHON'
import sys
import numpy as np
from osgeo import gdal
work = sys.argv[1]
rng = np.random.default_rng(3)
def surface(side, low, high):
    y, x = np.mgrid[0:side, 0:side].astype(np.float32)
    s = np.sin(x / 300) * np.cos(y / 211) + rng.normal(0, 0.01, (side, side)).astype(np.float32)
    return low + (s - s.min()) / (s.max() - s.min()) * (high - low)
tile = np.rint(surface(3601, 200, 4200)).astype(np.int16)
tile[100:140, 200:260] = -32768
mem = gdal.GetDriverByName("MEM").Create("", 3601, 3601, 1, gdal.GDT_Int16)
mem.SetGeoTransform((6 - 0.5 / 3600, 1 / 3600, 0, 46 + 0.5 / 3600, 0, -1 / 3600))
mem.SetProjection("EPSG:4326")
mem.GetRasterBand(1).SetNoDataValue(-32768)
mem.GetRasterBand(1).WriteArray(tile)
gdal.GetDriverByName("SRTMHGT").CreateCopy(f"{work}/N45E006.hgt", mem)
dem = surface(8192, -12.5, 2950.25).astype(np.float32)
dem[5000:5100, 300:400] = -3.4e38
ds = gdal.GetDriverByName("GTiff").Create(f"{work}/dem32.tif", 8192, 8192, 1, gdal.GDT_Float32)
ds.SetGeoTransform((300000, 1, 0, 5000000, 0, -1))
ds.GetRasterBand(1).SetNoDataValue(-3.4e38)
ds.GetRasterBand(1).WriteArray(dem)
ds = None
PYTHON

median() {  # median NAME COMMAND: hyperfine's median in seconds
    hyperfine -N --style none --warmup 1 --runs "$RUNS" --export-json "$WORK/$1.json" "$2" >/dev/null 2>&1
    /usr/bin/python3 -c "import json,sys; print('%.3f' % json.load(open(sys.argv[1]))['results'][0]['median'])" \
        "$WORK/$1.json"
}
rssanon() {  # the peak RssAnon of a KELVARIN run, in KiB, sampled every 10 ms
    "$@" >/dev/null 2>&1 &
    pid=$!
    peak=0
    while kill -0 "$pid" 2>/dev/null; do
        v=$(awk '/RssAnon/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
        [ "${v:-0}" -gt "$peak" ] && peak=$v
        sleep 0.01
    done
    echo "$peak"
}
printf '%-14s %10s %10s %8s %14s\n' source KELVARIN gdal /gdal RssAnon-KiB
for source in N45E006.hgt dem32.tif; do
    k=$(median "k-$source" "$CLI open $WORK/$source $WORK/out-k.tif")
    g=$(median "g-$source" "gdal_translate -q -ot UInt16 -scale $WORK/$source $WORK/out-g.tif")
    r=$(rssanon "$CLI" open "$WORK/$source" "$WORK/out-k.tif")
    printf '%-14s %10s %10s %8s %14s\n' "$source" "$k" "$g" "$(echo "scale=2; $k / $g" | bc)" "$r"
done
