"""kelvarin-cli.exe under Wine against the Linux build: the same files in, the same bytes out.

Each case runs both programs in a folder of its own holding every test file, then compares the
exit status, the message boxes (standard error), the log (standard output, with the run folder
and the timings masked) and the outputs named in the case, byte by byte.
"""

import difflib
import os
import re
import shutil
import subprocess
from dataclasses import dataclass
from pathlib import Path

import numpy as np
import OpenImageIO as oiio
import tifffile

from desktop import Wine


@dataclass(frozen=True)
class Case:
    name: str
    args: tuple      # the command line after the program's name; paths relative to the run folder
    status: int      # the exit status expected of both builds
    outputs: tuple   # compared after a success; must not exist after a refusal


# The case the window's conversion through its dialogs is compared with (--gui-only runs only it).
GUI_REFERENCE = Case("tif-non-ascii-names", ("tif", "dür/höhe-Ω.tif", "dür/grau-ß.tif"), 0, ("dür/grau-ß.tif",))

TERRAIN_OUTPUTS = ("vale_4096.tif", "vale_2048.tif", "vale_1024.tif")
CASES = (
    Case("tif-48bit", ("tif", "rgb48.tif", "out.tif"), 0, ("out.tif",)),
    Case("tif-24bit", ("tif", "rgb24.tif", "out.tif"), 0, ("out.tif",)),
    Case("tif-48bit-motorola", ("tif", "rgb48-mm.tif", "out.tif"), 0, ("out.tif",)),
    Case("tif-96bit-float", ("tif", "rgb96.tif", "out.tif"), 0, ("out.tif",)),
    Case("tif-48bit-all-options", ("--weighting", "hdtv", "--boost", "--invert", "--x2", "--x4", "--posterise", "8",
                                   "--swap", "tif", "rgb48.tif", "out.tif"), 0, ("out.tif",)),
    Case("tif-te-raw", ("--te-raw", "tif", "grey16.tif", "out.raw"), 0, ("out.raw",)),
    Case("hdr", ("hdr", "gradient.hdr", "out.tif"), 0, ("out.tif",)),
    Case("pgm-p5", ("pgm", "p5.pgm", "out.tif"), 0, ("out.tif",)),
    Case("pgm-p2", ("pgm", "p2.pgm", "out.tif"), 0, ("out.tif",)),
    Case("raw", ("raw", "square.raw", "out.tif"), 0, ("out.tif",)),
    Case("bin", ("bin", "dem.bin", "dem.hdr", "out.tif"), 0, ("out.tif",)),
    Case("terrain3", ("terrain3", "4vale.raw"), 0, TERRAIN_OUTPUTS),
    Case("terrain4-max", ("terrain4-max", "8vale.raw"), 0, TERRAIN_OUTPUTS),
    Case("refused-not-an-image", ("tif", "junk.tif", "out.tif"), 1, ("out.tif",)),
    # Opened by content: one file of each newer kind, and one of no kind at all.
    Case("open-png-grey16", ("open", "grey16.png", "out.tif"), 0, ("out.tif",)),
    Case("open-png-palette-interlaced", ("--boost", "open", "palette.png", "out.png"), 0, ("out.png",)),
    Case("open-tiff-lzw-tiles", ("open", "lzw-tiles.tif", "out.tif"), 0, ("out.tif",)),
    Case("open-tiff-deflate-grey", ("tif", "deflate-grey.tif", "out.tif"), 0, ("out.tif",)),
    Case("open-exr-half-piz", ("open", "half.exr", "out.tif"), 0, ("out.tif",)),
    Case("open-pfm", ("--invert", "open", "light.pfm", "out.tif"), 0, ("out.tif",)),
    Case("open-ppm-1023", ("--swap", "open", "levels.ppm", "out.tif"), 0, ("out.tif",)),
    # Heights: a PFM of one channel on its own range and on a given one, an ASCII grid with voids,
    # an SRTM tile known by its name.
    Case("open-heights-pfm", ("open", "heights.pfm", "out.tif"), 0, ("out.tif",)),
    Case("open-heights-given-range", ("--height-range", "-0.5:3.25", "open", "heights.pfm", "out.png"), 0,
         ("out.png",)),
    Case("open-heights-asc", ("open", "grid.asc", "out.tif"), 0, ("out.tif",)),
    Case("open-heights-hgt", ("open", "N45E006.hgt", "out.r16"), 0, ("out.r16",)),
    Case("open-refused-not-an-image", ("open", "junk.tif", "out.tif"), 1, ("out.tif",)),
    Case("refused-missing-source", ("tif", "nowhere.tif", "out.tif"), 1, ("out.tif",)),
    Case("batch", ("--jobs", "2", "--out-dir", "batch", "tif", "dür", "rgb48.tif", "rgb96.tif"), 0,
         ("batch/höhe-Ω.tif", "batch/rgb48.tif", "batch/rgb96.tif")),
)



def tile_names(name, columns, rows):
    """The tiles a --tiles run makes of the destination `name`, row by row."""
    stem, extension = os.path.splitext(name)
    return tuple(f"{stem}_x{x}_y{y}{extension}" for y in range(rows) for x in range(columns))


# Tiles: a map cut into a grid (resampled first in one case, Swap in another), and a map that
# does not split, which leaves no tile.
CASES += (
    Case("tiles-tif-4x2", ("--tiles", "4x2", "tif", "rgb48.tif", "out.tif"), 0, tile_names("out.tif", 4, 2)),
    Case("tiles-png-resized", ("--size", "65x33", "--tiles", "2x2", "raw", "square.raw", "out.png"), 0,
         tile_names("out.png", 2, 2)),
    Case("tiles-r16-swapped", ("--swap", "--tiles", "3x3", "raw", "square.raw", "out.r16"), 0,
         tile_names("out.r16", 3, 3)),
    Case("tiles-refused", ("--tiles", "2x2", "raw", "square.raw", "out.tif"), 1, tile_names("out.tif", 2, 2)),
)

TIFF_DATE_TIME = slice(234, 254)  # the 20 bytes of "YYYY:MM:DD HH:MM:SS\0" in every TIFF written


def make_test_files(folder):
    """Writes the test files into folder (made afresh); returns an error text, or None."""
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    rng = np.random.default_rng(7)
    h, w = 37, 53  # odd sizes: rows and blocks that do not divide evenly

    def rgb(dtype, high):
        return (rng.random((h, w, 3)) * high).astype(dtype)

    # Uncompressed single-strip RGB TIFFs of 24, 48 and 96 (float) bits per pixel, both byte orders.
    one_strip = dict(photometric="rgb", planarconfig="contig", rowsperstrip=h)
    tifffile.imwrite(folder / "rgb24.tif", rgb(np.uint8, 256), **one_strip)
    tifffile.imwrite(folder / "rgb48.tif", rgb("<u2", 65536), **one_strip)
    tifffile.imwrite(folder / "rgb48-mm.tif", rgb(">u2", 65536), byteorder=">", **one_strip)
    tifffile.imwrite(folder / "rgb96.tif", rgb("<f4", 1.0), **one_strip)
    tifffile.imwrite(folder / "grey16.tif", (rng.random((h, w)) * 65536).astype("<u2"), photometric="minisblack",
                     rowsperstrip=h)
    (folder / "dür").mkdir()
    tifffile.imwrite(folder / "dür/höhe-Ω.tif", rgb("<u2", 65536), **one_strip)

    # 16-bit PGM, binary and text.
    grey = (rng.random((h, w)) * 65536).astype(">u2")
    (folder / "p5.pgm").write_bytes(b"P5\n# made by windows-check\n%d %d\n65535\n" % (w, h) + grey.tobytes())
    rows = "".join(" ".join(str(v) for v in row) + "\n" for row in grey.astype(int))
    (folder / "p2.pgm").write_bytes(f"P2\n{w} {h}\n65535\n{rows}".encode())

    # Square headerless 16-bit RAW.
    (rng.random((64, 64)) * 65536).astype("<u2").tofile(folder / "square.raw")

    # 3DEM BIN with its text header (CR LF lines): rows 9, columns 11, base -120, void -9999.
    rows, cols = 9, 11
    data = (rng.random((rows, cols)) * 3000 - 120).astype("<i2")
    data[2, 3] = -9999
    data.tofile(folder / "dem.bin")
    header = ["file_title = windows-check", "data_format = int16", "map_projection = Lat/Lon",
              "ellipsoid = WGS84", "left_map_x = 7.0", "lower_map_y = 46.0", "right_map_x = 7.1",
              f"number_of_rows = {rows}", f"number_of_columns = {cols}", "elev_m_unit = meters",
              "elev_m_minimum = -120", "elev_m_maximum = 2880", "elev_m_missing_flag = -9999"]
    (folder / "dem.hdr").write_bytes("".join(line + "\r\n" for line in header).encode())

    # Terrain set: 8/4/2/1 + name + .raw at 8192, 4096, 2048 and 1024 pixels.
    for digit, side in (("8", 8192), ("4", 4096), ("2", 2048), ("1", 1024)):
        ramp = np.add.outer(np.arange(side, dtype=np.uint32) * 3, np.arange(side, dtype=np.uint32) * 5)
        (ramp % 65536).astype("<u2").tofile(folder / f"{digit}vale.raw")

    # Not an image at all.
    (folder / "junk.tif").write_bytes(b"this is not a picture\n" * 4)

    # Newer kinds, opened by content: PNG and compressed TIFF from ImageMagick and libtiff, OpenEXR
    # from OpenImageIO, PFM and PPM by hand.
    tifffile.imwrite(folder / "plain48.tif", rgb("<u2", 65536), **one_strip)
    made = [subprocess.run(command, capture_output=True, text=True) for command in (
        ["convert", str(folder / "grey16.tif"), str(folder / "grey16.png")],
        ["convert", str(folder / "rgb24.tif"), "-colors", "40", "-interlace", "PNG", "PNG8:" + str(folder / "palette.png")],
        ["tiffcp", "-c", "lzw:2", "-t", "-w", "16", "-l", "16", str(folder / "plain48.tif"), str(folder / "lzw-tiles.tif")],
        ["tiffcp", "-c", "zip:2", str(folder / "grey16.tif"), str(folder / "deflate-grey.tif")])]
    failed = [m.stderr[-300:] for m in made if m.returncode != 0]
    if failed:
        return "making the PNG and TIFF sources: " + failed[0]
    light = rgb("<f4", 4.0)
    (folder / "light.pfm").write_bytes(b"PF\n%d %d\n-1.0\n" % (w, h) + light[::-1].tobytes())
    (folder / "heights.pfm").write_bytes(b"Pf\n%d %d\n-1.0\n" % (w, h) + light[::-1, :, 0].tobytes())
    grid = "".join(" ".join("-9999" if (x + y) % 7 == 0 else "%.3f" % (x * 0.5 - y * 1.25) for x in range(w)) + "\n"
                   for y in range(h))
    (folder / "grid.asc").write_text("ncols %d\nnrows %d\nxllcorner 6.0\nyllcorner 45.0\ncellsize 0.25\n"
                                     "NODATA_value -9999\n%s" % (w, h, grid))
    srtm = ((np.arange(1201 * 1201, dtype=np.int64) * 37) % 4000 - 300).astype(">i2")
    srtm[::97] = -32768
    (folder / "N45E006.hgt").write_bytes(srtm.tobytes())
    (folder / "levels.ppm").write_bytes(b"P6\n%d %d\n1023\n" % (w, h) + rgb(">u2", 1024).tobytes())
    spec = oiio.ImageSpec(w, h, 3, oiio.HALF)
    spec.attribute("compression", "piz")
    exr = oiio.ImageOutput.create(str(folder / "half.exr"))
    exr.open(str(folder / "half.exr"), spec)
    exr.write_image(light)
    exr.close()

    # A Radiance file (new run-length scheme) from a real writer; at least 256 wide, as narrower
    # scanlines carry a zero in their length's high byte, which the reader refuses.
    made = subprocess.run(["convert", "-size", "301x23", "gradient:#2040ff-#ffe080", "-colorspace", "RGB",
                           "-depth", "32", str(folder / "gradient.hdr")], capture_output=True, text=True)
    return None if made.returncode == 0 else "ImageMagick Radiance writer: " + made.stderr[-300:]


def sample_cases(samples, folder):
    """One case per bundled sample, through the command of its kind; links the samples into folder."""
    cases = []
    by_name = {p.name.lower(): p for p in samples.iterdir() if p.is_file()} if samples.is_dir() else {}
    for name, sample in sorted(by_name.items()):
        stem, kind = os.path.splitext(name)
        inputs = [sample]
        if kind in (".tif", ".tiff"):
            command = "tif"
        elif kind in (".pgm", ".raw"):
            command = kind[1:]
        elif kind == ".hdr" and stem + ".bin" not in by_name:  # a Radiance picture, not a BIN file's header
            command = "hdr"
        elif kind == ".bin" and stem + ".hdr" in by_name:
            command = "bin"
            inputs.append(by_name[stem + ".hdr"])
        else:
            continue
        for path in inputs:
            link(path, folder / ("sample-" + path.name))
        args = (command, *("sample-" + path.name for path in inputs), "out.tif")
        cases.append(Case("sample-" + sample.name, args, 0, ("out.tif",)))
    return cases


def link(source, destination):
    """Hard links where they can be (the terrain set is large); folders are copied."""
    if source.is_dir():
        shutil.copytree(source, destination)
        return
    destination.unlink(missing_ok=True)
    try:
        os.link(source, destination)
    except OSError:
        shutil.copy(source, destination)


def same_output(linux, wine):
    """What differs between the two outputs (a TIFF's DateTime aside), or None."""
    if not linux.is_file():
        return f"Linux made no {linux}"
    if not wine.is_file():
        return f"Wine made no {wine}"
    a, b = linux.read_bytes(), wine.read_bytes()
    if len(a) != len(b):
        return f"{len(a)} bytes from Linux, {len(b)} from Wine"
    differ = np.flatnonzero(np.frombuffer(a, np.uint8) != np.frombuffer(b, np.uint8))
    if a[:4] in (b"II*\0", b"MM\0*"):
        differ = differ[(differ < TIFF_DATE_TIME.start) | (differ >= TIFF_DATE_TIME.stop)]
    return f"{differ.size} differing byte(s), the first at offset {differ[0]}" if differ.size else None


def normal_log(text, folder):
    """The log with the run folder as <DIR>, "/" separators in those paths and in a batch's block
    headings, and timing numbers masked."""
    lines = []
    for line in text.split("\n"):
        if folder in line:
            line = line.replace(folder, "<DIR>").replace("\\", "/")
        if line.startswith("### "):
            line = line.replace("\\", "/")
        if re.search(r"second|Time", line):
            line = re.sub(r"[0-9.]+", "#", line)
        lines.append(line)
    return lines


def normal_boxes(data):
    """Standard error with the "/" separators and the seconds of a batch's summary masked: the
    source a batch puts before each box is a path joined by the system's separator."""
    text = data.decode("utf-8", errors="surrogateescape").replace("\\", "/")
    return re.sub(r"(?m)^(ok|FAILED|total: .*,) [0-9]+\.[0-9]{3} s", r"\1 # s", text)


def run_case(case, files, runs, linux_cli, wine, cli_exe, env):
    """Runs one case on both builds; returns the problems found (empty when they agree)."""
    top = runs / case.name
    linux, windows = top / "linux", top / "wine"
    for folder in (linux, windows):
        folder.mkdir(parents=True)
        for path in files.iterdir():
            link(path, folder / path.name)
    with open(top / "linux.log", "wb") as log, open(top / "linux.err", "wb") as err:
        try:
            linux_status = subprocess.run([str(linux_cli), *case.args], cwd=linux, env=env, stdout=log, stderr=err,
                                          timeout=120).returncode
        except subprocess.TimeoutExpired:
            linux_status = "timed out"
    with open(top / "wine.log", "wb") as log, open(top / "wine.err", "wb") as err:
        wine_status = wine.run([cli_exe, *case.args], windows, log, err, timeout=180)

    problems = []
    if linux_status != case.status:
        problems.append(f"Linux exit {linux_status}, expected {case.status}")
    if wine_status != linux_status:
        problems.append(f"Wine exit {wine_status}, Linux {linux_status}")
    if normal_boxes((top / "linux.err").read_bytes()) != normal_boxes((top / "wine.err").read_bytes()):
        problems.append("message boxes differ")
    read = lambda name: (top / name).read_text(encoding="utf-8", errors="surrogateescape")
    linux_log = normal_log(read("linux.log"), str(linux))
    wine_log = normal_log(read("wine.log"), Wine.path(windows))
    if linux_log != wine_log:
        diff = difflib.unified_diff(linux_log, wine_log, "linux.log", "wine.log", lineterm="")
        (top / "log.diff").write_text("\n".join(diff) + "\n", errors="surrogateescape")
        problems.append(f"logs differ ({top / 'log.diff'})")
    for output in case.outputs:
        if case.status == 0:
            difference = same_output(linux / output, windows / output)
            if difference:
                problems.append(f"{output}: {difference}")
        elif (linux / output).exists() or (windows / output).exists():
            problems.append(f"{output} left behind by a failed job")
    if problems:
        problems.append((top / "linux.err").read_text(errors="replace")[:300])
    return problems

