#!/usr/bin/env python3
"""Radiance files of the same pixels in each kind of scanline, for the scanline tests.

    rgbe_reencode.py decode SOURCE OUTDIR      the pixels of SOURCE (new RLE or flat rows, as common
                                               writers make them) again as flat.hdr, old.hdr and
                                               mixed.hdr in OUTDIR
    rgbe_reencode.py make WIDTH LENGTH SEED OUTDIR
                                               random pixels with long runs as newrle.hdr (literal
                                               packets; above 32767 pixels with the full width in
                                               each row's header, as ImageMagick writes them), then
                                               the same three files
"""
import sys

import numpy as np

HEADER = b'#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n'


def read(path):
    data = open(path, 'rb').read()
    start = data.index(b'\n\n') + 2
    stop = data.index(b'\n', start) + 1
    y, length, x, width = data[start:stop].split()
    assert y == b'-Y' and x == b'+X', data[start:stop]
    length, width = int(length), int(width)
    pixels = np.zeros((length, width, 4), np.uint8)
    at = stop
    for row in range(length):
        head = data[at:at + 4]
        if head[:2] == b'\x02\x02' and (head[2] < 128 or (head[2] << 8 | head[3]) == width):
            at += 4
            for c in range(4):
                x = 0
                while x < width:
                    n = data[at]
                    at += 1
                    if n > 128:
                        pixels[row, x:x + n - 128, c] = data[at]
                        at += 1
                        x += n - 128
                    else:
                        pixels[row, x:x + n, c] = np.frombuffer(data[at:at + n], np.uint8)
                        at += n
                        x += n
        else:
            flat = np.frombuffer(data[at:at + 4 * width], np.uint8).reshape(width, 4)
            # Writers scale the largest component to 128 or more: no pixel of theirs reads as a run.
            assert not ((flat[:, 0] == 1) & (flat[:, 1] == 1) & (flat[:, 2] == 1)).any()
            pixels[row] = flat
            at += 4 * width
    return pixels


def header(pixels):
    return HEADER + b'-Y %d +X %d\n' % pixels.shape[:2]


def flat_row(row):
    return row.tobytes()


def old_row(row):
    out = bytearray()
    x = 0
    while x < len(row):
        out += row[x].tobytes()
        repeats = 0
        while x + 1 + repeats < len(row) and (row[x + 1 + repeats] == row[x]).all():
            repeats += 1
        left = repeats
        while left:
            out += bytes((1, 1, 1, left & 255))
            left >>= 8
        x += 1 + repeats
    return bytes(out)


def new_row(row):
    width = len(row)
    out = bytearray((2, 2, width >> 8 & 255, width & 255))
    for c in range(4):
        values = row[:, c].tobytes()
        for x in range(0, width, 128):
            chunk = values[x:x + 128]
            out += bytes((len(chunk),)) + chunk
    return bytes(out)


def write(path, pixels, encoders):
    with open(path, 'wb') as f:
        f.write(header(pixels))
        for r, row in enumerate(pixels):
            f.write(encoders[r % len(encoders)](row))


def reencode(pixels, outdir):
    write(f'{outdir}/flat.hdr', pixels, [flat_row])
    write(f'{outdir}/old.hdr', pixels, [old_row])
    # Row by row the kinds change: old, flat, new.
    write(f'{outdir}/mixed.hdr', pixels, [old_row, flat_row, new_row])


def random_pixels(width, length, seed):
    rng = np.random.default_rng(seed)
    palette = rng.integers(0, 256, (12, 4), dtype=np.uint8)
    palette[:, 0] |= 128              # the largest component scaled into [128, 256)
    palette[:, 3] = rng.integers(120, 140, 12)
    palette[0] = 0                    # black
    pixels = np.zeros((length, width, 4), np.uint8)
    for r in range(length):
        x = 0
        while x < width:
            # Runs of up to 700 pixels: repeats beyond 255 need a second run pixel.
            n = int(rng.integers(1, 700)) if rng.random() < 0.5 else 1
            pixels[r, x:x + n] = palette[rng.integers(0, 12)]
            x += n
    return pixels


def main():
    if sys.argv[1] == 'decode':
        reencode(read(sys.argv[2]), sys.argv[3])
    else:
        width, length, seed, outdir = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
        pixels = random_pixels(width, length, seed)
        write(f'{outdir}/newrle.hdr', pixels, [new_row])
        reencode(pixels, outdir)


main()
