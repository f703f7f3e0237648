#!/usr/bin/env python3
"""Makes elevation files with GDAL (GeoTIFF of signed integers and floats with a no-data value,
ESRI ASCII grids, SRTM .hgt) and PFM files by hand, reads every one back with GDAL, and writes the
levels a height map must hold: voids 0, 1 + round-half-even((h - lo) * 65534 / (hi - lo)), clamped
to 1 and 65535, with lo and hi the file's own extremes or the range given.

usage: height_reference.py DIR
Writes the sources, DIR/<case>.ref (little-endian 16-bit levels, top row first) and
DIR/manifest.txt: source|reference|width|height|range ("" or LO:HI)|voids|clipped.
For the shared-range batch: DIR/dem_top.tif and DIR/dem_bottom.tif, two halves of one DEM sharing
their edge row, and DIR/shared.txt: LO:HI of the whole DEM.
"""
import sys

import numpy as np
from osgeo import gdal

gdal.UseExceptions()
out = sys.argv[1]
rng = np.random.default_rng(24)
manifest = []


def terrain(height, width, low, high):
    """A smooth-ish surface with noise, so that every level region is touched."""
    y, x = np.mgrid[0:height, 0:width]
    base = np.sin(x / 7.0) * np.cos(y / 5.0) + rng.standard_normal((height, width)) * 0.2
    return low + (base - base.min()) / (base.max() - base.min()) * (high - low)


def levels(data, nodata, given=None):
    data = data.astype(np.float64)
    void = ~np.isfinite(data)
    if nodata is not None:
        void |= data == nodata
    valid = data[~void]
    lo, hi = given if given else (valid.min(), valid.max())
    if hi == lo:
        mapped = np.ones(data.shape)
    else:
        with np.errstate(invalid="ignore"):
            mapped = 1 + np.rint((data - lo) * 65534.0 / (hi - lo))
    clipped = int(((valid < lo) | (valid > hi)).sum())
    mapped = np.clip(mapped, 1, 65535)
    mapped[void] = 0
    return mapped.astype("<u2"), int(void.sum()), clipped


def record(name, path, given=None, data=None):
    """What GDAL reads of the file is the reference, not what was put into it (but for PFM, which
    this GDAL does not read: there the samples written)."""
    nodata = None
    if data is None:
        ds = gdal.Open(path)  # held while its band is read
        band = ds.GetRasterBand(1)
        data = band.ReadAsArray()
        nodata = band.GetNoDataValue()
        if nodata is not None:
            nodata = np.array([nodata]).astype(data.dtype)[0]  # in the samples' own type, as GDAL compares
    mapped, voids, clipped = levels(data, nodata, given)
    mapped.tofile(f"{out}/{name}.ref")
    text = f"{given[0]!r}:{given[1]!r}" if given else ""
    manifest.append(f"{path.split('/')[-1]}|{name}.ref|{data.shape[1]}|{data.shape[0]}|{text}|{voids}|{clipped}")


def geotiff(name, data, gdal_type, nodata, options=(), geo=(6.0, 0.001, 0, 46.0, 0, -0.001)):
    path = f"{out}/{name}.tif"
    height, width = data.shape
    ds = gdal.GetDriverByName("GTiff").Create(path, width, height, 1, gdal_type, list(options))
    ds.SetGeoTransform(geo)
    ds.SetProjection("EPSG:4326")
    band = ds.GetRasterBand(1)
    if nodata is not None:
        band.SetNoDataValue(nodata)
    band.WriteArray(data)
    ds = None
    return path


def pfm(name, data):
    path = f"{out}/{name}.pfm"
    height, width = data.shape
    with open(path, "wb") as f:
        f.write(f"Pf\n{width} {height}\n-1.0\n".encode())
        f.write(np.flipud(data).astype("<f4").tobytes())  # bottom row first
    return path


# Int16 with voids and a flat plateau; the same with a range given that cuts both ends.
dem = np.rint(terrain(37, 53, -120, 2400)).astype(np.int16)
dem[3:9, 10:20] = 500
dem[rng.random(dem.shape) < 0.03] = -32768
path = geotiff("int16_voids", dem, gdal.GDT_Int16, -32768, ["COMPRESS=DEFLATE", "PREDICTOR=2"])
record("int16_voids", path)
record("int16_range", path, (0.0, 2000.0))

# Float32 with GDAL's usual no-data text -3.4e+38 (no float: its nearest float is the void).
heights = terrain(41, 29, 12.25, 1315.5).astype(np.float32)
heights[rng.random(heights.shape) < 0.05] = np.float32(-3.4e38)
heights[0, 0] = np.nan
path = geotiff("float32_nodata", heights, gdal.GDT_Float32, -3.4e38, ["TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16"])
record("float32_nodata", path)
record("float32_wide_range", path, (-500.0, 3000.0))

# Float64 and Int32 without no-data; an all-flat Int16 file (every valid height 1).
record("float64", geotiff("float64", terrain(17, 23, -4e5, 9e6), gdal.GDT_Float64, None))
record("int32", geotiff("int32", np.rint(terrain(19, 31, -70000, 90000)).astype(np.int32), gdal.GDT_Int32, None))
flat = np.full((8, 9), 250, np.int16)
flat[2, 2] = -9999
record("flat", geotiff("flat", flat, gdal.GDT_Int16, -9999))

# An ESRI ASCII grid, written by GDAL's AAIGrid driver from a float grid with voids.
grid = np.round(terrain(21, 26, 100, 900), 3)
grid[rng.random(grid.shape) < 0.04] = -9999
mem = gdal.GetDriverByName("MEM").Create("", 26, 21, 1, gdal.GDT_Float64)
mem.SetGeoTransform((300000.0, 30.0, 0, 5000630.0, 0, -30.0))
mem.GetRasterBand(1).SetNoDataValue(-9999)
mem.GetRasterBand(1).WriteArray(grid)
gdal.GetDriverByName("AAIGrid").CreateCopy(f"{out}/grid.asc", mem)
record("grid", f"{out}/grid.asc")

# An SRTM tile, written by GDAL's SRTMHGT driver (its name gives the corner).
tile = np.rint(terrain(1201, 1201, 150, 3100)).astype(np.int16)
tile[600:610, 100:140] = -32768
mem = gdal.GetDriverByName("MEM").Create("", 1201, 1201, 1, gdal.GDT_Int16)
mem.SetGeoTransform((6 - 0.5 / 1200, 1 / 1200, 0, 46 + 0.5 / 1200, 0, -1 / 1200))
mem.SetProjection("EPSG:4326")
mem.GetRasterBand(1).SetNoDataValue(-32768)
mem.GetRasterBand(1).WriteArray(tile)
gdal.GetDriverByName("SRTMHGT").CreateCopy(f"{out}/N45E006.hgt", mem)
record("N45E006", f"{out}/N45E006.hgt")

# PFM "Pf" with NaN and an infinity.
field = terrain(13, 18, -3.5, 7.25).astype(np.float32)
field[1, 1], field[5, 7] = np.nan, np.inf
record("field", pfm("field", field), data=field)

# One DEM cut in two along a row both halves keep: their maps must meet on it.
whole = np.rint(terrain(40, 33, -50, 1800)).astype(np.int16)
whole[30, 3] = -32768
geotiff("dem_top", whole[:21], gdal.GDT_Int16, -32768)
geotiff("dem_bottom", whole[20:], gdal.GDT_Int16, -32768)
valid = whole[whole != -32768]
with open(f"{out}/shared.txt", "w") as f:
    f.write(f"{int(valid.min())}:{int(valid.max())}\n")

with open(f"{out}/manifest.txt", "w") as f:
    f.write("\n".join(manifest) + "\n")
