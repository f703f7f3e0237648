#!/usr/bin/env python3
"""Checks a report's JSON against figures computed here with numpy from the samples themselves.

usage: report_reference.py REPORT.json OUTPUT_NAME.txt SAMPLES.u16 WIDTH LENGTH [SAMPLES WIDTH LENGTH]...
One sample set: REPORT.json is one report object. Several (a terrain set): {"tiles": [...]}, one
object per set in order. SAMPLES files hold uint16 little-endian samples in row order,
or are the written TIFFs themselves (NAME.tif, read with tifffile); OUTPUT_NAME.txt holds (UTF-8)
the "output" text every object must carry, or one line per set. The JSON is read as
strict UTF-8. Prints each difference; the exit status is 1 when there is one.
"""
import json
import sys

import numpy as np


def expected_codes(v):
    """The warnings the figures call for, derived here from the rules, not from the program."""
    lo, hi, n = int(v.min()), int(v.max()), v.size
    codes = []
    if len(np.unique(v)) < 1024:
        codes.append("terraces")
    if hi - lo < 16384:
        codes.append("narrow-range")
    if 100 * int((v == 0).sum()) > n or 100 * int((v == 65535).sum()) > n:
        codes.append("clipped")
    return codes


def check(report, samples, width, length, output, where):
    problems = []
    if samples.endswith(".tif"):
        import tifffile

        v = tifffile.imread(samples).astype(np.uint16).ravel()
    else:
        v = np.fromfile(samples, dtype="<u2")

    def same(key, value):
        if report.get(key) != value:
            problems.append(f"{where}{key}: {report.get(key)!r}, numpy {value!r}")

    if v.size != width * length:
        problems.append(f"{where}{v.size} samples for {width} x {length}")
    same("output", output)
    same("width", width)
    same("length", length)
    same("min", int(v.min()))
    same("max", int(v.max()))
    mean = float(v.astype(np.float64).mean())
    if not isinstance(report.get("mean"), float | int) or abs(report["mean"] - mean) > 1e-9 * max(1.0, mean):
        problems.append(f"{where}mean: {report.get('mean')!r}, numpy {mean!r}")
    same("distinct_levels", int(len(np.unique(v))))
    same("range_used", (int(v.max()) - int(v.min()) + 1) / 65536)
    same("at_zero", int((v == 0).sum()))
    same("at_full", int((v == 65535).sum()))
    same("histogram", [int(n) for n in np.bincount(v >> 8, minlength=256)])
    warnings = report.get("warnings", [])
    codes = [w.get("code") for w in warnings]
    if codes != expected_codes(v):
        problems.append(f"{where}warnings {codes}, expected {expected_codes(v)}")
    if any(not isinstance(w.get("text"), str) or len(w["text"]) < 20 for w in warnings):
        problems.append(f"{where}a warning without its sentence")
    source = report.get("source")
    if not isinstance(source, dict) or not {"kind", "bits_per_sample", "sample_format", "analysis"} <= source.keys():
        problems.append(f"{where}source: {source!r}")
    return problems


def main():
    report_path, output_path, *sets = sys.argv[1:]
    with open(report_path, encoding="utf-8", errors="strict") as f:
        report = json.load(f)
    with open(output_path, encoding="utf-8") as f:
        outputs = f.read().split("\n")
    sets = [(sets[i], int(sets[i + 1]), int(sets[i + 2])) for i in range(0, len(sets), 3)]
    if len(outputs) == 1:
        outputs *= len(sets)
    if len(outputs) != len(sets):
        problems = [f"{len(outputs)} output names for {len(sets)} sample sets"]
    elif len(sets) == 1:
        problems = check(report, *sets[0], outputs[0], "")
    elif list(report.keys()) != ["tiles"] or len(report["tiles"]) != len(sets):
        problems = [f"not {{\"tiles\": [{len(sets)} objects]}}: keys {list(report.keys())}"]
    else:
        problems = [p for i, s in enumerate(sets) for p in check(report["tiles"][i], *s, outputs[i], f"tile {i}: ")]
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
