#!/usr/bin/env python3
"""Makes a bench source, WORK/srcKIND_N.tif (KIND 48: 16-bit RGB; 96f: 32-bit float RGB), N x N,
a smooth terrain-like render, unless it exists. Filled band by band through a memory map, so
making even a large one needs little memory.

usage: make_tiff_source.py WORK N KIND
"""
import os
import sys

import numpy as np
import tifffile

work, n, kind = sys.argv[1], int(sys.argv[2]), sys.argv[3]
dtype = np.uint16 if kind == "48" else np.float32
path = os.path.join(work, f"src{kind}_{n}.tif")
if not os.path.exists(path):
    image = tifffile.memmap(path, shape=(n, n, 3), dtype=dtype, photometric="rgb", rowsperstrip=n)
    x = np.arange(n, dtype=np.float64)
    for top in range(0, n, 512):
        y = np.arange(top, min(top + 512, n), dtype=np.float64)[:, None]
        base = 0.5 + 0.25 * np.sin(x / 97.0) * np.cos(y / 61.0) + 0.2 * (x + y) / (2 * n)
        band = np.stack([base, base * 0.9 + 0.05, base * 0.8 + 0.1], axis=-1)
        image[top:top + len(y)] = (band * 65535).astype(dtype) if dtype == np.uint16 else (band * 3.5 - 0.7).astype(dtype)
    image.flush()
    del image
