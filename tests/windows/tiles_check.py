"""Output > Tiles... in kelvarin.exe: the dialog takes columns and rows ("4 x 2"), and the next
conversion through the file dialogs writes NAME_x0_y0.tif ... NAME_x3_y1.tif with the bytes the
Linux build writes for --tiles 4x2 (the TIFF DateTime aside), and no NAME.tif itself."""

import subprocess

from desktop import Wine
from parity import same_output, tile_names

SOURCE, DESTINATION = "rgb48.tif", "tiled.tif"
PREVIEW = "KELVARIN - Preview"
COLUMNS, ROWS = 4, 2


def linux_tiles(linux_cli, folder):
    """The Linux build's tiles of the same conversion, in folder/linux; an error text or None."""
    out = folder / "linux"
    out.mkdir(exist_ok=True)
    run = subprocess.run([str(linux_cli), "--tiles", f"{COLUMNS}x{ROWS}", "tif", str(folder / SOURCE),
                          str(out / DESTINATION)], capture_output=True, text=True)
    return None if run.returncode == 0 else f"the Linux build failed ({run.returncode}): {run.stderr[-300:]}"


def set_tiles(checks, main, text):
    """Output > Tiles... (the third menu; Up from its first item wraps to "Height Range...", one
    more Up), answered with text; an error text or None."""
    main = checks.main_window(main)
    main.press("F10", "Right", "Right", "Down", "Up", "Up", "Return")
    dialog = checks.desktop.wait_for("KELVARIN Tiles", 30)
    if not dialog:
        return 'Output > Tiles... showed no "KELVARIN Tiles" dialog'
    dialog.press("ctrl+a")
    checks.desktop.type(text)
    checks.desktop.key("Return")
    return None if checks.desktop.wait_gone("KELVARIN Tiles", 10) else "the Tiles dialog did not close"


def tiles_through_the_dialogs(checks, main, linux_cli):
    folder = checks.folder
    problem = linux_tiles(linux_cli, folder) or set_tiles(checks, main, f"{COLUMNS} x {ROWS}")
    if not problem:
        main = checks.main_window(main)
        main.press("F10", "Down", "Down", "Return")  # File > Open TIF
        for title, name in (("KELVARIN Open TIF", SOURCE), ("KELVARIN Save", DESTINATION)):
            dialog = checks.desktop.wait_for(title, 30)
            if not dialog:
                problem = f'no "{title}" dialog'
                break
            dialog.press("ctrl+a")
            checks.desktop.type(f"{Wine.path(folder)}\\{name}")
            checks.desktop.key("Return")
    if not problem and not checks.answer_box("KELVARIN - Success."):
        problem = 'no "KELVARIN - Success." box'
    # The preview opens after each job (the window starts with it ticked): closed, it hides. It
    # opens without the keyboard, so it is clicked first: Alt+F4 would otherwise close the program.
    preview = checks.desktop.wait_for(PREVIEW, 10) if not problem else None
    if preview:
        checks.activate(preview)
        preview.press("alt+F4")
        checks.desktop.wait_gone(PREVIEW, 10)
    if not problem:
        differences = [f"{name}: {difference}" for name in tile_names(DESTINATION, COLUMNS, ROWS)
                       if (difference := same_output(folder / "linux" / name, folder / name))]
        if (folder / DESTINATION).exists():
            differences.append(f"{DESTINATION} itself was written")
        problem = differences or None
    checks.close_boxes()
    # One file again for whatever follows.
    reset = set_tiles(checks, main, "1 x 1")
    checks.report.check(f"Output > Tiles... {COLUMNS} x {ROWS}, then File > Open TIF writes the tiles "
                        f"{DESTINATION[:-4]}_x*_y*.tif with the Linux build's bytes", problem or reset)
