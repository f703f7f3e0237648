"""Looking into the map in kelvarin.exe's preview under Wine, as a user does with the mouse: it
opened without taking the keyboard from the main window (and not over it where there was room); over the picture the readout
shows in its bottom left corner; the wheel zooms (also while the main window has the keyboard), a
drag pans, "Fit" puts back exactly the fitted picture; a click on the histogram switches its
scale and a second click switches it back; Esc closes the preview.

What is observed is the screen: the picture and the histogram are compared before and after each
step, region by region."""

import subprocess
import time

import numpy as np

from desktop import POLL

SCREEN = (1280, 1024)
# The client area's corner in the window Wine frames itself (no window manager): the sizing
# border and the caption.
CLIENT = (4, 22)
# In the client area at the opening size (the dialog font's base units are 6 x 13): the picture,
# its "Fit" button in its top right corner, and the histogram, as (left, top, right, bottom).
PICTURE = (11, 36, 425, 315)
FIT_BUTTON = (358, 48)
HISTOGRAM = (435, 55, 680, 169)


def grab(desktop):
    """The screen as an array of rows of RGB pixels."""
    raw = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"], env=desktop.env,
                         capture_output=True).stdout
    if len(raw) != SCREEN[0] * SCREEN[1] * 3:
        return None
    return np.frombuffer(raw, dtype=np.uint8).reshape(SCREEN[1], SCREEN[0], 3)


def steady(desktop, timeout=10):
    """The screen once two looks in a row found it the same (everything painted), or None."""
    last = grab(desktop)
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        time.sleep(POLL * 2)
        now = grab(desktop)
        if now is not None and last is not None and np.array_equal(now, last):
            return now
        last = now
    return None


def screen_when(desktop, condition, timeout=5):
    """The first steady screen for which condition(screen) holds, or None at the deadline."""
    deadline = time.monotonic() + timeout
    while True:
        screen = steady(desktop)
        if screen is not None and condition(screen):
            return screen
        if time.monotonic() >= deadline:
            return None


class Regions:
    """Client-area rectangles of the preview, turned into screen slices."""

    def __init__(self, window):
        x, y, _, _ = window.geometry()
        self.left, self.top = x + CLIENT[0], y + CLIENT[1]

    def part(self, screen, rect, inset=2):
        if screen is None:
            return None
        left, top, right, bottom = rect
        return screen[self.top + top + inset:self.top + bottom - inset,
                      self.left + left + inset:self.left + right - inset]

    def point(self, x, y):
        return self.left + x, self.top + y


def changed(a, b):
    return a is not None and b is not None and a.shape == b.shape and not np.array_equal(a, b)


def overlap(a, b):
    ax, ay, aw, ah = a
    bx, by, bw, bh = b
    return ax < bx + bw and bx < ax + aw and ay < by + bh and by < ay + ah


def placed_beside(main, preview):
    """A problem with where the preview opened, or None: beside the main window when the screen
    has room on one side (8 pixels apart), never over it."""
    m, p = main.geometry(), preview.geometry()
    room = m[0] + m[2] + 8 + p[2] <= SCREEN[0] or m[0] - 8 - p[2] >= 0
    if room and overlap(m, p):
        return f"the preview {p} opened over the main window {m}"
    return None


def opened_beside(checks, main, preview):
    """Right after the job: where the preview opened, and who has the keyboard. (On this screen
    the main window, centred, leaves no room beside it: kelvarin-preview-check.exe checks the
    placing beside a window, preview.py.)"""
    report, desktop = checks.report, checks.desktop
    problem = placed_beside(main, preview)
    if problem:
        report.fail("the preview opens beside the main window, never over it", problem)
    report.check("the preview does not take the keyboard from the main window after a job",
                 None if main.wait_focus(5) else f"the focus is on window {desktop.focus()}, not the main one")


def look_into_preview(checks, main, preview, zoomed_picture=None):
    """Runs the mouse's steps on the open preview, reports them, and closes it with Esc. True when
    the preview is gone afterwards."""
    report, desktop = checks.report, checks.desktop
    regions = Regions(preview)
    picture = lambda screen: regions.part(screen, PICTURE)  # noqa: E731
    # The cursor away from the preview: the fitted picture, without a readout.
    desktop.xdotool("mousemove", "--sync", SCREEN[0] - 2, SCREEN[1] - 2)
    fitted = steady(desktop)
    if fitted is None:
        report.fail("the preview's picture settles on the screen")
        return False
    # Over the picture: the readout appears in its bottom left corner, and only there.
    centre = ((PICTURE[0] + PICTURE[2]) // 2, (PICTURE[1] + PICTURE[3]) // 2)
    desktop.xdotool("mousemove", "--sync", *regions.point(*centre))
    over = screen_when(desktop, lambda s: changed(picture(s), picture(fitted)))
    problem = None
    if over is None:
        problem = "nothing changed on the picture under the cursor"
    else:
        rows, columns = np.nonzero(np.any(picture(over) != picture(fitted), axis=2))
        height, width = picture(fitted).shape[:2]
        if rows.min() < height // 2 or columns.min() > width // 4:
            problem = f"the picture changed outside its bottom left corner (from row {rows.min()}, column {columns.min()})"
    report.check("over the preview's picture the readout shows in its bottom left corner", problem)

    # The wheel zooms about the cursor, with the keyboard on the main window (a click on its empty
    # bottom gives it the keyboard), as a user turns it over the picture while working there.
    main.click(8, -6)
    main.wait_focus(5)
    desktop.xdotool("mousemove", "--sync", *regions.point(*centre))
    before = steady(desktop)
    for _ in range(3):
        desktop.xdotool("click", 4)
    zoomed = screen_when(desktop, lambda s: changed(picture(s), picture(before)))
    report.check("the wheel over the preview's picture zooms it, also with the keyboard on the main window",
                 None if zoomed is not None else "the picture did not change")

    # A drag pans the enlarged picture.
    start = regions.point(*centre)
    desktop.xdotool("mousedown", 1)
    desktop.xdotool("mousemove", "--sync", start[0] + 60, start[1] + 40)
    desktop.xdotool("mouseup", 1)
    dragged = screen_when(desktop, lambda s: zoomed is not None and changed(picture(s), picture(zoomed)))
    report.check("a drag on the zoomed picture pans it", None if dragged is not None else "the picture did not move")
    if dragged is not None and zoomed_picture:
        save(dragged, preview, zoomed_picture)

    # "Fit" gives back the fitted picture, pixel for pixel; the cursor on the button leaves the
    # picture, and with it the readout. The strip of the buttons is left out.
    desktop.xdotool("mousemove", "--sync", *regions.point(*FIT_BUTTON))
    desktop.xdotool("click", 1)
    below = (PICTURE[0], FIT_BUTTON[1] + 16, PICTURE[2], PICTURE[3])
    refitted = screen_when(desktop, lambda s: np.array_equal(regions.part(s, below), regions.part(fitted, below)))
    report.check('"Fit" puts back the fitted picture exactly', None if refitted is not None else
                 "the picture differs from the one the preview opened with")

    # A click on the histogram switches it to the logarithmic scale; a second one back.
    histogram = lambda screen: regions.part(screen, HISTOGRAM)  # noqa: E731
    problem = None
    for clicks, expect_change in ((1, True), (2, False)):
        desktop.xdotool("mousemove", "--sync", *regions.point((HISTOGRAM[0] + HISTOGRAM[2]) // 2,
                                                               (HISTOGRAM[1] + HISTOGRAM[3]) // 2))
        desktop.xdotool("click", 1)
        # A second click soon after the first is a double click: wait until the first one showed.
        shown = screen_when(desktop, lambda s: changed(histogram(s), histogram(fitted)) == expect_change)
        if shown is None:
            problem = f"after {clicks} click(s) the histogram {'did not change' if expect_change else 'stayed changed'}"
            break
        time.sleep(1)  # longer than a double click's time
    report.check("a click on the histogram switches its scale, a second click switches it back", problem)

    preview.press("Escape")
    gone = desktop.wait_gone(preview.title, 10)
    report.check("Esc closes the preview", None if gone else "the preview is still shown")
    return gone


def save(screen, window, path):
    x, y, width, height = window.geometry()
    part = np.ascontiguousarray(screen[y:y + height, x:x + width])
    path.parent.mkdir(parents=True, exist_ok=True)
    subprocess.run(["convert", "-size", f"{part.shape[1]}x{part.shape[0]}", "-depth", "8", "rgb:-", str(path)],
                   input=part.tobytes(), capture_output=True)
