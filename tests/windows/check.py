"""Checks the cross-built Windows programs, built by tools/windows-check.sh into --out:
  - kelvarin.exe and kelvarin-cli.exe built, with no DLL beside them but the system's, each with
    a version resource (file version, product name, description);
  - kelvarin-cli.exe under Wine converts the same files as the Linux build to byte-identical
    outputs (the TIFF DateTime aside), with the same message boxes, exit status and log (paths and
    timings aside), also for non-ASCII file and folder names; an existing destination survives a
    failed job and Ctrl-C mid-job (exit status 130, no temporary file) and is replaced by a
    successful job;
  - Output > Tiles... in kelvarin.exe cuts the next conversion into the Linux build's tiles;
  - kelvarin.exe, driven in Xvfb, shows its window, answers the keyboard, keeps the focus across a
    box, greys the conversion items and refuses to close under the terrain warning, converts
    through its file dialogs to the Linux build's bytes, opens the preview after it (without
    taking the keyboard; reached by Tab, disabled under a box; its readout, wheel zoom, drag, Fit,
    histogram scale and Esc), shows the busy cursor during a long job and stops it on Esc, and
    ends with status 0 when closed;
  - the preview window (kelvarin-preview-check.exe) shows a report's figures and warnings, opens
    beside a window, keeps the readout under the cursor through a zoom and lays itself out again
    when resized.
Prints "windows-check: N passed, M failed"; the exit status is 0 when nothing failed.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import traceback
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the source tree

import parity  # noqa: E402
import preview  # noqa: E402
import replacing  # noqa: E402
import version_resource  # noqa: E402
from desktop import Desktop, Wine, Xvfb  # noqa: E402
from window_checks import WindowChecks  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]
SYSTEM_DLLS = re.compile(r"kernel32|msvcrt|user32|gdi32|comctl32|comdlg32|advapi32|shell32|ole32|ucrtbase|"
                         r"api-ms-win-crt-[a-z0-9-]+")
GUI_SUBSYSTEM, CONSOLE_SUBSYSTEM = 2, 3


class Report:
    def __init__(self):
        self.passed = self.failed = 0

    def ok(self, name):
        print(f"  ok    {name}", flush=True)
        self.passed += 1

    def fail(self, name, detail=""):
        print(f"  FAIL  {name}{': ' + detail if detail else ''}", flush=True)
        self.failed += 1

    def check(self, name, problem):
        """Passes when problem is None; otherwise fails with problem (a text or a list of texts)."""
        if problem is None or problem == []:
            self.ok(name)
        else:
            self.fail(name, "; ".join(problem) if isinstance(problem, list) else problem)

    def summary(self):
        print(f"windows-check: {self.passed} passed, {self.failed} failed", flush=True)
        return 0 if self.failed == 0 else 1


class Stop(Exception):
    """A step the rest depends on failed: the summary follows, with exit status 1."""


def headers(exe):
    return subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(exe)], capture_output=True, text=True).stdout


def foreign_dlls(exe):
    dlls = sorted({name.strip().lower() for name in re.findall(r"^\s*DLL Name: (.*)$", headers(exe), re.M)})
    if not dlls:
        return "no imports found"
    foreign = [dll for dll in dlls if not re.fullmatch(rf"(?:{SYSTEM_DLLS.pattern})\.dll", dll)]
    return f"imports {', '.join(foreign)}" if foreign else None


def wrong_subsystem(exe, expected):
    found = re.search(r"^Subsystem\s+(\S+)", headers(exe), re.M)
    return None if found and int(found.group(1), 16) == expected else f"subsystem {found and found.group(1)}"


def build_checks(report, out, args):
    if args.linux_build_status != 0:
        print(tail(out / "linux-build.log", 20))
        report.fail("Linux reference build")
        raise Stop
    gui, cli = out / "mingw/src/ui/win32/kelvarin.exe", out / "mingw/kelvarin-cli.exe"
    if args.cross_build_status != 0 or not gui.is_file() or not cli.is_file():
        print(tail(out / "mingw-build.log", 30))
        report.fail("cross-build of kelvarin.exe and kelvarin-cli.exe")
        raise Stop
    report.ok("cross-build of kelvarin.exe and kelvarin-cli.exe")
    report.check("kelvarin.exe imports only system DLLs", foreign_dlls(gui))
    report.check("kelvarin-cli.exe imports only system DLLs", foreign_dlls(cli))
    report.check("kelvarin.exe is a GUI-subsystem program", wrong_subsystem(gui, GUI_SUBSYSTEM))
    report.check("kelvarin-cli.exe is a console program", wrong_subsystem(cli, CONSOLE_SUBSYSTEM))
    manifest = b'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'
    report.check("kelvarin.exe carries the common controls 6 manifest",
                 None if manifest in gui.read_bytes() else "no such manifest")
    version = version_resource.project_version(ROOT / "CMakeLists.txt")
    for exe, description in ((gui, "KELVARIN height map converter"),
                             (cli, "KELVARIN height map converter (command line)")):
        report.check(f"{exe.name} carries version {version}, product name and description for Explorer",
                     version_resource.version_problem(exe, version, description))
    return gui, cli


def tail(path, lines):
    return "\n".join(Path(path).read_text(errors="replace").splitlines()[-lines:]) if Path(path).exists() else ""


def run(report, args):
    out = args.out
    gui_exe, cli_exe = build_checks(report, out, args)

    print("== Wine prefix", flush=True)
    # Every Wine process of the run, the console ones too, shares one X display: the desktop
    # Wine starts with the first of them serves all that follow.
    try:
        xvfb = Xvfb(out / "xvfb.log")
    except RuntimeError as error:
        report.fail("Xvfb", str(error))
        raise Stop
    wine = Wine(out / "wineprefix", xvfb.display)
    try:
        problem = wine.prepare(out / "wineboot.log")
        if problem:
            report.fail("wineboot -i", problem)
            raise Stop

        print("== test files", flush=True)
        files, runs = out / "files", out / "runs"
        try:
            radiance = parity.make_test_files(files)
        except Exception as error:  # noqa: BLE001 (any fault here leaves nothing to compare)
            report.fail("test files", repr(error))
            raise Stop
        if radiance:
            report.fail("ImageMagick Radiance writer", radiance)
        cases = [parity.GUI_REFERENCE]
        if not args.gui_only:
            cases += [*parity.CASES, *parity.sample_cases(ROOT / "samples", files)]

        print("== kelvarin-cli.exe under Wine against the Linux build", flush=True)
        shutil.rmtree(runs, ignore_errors=True)
        for case in cases:
            report.check(case.name, parity.run_case(case, files, runs, out / "linux/kelvarin-cli", wine, cli_exe,
                                                    wine.env))
        if not args.gui_only:
            report.check("an existing destination: kept by a failed job, replaced by a successful one",
                         replacing.replaced_destination(files, runs, wine, cli_exe))
            report.check("Ctrl-C mid-job: exit 130, the old destination kept, no temporary file",
                         replacing.interrupted_job(runs, wine, cli_exe))

        print("== kelvarin.exe under Wine in Xvfb", flush=True)
        folder = runs / "gui"
        folder.mkdir(parents=True)
        parity.link(files / "dür", folder / "dür")
        # An existing, longer destination: taken without asking, and replaced by the new output.
        (folder / "dür/grau-ß.tif").write_bytes(os.urandom(300000))
        # The source Output > Tiles... cuts.
        parity.link(files / "rgb48.tif", folder / "rgb48.tif")
        reference = runs / parity.GUI_REFERENCE.name / "linux" / parity.GUI_REFERENCE.outputs[0]
        WindowChecks(report, Desktop(xvfb.display), wine, gui_exe, folder, out / "linux/kelvarin-cli").run(
            reference, args.screenshot, args.preview_screenshot)

        print("== the preview window under Wine in Xvfb", flush=True)
        preview.preview_window(report, Desktop(xvfb.display), wine, gui_exe.parent / "kelvarin-preview-check.exe",
                               folder)
    finally:
        wine.stop_server()
        xvfb.stop()


def main():
    parser = argparse.ArgumentParser(prog="tools/windows-check.sh", description=__doc__.split("\n")[0])
    absolute = lambda text: Path(text).resolve()  # noqa: E731 (Wine and the programs run elsewhere)
    parser.add_argument("--screenshot", metavar="FILE", type=absolute,
                        help="keep a picture of the window (taken after the conversion through the dialogs)")
    parser.add_argument("--preview-screenshot", metavar="FILE", type=absolute,
                        help="keep a picture of the preview window (the one opened by the conversion)")
    parser.add_argument("--gui-only", action="store_true",
                        help="of the conversions, run only the one the window's conversion is compared with")
    parser.add_argument("--out", type=absolute, default=ROOT / "build/windows-check", help="the builds' folder")
    parser.add_argument("--cross-build-status", type=int, default=0)
    parser.add_argument("--linux-build-status", type=int, default=0)
    args = parser.parse_args()
    # An ended run still takes its X server and Wine server down with it.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    report = Report()
    try:
        run(report, args)
    except Stop:
        report.summary()
        return 1
    except Exception:  # noqa: BLE001 (a fault of the driver itself still ends with the summary)
        traceback.print_exc()
        report.fail("the checks ran to their end")
        report.summary()
        return 1
    return report.summary()


if __name__ == "__main__":
    sys.exit(main())
