#!/usr/bin/python3
"""Writes samples/sky.hdr: a 320 x 160 synthetic sky (blue gradient, haze, a sun far brighter
than the rest, a dark ground strip) as a Radiance file with new run-length encoded scanlines.

Usage: /usr/bin/python3 samples/make_sky.py [OUTPUT]
"""
import math
import sys

import numpy as np

WIDTH, LENGTH = 320, 160


def sky():
    y, x = np.mgrid[0:LENGTH, 0:WIDTH].astype(np.float64)
    height = 1.0 - y / (LENGTH * 0.75)                    # 1 at the top, 0 at the horizon
    rgb = np.zeros((LENGTH, WIDTH, 3))
    rgb[..., 0] = 0.15 + 0.55 * (1 - height) ** 2
    rgb[..., 1] = 0.30 + 0.45 * (1 - height) ** 2
    rgb[..., 2] = 0.75 + 0.20 * (1 - height)
    # The sun and its glow: up to about 60 times the sky's brightness.
    d = np.hypot(x - 230, y - 45)
    glow = 60.0 * np.exp(-(d / 6.0) ** 2) + 2.5 * np.exp(-(d / 40.0) ** 2)
    rgb += glow[..., None] * np.array([1.0, 0.95, 0.8])
    # Ground below the horizon, with a black band (exponent 0 pixels) at the bottom.
    ground = y >= LENGTH * 0.75
    rgb[ground] = np.array([0.05, 0.04, 0.02]) * (1.2 - (y[ground][:, None] - LENGTH * 0.75) / LENGTH)
    rgb[y >= LENGTH - 4] = 0.0
    return rgb


def to_rgbe(rgb):
    v = rgb.max(axis=2)
    out = np.zeros(rgb.shape[:2] + (4,), dtype=np.uint8)
    lit = v > 1e-32
    mantissa, exponent = np.frexp(v[lit])
    scale = mantissa * 256.0 / v[lit]
    out[lit, 0:3] = np.clip(rgb[lit] * scale[:, None], 0, 255).astype(np.uint8)
    out[lit, 3] = (exponent + 128).astype(np.uint8)
    return out


def encode_component(values):
    """New RLE packets: runs of 3 or more equal bytes, literals otherwise."""
    out = bytearray()
    i, n = 0, len(values)
    while i < n:
        run = 1
        while i + run < n and run < 127 and values[i + run] == values[i]:
            run += 1
        if run >= 3:
            out += bytes((128 + run, values[i]))
            i += run
            continue
        start = i
        while i < n and i - start < 128:
            if i + 2 < n and values[i] == values[i + 1] == values[i + 2]:
                break
            i += 1
        out.append(i - start)
        out += bytes(values[start:i])
    return bytes(out)


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else "samples/sky.hdr"
    pixels = to_rgbe(sky())
    data = bytearray(b"#?RADIANCE\n# synthetic sky for the KELVARIN demo\nFORMAT=32-bit_rle_rgbe\n"
                     b"EXPOSURE=1.0\n\n")
    data += f"-Y {LENGTH} +X {WIDTH}\n".encode()
    for row in pixels:
        data += bytes((2, 2, WIDTH >> 8, WIDTH & 255))
        for c in range(4):
            data += encode_component(row[:, c].tolist())
    with open(target, "wb") as f:
        f.write(data)
    print(f"{target}: {WIDTH} x {LENGTH}, {len(data)} bytes")


if __name__ == "__main__":
    main()
