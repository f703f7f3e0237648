"""The virtual X display, the Wine prefix and the windows on that display.

Everything that waits here waits for a state (a window shown or gone, the keyboard focus on a
window, a process ended, a picture that stopped changing) with a deadline; the short pauses
inside those loops are only the polling interval.
"""

import os
import re
import select
import shutil
import subprocess
import time
from pathlib import Path

POLL = 0.1  # seconds between two looks at the display while waiting
ERE_LITERAL = {c: f"[{c}]" for c in ".[()*+?{}|$\\"} | {"]": "[]]", "^": "\\^"}


def wait_until(condition, timeout):
    """Calls condition() until it returns something true; that value, or None at the deadline."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            return None
        time.sleep(POLL)


class Xvfb:
    """A virtual X display, on the first free display number, ready once started."""

    def __init__(self, log_path):
        ready_read, ready_write = os.pipe()
        with open(log_path, "wb") as log:
            # Xvfb writes the number it took to -displayfd once it accepts connections. It keeps its
            # state (the keyboard map) when its last client leaves.
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(ready_write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                 "-noreset"],
                pass_fds=(ready_write,), stdout=log, stderr=subprocess.STDOUT)
        os.close(ready_write)
        number = b""
        try:
            while not number.endswith(b"\n") and select.select([ready_read], [], [], 30)[0]:
                chunk = os.read(ready_read, 16)
                if not chunk:
                    break
                number += chunk
        finally:
            os.close(ready_read)
        if not number.strip().isdigit():
            self.stop()
            raise RuntimeError("Xvfb did not start: " + Path(log_path).read_text(errors="replace")[-300:])
        self.display = ":" + number.strip().decode()

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


class Wine:
    """One Wine prefix with one long-lived server, whose programs all show on one X display."""

    # The fonts a Windows system has and the window uses: the caption buttons' Marlett, the bitmap
    # "MS Sans Serif" of dialogs (Wine's outline substitute is wider), Tahoma for the common dialogs.
    FONTS = ("marlett.ttf", "sserife.fon", "tahoma.ttf")

    def __init__(self, prefix, display):
        self.prefix = Path(prefix)
        self.env = dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                        LC_ALL="C.UTF-8", LANG="C.UTF-8", DISPLAY=display)
        self.wine = shutil.which("wine") or shutil.which("wine64") or "/usr/lib/wine/wine64"
        self.server = shutil.which("wineserver") or "/usr/lib/wine/wineserver64"

    def _quiet(self, args, timeout):
        try:
            return subprocess.run(args, env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            return None

    def prepare(self, log_path):
        """Creates or updates the prefix; returns an error text, or None."""
        # A server left over from an interrupted run would keep its old display.
        self.stop_server()
        with open(log_path, "wb") as log:
            try:
                status = subprocess.run([self.wine, "wineboot", "-i"], env=self.env, stdout=log,
                                        stderr=subprocess.STDOUT, timeout=240).returncode
            except subprocess.TimeoutExpired:
                status = "timed out"
        if status != 0:
            return f"wineboot -i: {status}: " + Path(log_path).read_text(errors="replace")[-300:]
        # One server for all the runs that follow: each Wine start then takes a fraction of a second.
        self._quiet([self.server, "-p"], 60)
        fonts = self.prefix / "drive_c/windows/Fonts"
        for font in self.FONTS:
            source = Path("/usr/share/wine/fonts") / font
            if source.is_file() and not (fonts / font).is_file():
                shutil.copy(source, fonts)
        # Without a window manager Wine draws the frames and captions itself.
        for value in ("Managed", "Decorated"):
            self._quiet([self.wine, "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", value, "/d", "N", "/f"], 60)
        return None

    def run(self, args, cwd, stdout, stderr, timeout):
        """Runs a console program to its end: its exit status, or "timed out"."""
        try:
            return subprocess.run([self.wine, *map(str, args)], cwd=cwd, env=self.env, stdout=stdout, stderr=stderr,
                                  timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            return "timed out"

    def start(self, args, cwd, log_path):
        """Starts a program and returns its process, its output going to log_path."""
        with open(log_path, "wb") as log:
            return subprocess.Popen([self.wine, *map(str, args)], cwd=cwd, env=self.env, stdout=log,
                                    stderr=subprocess.STDOUT)

    def stop_server(self):
        self._quiet([self.server, "-k"], 60)

    @staticmethod
    def path(path):
        """The Windows name of a Linux path, through Wine's Z: drive."""
        return "Z:" + str(path).replace("/", "\\")


def exit_status(process, timeout):
    """The exit status of a process that should end within timeout seconds, or "still running"."""
    try:
        return process.wait(timeout)
    except subprocess.TimeoutExpired:
        return "still running"


def ended(process):
    """Ends a process that is still running (and reaps it)."""
    if process.poll() is None:
        process.kill()
        process.wait()


class Desktop:
    """The windows on one X display, seen and driven through xdotool."""

    def __init__(self, display):
        self.env = dict(os.environ, DISPLAY=display)

    def xdotool(self, *args, timeout=15):
        try:
            done = subprocess.run(["xdotool", *map(str, args)], env=self.env, capture_output=True, text=True,
                                  timeout=timeout)
        except subprocess.TimeoutExpired:
            return None
        return done.stdout if done.returncode == 0 else None

    def windows(self, title):
        """The visible windows whose title is title (a text, or a compiled pattern the whole title matches)."""
        # xdotool searches by a POSIX extended regular expression, without regard to case; the
        # exact comparison is made here.
        if isinstance(title, re.Pattern):
            expression, matches = title.pattern, title.fullmatch
        else:
            expression, matches = "".join(ERE_LITERAL.get(c, c) for c in title), title.__eq__
        found = self.xdotool("search", "--onlyvisible", "--name", f"^{expression}$") or ""
        names = {i: (self.xdotool("getwindowname", i) or "").rstrip("\n") for i in found.split()}
        return [Window(self, int(i), title) for i, name in names.items() if matches(name)]

    def wait_for(self, title, timeout):
        """The window of that title once it is shown, or None at the deadline."""
        found = wait_until(lambda: self.windows(title), timeout)
        return found[0] if found else None

    def wait_gone(self, title, timeout):
        return wait_until(lambda: not self.windows(title), timeout) is not None

    def focus(self):
        """The X window that has the keyboard focus (an id), or None."""
        text = self.xdotool("getwindowfocus")
        return int(text) if text and text.strip().isdigit() else None

    def key(self, *keys):
        self.xdotool("key", *keys)

    def bind_characters(self, text):
        """Puts each non-ASCII character of text on a free key of the keyboard map.

        xdotool types a character missing from the map by binding it to a spare key for one
        keystroke; a busy program that reads the map late then sees the key unbound again and the
        character is lost. Bound before the program starts, the keys are part of its map. The
        lowest free keys: Wine hands its few spare virtual-key codes to unknown keys in key order,
        and characters on the highest keys were lost."""
        table = subprocess.run(["xmodmap", "-pke"], env=self.env, capture_output=True, text=True).stdout
        free = [line.split()[1] for line in table.splitlines() if len(line.split()) == 3 and line.split()[1] != "8"]
        wanted = sorted({c for c in text if ord(c) > 0x7F})
        lines = "".join(f"keycode {key} = U{ord(c):04X}\n" for key, c in zip(free, wanted))
        return len(wanted) <= len(free) and subprocess.run(["xmodmap", "-"], env=self.env, input=lines,
                                                            text=True).returncode == 0

    def type(self, text):
        self.xdotool("type", text, timeout=120)

    def mapped_windows(self):
        """The ids of every visible window, whatever its name (menus and tooltips included)."""
        return set((self.xdotool("search", "--onlyvisible", "--name", "") or "").split())

    def picture(self, path, timeout=10):
        """Saves the screen, trimmed, once three looks in a row found it the same (everything
        painted); False if it never settled."""
        grab = ["import", "-window", "root", "-depth", "8", "rgb:-"]
        shots = []
        deadline = time.monotonic() + timeout
        while len(shots) < 3 or len(set(shots[-3:])) > 1:
            if time.monotonic() >= deadline:
                return False
            shots.append(subprocess.run(grab, env=self.env, capture_output=True).stdout)
            time.sleep(POLL)
        save = ["convert", "-size", "1280x1024", "-depth", "8", "rgb:-", "-trim", "+repage", str(path)]
        return subprocess.run(save, input=shots[-1], capture_output=True).returncode == 0


class Window:
    def __init__(self, desktop, window_id, title):
        self.desktop, self.id, self.title = desktop, window_id, title

    def shown(self):
        return any(w.id == self.id for w in self.desktop.windows(self.title))

    def focus(self, timeout=5):
        """Gives this window the keyboard focus and waits until it has it."""
        self.desktop.xdotool("windowfocus", self.id)
        return wait_until(lambda: self.desktop.focus() == self.id, timeout) is not None

    def wait_focus(self, timeout):
        """Waits until the program itself has handed the keyboard focus to this window."""
        return wait_until(lambda: self.desktop.focus() == self.id, timeout) is not None

    def press(self, *keys):
        self.focus()
        self.desktop.key(*keys)

    def geometry(self):
        text = self.desktop.xdotool("getwindowgeometry", "--shell", self.id) or ""
        values = dict(line.split("=", 1) for line in text.split() if "=" in line)
        return tuple(int(values.get(name, 0)) for name in ("X", "Y", "WIDTH", "HEIGHT"))

    def click(self, dx, dy):
        """A left click at that offset from the window's top-left corner (negative: from the far side)."""
        x, y, width, height = self.geometry()
        self.desktop.xdotool("mousemove", "--sync", x + (dx if dx >= 0 else width + dx),
                             y + (dy if dy >= 0 else height + dy))
        self.desktop.xdotool("click", 1)
