#!/usr/bin/env python3
"""Draws the KELVARIN application icon: a posterised height map, grey terraces rising from a dark
tile to a white summit, the way the converter's output looks with "Posterise" on.

Writes, next to this script:
  kelvarin.svg                 the scalable icon (hicolor "scalable")
  hicolor/<N>x<N>/kelvarin.png the sizes the desktop themes use
  kelvarin.ico                 the Windows icon (BMP entries up to 64 pixels, PNG at 256)

The picture is a list of shapes on a 256 x 256 canvas; the SVG states them and the PNGs are the
same shapes sampled 8 x 8 times per pixel here, so building the program needs no image tools.
Needs python3 and numpy. Run it again after changing the shapes and commit what it writes.
"""
import math
import os
import struct
import zlib

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
PNG_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
ICO_SIZES = (16, 24, 32, 48, 64, 256)
SUPERSAMPLE = 8

TILE = dict(x=8.0, y=8.0, size=240.0, radius=40.0, fill=(0x26, 0x26, 0x26))
# Terraces from the lowest up: a grey and the ellipses (cx, cy, rx, ry, degrees) whose union it
# fills. A main peak right of centre and a lower shoulder to its left.
TERRACES = [
    ((0x42, 0x42, 0x42), [(150, 118, 118, 92, -25), (92, 168, 84, 64, -35), (176, 190, 70, 46, 10)]),
    ((0x62, 0x62, 0x62), [(152, 114, 92, 70, -25), (94, 164, 62, 44, -35), (180, 178, 44, 28, 10)]),
    ((0x84, 0x84, 0x84), [(154, 110, 68, 50, -25), (96, 160, 40, 26, -35)]),
    ((0xa8, 0xa8, 0xa8), [(156, 106, 46, 34, -25), (98, 158, 20, 12, -35)]),
    ((0xcf, 0xcf, 0xcf), [(158, 102, 26, 19, -25)]),
    ((0xff, 0xff, 0xff), [(160, 99, 10, 7, -25)]),
]


def hex_colour(rgb):
    return '#%02x%02x%02x' % rgb


def write_svg(path):
    t = TILE
    rect = 'x="%g" y="%g" width="%g" height="%g" rx="%g"' % (t['x'], t['y'], t['size'], t['size'], t['radius'])
    lines = ['<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">',
             '  <title>KELVARIN</title>',
             '  <defs><clipPath id="tile"><rect %s/></clipPath></defs>' % rect,
             '  <rect %s fill="%s"/>' % (rect, hex_colour(t['fill'])),
             '  <g clip-path="url(#tile)">']
    for colour, ellipses in TERRACES:
        lines.append('    <g fill="%s">' % hex_colour(colour))
        for cx, cy, rx, ry, degrees in ellipses:
            lines.append('      <ellipse cx="%g" cy="%g" rx="%g" ry="%g" transform="rotate(%g %g %g)"/>'
                         % (cx, cy, rx, ry, degrees, cx, cy))
        lines.append('    </g>')
    lines += ['  </g>', '</svg>', '']
    with open(path, 'w', newline='\n') as f:
        f.write('\n'.join(lines))


def in_tile(x, y):
    t = TILE
    r = t['radius']
    # Distance outside the rounded square's inner rectangle, clamped at zero inside it.
    dx = np.maximum(np.abs(x - (t['x'] + t['size'] / 2)) - (t['size'] / 2 - r), 0)
    dy = np.maximum(np.abs(y - (t['y'] + t['size'] / 2)) - (t['size'] / 2 - r), 0)
    return dx * dx + dy * dy <= r * r


def in_ellipse(x, y, cx, cy, rx, ry, degrees):
    a = math.radians(degrees)
    # Into the ellipse's own axes: the SVG rotation turns the shape by +a, so points turn by -a.
    u = (x - cx) * math.cos(a) + (y - cy) * math.sin(a)
    v = -(x - cx) * math.sin(a) + (y - cy) * math.cos(a)
    return (u / rx) ** 2 + (v / ry) ** 2 <= 1


def render(size):
    n = size * SUPERSAMPLE
    coords = (np.arange(n) + 0.5) * (256.0 / n)
    x, y = np.meshgrid(coords, coords)
    rgb = np.zeros((n, n, 3))
    tile = in_tile(x, y)
    rgb[tile] = TILE['fill']
    for colour, ellipses in TERRACES:
        inside = np.zeros_like(tile)
        for ellipse in ellipses:
            inside |= in_ellipse(x, y, *ellipse)
        rgb[inside & tile] = colour
    alpha = tile.astype(float)
    # Average the samples of each pixel; colour weighted by coverage (premultiplied), then undone.
    shape = (size, SUPERSAMPLE, size, SUPERSAMPLE)
    cover = alpha.reshape(shape).mean(axis=(1, 3))
    premultiplied = (rgb * alpha[..., None]).reshape(shape + (3,)).mean(axis=(1, 3))
    colour = np.where(cover[..., None] > 0, premultiplied / np.maximum(cover[..., None], 1e-9), 0)
    out = np.dstack([colour, cover * 255])
    return np.clip(np.rint(out), 0, 255).astype(np.uint8)


def png_bytes(rgba):
    h, w, _ = rgba.shape
    raw = b''.join(b'\0' + rgba[row].tobytes() for row in range(h))

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def ico_bmp_bytes(rgba):
    # A 32-bit DIB, bottom-up, height doubled for the AND mask that follows (all zero: the alpha
    # channel decides, the mask only serves programs that ignore it).
    h, w, _ = rgba.shape
    header = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    bgra = rgba[::-1][..., [2, 1, 0, 3]].tobytes()
    mask_row = ((w + 31) // 32) * 4
    return header + bgra + b'\0' * (mask_row * h)


def write_ico(path, images):
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for size, blob in images:
        entries.append(struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    with open(path, 'wb') as f:
        f.write(struct.pack('<HHH', 0, 1, len(images)) + b''.join(entries) + b''.join(blobs))


def main():
    write_svg(os.path.join(HERE, 'kelvarin.svg'))
    rendered = {size: render(size) for size in sorted(set(PNG_SIZES) | set(ICO_SIZES))}
    for size in PNG_SIZES:
        folder = os.path.join(HERE, 'hicolor', '%dx%d' % (size, size))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, 'kelvarin.png'), 'wb') as f:
            f.write(png_bytes(rendered[size]))
    write_ico(os.path.join(HERE, 'kelvarin.ico'),
              [(s, png_bytes(rendered[s]) if s >= 256 else ico_bmp_bytes(rendered[s])) for s in ICO_SIZES])


if __name__ == '__main__':
    main()
