#!/usr/bin/env python3
"""Writes the small height-data samples in samples/: ridge.pgm (16-bit P5 PGM), valley.raw
(256 x 256 16-bit little-endian RAW) and crater.bin with its 13-line text header crater.hdr
(3DEM-style signed 16-bit matrix, rows stored bottom first).

Run from anywhere: /usr/bin/python3 samples/make_height_samples.py
The output is deterministic, so running it again reproduces the committed files."""

import pathlib

import numpy as np

OUT = pathlib.Path(__file__).resolve().parent.parent / "samples"


def ridge(size=256):
    """A ridge running diagonally with gentle noise-free undulation, using most of 16 bits."""
    y, x = np.mgrid[0:size, 0:size].astype(np.float64) / (size - 1)
    along = (x + y) / 2.0
    across = (x - y) * np.sqrt(2.0)
    height = np.exp(-(across / 0.22) ** 2) * (0.75 + 0.25 * np.sin(along * 6.0 * np.pi))
    height += 0.08 * np.cos(x * 5.0 * np.pi) * np.cos(y * 4.0 * np.pi) + 0.1
    height = (height - height.min()) / (height.max() - height.min())
    return np.round(height * 60000.0 + 2000.0).astype(np.uint16)


def valley(size=256):
    """A winding river valley between two slopes."""
    y, x = np.mgrid[0:size, 0:size].astype(np.float64) / (size - 1)
    river = 0.5 + 0.15 * np.sin(y * 3.0 * np.pi)
    depth = np.abs(x - river)
    height = np.sqrt(depth) * (0.8 + 0.2 * np.cos(y * 2.0 * np.pi))
    height = (height - height.min()) / (height.max() - height.min())
    return np.round(height * 50000.0 + 1000.0).astype(np.uint16)


def crater(width=200, length=150):
    """Elevations in metres: a crater with a rim and a central peak, below sea level in its
    floor, and a patch of void (unmeasured) points marked -32767."""
    y, x = np.mgrid[0:length, 0:width].astype(np.float64)
    r = np.hypot(x - width * 0.5, y - length * 0.5) / (min(width, length) * 0.5)
    rim = 900.0 * np.exp(-((r - 0.7) / 0.12) ** 2)
    bowl = np.where(r < 0.7, -120.0 + 200.0 * (r / 0.7) ** 2, 80.0 + 300.0 * (r - 0.7))
    peak = 500.0 * np.exp(-(r / 0.1) ** 2)
    elevation = np.round(bowl + rim + peak).astype(np.int16)
    elevation[10:16, 20:30] = -32767
    return elevation


def main():
    OUT.mkdir(exist_ok=True)

    heights = ridge()
    length, width = heights.shape
    with open(OUT / "ridge.pgm", "wb") as f:
        f.write(b"P5\n# ridge: 16-bit sample height map\n%d %d\n65535\n" % (width, length))
        f.write(heights.astype(">u2").tobytes())

    (OUT / "valley.raw").write_bytes(valley().astype("<u2").tobytes())

    elevation = crater()
    length, width = elevation.shape
    # 3DEM stores the southern row first; the converter flips it back to north-up.
    (OUT / "crater.bin").write_bytes(elevation[::-1].astype("<i2").tobytes())
    valid = elevation[elevation != -32767]
    lines = [
        "file_title = crater",
        "data_format = int16",
        "map_projection = Lat/Lon",
        "ellipsoid = WGS84",
        "left_map_x = 14.250000",
        "lower_map_y = 46.100000",
        "upper_map_y = 46.175000",
        "number_of_rows = %d" % length,
        "number_of_columns = %d" % width,
        "elev_m_unit = meters",
        "elev_m_minimum = %d" % valid.min(),
        "elev_m_maximum = %d" % valid.max(),
        "elev_m_missing_flag = -32767",
    ]
    (OUT / "crater.hdr").write_text("\r\n".join(lines) + "\r\n", newline="")


if __name__ == "__main__":
    main()
