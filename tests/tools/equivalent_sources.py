#!/usr/bin/env python3
"""Makes pairs of files that must convert to the same height map: a source of a newer kind and
the uncompressed RGB TIFF its samples stand for.

usage: equivalent_sources.py DIR
The rule: grey is R = G = B, alpha is dropped, a palette is its RGB (8-bit for PNG), levels of up
to 8 bits become 8-bit samples v x 255 / max and larger ones 16-bit samples v x 65535 / max
(rounded half to even), half floats become floats. Each DIR/<case>.<ext> has its
DIR/<case>.ref.tif, written by tifffile (one strip, contiguous RGB). DIR/manifest.txt lists the
source names.
"""
import subprocess
import sys
from fractions import Fraction

import numpy as np
import png
import tifffile

out = sys.argv[1]
rng = np.random.default_rng(77)
W, H = 37, 23
names = []


def scaled(values, maximum, top):
    """v x top / maximum, rounded half to even, exactly."""
    def one(v):
        q = Fraction(int(v) * top, maximum)
        return round(q)  # Fraction rounds half to even
    return np.vectorize(one, otypes=[np.int64])(values)


def reference(name, rgb, order="<"):
    tifffile.imwrite(f"{out}/{name}.ref.tif", rgb, photometric="rgb", planarconfig="contig",
                     rowsperstrip=rgb.shape[0], byteorder=order)


def grey_to_rgb(grey):
    return np.repeat(grey[:, :, None], 3, axis=2)


def smooth(maximum, channels=1):
    """A smooth field with noise, so Boost and Posterise have work, in [0, maximum]."""
    y, x = np.mgrid[0:H, 0:W]
    base = (np.sin(x / 5.0) + np.cos(y / 4.0) + 2) / 4
    planes = [np.clip(base * maximum * (0.6 + 0.2 * c) + rng.normal(0, maximum / 50, (H, W)), 0, maximum)
              for c in range(channels)]
    return np.rint(np.stack(planes, axis=2) if channels > 1 else planes[0]).astype(np.int64)


def write_png(name, rows, **kw):
    with open(f"{out}/{name}.png", "wb") as f:
        png.Writer(W, H, **kw).write(f, rows)
    names.append(f"{name}.png")


# PNG: 16-bit grey; 8-bit RGB with alpha, interlaced; 4-bit grey; a palette of 2 bits.
g16 = smooth(65535)
write_png("png_grey16", g16.tolist(), greyscale=True, bitdepth=16)
reference("png_grey16", grey_to_rgb(g16).astype(np.uint16))
rgba = np.concatenate([smooth(255, 3), rng.integers(0, 256, (H, W, 1))], axis=2)
write_png("png_rgba8_interlaced", rgba.reshape(H, W * 4).tolist(), greyscale=False, alpha=True, bitdepth=8,
          interlace=True)
reference("png_rgba8_interlaced", rgba[:, :, :3].astype(np.uint8))
g4 = smooth(15)
write_png("png_grey4", g4.tolist(), greyscale=True, bitdepth=4)
reference("png_grey4", grey_to_rgb(scaled(g4, 15, 255)).astype(np.uint8))
palette = [(12, 200, 30), (255, 0, 128), (7, 7, 7), (90, 180, 250)]
p2 = smooth(3)
write_png("png_palette2", p2.tolist(), bitdepth=2, palette=palette)
reference("png_palette2", np.array(palette, dtype=np.uint8)[p2])

# TIFF beyond the one-strip RGB shape: the same samples through tiffcp's compressions and tiles.
rgb16 = smooth(65535, 3).astype(np.uint16)
tifffile.imwrite(f"{out}/plain_rgb16.tif", rgb16, photometric="rgb")
for name, options in (("tiff_lzw_predictor_tiles", ["-c", "lzw:2", "-t", "-w", "16", "-l", "16"]),
                      ("tiff_packbits_big_endian", ["-c", "packbits", "-B"])):
    subprocess.run(["tiffcp", *options, f"{out}/plain_rgb16.tif", f"{out}/{name}.tif"], check=True)
    reference(name, rgb16, ">" if "big_endian" in name else "<")
    names.append(f"{name}.tif")
# Separate planes, Deflate (tiffcp does not change the planar configuration of 16-bit samples).
tifffile.imwrite(f"{out}/tiff_deflate_separate.tif", np.moveaxis(rgb16, 2, 0), photometric="rgb",
                 planarconfig="separate", compression="zlib", rowsperstrip=5)
reference("tiff_deflate_separate", rgb16)
names.append("tiff_deflate_separate.tif")
grey16 = smooth(65535).astype(np.uint16)
tifffile.imwrite(f"{out}/plain_grey16.tif", grey16, photometric="minisblack")
subprocess.run(["tiffcp", "-c", "zip:2", f"{out}/plain_grey16.tif", f"{out}/tiff_grey16_deflate.tif"], check=True)
reference("tiff_grey16_deflate", grey_to_rgb(grey16))
names.append("tiff_grey16_deflate.tif")
light = (smooth(1000, 3) / 97.0).astype(np.float32)
tifffile.imwrite(f"{out}/plain_float.tif", light, photometric="rgb")
subprocess.run(["tiffcp", "-c", "zip:3", f"{out}/plain_float.tif", f"{out}/tiff_float_predictor3.tif"], check=True)
reference("tiff_float_predictor3", light)
names.append("tiff_float_predictor3.tif")


# PNM: binary RGB of maxval 1023, binary grey of 255, plain grey of 100.
def pnm(name, magic, maximum, samples, plain):
    header = f"{magic}\n# made for a test\n{W} {H}\n{maximum}\n".encode()
    if plain:
        body = "\n".join(" ".join(str(int(v)) for v in row) for row in samples.reshape(H, -1)).encode() + b"\n"
    else:
        body = samples.astype(">u2" if maximum > 255 else "u1").tobytes()
    with open(f"{out}/{name}", "wb") as f:
        f.write(header + body)
    names.append(name)


c1023 = smooth(1023, 3)
pnm("pnm_rgb1023.ppm", "P6", 1023, c1023, False)
reference("pnm_rgb1023", scaled(c1023, 1023, 65535).astype(np.uint16))
g255 = smooth(255)
pnm("pnm_grey255.pgm", "P5", 255, g255, False)
reference("pnm_grey255", grey_to_rgb(g255).astype(np.uint8))
g100 = smooth(100)
pnm("pnm_grey100_plain.pgm", "P2", 100, g100, True)
reference("pnm_grey100_plain", grey_to_rgb(scaled(g100, 100, 255)).astype(np.uint8))

# PFM: rows bottom to top, little-endian.
with open(f"{out}/pfm_rgb.pfm", "wb") as f:
    f.write(f"PF\n{W} {H}\n-1.0\n".encode() + light[::-1].astype("<f4").tobytes())
reference("pfm_rgb", light)
names.append("pfm_rgb.pfm")

# OpenEXR, written by OpenImageIO: half RGB with PIZ, float RGBA tiled with ZIP.
try:
    import OpenImageIO as oiio

    def exr(name, kind, pixels, compression, tile=None):
        spec = oiio.ImageSpec(W, H, pixels.shape[2], kind)
        spec.channelnames = ("R", "G", "B", "A")[:pixels.shape[2]]
        spec.attribute("compression", compression)
        if tile:
            spec.tile_width, spec.tile_height = tile
        o = oiio.ImageOutput.create(f"{out}/{name}.exr")
        o.open(f"{out}/{name}.exr", spec)
        o.write_image(pixels)
        o.close()
        names.append(f"{name}.exr")

    halves = light.astype(np.float16)
    exr("exr_half_piz", oiio.HALF, halves.astype(np.float32), "piz")
    reference("exr_half_piz", halves.astype(np.float32))
    alpha = np.concatenate([light, np.ones((H, W, 1), np.float32)], axis=2)
    exr("exr_float_rgba_zip_tiled", oiio.FLOAT, alpha, "zip", (16, 8))
    reference("exr_float_rgba_zip_tiled", light)
except ImportError:
    pass  # the test notices the missing cases: it expects every kind

with open(f"{out}/manifest.txt", "w") as f:
    f.write("\n".join(names) + "\n")
