"""kelvarin-cli.exe replacing an existing destination under Wine (MoveFileExW over it).

A job that fails leaves the old file as it was, a successful one replaces it, and Ctrl-C in the
middle of a job ends with status 130, the old file kept; none leaves a temporary file behind.
"""

import shutil
import signal
import struct
import subprocess
import time

from parity import same_output

OLD_MAP = b"old map"


def temporary_files(folder):
    return sorted(p.name for p in folder.iterdir() if "kelvarin-" in p.name)


def replaced_destination(files, runs, wine, cli_exe):
    """A failed BIN job (its data file one byte too long), then a successful one."""
    folder = runs / "replaced-destination"
    folder.mkdir(parents=True)
    for name in ("dem.bin", "dem.hdr"):
        shutil.copy(files / name, folder / name)
    with open(folder / "dem.bin", "ab") as data:
        data.write(b"x")
    (folder / "out.tif").write_bytes(OLD_MAP)
    args = [cli_exe, "bin", "dem.bin", "dem.hdr", "out.tif"]
    status = wine.run(args, folder, subprocess.DEVNULL, subprocess.DEVNULL, timeout=180)
    if status != 1:
        return [f"the failing job ended with {status}, not 1"]
    if (folder / "out.tif").read_bytes() != OLD_MAP:
        return ["a failed job changed the old destination"]
    shutil.copy(files / "dem.bin", folder / "dem.bin")
    status = wine.run(args, folder, subprocess.DEVNULL, subprocess.DEVNULL, timeout=180)
    if status != 0:
        return [f"the successful job ended with {status}"]
    problems = []
    difference = same_output(runs / "bin/linux/out.tif", folder / "out.tif")
    if difference:
        problems.append(difference)
    if temporary_files(folder):
        problems.append(f"temporary files stayed: {temporary_files(folder)}")
    return problems


def sparse_float_tiff(path, side):
    """A 96-bit float TIFF whose pixels are a hole in a sparse file: far from converted when its
    job's temporary file appears."""
    data_bytes = side * side * 12
    entries = [(254, 4, 1, 0), (256, 3, 1, side), (257, 3, 1, side), (258, 3, 3, "bits"), (259, 3, 1, 1),
               (262, 3, 1, 2), (273, 4, 1, "data"), (277, 3, 1, 3), (278, 3, 1, side), (279, 4, 1, data_bytes),
               (284, 3, 1, 1), (339, 3, 3, "format")]
    arrays = 8 + 2 + 12 * len(entries) + 4
    places = {"bits": arrays, "format": arrays + 6, "data": arrays + 12}
    head = bytearray(b"II" + struct.pack("<HIH", 42, 8, len(entries)))
    for tag, kind, count, value in entries:
        value = places.get(value, value)
        field = struct.pack("<HH", value, 0) if kind == 3 and count == 1 else struct.pack("<I", value)
        head += struct.pack("<HHI", tag, kind, count) + field
    head += struct.pack("<I", 0) + struct.pack("<6H", 32, 32, 32, 3, 3, 3)
    with open(path, "wb") as f:
        f.write(head)
        f.truncate(len(head) + data_bytes)


def interrupted_job(runs, wine, cli_exe):
    """Ctrl-C (Wine hands SIGINT on as CTRL_C_EVENT) the moment the temporary file appears."""
    folder = runs / "interrupted"
    folder.mkdir(parents=True)
    sparse_float_tiff(folder / "big.tif", 16384)
    (folder / "out.tif").write_bytes(OLD_MAP)
    process = wine.start([cli_exe, "tif", "big.tif", "out.tif"], folder, runs / "interrupted.log")
    try:
        deadline = time.monotonic() + 180
        while not temporary_files(folder):
            if process.poll() is not None:
                log = (runs / "interrupted.log").read_text(errors="replace").splitlines()[-8:]
                return [f"the job ended ({process.returncode}) before its temporary file was seen; "
                        f"its log ends: {' | '.join(log)}"]
            if time.monotonic() > deadline:
                return ["no temporary file appeared within 180 s"]
            time.sleep(0.01)
        process.send_signal(signal.SIGINT)
        status = process.wait(timeout=60)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        return ["the job did not end after Ctrl-C"]
    finally:
        (folder / "big.tif").unlink(missing_ok=True)
    problems = []
    if status != 130:
        problems.append(f"exit status {status}, not 130")
    if (folder / "out.tif").read_bytes() != OLD_MAP:
        problems.append("the old destination changed")
    if temporary_files(folder):
        problems.append(f"temporary files stayed: {temporary_files(folder)}")
    return problems
