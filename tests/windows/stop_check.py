"""Stopping a long job in kelvarin.exe: Esc during the job asks "KELVARIN - Stop", Yes (the
default, Enter) stops it; the job ends with its failure box, the existing destination keeps its
old bytes and no temporary file is left beside it. While the job runs, the cursor over the window
is the busy one."""

import numpy as np
import tifffile
from Xlib import display as xdisplay

from desktop import Wine, wait_until

OLD = b"old destination"


def write_long_source(folder):
    # 4096 x 4096 RGB, 16 bits: written as a PNG of noise, the deflating takes seconds under Wine.
    rng = np.random.default_rng(11)
    tifffile.imwrite(folder / "big.tif", rng.integers(0, 65536, (4096, 4096, 3), dtype="<u2"),
                     photometric="rgb", planarconfig="contig", rowsperstrip=64)
    (folder / "stopped.png").write_bytes(OLD)


def cursor_image(desktop):
    """The pixels of the cursor the X server shows now (XFIXES), or None."""
    connection = xdisplay.Display(desktop.env["DISPLAY"])
    try:
        if not connection.has_extension("XFIXES"):
            return None
        connection.xfixes_query_version()
        image = connection.xfixes_get_cursor_image(connection.screen().root)
        return image.width, image.height, tuple(image.cursor_image)
    finally:
        connection.close()


def over_window(desktop, window, nudge=0):
    """Moves the cursor onto the window's empty bottom (nudge pixels aside, so that it moves)."""
    x, y, width, height = window.geometry()
    desktop.xdotool("mousemove", "--sync", x + 8 + nudge, y + height - 6)


def escape_stops_the_job(checks, main):
    folder = checks.folder
    write_long_source(folder)
    main = checks.main_window(main)
    over_window(checks.desktop, main)
    idle = cursor_image(checks.desktop)
    # Away again: a menu opened under a resting cursor may take the item under it.
    checks.desktop.xdotool("mousemove", "--sync", 1270, 1010)
    main.press("F10", "Down", "Down", "Return")  # File > Open TIF
    for title, name in (("KELVARIN Open TIF", "big.tif"), ("KELVARIN Save", "stopped.png")):
        dialog = checks.desktop.wait_for(title, 30)
        if not dialog:
            checks.report.fail(f'Esc during a job: no "{title}" dialog')
            checks.close_boxes()
            return
        dialog.press("ctrl+a")
        checks.desktop.type(f"{Wine.path(folder)}\\{name}")
        checks.desktop.key("Return")
    checks.desktop.wait_gone("KELVARIN Save", 10)
    main = checks.main_window(main)
    # The cursor takes its shape when it moves over the window.
    nudges = iter(range(1, 100))
    busy = wait_until(lambda: (over_window(checks.desktop, main, next(nudges) % 2 * 4),
                               cursor_image(checks.desktop) != idle)[1], 5)
    checks.report.check("the cursor over the window is the busy one while a job runs",
                        None if busy else "the X server gives no cursor image (XFIXES)" if idle is None else
                        "the same cursor as before the job")
    main.press("Escape")
    question = checks.desktop.wait_for("KELVARIN - Stop", 20)
    problem = None
    if not question:
        problem = 'Esc showed no "KELVARIN - Stop" box'
    else:
        question.press("Return")  # Yes, the default
        checks.desktop.wait_gone("KELVARIN - Stop", 10)
        if not checks.answer_box("KELVARIN - Error."):
            problem = 'the stopped job ended without "KELVARIN - Error."'
        elif (folder / "stopped.png").read_bytes() != OLD:
            problem = "the destination lost its old bytes"
        else:
            left = [p.name for p in folder.iterdir() if p.name.startswith(".stopped.png.kelvarin-")]
            problem = f"temporary files left: {left}" if left else None
    checks.close_boxes()
    checks.report.check("Esc during a long job asks to stop it; Yes stops it, the old destination stays and "
                        "no temporary file is left", problem)
    (folder / "big.tif").unlink(missing_ok=True)
