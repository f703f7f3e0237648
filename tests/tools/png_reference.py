#!/usr/bin/env python3
"""Makes PNG sources and the samples a reader must decode from them, read back by pypng.

usage: png_reference.py DIR
Every colour type and bit depth, interlaced or not, at odd sizes, random samples, written by
pypng (filter type None, image data split over many IDAT chunks) and re-encoded by ImageMagick
with its adaptive filters. pypng writes only filter type None: each of its files is also
re-filtered here, row r with filter type r % 5, and written again with a few chunks around the
image data (the reference is still what pypng reads back from the new file). For each DIR/<case>.png the samples
pypng reads from it go to DIR/<case>.ref: one byte a sample up to 8 bits, two (little-endian)
for 16, palette images as their RGB. DIR/manifest.txt has a line a case:
name width height channels alpha bits maxValue
"""
import struct
import subprocess
import sys
import zlib

import numpy as np
import png

out = sys.argv[1]
rng = np.random.default_rng(2024)
PLANES = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}
DEPTHS = {0: (1, 2, 4, 8, 16), 2: (8, 16), 3: (1, 2, 4, 8), 4: (8, 16), 6: (8, 16)}
SIZES = [(1, 1), (3, 7), (33, 17), (9, 1), (1, 9)]
manifest = []


def write_pypng(path, colour_type, depth, width, height, interlace, chunk_limit):
    planes = PLANES[colour_type]
    top = (1 << depth) - 1
    palette = None
    if colour_type == 3:
        entries = int(rng.integers(1, (1 << depth) + 1))
        palette = [tuple(int(v) for v in rng.integers(0, 256, 3)) for _ in range(entries)]
        top = entries - 1
    rows = rng.integers(0, top, (height, width * planes), endpoint=True)
    writer = png.Writer(width, height, greyscale=colour_type in (0, 4), alpha=colour_type in (4, 6),
                        bitdepth=depth, palette=palette, interlace=interlace, chunk_limit=chunk_limit)
    with open(path, 'wb') as f:
        writer.write(f, rows.tolist())


def reference(name):
    """The samples pypng reads from DIR/name.png, in the reader's layout."""
    width, height, rows, info = png.Reader(filename=f'{out}/{name}.png').read()
    data = np.array([list(r) for r in rows], dtype=np.int64).reshape(height, -1)
    if 'palette' in info:
        palette = np.array([p[:3] for p in info['palette']], dtype=np.uint8)
        samples, channels, alpha, bits, top = palette[data].astype(np.uint8), 3, 0, 8, 255
    else:
        channels = info['planes']
        alpha = int(info['alpha'])
        depth = info['bitdepth']
        bits, top = (16 if depth > 8 else 8), (1 << depth) - 1
        samples = data.astype('<u2' if bits == 16 else np.uint8)
    open(f'{out}/{name}.ref', 'wb').write(samples.tobytes())
    manifest.append(f'{name} {width} {height} {channels} {alpha} {bits} {top}')


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))


def filtered(kind, row, above, distance):
    """Row `row` (bytes as int arrays) filtered with `kind` against the raw row above."""
    left = np.concatenate([np.zeros(distance, np.int64), row[:-distance] if distance < len(row) else []])[:len(row)]
    upleft = np.concatenate([np.zeros(distance, np.int64), above[:-distance] if distance < len(row) else []])[:len(row)]
    if kind == 0:
        predicted = np.zeros_like(row)
    elif kind == 1:
        predicted = left
    elif kind == 2:
        predicted = above
    elif kind == 3:
        predicted = (left + above) // 2
    else:
        p = left + above - upleft
        pa, pb, pc = abs(p - left), abs(p - above), abs(p - upleft)
        predicted = np.where((pa <= pb) & (pa <= pc), left, np.where(pb <= pc, above, upleft))
    return ((row - predicted) % 256).astype(np.uint8)


def refilter(name, new_name):
    """DIR/name.png with row r of each pass filtered by type r % 5, its data in several IDATs."""
    data = open(f'{out}/{name}.png', 'rb').read()
    chunks, at = [], 8
    while at < len(data):
        length, kind = struct.unpack('>I4s', data[at:at + 8])
        chunks.append((kind, data[at + 8:at + 8 + length]))
        at += 12 + length
    ihdr = chunks[0][1]
    width, height, depth, colour_type, _, _, interlace = struct.unpack('>IIBBBBB', ihdr)
    raw = zlib.decompress(b''.join(d for k, d in chunks if k == b'IDAT'))
    bits = PLANES[colour_type] * depth
    distance = max(1, bits // 8)
    passes = ADAM7 if interlace else [(0, 0, 1, 1)]
    stream, at = bytearray(), 0
    for x0, y0, dx, dy in passes:
        pw, ph = max(0, (width - x0 + dx - 1) // dx), max(0, (height - y0 + dy - 1) // dy)
        if pw == 0 or ph == 0:
            continue
        size = (pw * bits + 7) // 8
        above = np.zeros(size, np.int64)
        for r in range(ph):
            assert raw[at] == 0
            row = np.frombuffer(raw[at + 1:at + 1 + size], np.uint8).astype(np.int64)
            stream += bytes([r % 5]) + filtered(r % 5, row, above, distance).tobytes()
            above, at = row, at + 1 + size
    packed = zlib.compress(bytes(stream), 9)
    pieces = [packed[i:i + 5] for i in range(0, len(packed), 5)] + [b'']
    body = chunk(b'IHDR', ihdr) + chunk(b'gAMA', struct.pack('>I', 45455))
    body += b''.join(chunk(k, d) for k, d in chunks if k in (b'PLTE', b'tRNS'))
    body += b''.join(chunk(b'IDAT', p) for p in pieces) + chunk(b'tEXt', b'Comment\0after the data')
    open(f'{out}/{new_name}.png', 'wb').write(data[:8] + body + chunk(b'IEND', b''))
    reference(new_name)


# pypng: every format, both interlace methods, odd sizes; the larger ones over many small IDATs.
for colour_type, depths in DEPTHS.items():
    for depth in depths:
        for width, height in SIZES:
            for interlace in (False, True):
                name = f'pypng_c{colour_type}_d{depth}_{width}x{height}{"_i" if interlace else ""}'
                chunk_limit = 7 if width * height > 100 else 2 ** 20
                write_pypng(f'{out}/{name}.png', colour_type, depth, width, height, interlace, chunk_limit)
                reference(name)
                refilter(name, name.replace('pypng', 'filtered'))

# ImageMagick: the same sources re-encoded with each filter (5 is its adaptive choice per row).
for colour_type, depths in DEPTHS.items():
    for depth in depths:
        source = f'{out}/pypng_c{colour_type}_d{depth}_33x17.png'
        for filt in range(6):
            for interlace in ('none', 'PNG'):
                name = f'magick_c{colour_type}_d{depth}_f{filt}_{interlace}'
                subprocess.run(['convert', source, '-define', f'png:compression-filter={filt}',
                                '-define', f'png:color-type={colour_type}', '-define', f'png:bit-depth={depth}',
                                '-interlace', interlace, f'{out}/{name}.png'],
                               check=True, stderr=subprocess.DEVNULL)
                reference(name)

# A larger photo-like 16-bit RGB and 8-bit grey image, so the adaptive filters vary along rows.
for name, size, depth, ctype in (('magick_rgb16_plasma', '130x90', 16, 2), ('magick_grey8_plasma', '257x65', 8, 0)):
    subprocess.run(['convert', '-seed', '5', '-size', size, 'plasma:', '-define', 'png:compression-filter=5',
                    '-define', f'png:color-type={ctype}', '-define', f'png:bit-depth={depth}', f'{out}/{name}.png'],
                   check=True, stderr=subprocess.DEVNULL)
    reference(name)

open(f'{out}/manifest.txt', 'w').write('\n'.join(manifest) + '\n')
