#!/usr/bin/env python3
"""Makes OpenEXR sources with OpenImageIO (over the OpenEXR library) and OpenEXR's exrmaketiled
(mipmaps), and the samples a reader must give for each, read back by OpenImageIO.

usage: exr_reference.py DIR
Writes the sources, DIR/<case>.ref (native-order samples of the channels taken, top row first:
R, G, B then A, or the one grey channel) and DIR/manifest.txt: source|reference|width|height|
channels|alpha|type|bits, type u (unsigned) or f (float). Files of compressions a reader may refuse
go to DIR/refused.txt: source|compression name.
"""
import subprocess
import sys

import numpy as np
import OpenImageIO as oiio

out = sys.argv[1]
rng = np.random.default_rng(5)
manifest, refused = [], []
TYPES = {"half": (oiio.HALF, np.float16), "float": (oiio.FLOAT, np.float32), "uint": (oiio.UINT, np.uint32)}


def samples(kind, shape):
    if kind == "uint":
        return rng.integers(0, 2**32, shape, dtype=np.uint32)
    data = (rng.standard_normal(shape) * 300).astype(TYPES[kind][1])
    data.flat[0], data.flat[-1] = np.inf, -0.0
    return data


def write(path, data, spec):
    o = oiio.ImageOutput.create(path)
    assert o.open(path, spec), o.geterror()
    assert o.write_image(data), o.geterror()
    o.close()


def case(name, kinds, names, compression="zip", tile=None, origin=(0, 0), mip=False, order=None,
         size=(41, 27), taken=None):
    width, height = size
    spec = oiio.ImageSpec(width, height, len(names), TYPES[kinds[0]][0])
    if len(set(kinds)) > 1:
        spec.channelformats = tuple(oiio.TypeDesc(TYPES[k][0]) for k in kinds)
    spec.channelnames = names
    spec.x, spec.y = origin
    spec.attribute("compression", compression)
    if order:
        spec.attribute("openexr:lineOrder", order)
    if tile:
        spec.tile_width, spec.tile_height = tile
    channels = [samples(k, (height, width)) for k in kinds]
    data = np.stack([c.astype(np.float32) if len(set(kinds)) > 1 else c for c in channels], axis=2)
    path = f"{out}/{name}.exr"
    if mip:
        # OpenEXR's own tool makes the levels, from a scanline file of the same pixels.
        spec.tile_width = spec.tile_height = 0
        write(f"{out}/{name}_flat.exr", data, spec)
        subprocess.run(["exrmaketiled", "-m", "-t", str(tile[0]), str(tile[1]), "-z", compression,
                        f"{out}/{name}_flat.exr", path], check=True, stdout=subprocess.DEVNULL)
    else:
        write(path, data, spec)
    # What the writer stored (it may choose another compression for some layouts).
    inp = oiio.ImageInput.open(path)
    stored = inp.spec().get_string_attribute("compression")
    if stored in ("pxr24", "b44", "b44a", "dwaa", "dwab"):
        refused.append(f"{name}.exr|{stored.upper()}")
        return
    # The reference: the taken channels as OpenEXR reads them, in the taken order.
    taken = taken or [n for n in ("R", "G", "B") if n in names] or [n for n in names if n != "A"]
    alpha = "A" in names and "A" not in taken
    if alpha:
        taken = taken + ["A"]
    kind = "float" if len({kinds[names.index(n)] for n in taken}) > 1 else kinds[names.index(taken[0])]
    back = inp.read_image(0, 0, 0, len(names), TYPES[kind][0])
    inp.close()
    assert back.shape == (height, width, len(names))
    order_in_file = list(inp.spec().channelnames)
    ref = np.stack([back[:, :, order_in_file.index(n)] for n in taken], axis=2)
    ref.astype(TYPES[kind][1]).tofile(f"{path}.ref")
    bits = 16 if kind == "half" else 32
    manifest.append(f"{name}.exr|{name}.exr.ref|{width}|{height}|{len(taken)}|{int(alpha)}|"
                    f"{'u' if kind == 'uint' else 'f'}|{bits}")


for compression in ("none", "rle", "zips", "zip", "piz", "pxr24", "b44", "dwaa"):
    for kind in ("half", "float", "uint"):
        for names in (("R", "G", "B"), ("R", "G", "B", "A"), ("Y",)):
            for tile in (None, (16, 8)):
                layout = "".join(names) + ("_tiled" if tile else "")
                case(f"{compression}_{kind}_{layout}", [kind] * len(names), names, compression, tile)
case("mipmap_piz", ["half"] * 3, ("R", "G", "B"), "piz", (32, 32), mip=True, size=(77, 50))
case("mipmap_zip_float", ["float"] * 4, ("R", "G", "B", "A"), "zip", (8, 8), mip=True, size=(20, 33))
case("window_offset", ["half"] * 3, ("R", "G", "B"), "zip", origin=(-7, 12))
case("window_offset_tiled", ["float"] * 3, ("R", "G", "B"), "rle", (16, 16), origin=(100, -3))
case("decreasing_rows", ["half"] * 3, ("R", "G", "B"), "piz", order="decreasingY")
case("mixed_half_float", ["half", "float", "half"], ("B", "G", "R"), "zip")
case("extra_channels", ["half"] * 5, ("A", "B", "G", "R", "Z"), "zips")
case("height_only", ["float"], ("height",), "zip", size=(300, 200))
case("large_piz_tiled", ["half"] * 3, ("R", "G", "B"), "piz", (64, 64), size=(513, 260))
case("one_pixel", ["float"] * 3, ("R", "G", "B"), "none", size=(1, 1))

with open(f"{out}/manifest.txt", "w") as f:
    f.write("\n".join(manifest) + "\n")
with open(f"{out}/refused.txt", "w") as f:
    f.write("\n".join(refused) + "\n")
