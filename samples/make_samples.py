#!/usr/bin/env python3
"""Writes samples/render48.tif: a 256 x 192 48-bit "II" RGB TIFF of a smooth terrain-like scene
(rolling hills lit from the left, tinted from valley green to summit snow), for the demo.

usage: python3 samples/make_samples.py   (needs numpy and tifffile)
"""
import os

import numpy as np
import tifffile

W, H = 256, 192


def heights():
    y, x = np.mgrid[0:H, 0:W].astype(np.float64)
    u, v = x / W, y / H
    h = (0.45 * np.exp(-((u - 0.62) ** 2 + (v - 0.40) ** 2) / 0.045)
         + 0.30 * np.exp(-((u - 0.25) ** 2 + (v - 0.70) ** 2) / 0.030)
         + 0.08 * np.sin(9 * u + 2 * np.sin(5 * v)) * np.cos(7 * v)
         + 0.04 * np.sin(23 * u + 17 * v)
         + 0.15 * (1 - v))
    return (h - h.min()) / (h.max() - h.min())


def main():
    h = heights()
    gy, gx = np.gradient(h)
    light = np.clip(0.75 + 6.0 * (-gx * 0.8 - gy * 0.6), 0.2, 1.2)
    low = np.array([0.18, 0.36, 0.16])
    mid = np.array([0.52, 0.44, 0.30])
    top = np.array([0.95, 0.95, 0.97])
    t = h[..., None]
    colour = np.where(t < 0.55, low + (mid - low) * (t / 0.55), mid + (top - mid) * ((t - 0.55) / 0.45))
    rgb = np.clip(colour * light[..., None], 0, 1)
    pixels = np.round(rgb * 65535).astype(np.uint16)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "render48.tif")
    tifffile.imwrite(path, pixels, photometric="rgb", byteorder="<", software="make_samples.py")
    print(path, os.path.getsize(path), "bytes")


if __name__ == "__main__":
    main()
