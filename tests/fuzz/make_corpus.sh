#!/usr/bin/env bash
# Regenerates the seed corpus of the fuzz targets: tiny valid sources made by common writers
# (tifffile, ImageMagick, netpbm) and by hand for the formats no tool writes (RAW, 3DEM BIN).
# The result is committed; run this only to change the seeds. Inputs the fuzzer once flagged sit
# beside the seeds and are kept: only the files this script writes are replaced.
set -euo pipefail
OUT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/corpus"
mkdir -p "$OUT"/{tiff,tiff_image,radiance,pgm,raw,bin,png,exr,pnm}
PY=/usr/bin/python3

"$PY" - "$OUT" <<'PYTHON'
import sys, struct
import numpy as np
import tifffile

out = sys.argv[1]
rng = np.random.default_rng(7)

def rgb(dtype, height=4, width=4):
    if np.dtype(dtype).kind == 'f':
        return rng.random((height, width, 3), dtype=np.float32) * 4
    return rng.integers(0, np.iinfo(dtype).max, (height, width, 3), dtype=dtype, endpoint=True)

cases = [
    ('ii_24bit.tif', '<', rgb(np.uint8), {}),
    ('mm_24bit.tif', '>', rgb(np.uint8), {}),
    ('ii_48bit.tif', '<', rgb(np.uint16), {}),
    ('mm_48bit.tif', '>', rgb(np.uint16), {}),
    ('ii_96bit_uint.tif', '<', rgb(np.uint32), {}),
    ('ii_96bit_float.tif', '<', rgb(np.float32), {}),
    ('mm_96bit_float.tif', '>', rgb(np.float32), {}),
    ('ii_48bit_strips.tif', '<', rgb(np.uint16, 5, 3), {'rowsperstrip': 2}),
    ('mm_48bit_strips.tif', '>', rgb(np.uint16, 5, 3), {'rowsperstrip': 1}),
]
for name, order, data, extra in cases:
    tifffile.imwrite(f'{out}/tiff/{name}', data, byteorder=order, photometric='rgb',
                     metadata=None, software=False, **extra)
# A one-sample 16-bit TIFF, the source of the TE>Raw export.
grey = rng.integers(0, 65535, (4, 4), dtype=np.uint16)
tifffile.imwrite(f'{out}/tiff/ii_grey16.tif', grey, byteorder='<', photometric='minisblack',
                 metadata=None, software=False)
tifffile.imwrite(f'{out}/tiff/mm_grey16.tif', grey, byteorder='>', photometric='minisblack',
                 metadata=None, software=False)

# RAW: square 16-bit little-endian exports, no header.
for side in (1, 3, 4):
    samples = rng.integers(0, 65535, side * side, dtype=np.uint16)
    open(f'{out}/raw/square_{side}.raw', 'wb').write(samples.astype('<u2').tobytes())
open(f'{out}/raw/not_square.raw', 'wb').write(bytes(range(20)))

# BIN: two bytes giving the header's length, the 3DEM text header, then the signed samples.
def bin_seed(name, rows, cols, base, void, newline='\n'):
    lines = ['3DEM Terrain', 'Binary Signed Integer', 'left = 10.5', 'right = 10.75', 'bottom = 47.1',
             'top = 47.3', 'units = degrees', f'rows = {rows}', f'columns = {cols}', 'spacing = 30',
             f'min elevation = {base}', 'max elevation = 900', f'void = {void}']
    header = newline.join(lines).encode() + newline.encode()
    samples = rng.integers(base, 900, rows * cols).astype('<i2')
    samples[0] = void
    data = samples.tobytes()
    open(f'{out}/bin/{name}', 'wb').write(struct.pack('<H', len(header)) + header + data)
bin_seed('3x4.bin', 3, 4, -120, -32768)
bin_seed('5x2_crlf.bin', 5, 2, 15, -9999, '\r\n')
PYTHON

# The general TIFF reader: small sources in each compression, predictor, tiling, plane layout,
# byte order and BigTIFF, written by tifffile and copied by libtiff's tiffcp.
"$PY" - "$OUT/tiff_image" <<'PYTHON'
import sys
import numpy as np
import tifffile
out = sys.argv[1]
rng = np.random.default_rng(9)
def w(name, data, **kw):
    tifffile.imwrite(f'{out}/{name}', data, metadata=None, software=False, **kw)
w('grey16.tif', rng.integers(0, 65535, (5, 6), dtype=np.uint16))
w('rgb8.tif', rng.integers(0, 255, (17, 18, 3), dtype=np.uint8), photometric='rgb')
w('rgba16_planes.tif', rng.integers(0, 65535, (4, 3, 5), dtype=np.uint16), photometric='rgb',
  planarconfig='separate', extrasamples=[2])
w('float32.tif', rng.random((4, 5), dtype=np.float32))
w('half.tif', rng.random((3, 4)).astype(np.float16))
w('palette.tif', rng.integers(0, 255, (4, 4), dtype=np.uint8), photometric='palette',
  colormap=rng.integers(0, 65535, (3, 256), dtype=np.uint16))
w('white8_zlib.tif', rng.integers(0, 255, (4, 7), dtype=np.uint8), photometric='miniswhite', compression='zlib')
PYTHON
T="$OUT/tiff_image"
tiffcp -c lzw:2 "$T/grey16.tif" "$T/grey16_lzw2.tif"
tiffcp -c zip:3 -B "$T/float32.tif" "$T/float32_zip3_mm.tif"
tiffcp -c lzw:3 -8 "$T/half.tif" "$T/half_lzw3_big.tif"
tiffcp -c packbits "$T/palette.tif" "$T/palette_packbits.tif"
tiffcp -t -w 16 -l 16 -c lzw "$T/rgb8.tif" "$T/rgb8_tiles_lzw.tif"
tiffcp -p separate -c zip:2 -8 -B "$T/rgb8.tif" "$T/rgb8_planes_zip2.tif"
rm "$T/rgb8.tif" "$T/half.tif"
convert -size 9x4 pattern:checkerboard -monochrome "$T/bilevel.tif"

# Radiance: ImageMagick writes the new run-length encoding for widths of 8 to 32767.
convert -size 256x2 gradient:red-blue "$OUT/radiance/gradient_256x2.hdr"
convert -size 300x3 plasma:fractal -seed 3 "$OUT/radiance/plasma_300x3.hdr" 2>/dev/null ||
    convert -size 300x3 gradient:white-black "$OUT/radiance/plasma_300x3.hdr"
"$PY" - "$OUT/radiance/exposure_256x1.hdr" <<'PYTHON'
import sys
# One scanline of the new run-length encoding: 2 2 1 0, then per component runs of 127, 127 and 2.
header = b'#?RADIANCE\nFORMAT=32-bit_rle_rgbe\nEXPOSURE=2.5\n\n-Y 1 +X 256\n'
line = bytes([2, 2, 1, 0]) + b''.join(bytes([255, v, 255, v, 130, v]) for v in (40, 80, 120, 130))
open(sys.argv[1], 'wb').write(header + line)
PYTHON
# ImageMagick writes rows narrower than 8 pixels flat; pfstools writes them new run-length encoded.
convert -size 5x2 gradient:red-blue "$OUT/radiance/flat_5x2.hdr"
pfsin "$OUT/radiance/flat_5x2.hdr" | pfsout "$OUT/radiance/narrow_rle_5x2.hdr"
# The older run-length rows no writer here makes: a pixel, then 1 1 1 n repeating it (n x 256 when
# it follows another such pixel), and a file mixing old, flat and new rows.
"$PY" - "$OUT/radiance" <<'PYTHON'
import sys
out = sys.argv[1]
def header(width, length):
    return b'#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y %d +X %d\n' % (length, width)
a, b = bytes([200, 10, 20, 130]), bytes([30, 160, 40, 128])
old = a + bytes([1, 1, 1, 43, 1, 1, 1, 1]) + b + bytes([1, 1, 1, 9])
open(f'{out}/old_rle_310x2.hdr', 'wb').write(header(310, 2) + old + old)
mixed = (a + bytes([1, 1, 1, 9])) + (a + b) * 5 + bytes([2, 2, 0, 10]) + bytes([138, 7, 138, 9, 138, 11, 138, 129])
open(f'{out}/mixed_10x3.hdr', 'wb').write(header(10, 3) + mixed)
PYTHON

# PGM: 16-bit P5 and P2 from ImageMagick and netpbm.
convert -size 4x3 gradient:black-white -depth 16 "$OUT/pgm/gradient_4x3.pgm"
convert -size 4x3 gradient:white-black -depth 16 -compress none "$OUT/pgm/gradient_4x3_plain.pgm"
pgmramp -lr 5 2 | pamdepth 65535 > "$OUT/pgm/ramp_5x2.pgm"
pgmramp -lr 5 2 | pamdepth 65535 | pnmtoplainpnm > "$OUT/pgm/ramp_5x2_plain.pgm"
printf 'P5\n# made by hand\r\n# second comment\n2 2\r\n65535\r\n\001\002\003\004\005\006\007\010' \
    > "$OUT/pgm/comments_crlf.pgm"

# PNG: pypng for the small depths, palettes and interlacing; ImageMagick for its adaptive filters
# and the chunks it writes around the image data.
"$PY" - "$OUT/png" <<'PYTHON'
import sys
import png
out = sys.argv[1]
def write(name, width, height, rows, **kw):
    with open(f'{out}/{name}', 'wb') as f:
        png.Writer(width, height, **kw).write(f, rows)
write('grey1_5x3.png', 5, 3, [[1, 0, 1, 1, 0], [0, 1, 0, 0, 1], [1, 1, 1, 0, 0]], greyscale=True, bitdepth=1)
write('palette2_4x3_interlaced.png', 4, 3, [[0, 1, 2, 2], [2, 1, 0, 0], [1, 1, 2, 0]], bitdepth=2,
      palette=[(255, 0, 0), (0, 255, 0), (0, 0, 255)], interlace=True)
write('ga16_3x2.png', 3, 2, [[0, 65535, 300, 4000, 65000, 1], [7, 8, 9, 10, 11, 12]], greyscale=True, alpha=True,
      bitdepth=16, chunk_limit=8)
write('rgba8_3x9_interlaced.png', 3, 9, [[(r * 29 + i * 7) % 256 for i in range(12)] for r in range(9)],
      greyscale=False, alpha=True, interlace=True)
PYTHON
convert -size 6x4 gradient:black-white -depth 16 -define png:compression-filter=5 "$OUT/png/grey_gradient_6x4.png"
convert -size 7x5 plasma:fractal -seed 3 -define png:compression-filter=5 -interlace PNG "$OUT/png/rgb_plasma_7x5.png"

# OpenEXR: OpenImageIO writes the compressions tinyexr decodes, scanline and tiled, and one it
# refuses; exrmaketiled adds mipmap levels.
"$PY" - "$OUT/exr" <<'PYTHON'
import sys
import numpy as np
import OpenImageIO as oiio
out = sys.argv[1]
rng = np.random.default_rng(9)
def exr(name, kind, names, compression, tile=None):
    spec = oiio.ImageSpec(5, 3, len(names), kind)
    spec.channelnames = names
    spec.attribute('compression', compression)
    if tile:
        spec.tile_width, spec.tile_height = tile
    o = oiio.ImageOutput.create(f'{out}/{name}')
    o.open(f'{out}/{name}', spec)
    o.write_image((rng.random((3, 5, len(names))) * 8).astype(np.float32))
    o.close()
exr('rgb_half_zip.exr', oiio.HALF, ('R', 'G', 'B'), 'zip')
exr('rgba_float_piz_tiled.exr', oiio.FLOAT, ('R', 'G', 'B', 'A'), 'piz', (4, 2))
exr('y_uint_rle.exr', oiio.UINT, ('Y',), 'rle')
exr('rgb_half_none_tiled.exr', oiio.HALF, ('R', 'G', 'B'), 'none', (2, 2))
exr('rgb_float_zips.exr', oiio.FLOAT, ('R', 'G', 'B'), 'zips')
exr('rgb_half_pxr24.exr', oiio.HALF, ('R', 'G', 'B'), 'pxr24')
PYTHON
exrmaketiled -m -t 2 2 -z zip "$OUT/exr/rgb_half_zip.exr" "$OUT/exr/rgb_half_zip_mipmap.exr" >/dev/null

# PNM and PFM: netpbm's six forms at maxvals of one and two bytes, and small float maps.
pgmnoise 4 3 -randomseed 1 -maxval 255 > "$OUT/pnm/grey_255.pgm"
pgmnoise 4 3 -randomseed 2 -maxval 1023 | pnmtoplainpnm > "$OUT/pnm/grey_1023_plain.pgm"
pgmnoise 9 2 -randomseed 3 | pgmtopbm -threshold > "$OUT/pnm/bits.pbm"
pnmtoplainpnm "$OUT/pnm/bits.pbm" > "$OUT/pnm/bits_plain.pbm"
ppmmake rgb:10/80/f0 3 2 | pamdepth 65535 > "$OUT/pnm/rgb_65535.ppm"
ppmmake rgb:10/80/f0 3 2 | pamdepth 7 | pnmtoplainpnm > "$OUT/pnm/rgb_7_plain.ppm"
"$PY" - "$OUT/pnm" <<'PYTHON'
import sys
import numpy as np
out = sys.argv[1]
image = np.arange(18, dtype=np.float32).reshape(2, 3, 3) / 7
open(f'{out}/rgb_le.pfm', 'wb').write(b'PF\n3 2\n-1.0\n' + image[::-1].astype('<f4').tobytes())
open(f'{out}/grey_be.pfm', 'wb').write(b'Pf\n3 2\n1.0\n' + image[::-1, :, 0].astype('>f4').tobytes())
PYTHON

# The TIFF target sees every source that begins like a TIFF, PGM or Radiance file.
cp "$OUT/pgm/gradient_4x3.pgm" "$OUT/radiance/gradient_256x2.hdr" "$OUT/tiff/"
ls -l "$OUT"/*
