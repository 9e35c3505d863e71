"""A second installation of an installed product under Wine: the question
naming the versions, copying over, uninstalling first (asked, required, or
failing because a file is in use, which stops the installation and logs it
in the old folder), automatic mode, and the update that needs its product."""

import shutil
import tempfile
import unittest

from uninstall_support import (SHARED_DIR, Boxes, Products, drive_c_files, exists, finish, read_text, reg_delete,
                               reg_set, registration, remove, shared_count, uninstall_key, write_text)
from wine_ui import run_tests

PRODUCT = "QP Previous"
OLD = "C:\\QP E2E\\Previous"
DIRECTORY = '/d:"%s"' % OLD
WELCOME = "Quillpack Utility v4.0"
FOUND = "Previous Installation Found"
COPY_QUESTION = ("%s of QP Previous is installed at:\n" + OLD + "\n\nDo you want to copy over the previous "
                 "installation?  This will not erase any of your working files and is generally safe.")
TWICE = "You cannot install QP Previous twice.\n\nDo you want to uninstall it?"
NOT_UNINSTALLED = "The previous installation could not be uninstalled.\r\n\r\n"


def last_log_entry(directory):
    """The last entry of the folder's Install.LOG as {line name: value},
    with its body under "body"."""
    entry = read_text(directory + "\\Install.LOG").split("\r\nInstallation log for: ")[-1]
    head, body = entry.split("\r\n\r\n", 1)
    lines = head.split("\r\n")
    fields = dict(line.split(": ", 1) for line in lines[1:])
    fields["product"], fields["body"] = lines[0], body
    return fields


class PreviousInstallation(unittest.TestCase):
    ui = None
    program = None

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(dir=cls.ui.build_dir, prefix="e2e-previous-")
        cls.products = Products(cls.ui, cls.folder)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def setUp(self):
        if "update" not in self._testMethodName:
            self.products.install("uninstall_previous_v1", OLD)
        self.boxes = Boxes(self.ui, "previous")

    def tearDown(self):
        for product in (PRODUCT, "QP Update Only"):
            self.products.forget(product)
        remove("C:\\QP E2E")
        remove(SHARED_DIR)
        reg_delete("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", SHARED_DIR + "\\shared.txt")

    def start(self, project, *args):
        running = self.ui.start(self.products.setup(project), *args)
        self.boxes.answer(WELCOME, "Yes")
        return running

    def test_the_question_names_the_installed_version_and_no_twice_changes_nothing(self):
        before = drive_c_files()
        key = uninstall_key(PRODUCT)
        cases = [("1.5", "An older version"), ("2.0", "The same version"), ("10.0", "A newer version"),
                 (None, "A previous copy")]
        for version, phrase in cases:
            with self.subTest(version=version):
                if version is None:
                    reg_delete(key, "DisplayVersion")
                else:
                    reg_set(key, "DisplayVersion", version)
                running = self.start("uninstall_previous_v2", DIRECTORY)
                self.assertEqual(self.boxes.answer(FOUND, "No", "found-" + phrase.split()[-2].lower()),
                                 COPY_QUESTION % phrase)
                self.assertEqual(self.boxes.answer(FOUND, "No", "twice"), TWICE)
                self.assertEqual(finish(running), 2)
                self.assertEqual(drive_c_files(), before)
                self.assertIsNotNone(registration(PRODUCT))

    def test_copy_over_keeps_the_shared_count_and_logs_a_reinstall(self):
        self.assertEqual(shared_count("shared.txt"), 1)
        running = self.start("uninstall_previous_v2", '/d:"C:\\QP E2E\\Elsewhere"')
        self.assertEqual(self.boxes.answer(FOUND, "Yes", "copy-over"), COPY_QUESTION % "An older version")
        self.boxes.answer("Installation Complete", "OK")
        self.assertEqual(finish(running), 0)
        self.assertEqual(shared_count("shared.txt"), 1)
        self.assertEqual(registration(PRODUCT)["DisplayVersion"], "2.0")
        self.assertFalse(exists("C:\\QP E2E\\Elsewhere"))
        log = last_log_entry(OLD)
        self.assertEqual((log["Install type"], log["Install location"], log["Product version"], log["body"]),
                         ("Reinstall", OLD, "2.0", "Success\r\n\r\n"))

        # Automatic mode copies over without asking, into the old location
        # whatever /d: says.
        self.assertEqual(self.products.run("uninstall_previous_v1", "/a", '/d:"C:\\QP E2E\\Elsewhere"'), 0)
        self.assertFalse(exists("C:\\QP E2E\\Elsewhere"))
        values = registration(PRODUCT)
        self.assertEqual((values["InstallLocation"], values["DisplayVersion"]), (OLD, "1.5"))
        self.assertEqual(shared_count("shared.txt"), 1)
        log = last_log_entry(OLD)
        self.assertEqual((log["Install type"], log["Product version"]), ("Reinstall", "1.5"))

    def test_uninstall_first_when_asked_or_required(self):
        running = self.start("uninstall_previous_v2", DIRECTORY)
        self.boxes.answer(FOUND, "No")
        self.assertEqual(self.boxes.answer(FOUND, "Yes", "uninstall-it"), TWICE)
        self.assertEqual(self.boxes.answer("Uninstall", "Yes"),
                         "This will uninstall QP Previous.\n\nDo you wish to proceed?")
        self.boxes.answer("Delete shared file?", "Yes")
        self.boxes.answer("Uninstall Successful", "OK")
        self.boxes.answer("Installation Complete", "OK")
        self.assertEqual(finish(running), 0)
        self.assertEqual(shared_count("shared.txt"), 1)
        self.assertEqual(registration(PRODUCT)["DisplayVersion"], "2.0")
        # The uninstallation took the old log with it.
        self.assertEqual(read_text(OLD + "\\Install.LOG").count("Installation log for: "), 1)
        self.assertEqual(last_log_entry(OLD)["Install type"], "New")

        running = self.start("uninstall_previous_must", DIRECTORY)
        self.assertEqual(self.boxes.answer(FOUND, "Yes", "must-uninstall"),
                         "The same version of QP Previous is installed at:\n" + OLD + "\n\nYou must uninstall the "
                         "previous installation first.\nDo you wish to do this now?")
        self.boxes.answer("Uninstall", "Yes")
        self.boxes.answer("Delete shared file?", "Yes")
        self.boxes.answer("Uninstall Successful", "OK")
        self.boxes.answer("Installation Complete", "OK")
        self.assertEqual(finish(running), 0)
        self.assertEqual(shared_count("shared.txt"), 1)
        self.assertEqual(last_log_entry(OLD)["Install type"], "New")

    def test_a_previous_installation_that_cannot_be_uninstalled_stops_the_installation(self):
        # The user's own file keeps a folder the old installation listed:
        # its uninstallation cannot complete.
        mine = OLD + "\\program\\mine.txt"
        write_text(mine, "the user's own\r\n")
        try:
            # Automatic mode: uninstalling first is required; it fails, the
            # installation stops and says why in the old folder's log.
            self.assertEqual(self.products.run("uninstall_previous_must", "/a", DIRECTORY), 1)
            log = last_log_entry(OLD)
            self.assertEqual((log["Install type"], log["Install location"], log["body"]),
                             ("New", OLD, NOT_UNINSTALLED))
            self.assertEqual(registration(PRODUCT)["DisplayVersion"], "1.5")

            # Asked: the user declines to go on after the failure.
            running = self.start("uninstall_previous_v2", DIRECTORY)
            self.boxes.answer(FOUND, "No")
            self.boxes.answer(FOUND, "Yes")
            self.boxes.answer("Uninstall", "Yes")
            self.assertIn('Unable to remove "%s\\program"' % OLD, self.boxes.answer("Uninstall", "OK"))
            self.assertEqual(self.boxes.answer("Uninstallation Failed", "No", "uninstallation-failed"),
                             "The previous installation could not be uninstalled.\n\n"
                             "Are you sure you want to proceed with the installation?")
            self.assertEqual(finish(running), 2)
        finally:
            remove(mine)
        # Each attempt deletes the log it finds, as every uninstallation
        # does, before the stop writes its own entry.
        log = read_text(OLD + "\\Install.LOG")
        self.assertEqual(log.count("Installation log for: "), 1)
        self.assertEqual(last_log_entry(OLD)["body"], NOT_UNINSTALLED)
        self.assertEqual(registration(PRODUCT)["DisplayVersion"], "1.5")
        self.assertEqual(self.products.uninstall_quietly(PRODUCT), 0)

    def test_an_update_needs_its_product(self):
        running = self.ui.start(self.products.setup("uninstall_update_only"))
        self.assertEqual(self.boxes.answer("Error", "OK", "update-only"),
                         "QP Update Only is not currently installed on your system.  This self-extracting archive "
                         "can only update existing installations.")
        self.assertEqual(finish(running), 1)
        # Automatic mode: the same refusal without a box (a box would keep
        # the program waiting past the time limit).
        before = drive_c_files()
        self.assertEqual(self.products.run("uninstall_update_only", "/a", timeout=60), 1)
        self.assertEqual(drive_c_files(), before)


if __name__ == "__main__":
    run_tests(PreviousInstallation)
