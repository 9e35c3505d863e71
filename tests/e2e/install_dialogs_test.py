"""Interactive installations under Wine, answered through every box and
dialog a user sees: welcome, license, readme, the directory choice with each
of its refusals, the create confirmation, a newer shared file, completion,
the restart question, partial success with the log, and too little space."""

import os
import shutil
import subprocess
import unittest

from install_support import (COMMON_FILES, Workspace, forget_product, mtime, read_bytes, registration,
                             set_date)
from wine_ui import run_tests, unix_path

CHOOSE = "Choose Installation Directory"
DIALOGS_DIR = "C:\\QP Install E2E\\Dialogs Dir"
DIALOGS_SHARED = COMMON_FILES + "\\QPI Dialogs Vendor\\common.dll"


class DialogCase(unittest.TestCase):
    ui = None
    program = None

    @classmethod
    def setUpClass(cls):
        cls.work = Workspace(cls.ui, "e2e-dialogs-")

    @classmethod
    def tearDownClass(cls):
        cls.work.remove()

    def setUp(self):
        self.running = None

    def tearDown(self):
        if self.running:
            self.running.kill()
            self.ui.kill("setup.exe")

    def start(self, setup, *args):
        self.running = self.ui.start(setup, *args)

    def box(self, caption, screenshot=None):
        """Waits for a window and returns its static texts."""
        self.assertTrue(self.ui.wait(caption), "no window %r" % caption)
        if screenshot:
            self.ui.screenshot(screenshot)
        return self.ui.text(caption)

    def answer(self, caption, button):
        self.ui.click(caption, button)
        self.ui.driver("gone", caption, 10000, check=False)

    def choose(self, directory):
        """Types a directory into the directory dialog and presses Continue."""
        self.assertTrue(self.ui.wait(CHOOSE), "no directory dialog")
        self.ui.driver("type", CHOOSE, "#1015", directory)
        self.answer(CHOOSE, "#1001")

    def plain(self, name, flags, files, sources):
        extra = 'name = "%s"\nflags = [%s]\n\n%s' % (name, ", ".join('"%s"' % f for f in flags), files)
        return self.work.build("plain", sources, name=name.replace(" ", "-"), extra=extra)


class FullDialogRoad(DialogCase):
    def test_every_box_in_turn_then_restart_declined(self):
        forget_product("QPI Dialogs", [DIALOGS_DIR])
        shared = unix_path(DIALOGS_SHARED)
        os.makedirs(os.path.dirname(shared), exist_ok=True)
        with open(shared, "wb") as f:
            f.write(b"newer copy")
        set_date(shared, 2023, 6, 7, 14, 15, 16)
        setup = self.work.build("dialogs", {"main.txt": b"main\r\n", "common.dll": b"shipped copy"})
        self.start(setup)

        caption = "Quillpack Utility v4.0"
        self.assertEqual(self.box(caption, "dialogs-welcome"), "Welcome to QPI Dialogs.\n\nInstall QPI Dialogs now?")
        self.answer(caption, "Yes")
        self.box("End-User License Agreement", "dialogs-license")
        self.answer("End-User License Agreement", "#1001")
        self.box("Important Information", "dialogs-readme")
        self.answer("Important Information", "#1001")

        self.assertEqual(self.box(CHOOSE, "dialogs-choose"), "Choose the directory where QPI Dialogs should be installed.")
        refusals = [
            ("C:\\bad|name", "This file path is illegal:\nC:\\bad|name"),
            ("QPI\\relative", 'You must specify a complete drive and path such as "c:\\work".'),
            ("Q:\\QPI", "Drive Q: is not available."),
            ("C:\\", "You cannot install to a root directory."),
            ("C:\\Program Files\\", "You cannot install to the root of the C:\\Program Files directory.  "
                                    "You can only install to a subdirectory of it."),
        ]
        for directory, text in refusals:
            with self.subTest(directory=directory):
                self.choose(directory)
                self.assertEqual(self.box("Error", "dialogs-refused-%d" % refusals.index((directory, text))), text)
                self.answer("Error", "OK")

        confirm = "Choosing Installation Directory"
        question = "The directory %s does not exist.\n\nDo you want to create it?" % DIALOGS_DIR
        self.choose(DIALOGS_DIR)
        self.assertEqual(self.box(confirm, "dialogs-create"), question)
        self.answer(confirm, "No")
        self.assertFalse(os.path.exists(unix_path(DIALOGS_DIR)))
        self.choose(DIALOGS_DIR)
        self.assertEqual(self.box(confirm), question)
        self.answer(confirm, "Yes")

        replace = ("A newer copy of the following shared file (dated 6/7/2023 2:15:16p) is on your computer:\n%s\n\n"
                   "Do you wish to overwrite this file with the version dated 1/2/2020 3:04:05a (not recommended)?"
                   % DIALOGS_SHARED)
        self.assertEqual(self.box("Replace File?", "dialogs-replace"), replace)
        self.answer("Replace File?", "Yes")
        self.assertEqual(self.box("Installation Complete", "dialogs-complete"),
                         "Installation has been completed successfully.")
        self.answer("Installation Complete", "OK")
        # Never Yes here: Wine would end the session.
        self.assertEqual(self.box("Reboot computer?", "dialogs-reboot"),
                         "You need to reboot your computer to finish the installation.  Do you wish to reboot now?")
        self.answer("Reboot computer?", "No")
        self.assertEqual(self.running.exit_code(), 3010)

        self.assertEqual(read_bytes(os.path.join(unix_path(DIALOGS_DIR), "main.txt")), b"main\r\n")
        self.assertEqual(read_bytes(shared), b"shipped copy")
        self.assertEqual(mtime(shared).timetuple()[:6], (2020, 1, 2, 3, 4, 5))
        self.assertEqual(registration("QPI Dialogs")["InstallLocation"][1], DIALOGS_DIR)

    def test_welcome_answered_no_installs_nothing(self):
        directory = "C:\\Program Files\\QPI Welcome No"
        forget_product("QPI Welcome No", [directory])
        setup = self.plain("QPI Welcome No", ["WithUninstaller"], '[[files]]\nsource = "a.txt"\n', {"a.txt": b"a"})
        self.start(setup)
        # An empty welcome text still gets its box.
        self.assertEqual(self.box("Quillpack Utility v4.0"), "")
        self.answer("Quillpack Utility v4.0", "No")
        self.assertEqual(self.running.exit_code(), 2)
        self.assertFalse(os.path.exists(unix_path(directory)))
        self.assertIsNone(registration("QPI Welcome No"))


class PartialSuccessAndSpace(DialogCase):
    def test_partial_success_offers_the_log_in_notepad(self):
        directory = "C:\\QP Install E2E\\Partial"
        forget_product("QPI Partial", [directory])
        setup = self.plain("QPI Partial", [], '[[files]]\nsource = "busy.txt"\n', {"busy.txt": b"new"})
        # A folder where the file should go: it cannot be written now or later.
        os.makedirs(unix_path(directory + "\\busy.txt"))
        try:
            self.start(setup, "/d:" + directory)
            self.answer("Quillpack Utility v4.0", "Yes")
            log = directory + "\\Install.LOG"
            self.assertEqual(self.box("Partial Success", "partial-success"),
                             "Installation has been completed with partial success.   The installation log is "
                             "stored at:\n%s\n\nDo you wish to view the log? " % log)
            self.answer("Partial Success", "Yes")
            self.assertTrue(self.ui.wait("Install.LOG - Notepad"), "notepad did not show the log")
            self.ui.screenshot("partial-notepad")
            self.ui.kill("notepad.exe")
            self.assertEqual(self.running.exit_code(), 3)
        finally:
            self.ui.kill("notepad.exe")
        self.assertIn("Unable to create file: %s\\busy.txt\r\n\r\n" % directory,
                      read_bytes(unix_path(log)).decode("latin-1"))

    def test_not_enough_space_warns_and_returns_to_the_dialog(self):
        mount = os.path.join(self.work.folder, "small-drive")
        os.makedirs(mount)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", mount],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
            self.skipTest("cannot mount a small drive here (needs root); the space check has unit tests")
        letter = os.path.join(os.environ["WINEPREFIX"], "dosdevices", "r:")
        try:
            if os.path.lexists(letter):
                os.remove(letter)
            os.symlink(mount, letter)
            setup = self.plain("QPI Big", ["AskDirectory"], '[[files]]\nsource = "big.bin"\n',
                               {"big.bin": bytes(2 * 1024 * 1024)})
            self.start(setup)
            self.answer("Quillpack Utility v4.0", "Yes")
            self.choose("R:\\Big")
            self.assertEqual(self.box("Not Enough Space", "not-enough-space"),
                             "QPI Big requires 2.00 MB of hard disk space.\nDrive R: only has 1.00 MB available.\n"
                             "Do you still wish to install to R:\\Big? ")
            self.answer("Not Enough Space", "No")
            self.assertTrue(self.ui.wait(CHOOSE), "the dialog did not come back")
            self.answer(CHOOSE, "#1003")
            self.assertEqual(self.running.exit_code(), 2)
            self.assertFalse(os.path.exists(os.path.join(mount, "Big")))
        finally:
            if self.running:
                self.running.kill()
                self.ui.kill("setup.exe")
            if os.path.islink(letter):
                os.remove(letter)
            subprocess.run(["umount", mount], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            shutil.rmtree(mount, ignore_errors=True)


if __name__ == "__main__":
    run_tests(DialogCase)
