#!/usr/bin/env python3
"""PNG and R16 height maps from kelvarin-cli, read back as users' tools read them.

usage: engine_outputs.py KELVARIN_CLI SAMPLES_DIR WORK_DIR
For each sample and each Swap setting: the PNG decoded by ImageMagick (libpng) holds the samples of
the TIFF written from the same source and options; the R16 holds them byte for byte, little-endian
or big-endian with --swap. Resampled outputs (--size) have the size asked for and the value range
of the source's samples, and stay close to ImageMagick's own resample of the TIFF's samples (-scale,
an area average, when shrinking; a Catmull-Rom cubic when enlarging). Prints one line per check; exit status 1 when
any failed.
"""
import subprocess
import sys
from pathlib import Path

import numpy as np
import tifffile

# Largest difference allowed from ImageMagick, in 16-bit steps. Shrinking, ImageMagick's -scale
# averages the area each new sample covers, partial samples weighed, as ours does: only rounding
# differs. Enlarging, both use a Catmull-Rom cubic, but evaluate it in other precisions and treat
# the edges in their own ways: a fraction of a percent, far less on average.
TOLERANCE = {"shrink": 2, "grow": 0.002 * 65535}
MEAN_TOLERANCE = {"shrink": 0.05, "grow": 1.0}

failures = 0


def check(name, problem):
    global failures
    print(("ok    " if not problem else "FAIL  ") + name + (": " + problem if problem else ""))
    failures += bool(problem)


def run(cli, args, work):
    done = subprocess.run([cli, *args], cwd=work, capture_output=True, text=True)
    if done.returncode != 0:
        raise RuntimeError(f"kelvarin-cli {' '.join(args)}: {done.returncode}: {done.stderr.strip()}")
    return done.stdout


def png_samples(path):
    """The samples and size of a PNG as ImageMagick reads it."""
    size = subprocess.run(["identify", "-format", "%w %h", str(path)], capture_output=True, text=True, check=True)
    width, height = map(int, size.stdout.split())
    raw = subprocess.run(["convert", str(path), "-depth", "16", "-endian", "MSB", "gray:-"], capture_output=True,
                         check=True).stdout
    return np.frombuffer(raw, dtype=">u2").reshape(height, width).astype(np.int64)


def magick_resample(samples, width, height, filter_name):
    """ImageMagick's resample of grey samples to exactly width x height."""
    h, w = samples.shape
    raw = subprocess.run(["convert", "-size", f"{w}x{h}", "-depth", "16", "-endian", "LSB", "gray:-",
                          *(["-scale"] if filter_name == "-scale" else ["-filter", filter_name, "-resize"]),
                          f"{width}x{height}!", "-depth", "16", "-endian", "LSB",
                          "gray:-"], input=samples.astype("<u2").tobytes(), capture_output=True, check=True).stdout
    return np.frombuffer(raw, dtype="<u2").reshape(height, width).astype(np.int64)


def main():
    cli, samples_dir, work = sys.argv[1], Path(sys.argv[2]).resolve(), Path(sys.argv[3])
    work.mkdir(parents=True, exist_ok=True)
    sources = [("tif", samples_dir / "render48.tif"), ("pgm", samples_dir / "ridge.pgm")]
    for command, source in sources:
        for swap in ([], ["--swap"]):
            label = f"{source.name}{' --swap' if swap else ''}"
            run(cli, [*swap, command, str(source), "ref.tif"], work)
            reference = tifffile.imread(work / "ref.tif").astype(np.int64)

            run(cli, [*swap, command, str(source), "out.png"], work)
            decoded = png_samples(work / "out.png")
            check(f"{label}: the PNG read by ImageMagick holds the TIFF's samples",
                  None if np.array_equal(decoded, reference) else
                  f"{np.count_nonzero(decoded != reference)} samples differ")

            run(cli, [*swap, command, str(source), "out.r16"], work)
            expected = reference.astype(">u2" if swap else "<u2").tobytes()
            check(f"{label}: the R16 holds the TIFF's samples byte for byte ({'big' if swap else 'little'}-endian)",
                  None if (work / "out.r16").read_bytes() == expected else "the bytes differ")

        height, width = reference.shape
        for kind, size, filter_name in (("shrink", (width // 3 + 1, height // 2 - 1), "-scale"),
                                        ("grow", (width * 4 + 1, height * 3 + 2), "Catrom")):
            target = f"{size[0]}x{size[1]}"
            run(cli, ["--size", target, command, str(source), f"{kind}.png"], work)
            ours = png_samples(work / f"{kind}.png")
            theirs = magick_resample(reference, size[0], size[1], filter_name)
            problem = None
            if ours.shape != (size[1], size[0]):
                problem = f"size {ours.shape[1]}x{ours.shape[0]}"
            elif kind == "shrink" and (ours.min() < reference.min() or ours.max() > reference.max()):
                # Averages never leave the range of what they average.
                problem = f"range {ours.min()}..{ours.max()} outside the source's {reference.min()}..{reference.max()}"
            else:
                difference = np.abs(ours - theirs)
                if difference.max() > TOLERANCE[kind] or difference.mean() > MEAN_TOLERANCE[kind]:
                    problem = f"differs from ImageMagick by up to {difference.max()}, " \
                              f"{difference.mean():.1f} on average"
                else:
                    print(f"      {source.name} {kind} to {target}: largest difference from ImageMagick "
                          f"{difference.max()}, mean {difference.mean():.2f} (of 65535)")
            method = "-scale" if filter_name == "-scale" else f"-filter {filter_name} -resize"
            check(f"{source.name}: --size {target} ({kind}) against ImageMagick {method}", problem)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
