#!/usr/bin/env python3
"""Makes TIFF sources of many shapes with real writers and the rows a reader must decode from each.

usage: tiff_variants.py DIR
Each source array is written uncompressed by tifffile (or, for depths tifffile cannot pack without
imagecodecs, by the small packer below), then copied by libtiff's tiffcp into every compression,
predictor, tiling, plane, byte order and BigTIFF variant. The expected rows come from the numpy
array itself, never from a TIFF reader: DIR/<case>.raw holds them in the machine's byte order.
DIR/manifest.txt has one line per case:
file|expected|width|length|channels|alpha|type|bits|maxValue
"""
import os
import struct
import subprocess
import sys

import numpy as np
import tifffile

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
rng = np.random.default_rng(20240611)
manifest = []
W, H = 37, 23  # odd, so that tiles and strips end inside the image


def tiffcp(src, dst, args):
    subprocess.run(["tiffcp", *args, src, dst], check=True, stderr=subprocess.DEVNULL)


def pack_rows(values, bits):
    """Rows of n-bit samples, most significant bit first, each row starting on a byte."""
    rows = []
    for row in values.reshape(values.shape[0], -1):
        bitstring = "".join(format(int(v), f"0{bits}b") for v in row)
        bitstring += "0" * (-len(bitstring) % 8)
        rows.append(int(bitstring, 2).to_bytes(len(bitstring) // 8, "big") if bitstring else b"")
    return b"".join(rows)


def write_packed(path, values, bits, photometric, colormap=None):
    """A little-endian single-strip TIFF of n-bit unsigned samples (values: H x W x S)."""
    h, w, s = values.shape
    data = pack_rows(values, bits)
    entries = [(256, 4, 1, w), (257, 4, 1, h), (258, 3, s, [bits] * s), (259, 3, 1, 1), (262, 3, 1, photometric),
               (273, 4, 1, 0), (277, 3, 1, s), (278, 4, 1, h), (279, 4, 1, len(data)), (284, 3, 1, 1)]
    if colormap is not None:
        entries.append((320, 3, colormap.size, list(colormap.reshape(-1))))
    entries.sort()
    ifd_size = 2 + 12 * len(entries) + 4
    arrays = b""
    fields = []
    base = 8 + ifd_size
    for tag, typ, count, value in entries:
        size = 2 if typ == 3 else 4
        vals = value if isinstance(value, list) else [value]
        if len(vals) * size > 4:
            fields.append(struct.pack("<I", base + len(arrays)))
            arrays += b"".join(struct.pack("<H" if size == 2 else "<I", v) for v in vals)
        else:
            fields.append(b"".join(struct.pack("<H" if size == 2 else "<I", v) for v in vals).ljust(4, b"\0"))
    data_at = base + len(arrays)
    ifd = struct.pack("<H", len(entries))
    for (tag, typ, count, _), field in zip(entries, fields):
        if tag == 273:
            field = struct.pack("<I", data_at)
        ifd += struct.pack("<HHI", tag, typ, count) + field
    ifd += struct.pack("<I", 0)
    with open(path, "wb") as f:
        f.write(b"II*\0" + struct.pack("<I", 8) + ifd + arrays + data)


def ints(dtype, shape, top=None):
    info = np.iinfo(dtype)
    return rng.integers(info.min, (info.max if top is None else top), shape, dtype=dtype, endpoint=True)


def smooth(dtype, shape):
    """Gradients with noise, so that predictors and compressions have something to find."""
    y, x = np.mgrid[0:shape[0], 0:shape[1]]
    base = (x * 7 + y * 3)[..., None] + np.arange(shape[2]) * 11
    top = np.iinfo(dtype).max
    return ((base * (top // 300) + rng.integers(0, 4, shape)) % (top + 1)).astype(dtype)


# name, array (H x W x S), writer options or ("packed", bits, photometric, colormap), expected, layout
sources = []


def source(name, data, write, expected, channels, alpha, kind, bits, maxvalue, variants):
    sources.append((name, data, write, expected, channels, alpha, kind, bits, maxvalue, variants))


INT_VARIANTS = [[], ["-c", "lzw"], ["-c", "lzw:2"], ["-c", "zip"], ["-c", "zip:2"], ["-c", "packbits"],
                ["-t", "-w", "16", "-l", "16", "-c", "lzw:2"], ["-t", "-w", "32", "-l", "16"],
                ["-p", "separate", "-c", "zip"], ["-p", "separate", "-t", "-w", "16", "-l", "32", "-c", "zip"],
                ["-8", "-c", "lzw"], ["-B", "-c", "zip:2"], ["-B", "-t", "-w", "16", "-l", "16"], ["-r", "1"],
                ["-8", "-B", "-p", "separate", "-r", "5", "-c", "lzw:2"]]
# No big-endian copies with the floating-point predictor: tiffcp (libtiff 4.5) on a little-endian
# machine swaps the samples before differencing them, so that its own reader gets other floats.
FLOAT_VARIANTS = [[], ["-c", "lzw:3"], ["-c", "zip:3"], ["-c", "zip:2"], ["-t", "-w", "16", "-l", "16", "-c", "zip:3"],
                  ["-B", "-c", "lzw:2"], ["-8", "-B", "-p", "separate", "-c", "zip"], ["-B"], ["-c", "packbits"],
                  ["-8", "-p", "separate", "-c", "lzw:3"]]
PACKED_VARIANTS = [[], ["-c", "lzw"], ["-c", "zip"], ["-c", "packbits"], ["-t", "-w", "16", "-l", "16", "-c", "lzw"],
                   ["-8", "-B", "-r", "4"], ["-r", "3", "-c", "zip"]]

for dtype, bits in ((np.uint8, 8), (np.uint16, 16), (np.uint32, 32)):
    top = 2 ** bits - 1
    for samples, name in ((1, "grey"), (2, "greyalpha"), (3, "rgb"), (4, "rgba"), (5, "rgb2extra")):
        data = smooth(dtype, (H, W, samples))
        photometric = "rgb" if samples >= 3 else "minisblack"
        extras = {"extrasamples": [2] * (samples - (3 if samples >= 3 else 1))} if samples in (2, 4, 5) else {}
        keep = min(samples, 4) if samples >= 3 else samples
        source(f"{name}{bits}", data, dict(photometric=photometric, **extras), data[..., :keep], keep,
               samples in (2, 4, 5), "unsigned", bits, top, INT_VARIANTS if samples in (1, 3, 4) or bits == 16
               else [[], ["-c", "lzw:2"]])
for dtype, bits in ((np.uint8, 8), (np.uint16, 16)):
    data = smooth(dtype, (H, W, 1))
    top = 2 ** bits - 1
    source(f"miniswhite{bits}", data, dict(photometric="miniswhite"), top - data, 1, False, "unsigned", bits, top,
           [[], ["-c", "lzw:2"], ["-t", "-w", "16", "-l", "16"]])
for dtype, bits in ((np.int8, 8), (np.int16, 16), (np.int32, 32)):
    data = ints(dtype, (H, W, 1))
    source(f"signed{bits}", data, dict(photometric="minisblack"), data, 1, False, "signed", bits, 2 ** (bits - 1) - 1,
           [[], ["-c", "lzw:2"], ["-B", "-c", "zip"]])
for dtype, bits in ((np.float16, 16), (np.float32, 32), (np.float64, 64)):
    for samples, name in ((1, "grey"), (3, "rgb")):
        data = (rng.random((H, W, samples)) * 1000 - 200).astype(dtype)
        source(f"float{name}{bits}", data, dict(photometric="rgb" if samples == 3 else "minisblack"), data, samples,
               False, "float", bits, 0, FLOAT_VARIANTS)
colormap = rng.integers(0, 65535, (3, 256), dtype=np.uint16, endpoint=True)
indices = ints(np.uint8, (H, W, 1))
source("palette8", indices, dict(photometric="palette", colormap=colormap),
       np.stack([colormap[c][indices[..., 0]] for c in range(3)], axis=-1), 3, False, "unsigned", 16, 65535,
       [[], ["-c", "lzw"], ["-c", "packbits"], ["-t", "-w", "16", "-l", "16", "-c", "zip:2"], ["-8", "-B"]])
for bits in (1, 2, 4, 12):
    container = np.uint8 if bits <= 8 else np.uint16
    data = rng.integers(0, 2 ** bits, (H, W, 1)).astype(container)
    source(f"packedgrey{bits}", data, ("packed", bits, 1, None), data, 1, False, "unsigned", bits, 2 ** bits - 1,
           PACKED_VARIANTS)
data = rng.integers(0, 2, (H, W, 1)).astype(np.uint8)
source("packedwhite1", data, ("packed", 1, 0, None), 1 - data, 1, False, "unsigned", 1, 1, PACKED_VARIANTS[:3])
data = rng.integers(0, 4096, (H, W, 3)).astype(np.uint16)
source("packedrgb12", data, ("packed", 12, 2, None), data, 3, False, "unsigned", 12, 4095,
       PACKED_VARIANTS)
data = rng.integers(0, 1024, (H, W, 4)).astype(np.uint16)
source("packedrgba10", data, ("packed", 10, 2, None), data, 4, True, "unsigned", 10, 1023, [[], ["-c", "zip"]])
small_map = rng.integers(0, 65535, (3, 16), dtype=np.uint16, endpoint=True)
data = rng.integers(0, 16, (H, W, 1)).astype(np.uint8)
source("palette4", data, ("packed", 4, 3, small_map),
       np.stack([small_map[c][data[..., 0]] for c in range(3)], axis=-1), 3, False, "unsigned", 16, 65535,
       PACKED_VARIANTS[:5])

for name, data, write, expected, channels, alpha, kind, bits, maxvalue, variants in sources:
    base = os.path.join(out, f"{name}.tif")
    if isinstance(write, tuple):
        _, packed_bits, photometric, cmap = write
        write_packed(base, data, packed_bits, photometric, cmap)
    else:
        array = data[..., 0] if data.shape[2] == 1 else data
        tifffile.imwrite(base, array, metadata=None, software=False, rowsperstrip=5, **write)
    container = {1: np.uint8, 2: np.uint16, 4: np.uint32, 8: np.uint64}
    if kind == "float":
        expected_bytes = expected.astype(expected.dtype.newbyteorder("=")).tobytes()
        layout_bits = bits
    else:
        layout_bits = 8 if bits <= 8 else 16 if bits <= 16 else 32
        dtype = np.dtype(container[layout_bits // 8]) if kind == "unsigned" else expected.dtype
        expected_bytes = expected.astype(dtype.newbyteorder("=")).tobytes()
    raw = os.path.join(out, f"{name}.raw")
    with open(raw, "wb") as f:
        f.write(expected_bytes)
    for i, args in enumerate(variants):
        if "separate" in args and data.shape[2] == 1:
            continue  # one sample a pixel has one plane either way; tiffcp refuses the change
        path = base if not args else os.path.join(out, f"{name}_{i}.tif")
        start, shown = base, " ".join(args)
        if "separate" in args:
            # tiffcp changes the planes of 8-bit samples only: tifffile writes them apart.
            if isinstance(write, tuple):
                continue
            # Nor does it copy separate tiled planes of 16-bit samples right (libtiff 4.5): tifffile
            # writes those whole, Deflate included.
            layout = dict(rowsperstrip=5)
            start = os.path.join(out, f"{name}_planes.tif")
            if "-t" in args:
                at = args.index("-t")
                layout = dict(tile=(int(args[at + 4]), int(args[at + 2])))
                if "zip" in args:
                    layout["compression"] = "zlib"
                start = path
                args = []
            tifffile.imwrite(start, np.moveaxis(data, 2, 0), metadata=None, software=False,
                             planarconfig="separate", **layout, **write)
            if start != path:
                args = [a for a in args if a not in ("-p", "separate")] or ["-p", "separate"]
        if args:
            tiffcp(start, path, args)
        manifest.append(f"{os.path.basename(path)}|{os.path.basename(raw)}|{W}|{H}|{channels}|{int(alpha)}|{kind}|"
                        f"{layout_bits}|{maxvalue}|{shown}")

# tifffile writes Deflate itself, with the directory before the data: every prefix of it opens.
data = smooth(np.uint16, (H, W, 3))
tifffile.imwrite(os.path.join(out, "zlib_first.tif"), data, metadata=None, software=False, rowsperstrip=4,
                 photometric="rgb", compression="zlib")
data.astype(np.dtype(np.uint16).newbyteorder("=")).tofile(os.path.join(out, "zlib_first.raw"))
manifest.append(f"zlib_first.tif|zlib_first.raw|{W}|{H}|3|0|unsigned|16|65535|tifffile zlib")

with open(os.path.join(out, "manifest.txt"), "w") as f:
    f.write("\n".join(manifest) + "\n")
