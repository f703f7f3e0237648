#!/usr/bin/env python3
"""Makes RGB TIFF sources with real writers (tifffile, libtiff's tiffcp, ImageMagick) and the grey
values each option set must give, computed here independently with numpy in x87 extended precision.

usage: tiff_reference.py DIR
Writes the sources and DIR/<case>.grey (uint16 little-endian) files, and DIR/manifest.txt with one
line per case: source|expected|CLI options.
"""
import os
import shutil
import subprocess
import sys

import numpy as np
import tifffile

LD = np.longdouble
F32 = np.float32
COEFFS = {"tv": (F32(0.587), F32(0.299), F32(0.114)), "hdtv": (F32(0.7152), F32(0.2126), F32(0.0722))}

OPTION_SETS = [
    "",
    "--weighting tv",
    "--weighting hdtv",
    "--weighting red",
    "--weighting green --invert",
    "--weighting blue --swap",
    "--boost",
    "--boost --invert --x2",
    "--boost --x2 --x4",
    "--posterise 4",
    "--boost --posterise 12 --weighting tv",
    "--posterise 8 --invert --x4 --weighting hdtv --swap",
    "--boost --weighting hdtv --x4",
]


def parse(options):
    words = options.split()
    o = {"weighting": "average", "boost": False, "invert": False, "x2": False, "x4": False, "posterise": 0}
    i = 0
    while i < len(words):
        w = words[i]
        if w == "--weighting":
            o["weighting"] = words[i + 1]
            i += 1
        elif w == "--posterise":
            o["posterise"] = int(words[i + 1])
            i += 1
        elif w != "--swap":
            o[w[2:]] = True
        i += 1
    return o


def weigh(weighting, r, g, b):
    """The weighted grey in extended precision, terms in the documented order."""
    if weighting == "average":
        return (g + r + b) / LD(3)
    if weighting in COEFFS:
        cg, cr, cb = (LD(c) for c in COEFFS[weighting])
        return cg * g + cr * r + cb * b
    return {"red": r, "green": g, "blue": b}[weighting]


def integer_grey(pixels, bits, o):
    r, g, b = (pixels[..., k].astype(np.uint64).astype(LD) for k in range(3))
    if bits == 8:
        r, g, b = r * 256, g * 256, b * 256
    grey = np.rint(weigh(o["weighting"], r, g, b))
    grey = np.minimum(grey, LD(4294967295)).astype(np.uint64)
    fstop = (2 if o["x2"] else 1) * (4 if o["x4"] else 1)
    step = 65535 // o["posterise"] if o["posterise"] else 0
    if o["boost"] or step:
        high = max(0, int(grey.max()))
        low = min(65535, int(grey.min()))
        with np.errstate(divide="ignore", invalid="ignore"):
            boost = np.float64(65535) / (np.float64(high) - np.float64(low))
            diff = ((grey - np.uint64(low)) % np.uint64(2 ** 32)).astype(LD)
            value = LD(boost) * diff * LD(fstop)
        out = np.where(np.isnan(value), LD(0), np.rint(value))
        out = np.minimum(out, LD(65535)).astype(np.int64)
        if step:
            out = np.minimum(out // step * step, 65535)
    else:
        out = np.minimum(grey, np.uint64(65535)).astype(np.int64)
    if o["invert"]:
        out = 65535 - out
    return (out & 0xFFFF).astype("<u2")


def float_grey(pixels, o):
    r, g, b = (pixels[..., k].astype(F32).astype(LD) for k in range(3))
    grey = weigh(o["weighting"], r, g, b).astype(F32)
    high = F32(LD(F32(8.1)) ** LD(-37))
    low = F32(LD(F32(3.1)) ** LD(38))
    finite = grey[~np.isnan(grey)]
    if finite.size:
        high = max(high, finite.max())
        low = min(low, finite.min())
    rng = F32(LD(high) - LD(low))
    with np.errstate(divide="ignore", invalid="ignore", over="ignore"):
        boost = np.float64(LD(65535) * (LD(1) / LD(rng)))
        fstop = LD((2 if o["x2"] else 1) * (4 if o["x4"] else 1))
        step = 65535 // o["posterise"] if o["posterise"] else 0
        shifted = (grey.astype(LD) - LD(low)).astype(F32)
        if o["boost"] or step:
            v = (shifted.astype(LD) / LD(rng)).astype(F32)
            v = (v.astype(LD) ** LD(F32(1 / 1.6))).astype(F32)
            out = (LD(65535) * v.astype(LD) * fstop).astype(F32)
        else:
            out = (LD(boost) * shifted.astype(LD) * fstop).astype(F32)
    out = np.where(out <= F32(65535), out, F32(65535))
    out = np.where(out >= F32(0), out, F32(0))
    if step:
        n = np.rint(out).astype(np.int64)
        out = np.minimum(n // step * step, 65535).astype(F32)
    if o["invert"]:
        out = (LD(65535) - out.astype(LD)).astype(F32)
    return np.rint(out).astype(np.int64).astype("<u2")


def terrain(h, w, seed):
    """A smooth image with some noise: ridges, a slope and speckles."""
    y, x = np.mgrid[0:h, 0:w].astype(np.float64)
    base = 0.5 + 0.25 * np.sin(x / 7.0) * np.cos(y / 5.0) + 0.2 * (x + y) / (w + h)
    rng = np.random.default_rng(seed)
    return np.clip(base + rng.normal(0, 0.05, (h, w)), 0, 1)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    h, w = 23, 37
    t = np.stack([terrain(h, w, s) for s in (1, 2, 3)], axis=-1)
    rgb8 = (t * 255).round().astype(np.uint8)
    rgb16 = (t * 65535).round().astype(np.uint16)
    rgb16[0, 0] = (0, 0, 0)
    rgb16[0, 1] = (65535, 65535, 65535)
    rgb32 = (t * 70000).round().astype(np.uint32)
    rgb32[1, :3] = ((4294967295, 4294967295, 4294967295), (4294967295, 0, 1), (65537, 65537, 65537))
    rgbf = ((t - 0.3) * 3.5).astype(np.float32)
    rgbf[2, 2] = (np.float32(1e-3), np.float32(2.5), np.float32(-1.25))
    uniform = np.full((9, 11, 3), 1234, np.uint16)
    uniformf = np.full((9, 11, 3), 0.75, np.float32)

    sources = {}

    def tf(name, data, **kw):
        path = os.path.join(out, name)
        tifffile.imwrite(path, data, photometric="rgb", **kw)
        sources[name] = path

    tf("tf24_ii.tif", rgb8)
    tf("tf24_mm_strips.tif", rgb8, byteorder=">", rowsperstrip=4)
    tf("tf48_ii.tif", rgb16)
    tf("tf48_mm.tif", rgb16, byteorder=">")
    tf("tf48_ii_strips.tif", rgb16, rowsperstrip=5)
    tf("tf96f_ii.tif", rgbf)
    tf("tf96f_mm.tif", rgbf, byteorder=">")
    tf("tf96f_ii_strips.tif", rgbf, rowsperstrip=2)
    tf("tf96i_ii.tif", rgb32)
    tf("tf96i_mm_strips.tif", rgb32, byteorder=">", rowsperstrip=6)
    tf("tf48_uniform.tif", uniform)
    tf("tf96f_uniform.tif", uniformf)

    if shutil.which("tiffcp"):
        for name, src, extra in (("tc48_rows3.tif", "tf48_ii.tif", ["-r", "3"]),
                                 ("tc96f_mm_rows4.tif", "tf96f_ii.tif", ["-B", "-r", "4"]),
                                 ("tc24_rows7.tif", "tf24_ii.tif", ["-r", "7"])):
            path = os.path.join(out, name)
            subprocess.run(["tiffcp", "-c", "none", *extra, sources[src], path], check=True)
            sources[name] = path
    if shutil.which("convert"):
        for name, args in (("im48.tif", ["-depth", "16"]),
                           ("im96f.tif", ["-define", "quantum:format=floating-point", "-depth", "32"]),
                           ("im24.tif", ["-depth", "8"])):
            path = os.path.join(out, name)
            # Some ImageMagick builds complain about the Predictor tag of a float TIFF and exit
            # with 1 after writing a good file; the file is what counts.
            subprocess.run(["convert", "-size", "41x29", "gradient:#204060-#f0c080", "-swirl", "90",
                            "-type", "TrueColor", "-compress", "none", *args, path],
                           stderr=subprocess.DEVNULL)
            if os.path.exists(path):
                sources[name] = path

    with open(os.path.join(out, "manifest.txt"), "w") as manifest:
        for name, path in sorted(sources.items()):
            with tifffile.TiffFile(path) as tif:
                page = tif.pages[0]
                pixels = page.asarray()
                bits = page.bitspersample
                floating = page.sampleformat == 3
            for k, options in enumerate(OPTION_SETS):
                o = parse(options)
                grey = float_grey(pixels, o) if floating else integer_grey(pixels, bits, o)
                expected = os.path.join(out, "%s.%d.grey" % (name, k))
                grey.tofile(expected)
                manifest.write("%s|%s|%s\n" % (path, expected, options))


if __name__ == "__main__":
    main()
