#!/usr/bin/env python3
"""Runs the kelvarin-cli examples of the README and the manual, so the pages cannot drift from
the program.

  tools/doc-examples.py KELVARIN_CLI [PAGE.md...]   (default: README.md and docs/**/*.md)

Two kinds of fenced blocks are examples:
  - ```sh blocks with a line that starts with `kelvarin-cli`: the whole block runs in bash with
    -e and pipefail, and must end with status 0;
  - ```console blocks: each `$ COMMAND` line runs, and what it prints (stdout and stderr, as a
    terminal shows them) must be the lines below it; a line `...` stands for any number of lines,
    and a command that fails shows `[exit status N]` as its last line.
Each block runs in a folder of its own holding a copy of samples/ and the files the pages name:
SRTM tiles in tiles/, a folder of renders in renders/ and a terrain set maps/4alps.raw,
maps/2alps.raw, maps/1alps.raw. Prints one line per example and
"doc-examples: N passed, M failed"; the exit status is 1 when one failed.
"""

import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
FENCE = re.compile(r"^```(\w*)\s*$")


def blocks(page):
    """(line number, info string, lines) of every fenced block of the page."""
    found, current = [], None
    for number, line in enumerate(page.read_text(encoding="utf-8").splitlines(), 1):
        fence = FENCE.match(line)
        if current is None and fence:
            current = (number, fence.group(1), [])
        elif current is not None and line.startswith("```"):
            found.append(current)
            current = None
        elif current is not None:
            current[2].append(line)
    return found


def is_example(info, lines):
    if info == "console":
        return any(line.startswith("$ ") for line in lines)
    return info == "sh" and any(line.startswith("kelvarin-cli") for line in lines)


def srtm_tile(path, base):
    """A 1201 x 1201 SRTM tile of big-endian heights: a slope with a void in one corner."""
    rows = []
    for y in range(1201):
        row = [base + (x + y) // 4 for x in range(1201)]
        if y < 3:
            row[:3] = [-32768] * 3
        rows.append(struct.pack(">1201h", *row))
    path.write_bytes(b"".join(rows))


def terrain_export(path, size):
    """A square little-endian 16-bit RAW export, a ramp along the rows."""
    row = struct.pack(f"<{size}H", *((x * 65535) // (size - 1) for x in range(size)))
    path.write_bytes(row * size)


def prepare(folder, text):
    """A copy of the samples, and only those made-up files the block names (they take time)."""
    shutil.copytree(ROOT / "samples", folder / "samples", ignore=shutil.ignore_patterns("*.py", "*.md"))
    if "tiles/" in text or "srtm/" in text:
        for name, base in (("N45E006.hgt", 200), ("N46E006.hgt", 500)):
            (folder / "tiles").mkdir(exist_ok=True)
            srtm_tile(folder / "tiles" / name, base)
        shutil.copytree(folder / "tiles", folder / "srtm")
    if "renders/" in text:
        (folder / "renders").mkdir()
        for name in ("dunes.tif", "ridge.tif"):
            shutil.copy(folder / "samples/render48.tif", folder / "renders" / name)
    if "alps.raw" in text:
        (folder / "maps").mkdir()
        for prefix, size in (("4", 4096), ("2", 2048), ("1", 1024)):
            terrain_export(folder / "maps" / f"{prefix}alps.raw", size)


def matches(expected, actual):
    """Expected lines against actual ones; "..." takes any number of lines."""
    if not expected:
        return not actual
    if expected[0] == "...":
        return any(matches(expected[1:], actual[i:]) for i in range(len(actual) + 1))
    return bool(actual) and expected[0] == actual[0] and matches(expected[1:], actual[1:])


def run_console(lines, folder, env):
    """None when every command printed what the block shows below it, else what differs."""
    commands = []
    for line in lines:
        if line.startswith("$ "):
            commands.append((line[2:], []))
        elif commands:
            commands[-1][1].append(line)
    for command, expected in commands:
        done = subprocess.run(["bash", "-c", command], cwd=folder, env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True, errors="replace")
        actual = done.stdout.splitlines() + ([f"[exit status {done.returncode}]"] if done.returncode else [])
        while expected and not expected[-1]:
            expected = expected[:-1]
        if not matches(expected, actual):
            return f"$ {command}\n  expected:\n    " + "\n    ".join(expected) + "\n  printed:\n    " + \
                "\n    ".join(actual)
    return None


def run_script(lines, folder, env):
    done = subprocess.run(["bash", "-e", "-o", "pipefail", "-c", "\n".join(lines)], cwd=folder, env=env,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace")
    return None if done.returncode == 0 else f"status {done.returncode}:\n" + done.stdout[-1500:]


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    cli = Path(sys.argv[1]).resolve()
    pages = [Path(p).resolve() for p in sys.argv[2:]] or [ROOT / "README.md", *sorted((ROOT / "docs").rglob("*.md"))]
    bin_dir = Path(tempfile.mkdtemp(prefix="kelvarin-doc-bin-"))
    (bin_dir / "kelvarin-cli").symlink_to(cli)
    # The progress bar is drawn only on a terminal; the columns of `ls` and the like are fixed.
    env = dict(os.environ, PATH=f"{bin_dir}:{os.environ['PATH']}", LC_ALL="C.UTF-8", COLUMNS="100")
    passed = failed = 0
    try:
        for page in pages:
            for number, info, lines in blocks(page):
                if not is_example(info, lines):
                    continue
                name = f"{page.relative_to(ROOT)}:{number}"
                with tempfile.TemporaryDirectory(prefix="kelvarin-doc-") as work:
                    folder = Path(work)
                    prepare(folder, "\n".join(lines))
                    run = run_console if info == "console" else run_script
                    problem = run(lines, folder, env)
                if problem:
                    failed += 1
                    print(f"  FAIL  {name}\n        " + problem.replace("\n", "\n        "))
                else:
                    passed += 1
                    print(f"  ok    {name}")
    finally:
        shutil.rmtree(bin_dir)
    print(f"doc-examples: {passed} passed, {failed} failed")
    sys.exit(1 if failed or not passed else 0)


if __name__ == "__main__":
    main()
