#!/bin/sh
# What the report costs: one kelvarin-cli binary, each conversion run with the report counted (as
# always) and with KELVARIN_REPORT=0 (nothing counted, the same output bytes), the two runs
# alternating so that both see the same machine. Sources: 48-bit TIFF (default and --boost), 96-bit
# float TIFF, Radiance. Prints the median wall-clock and CPU (user + system) seconds of each and
# the ratios with / without, with the load average before and after.
#
# Run by hand:  bench/report_bench.sh [WORKDIR]   (needs numpy+tifffile, ImageMagick's convert)
#   KELVARIN_BENCH_SIZE (default 4096) sets the TIFFs' side (the Radiance file is SIZE x SIZE/2);
#   KELVARIN_BENCH_RUNS (default 11) the runs of each; KELVARIN_BENCH_CLI another binary to time.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=${1:-/tmp/kelvarin-report-bench}
SIZE=${KELVARIN_BENCH_SIZE:-4096}
RUNS=${KELVARIN_BENCH_RUNS:-11}
PY=/usr/bin/python3
mkdir -p "$WORK"

CLI=${KELVARIN_BENCH_CLI:-}
if [ -z "$CLI" ]; then
    cmake -S "$ROOT" -B "$ROOT/build-release" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
        -DKELVARIN_BUILD_TESTS=OFF >/dev/null
    cmake --build "$ROOT/build-release" -j2 --target kelvarin-cli >/dev/null
    CLI=$ROOT/build-release/kelvarin-cli
fi

# Sources as the TIFF and Radiance benches make them.
for KIND in 48 96f; do $PY "$ROOT/bench/make_tiff_source.py" "$WORK" "$SIZE" "$KIND"; done
HDR=$WORK/plasma_$SIZE.hdr
[ -s "$HDR" ] || convert -seed 1 -size "${SIZE}x$((SIZE / 2))" plasma:fractal "$HDR"
for S in "$WORK"/src48_"$SIZE".tif "$WORK"/src96f_"$SIZE".tif "$HDR"; do cat "$S" >/dev/null; done

$PY - "$CLI" "$WORK" "$SIZE" "$RUNS" <<'PYEOF'
import os, resource, statistics, subprocess, sys, time
cli, work, n, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
cases = [
    ("48-bit TIFF", ["tif", f"{work}/src48_{n}.tif"]),
    ("48-bit TIFF --boost", ["--boost", "tif", f"{work}/src48_{n}.tif"]),
    ("96-bit float TIFF", ["tif", f"{work}/src96f_{n}.tif"]),
    ("Radiance", ["hdr", f"{work}/plasma_{n}.hdr"]),
]
out = os.path.join(work, "out.tif")

def timed(args, report):
    env = dict(os.environ)
    env.pop("KELVARIN_REPORT", None)
    if not report:
        env["KELVARIN_REPORT"] = "0"
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run([cli] + args + [out], env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu

print(f"{cli}, {n} x {n} TIFFs, {runs} runs of each, alternating; load average before: "
      + " ".join(open("/proc/loadavg").read().split()[:3]))
print(f"  {'':22} {'without':>19} {'with report':>19}   ratio wall   ratio cpu")
for name, args in cases:
    timed(args, True)  # one run to warm up
    samples = {True: [], False: []}
    for _ in range(runs):
        for report in (False, True):
            samples[report].append(timed(args, report))
    med = {r: (statistics.median(w for w, _ in s), statistics.median(c for _, c in s)) for r, s in samples.items()}
    (w0, c0), (w1, c1) = med[False], med[True]
    print(f"  {name:22} {w0:7.3f} s {c0:5.3f} cpu {w1:7.3f} s {c1:5.3f} cpu   {w1 / w0:10.3f}   {c1 / c0:9.3f}")
os.remove(out)
print("load average after: " + " ".join(open("/proc/loadavg").read().split()[:3]))
PYEOF
