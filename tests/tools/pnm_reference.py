#!/usr/bin/env python3
"""Makes netpbm and PFM sources with real writers and the samples a reader must give for each.

PNM files come from netpbm (pgmnoise, rgb3toppm, pamdepth, pgmtopbm, pnmtoplainpnm) and
ImageMagick; their samples are read back by netpbm (pamtable), and those of the bitmaps by
ImageMagick as well (white 255, black 0). PFM files are written with numpy, in both byte orders.

usage: pnm_reference.py DIR
Writes the sources, DIR/<case>.ref (native-order samples, top row first: 8-bit below maxval 256,
else 16-bit; float32 for PFM) and DIR/manifest.txt: source|reference|width|height|channels|bits|maxval.
"""
import subprocess
import sys

import numpy as np

out = sys.argv[1]
rng = np.random.default_rng(11)
manifest = []


def run(command, stdin=None):
    return subprocess.run(command, input=stdin, stdout=subprocess.PIPE, check=True).stdout


def netpbm_samples(data):
    """The samples of a PNM as netpbm reads them (pamtable: black 0 and white 1 in a bitmap)."""
    words = run(["pamfile", "-machine"], data).split()
    width, height, channels, maxval = (int(w) for w in words[-5:-1])
    table = run(["pamtable"], data).decode().replace("|", " ").split()
    return width, height, channels, maxval, np.array([int(w) for w in table])


def add(name, data, expect=None):
    with open(f"{out}/{name}", "wb") as f:
        f.write(data)
    if expect is None:
        width, height, channels, maxval, samples = netpbm_samples(data)
    else:
        width, height, channels, maxval, samples = expect
    bits = 8 if maxval < 256 else 16
    samples = samples.astype(np.uint8 if bits == 8 else np.uint16)
    assert samples.size == width * height * channels
    samples.tofile(f"{out}/{name}.ref")
    manifest.append(f"{name}|{name}.ref|{width}|{height}|{channels}|{bits}|{maxval}")


def noise(width, height, maxval):
    return run(["pgmnoise", str(width), str(height), "-randomseed", str(rng.integers(1, 1 << 30)),
                "-maxval", str(maxval)])


def ppm(width, height, maxval):
    parts = []
    for colour in "rgb":
        path = f"{out}/part_{colour}.pgm"
        with open(path, "wb") as f:
            f.write(noise(width, height, maxval))
        parts.append(path)
    return run(["rgb3toppm", *parts])


def with_comments(data):
    """The header with a comment after every word but the last, whose one blank starts the raster
    (netpbm writes none)."""
    text = bytearray()
    words, at = 0, 0
    wanted = 3 if data[:2] in (b"P1", b"P4") else 4
    while words < wanted:
        while data[at:at + 1].isspace():
            at += 1
        start = at
        while not data[at:at + 1].isspace():
            at += 1
        words += 1
        text += data[start:at] + (b" # comment " + str(words).encode() + b"\n" if words < wanted else b"")
    return bytes(text) + data[at:]


for maxval in (1, 7, 255, 256, 1023, 65535):
    for width, height in ((1, 1), (37, 23), (5, 64)):
        grey = noise(width, height, maxval)
        colour = ppm(width, height, maxval)
        add(f"grey_{maxval}_{width}x{height}.pgm", grey)
        add(f"grey_{maxval}_{width}x{height}_plain.pgm", run(["pnmtoplainpnm"], grey))
        add(f"rgb_{maxval}_{width}x{height}.ppm", colour)
        add(f"rgb_{maxval}_{width}x{height}_plain.ppm", run(["pnmtoplainpnm"], colour))
    add(f"grey_{maxval}_comments.pgm", with_comments(noise(9, 4, maxval)))
    add(f"rgb_{maxval}_comments_plain.ppm", with_comments(run(["pnmtoplainpnm"], ppm(9, 4, maxval))))
# A ramp set to other maxvals by pamdepth, raw and plain.
for maxval in (3, 300, 4095):
    ramp = run(["pamdepth", str(maxval)], run(["pgmramp", "-lr", "61", "5"]))
    add(f"ramp_{maxval}.pgm", ramp)
    add(f"ramp_{maxval}_plain.pgm", run(["pnmtoplainpnm"], ramp))

# Bitmaps (widths across byte boundaries), their levels by ImageMagick: white is 1.
for width, height in ((1, 1), (8, 3), (13, 7), (64, 2)):
    bitmap = run(["pgmtopbm", "-threshold"], noise(width, height, 255))
    for name, data in ((f"bits_{width}x{height}.pbm", bitmap),
                       (f"bits_{width}x{height}_plain.pbm", run(["pnmtoplainpnm"], bitmap)),
                       (f"bits_{width}x{height}_comments.pbm", with_comments(bitmap))):
        with open(f"{out}/{name}", "wb") as f:
            f.write(data)
        grey = np.frombuffer(run(["convert", f"{out}/{name}", "-depth", "8", "gray:-"]), np.uint8)
        assert np.array_equal(grey // 255, netpbm_samples(data)[4]), name
        add(name, data)
# ImageMagick as a second writer of raw and plain files.
for fmt, options in (("pgm", []), ("ppm", []), ("pgm", ["-compress", "none"]), ("ppm", ["-compress", "none"])):
    for depth in ("8", "16"):
        name = f"magick_{depth}{'_plain' if options else ''}.{fmt}"
        run(["convert", "-size", "19x11", "plasma:", "-depth", depth, *options, f"{out}/{name}"])
        add(name, open(f"{out}/{name}", "rb").read())

# PFM: grey and RGB, both byte orders, the bottom row first in the file.
for channels, magic in ((1, b"Pf"), (3, b"PF")):
    for order, scale in (("<", b"-1.0"), (">", b"1.0"), ("<", b"-0.25")):
        for width, height in ((1, 1), (29, 17)):
            image = (rng.standard_normal((height, width, channels)) * 1000).astype(np.float32)
            image.flat[0] = np.inf
            name = f"float_{channels}_{'le' if order == '<' else 'be'}_{scale.decode()}_{width}x{height}.pfm"
            header = magic + b"\n%d %d\n" % (width, height) + scale + b"\n"
            with open(f"{out}/{name}", "wb") as f:
                f.write(header + image[::-1].astype(order + "f4").tobytes())
            image.astype("=f4").tofile(f"{out}/{name}.ref")
            manifest.append(f"{name}|{name}.ref|{width}|{height}|{channels}|32|0")

with open(f"{out}/manifest.txt", "w") as f:
    f.write("\n".join(manifest) + "\n")
