"""kelvarin.exe under Wine in Xvfb, driven by the keyboard and the mouse as a user would.

Every step waits for what the window shows next (a box, a dialog, the focus coming back, the
program ending) instead of for a fixed time.
"""

import re
from pathlib import Path

from desktop import Wine, ended, exit_status, wait_until
from parity import same_output
from preview_view_check import look_into_preview, opened_beside
from stop_check import escape_stops_the_job
from tiles_check import tiles_through_the_dialogs
from xdnd import drop_file

MAIN = "KELVARIN v3.02"
PREVIEW = "KELVARIN - Preview"
SAVE_PREVIEW = "KELVARIN Save Preview"
# "Save Preview As..." from the preview's top-right corner (the frame Wine draws included).
SAVE_BUTTON = (-70, 42)
RESULT_BOX = re.compile(r"KELVARIN - (Success|Error)\.")
# Typed into the dialogs after the folder of the run (as a full path, so the folder a dialog
# starts in does not matter): the parity check's source and an existing, longer destination.
SOURCE, DESTINATION = "dür\\höhe-Ω.tif", "dür\\grau-ß.tif"
# Where the dropped source is converted to (a new file).
DROPPED = "dür\\fallen-ß.tif"


class WindowChecks:
    def __init__(self, report, desktop, wine, exe, folder, linux_cli=None):
        self.report, self.desktop, self.wine, self.exe, self.folder = report, desktop, wine, exe, folder
        self.linux_cli = linux_cli  # given: the tiles are also checked against the Linux build

    def main_window(self, fallback):
        return self.desktop.wait_for(MAIN, 5) or fallback

    def answer_box(self, title):
        """Waits for a message box, closes it with Enter and waits until it is gone."""
        box = self.desktop.wait_for(title, 30)
        if not box:
            return False
        box.press("Return")
        return self.desktop.wait_gone(title, 10)

    def activate(self, window):
        """Gives a window the keyboard with a click on its empty bottom: the preview, shown without
        taking the keyboard, keeps Wine's focus on the main window when xdotool alone focuses it,
        and keys meant for it would go there."""
        window.click(8, -6)
        return window.wait_focus(5)

    def close_boxes(self):
        """Closes the message boxes a job shows, one after the other, until none is left."""
        for _ in range(8):
            boxes = wait_until(lambda: self.desktop.windows(re.compile(r"KELVARIN - .*")), 5)
            if not boxes:
                return
            boxes[0].press("Return")
            wait_until(lambda: not boxes[0].shown(), 10)

    def run(self, reference, screenshot, preview_screenshot=None):
        """All checks of the window; reference is the Linux build's output of the same conversion."""
        self.desktop.bind_characters(SOURCE + DESTINATION)
        process = self.wine.start([self.exe], self.folder, self.folder / "wine.log")
        try:
            # Wine's first window on a new display is slow to come, more so on a busy machine.
            main = self.desktop.wait_for(MAIN, 180)
            log = (self.folder / "wine.log").read_text(errors="replace")
            self.report.check(f'kelvarin.exe shows the window "{MAIN}"', None if main else log[-300:])
            if main:
                self.keys(main)
                self.manual_item(main)
                self.focus_memory(main)
                self.cancelled_open(main)
                self.greyed_under_warning(main)
                self.conversion(main, reference)
                self.preview_after_job(preview_screenshot)
                main = self.main_window(main)
                self.dropped(main, reference)
                main = self.main_window(main)
                if screenshot:
                    self.picture(main, screenshot)
                escape_stops_the_job(self, main)
                main = self.main_window(main)
                if self.linux_cli:
                    tiles_through_the_dialogs(self, main, self.linux_cli)
                    main = self.main_window(main)
                main.press("alt+F4")
                status = exit_status(process, 10)
                self.report.check("kelvarin.exe ends with status 0 when its window is closed (Alt+F4)",
                                  None if status == 0 else f"status {status}")
        finally:
            ended(process)
        self.quit()

    def keys(self, main):
        # Enter arrives as command 1, which no table has: the no-such-option box, and the window stays.
        for name, key in (("Enter", "Return"), ("Escape", "Escape")):
            main.press(key)
            shown = self.answer_box("KELVARIN") and self.desktop.wait_for(MAIN, 5)
            self.report.check(f'{name} shows the no-such-option box "KELVARIN"; the window stays open',
                              None if shown else "")

    def manual_item(self, main):
        # Help > Manual, the last item of the Help menu (Up from "General" wraps round to it),
        # opens README.txt beside the program; the build folder has none, so the box says where
        # it looked, and the window stays.
        readme = Path(self.exe).parent / "README.txt"
        if readme.exists():
            self.report.fail(f"Help > Manual: {readme} should not exist in the build folder")
            return
        main = self.main_window(main)
        main.press("F10", "Right", "Right", "Right", "Right", "Down", "Up", "Return")
        shown = self.answer_box("KELVARIN - Manual") and self.desktop.wait_for(MAIN, 5)
        self.report.check('Help > Manual without README.txt beside kelvarin.exe shows "KELVARIN - Manual"; '
                          "the window stays open", None if shown else "")

    def focus_memory(self, main):
        # Shift+Tab from the log list (the first stop) wraps round to the last control, "TE>Raw".
        # Help > About (the fifth menu, behind "View"; Up from "General" wraps round to "Manual",
        # and one more Up past the separator is "About")
        # deactivates the window; once its box is closed the focus is back on "TE>Raw", so Space
        # ticks it (the mode warning) and clears it again (the options-back box).
        main = self.main_window(main)
        main.press("shift+Tab", "F10", "Right", "Right", "Right", "Right", "Down", "Up", "Up", "Return")
        if not self.answer_box("KELVARIN - Help|About"):
            self.report.fail('Help > About shows its page in "KELVARIN - Help|About"')
            return
        self.report.ok('Help > About shows its page in "KELVARIN - Help|About"')
        # Space goes to whichever window has the keyboard: wait until the box has handed it back.
        main.wait_focus(10)
        self.desktop.key("space")
        if not self.answer_box("KELVARIN - Warning."):
            self.report.fail("focus memory: TE>Raw has the focus again after the About box")
            self.close_boxes()
            return
        main.wait_focus(10)
        self.desktop.key("space")
        self.report.check("focus memory: TE>Raw has the focus again after the About box; ticking and clearing it "
                          "show their boxes", None if self.answer_box("KELVARIN - Information.") else
                          'clearing TE>Raw shows no "All Options are Activated."')

    def cancelled_open(self, main):
        # File > Open... by its shortcut, Ctrl+O. Cancelling the dialog runs the job's failure path.
        main.press("ctrl+o")
        dialog = self.desktop.wait_for("KELVARIN Open", 30)
        self.report.check('Ctrl+O (File > Open...) opens the dialog "KELVARIN Open"', None if dialog else "")
        if dialog:
            dialog.press("Escape")
            boxes = all(self.answer_box(title) for title in
                        ("KELVARIN - Open Error", "KELVARIN - File|Open", "KELVARIN - Error."))
            self.report.check('cancelled Open...: "No Input File Selected.", "File not found.", "There were errors."',
                              None if boxes else "")

    def greyed_under_warning(self, main):
        # Convert > 3 RAW to 3 16-bit TIF (Up from the first item wraps round to the last, the
        # greyed "Stop Conversion"; one more Up): its warning leaves the window enabled with the
        # conversion items greyed, so File > Open... does nothing then; after Cancel the items
        # work again (the conversion that follows).
        main = self.main_window(main)
        main.press("F10", "Right", "Down", "Up", "Up", "Return")
        warning = self.desktop.wait_for("KELVARIN - Warning.", 30)
        if not warning:
            self.report.fail("Convert > 3 RAW to 3 16-bit TIF shows the terrain warning")
            return
        # Closing the window is File > Quit, which a running command refuses: the window and the
        # warning both stay. A click on the empty bottom of the window gives it the keyboard.
        main.click(8, -6)
        if not main.wait_focus(10):
            self.report.fail("Alt+F4 under the terrain warning is refused", "the window did not take the keyboard")
        else:
            self.desktop.key("alt+F4")
            gone = self.desktop.wait_gone(MAIN, 3)
            self.report.check("Alt+F4 under the terrain warning is refused; the window and the warning stay",
                              "the window closed under its command" if gone else
                              None if warning.shown() else "the warning closed")
            if gone:
                return
        # A click on "File" in the menu bar activates the window (the warning has the keyboard)
        # and opens the menu, a new window on the display; Down and Return then choose its first
        # item, "Open...".
        before = self.desktop.mapped_windows()
        main.click(16, 32)
        menu = wait_until(lambda: self.desktop.mapped_windows() - before, 10)
        self.desktop.key("Down", "Return")
        if not menu:
            self.report.fail("conversion items are greyed while a command runs", "the File menu did not open")
        elif self.desktop.wait_for("KELVARIN Open", 4):
            self.report.fail("conversion items are greyed while a command runs", "Open... opened under the warning")
        else:
            self.report.ok("conversion items are greyed while a command runs (File > Open... under the terrain "
                           "warning)")
        # Back to the warning, now behind the window: raised and clicked on its caption (twice if
        # need be: a first click may only close the menu, still open on its greyed item).
        for _ in range(3):
            self.desktop.xdotool("windowraise", warning.id)
            warning.click(60, 10)
            if warning.wait_focus(3):
                break
        self.desktop.key("Escape")
        if not self.desktop.wait_gone("KELVARIN - Warning.", 10):
            self.report.fail("the terrain warning closes with Cancel")
        if self.desktop.wait_for(RESULT_BOX, 3):
            self.report.fail("a cancelled terrain warning shows no result box")

    def conversion(self, main, reference):
        # A whole conversion through the common dialogs, with non-ASCII folder and file names,
        # into an existing longer file: the output equals the Linux build's.
        # File > Open TIF, the second item of the File menu.
        main = self.main_window(main)
        main.press("F10", "Down", "Down", "Return")
        problem = None
        for title, name in (("KELVARIN Open TIF", SOURCE), ("KELVARIN Save", DESTINATION)):
            dialog = self.desktop.wait_for(title, 30)
            if not dialog:
                problem = f'no "{title}" dialog'
                self.close_boxes()
                break
            dialog.press("ctrl+a")
            self.desktop.type(f"{Wine.path(self.folder)}\\{name}")
            self.desktop.key("Return")
        if not problem:
            problem = ('no "KELVARIN - Success." box' if not self.answer_box("KELVARIN - Success.") else
                       same_output(reference, self.folder / DESTINATION.replace("\\", "/")))
        self.report.check(f"File > Open TIF converts {SOURCE} through the dialogs like the Linux build", problem)

    def dropped(self, main, reference):
        # The same source dropped on the window from a file manager: Open... runs with it, so only
        # the Save dialog is asked, and the output equals the Linux build's.
        source = self.folder / SOURCE.replace("\\", "/")
        problem = drop_file(self.desktop.env["DISPLAY"], main.id, source)
        dialog = None if problem else self.desktop.wait_for("KELVARIN Save", 30)
        if not problem and not dialog:
            problem = 'no "KELVARIN Save" dialog after the drop'
            self.close_boxes()
        if dialog:
            dialog.press("ctrl+a")
            self.desktop.type(f"{Wine.path(self.folder)}\\{DROPPED}")
            self.desktop.key("Return")
            problem = ('no "KELVARIN - Success." box' if not self.answer_box("KELVARIN - Success.") else
                       same_output(reference, self.folder / DROPPED.replace("\\", "/")))
        self.report.check(f"{SOURCE} dropped on the window converts through Open... like the Linux build", problem)
        preview = self.desktop.wait_for(PREVIEW, 30)
        if preview:
            self.activate(preview)
            preview.press("alt+F4")
            self.desktop.wait_gone(PREVIEW, 10)

    def preview_after_job(self, path):
        # "Show Preview After Each Job" is ticked at start: the conversion has opened the preview
        # on the map it wrote. Closed, it hides, and the main window's picture is of that alone.
        preview = self.desktop.wait_for(PREVIEW, 30)
        self.report.check(f'after the conversion the preview window "{PREVIEW}" opens', None if preview else "")
        if not preview:
            return
        main = self.main_window(None)
        if main:
            opened_beside(self, main, preview)
        if path:
            self.picture(preview, path)
        self.preview_keys_and_boxes(preview)
        zoomed = path.with_name(path.stem + "-zoomed" + path.suffix) if path else None
        if main and look_into_preview(self, main, preview, zoomed):
            return
        preview.press("alt+F4")
        if not self.desktop.wait_gone(PREVIEW, 10):
            self.report.fail("the preview window closes with Alt+F4")

    def save_dialog_cancelled(self, timeout):
        """Whether the preview's save dialog came within timeout; cancelled if it did."""
        dialog = self.desktop.wait_for(SAVE_PREVIEW, timeout)
        if dialog:
            dialog.press("Escape")
            self.desktop.wait_gone(SAVE_PREVIEW, 10)
        return dialog is not None

    def preview_keys_and_boxes(self, preview):
        # The preview opens without the keyboard; a click on its empty bottom gives it the
        # keyboard, with the focus on its first stop, the Height Map / Shaded Relief choice: Tab
        # goes on to "Save Preview As...", which Space presses.
        self.activate(preview)
        preview.press("Tab", "space")
        self.report.check('in the preview Tab reaches "Save Preview As...", Space opens its dialog',
                          None if self.save_dialog_cancelled(10) else "no save dialog")
        # Under a box of the main window (Help > About) the preview is disabled too: a click on
        # its button does nothing; once the box is closed the same click opens the dialog.
        # The cancelled dialog handed the keyboard back to the preview: the main window is raised
        # and clicked on its empty bottom to take it.
        main = self.main_window(None)
        if main:
            self.desktop.xdotool("windowraise", main.id)
            main.click(8, -6)
        if not main or not main.wait_focus(10):
            self.report.fail("the main window takes the keyboard again after the preview's save dialog")
            return
        self.desktop.key("F10", "Right", "Right", "Right", "Right", "Down", "Up", "Up", "Return")
        if not self.desktop.wait_for("KELVARIN - Help|About", 30):
            self.report.fail('Help > About shows its page over the preview')
            return
        preview.click(*SAVE_BUTTON)
        opened = self.save_dialog_cancelled(3)
        closed = self.answer_box("KELVARIN - Help|About")
        preview.click(*SAVE_BUTTON)
        problem = ("the save dialog opened under the box" if opened else "the About box did not close"
                   if not closed else None if self.save_dialog_cancelled(10) else
                   "no save dialog after the box (the preview left disabled, or the click missed the button)")
        self.report.check("the preview is disabled under a box of the main window and enabled again after it",
                          problem)

    def picture(self, main, path):
        # A click on the empty bottom of the client area activates the window and does nothing else.
        main.click(8, -6)
        main.wait_focus(5)
        path.parent.mkdir(parents=True, exist_ok=True)
        if not self.desktop.picture(path):
            print(f"  (no steady picture of the window for {path})")

    def quit(self):
        # File > Quit: Up from the first item of "File" wraps round to "Quit".
        process = self.wine.start([self.exe], self.folder, self.folder / "wine-quit.log")
        try:
            main = self.desktop.wait_for(MAIN, 60)
            if not main:
                self.report.fail("kelvarin.exe starts a second time")
                return
            main.press("F10", "Down", "Up", "Return")
            status = exit_status(process, 10)
            self.report.check("File > Quit ends kelvarin.exe with status 0",
                              None if status == 0 else f"status {status}")
        finally:
            ended(process)
