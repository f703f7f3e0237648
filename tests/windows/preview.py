"""The Win32 preview window, opened by kelvarin-preview-check.exe on the made-up report of the Qt
window's check (a 640 x 400 map in 8-bit levels with a lake cut off at 0): it shows, its figures
and warnings are the report's, the warnings in bold, it opens beside the main window, the readout under a cursor names the map's
sample there and stays under it through a zoom (Fit gives the fitted readouts back), and when made
larger the picture takes the room while the figures keep their size at the right."""

import re

from desktop import ended, exit_status

TITLE = "KELVARIN - Preview"


def shown_lines(path):
    lines = path.read_text(encoding="utf-8").splitlines() if path.is_file() else []
    return dict(line.split(": ", 1) for line in lines if ": " in line)


def size_change(change):
    """(dx, dy, dwidth, dheight) of an "x y width height -> x y width height" line."""
    before, _, after = change.partition(" -> ")
    b, a = [int(v) for v in before.split()], [int(v) for v in after.split()]
    return tuple(a[i] - b[i] for i in range(4)) if len(a) == len(b) == 4 else None


def problems(shown):
    found = []
    expected = {
        "caption": TITLE,
        "warnings bold": "yes",
        "tile buttons": "hidden",
        "resizable": "yes",
        "zoom keeps the point": "yes",
        "zoom moves the far point": "yes",
        "fit": "yes",
    }
    found += [f"{name}: {shown.get(name)!r}, not {value!r}" for name, value in expected.items()
              if shown.get(name) != value]
    figures = shown.get("figures", "")
    for part in ("File: h\u00f6hen-8bit.tif", "Size: 640 x 400", "Distinct levels: 256", "Source: TIFF, 8-bit"):
        if part not in figures:
            found.append(f"no {part!r} in the figures {figures!r}")
    warnings = shown.get("warnings", "")
    if not warnings.startswith("Only 256 different heights are used") or "plateau was cut off" not in warnings:
        found.append(f"warnings {warnings!r}")
    # Right of the stand-in main window (20, 30, 300 x 200), 8 pixels apart.
    if shown.get("opened at") != "328 30":
        found.append(f"opened at {shown.get('opened at')!r}, not beside the main window at 328 30")
    # A quarter into the 640 x 400 map, half-way down.
    readout = re.fullmatch(r"x ([0-9]+), y ([0-9]+): [0-9]+", shown.get("readout", ""))
    if not readout or not (130 <= int(readout[1]) <= 190 and 170 <= int(readout[2]) <= 230):
        found.append(f"readout {shown.get('readout')!r}")
    if size_change(shown.get("image", "")) != (0, 0, 200, 100):
        found.append(f"the picture did not take the extra room: {shown.get('image')!r}")
    if size_change(shown.get("figures at", "")) != (200, 0, 0, 0):
        found.append(f"the figures did not keep their size at the right: {shown.get('figures at')!r}")
    return found


def preview_window(report, desktop, wine, exe, folder):
    """Opens the window, closes it and checks what it showed."""
    out = folder / "preview-shown.txt"
    process = wine.start([exe, wine.path(out)], folder, folder / "wine-preview.log")
    try:
        window = desktop.wait_for(TITLE, 60)
        if not window:
            report.fail(f'kelvarin-preview-check.exe shows the preview window "{TITLE}"')
            return
        window.press("alt+F4")
        status = exit_status(process, 10)
    finally:
        ended(process)
    found = problems(shown_lines(out)) if status == 0 else [f"status {status}"]
    report.check("the preview window shows a report's figures and warnings and grows the picture with the window",
                 "; ".join(found) or None)
