"""The uninstall road under Wine: products installed quickly in automatic mode
are removed through their registered commands, interactively and quietly,
and everything the installation made must be gone afterwards (files,
folders, shortcuts, keys, shared counts, the PATH line), or, where something
is in the way, reported, kept registered and finished by a later run."""

import glob
import os
import shutil
import tempfile
import unittest

from uninstall_support import (FONTS_KEY, SHARED_COUNTS, SHARED_DIR, Boxes, Products, Snapshot, drive_c_files, exists, finish,
                               listing, read_bytes, read_text, reg_delete, reg_set, registration, remove, shared_count,
                               uninstall_key, unix_path, wait_until, write_text)
from wine_ui import reg_query, run_tests

BASIC = "C:\\QP E2E\\Basic"
PARTNER = "C:\\QP E2E\\Partner"
SHARED = SHARED_DIR + "\\shared.txt"
BATCH1 = "C:\\qp-e2e-batch1.txt"
BATCH2 = "C:\\qp-e2e-batch2.txt"
AUTOEXEC = "C:\\autoexec.bat"
PRODUCTS = ("QP Basic", "QP Partner", "QP Fonts", "QP Whole")
FONT_NAME = "QP E2E Sans (TrueType)"
FONT_FILE = "C:\\windows\\Fonts\\DejaVuSans.ttf"

SHARED_QUESTION = ("The following shared file is no longer used:\n" + SHARED +
                   "\n\nDo you want to delete this file?")


def partial_text(product, problems):
    return ("%s could not be completely uninstalled.\nThe following problems occurred:\n\n%s\n"
            "You can attempt to complete the uninstallation at another time." % (product, problems))


class UninstallRoad(unittest.TestCase):
    ui = None
    program = None

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(dir=cls.ui.build_dir, prefix="e2e-uninstall-")
        cls.products = Products(cls.ui, cls.folder)
        # A startup file of known content, so the PATH line's removal can be
        # compared byte for byte; the original comes back at the end.
        cls.autoexec = read_bytes(AUTOEXEC)
        write_text(AUTOEXEC, "REM quillpack e2e\r\n")

    @classmethod
    def tearDownClass(cls):
        if cls.autoexec is None:
            remove(AUTOEXEC)
        else:
            with open(unix_path(AUTOEXEC), "wb") as f:
                f.write(cls.autoexec)
        shutil.rmtree(cls.folder, ignore_errors=True)

    def setUp(self):
        for marker in (BATCH1, BATCH2):
            remove(marker)

    def tearDown(self):
        for product in PRODUCTS:
            self.products.forget(product)
        remove("C:\\QP E2E")
        remove(SHARED_DIR)
        reg_delete("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", SHARED)
        for hive in ("HKLM", "HKCU"):
            reg_delete(hive + "\\Software\\QP E2E")
        for marker in (BATCH1, BATCH2):
            remove(marker)
        reg_delete(FONTS_KEY, FONT_NAME)
        remove(FONT_FILE)

    def test_interactive_uninstall_through_the_registered_command_removes_everything(self):
        before = Snapshot()
        self.products.install("uninstall_basic", BASIC)
        self.assertEqual(shared_count("shared.txt"), 1)
        self.assertIn("PATH=%PATH%;", read_text(AUTOEXEC))
        boxes = Boxes(self.ui, "uninstall")

        # Declined: nothing is changed, not even the first batch is run.
        installed, values = Snapshot(), registration("QP Basic")
        running = self.products.start_registered("QP Basic")
        boxes.answer("Uninstall", "No")
        self.assertEqual(finish(running), 2)
        self.assertEqual(installed.differences(Snapshot()), [])
        self.assertEqual(registration("QP Basic"), values)
        self.assertFalse(exists(BATCH1))

        running = self.products.start_registered("QP Basic")
        self.assertEqual(boxes.answer("Uninstall", "Yes", "confirm"),
                         "This will uninstall QP Basic.\n\nDo you wish to proceed?")
        self.assertEqual(boxes.answer("Delete shared file?", "Yes", "shared-question"), SHARED_QUESTION)
        self.assertEqual(boxes.answer("Uninstall Successful", "OK", "successful"),
                         "QP Basic has successfully been uninstalled.")
        self.assertEqual(finish(running), 0)

        # The first batch ran in the installation directory, the second in
        # the drive root, with that root as InstallDir and no SharedDir.
        self.assertEqual(read_text(BATCH1), BASIC + "\r\n")
        self.assertEqual(read_text(BATCH2), "cd=C:\\\r\ndir=C:\\\r\nshared=[]\r\n")
        remove(BATCH1)
        remove(BATCH2)
        # The uninstaller and its folder go once it has exited, and the
        # self-removal batch with them.
        self.assertTrue(wait_until(lambda: not exists(BASIC)), listing(BASIC))
        # The folder the setup made above its own goes with it.
        self.assertTrue(wait_until(lambda: not exists("C:\\QP E2E")), listing("C:\\QP E2E"))
        temp = unix_path("C:\\users\\%s\\Temp" % self.user())
        self.assertTrue(wait_until(lambda: not glob.glob(os.path.join(temp, "qpk-uninstall-*.bat"))))
        self.assertEqual(before.differences(Snapshot()), [])

    @staticmethod
    def user():
        return [name for name in os.listdir(unix_path("C:\\users")) if name.lower() != "public"][0]

    def run_quietly(self, product):
        code = self.products.uninstall_quietly(product)
        self.assertIsNotNone(code, "%s is not registered" % product)
        return code

    def test_user_files_keep_their_folders(self):
        self.products.install("uninstall_basic", BASIC)
        write_text(BASIC + "\\program\\sub\\mine.txt", "the user's own\r\n")

        boxes = Boxes(self.ui, "uninstall-user-file")
        running = self.products.start_registered("QP Basic")
        boxes.answer("Uninstall", "Yes")
        boxes.answer("Delete shared file?", "No")
        problems = ('Unable to remove "%s\\program\\sub"\nUnable to remove "%s\\program"\n' % (BASIC, BASIC))
        self.assertEqual(boxes.answer("Uninstall", "OK", "partial"), partial_text("QP Basic", problems))
        self.assertEqual(finish(running), 3)

        # Still registered, the uninstaller kept, the second batch not run,
        # and only what is left listed for the next run.
        self.assertIsNotNone(registration("QP Basic"))
        self.assertTrue(exists(BASIC + "\\Uninstall.EXE"))
        self.assertTrue(exists(BASIC + "\\program\\sub\\mine.txt"))
        self.assertFalse(exists(BASIC + "\\program\\app.txt"))
        self.assertFalse(exists(BATCH2))
        self.assertIn("PATH=%PATH%;", read_text(AUTOEXEC))
        self.assertEqual(read_text(BASIC + "\\Uninstall.DAT"),
                         "~%s\\program\\sub\r\n~%s\\program\r\n" % (BASIC, BASIC))

        # A file in the installation directory itself: the quiet run
        # completes and the folder stays with only that file.
        remove(BASIC + "\\program")
        write_text(BASIC + "\\mine.txt", "the user's own\r\n")
        self.assertEqual(self.run_quietly("QP Basic"), 0)
        self.assertIsNone(registration("QP Basic"))
        self.assertTrue(wait_until(lambda: listing(BASIC) == ["mine.txt"]), listing(BASIC))
        self.assertTrue(exists(BATCH2))
        self.assertEqual(read_text(AUTOEXEC), "REM quillpack e2e\r\n")

    def test_a_product_that_is_not_installed_is_named_in_an_error(self):
        running = self.ui.start(self.program, '/u:"QP Nobody"')
        text = Boxes(self.ui, "uninstall").answer("Error", "OK", "not-installed")
        self.assertEqual(text, "No product named 'QP Nobody' is installed.")
        self.assertEqual(finish(running), 1)

    def test_a_folder_the_user_filled_leaves_a_partial_uninstallation_that_a_second_run_finishes(self):
        self.products.install("uninstall_basic", BASIC)
        self.products.install("uninstall_partner", PARTNER)
        self.assertEqual(shared_count("shared.txt"), 2)
        boxes = Boxes(self.ui, "uninstall-held")
        mine = BASIC + "\\program\\mine.txt"
        write_text(mine, "the user's own\r\n")
        running = self.products.start_registered("QP Basic")
        boxes.answer("Uninstall", "Yes")
        # The partner still uses the shared file: no question comes.
        problems = 'Unable to remove "%s\\program"\n' % BASIC
        self.assertEqual(boxes.answer("Uninstall", "OK", "user-file"), partial_text("QP Basic", problems))
        self.assertEqual(finish(running), 3)
        remove(mine)

        values = registration("QP Basic")
        self.assertIsNotNone(values)
        for gone in ("SharedFiles", "UninstallBatch1", "ProductRegistry"):
            self.assertNotIn(gone, values)
        self.assertIn("UninstallBatch2", values)
        self.assertEqual(shared_count("shared.txt"), 1)
        self.assertTrue(exists(SHARED))
        self.assertTrue(exists(BATCH1))
        self.assertFalse(exists(BATCH2), "the post-uninstallation batch ran after a partial uninstallation")
        self.assertIn("PATH=%PATH%;", read_text(AUTOEXEC))
        self.assertEqual(read_text(BASIC + "\\Uninstall.DAT"), "~%s\\program\r\n" % BASIC)
        remove(BATCH1)

        self.assertEqual(self.run_quietly("QP Basic"), 0)
        self.assertIsNone(registration("QP Basic"))
        self.assertTrue(wait_until(lambda: not exists(BASIC)), listing(BASIC))
        self.assertFalse(exists(BATCH1), "the pre-uninstallation batch ran twice")
        self.assertTrue(exists(BATCH2))
        self.assertEqual(read_text(AUTOEXEC), "REM quillpack e2e\r\n")
        # The partner's count was not released a second time.
        self.assertEqual(shared_count("shared.txt"), 1)
        self.assertTrue(exists(SHARED))

        # The last product asks; No keeps the file but not its count.
        running = self.products.start_registered("QP Partner")
        boxes.answer("Uninstall", "Yes")
        self.assertEqual(boxes.answer("Delete shared file?", "No"), SHARED_QUESTION)
        boxes.answer("Uninstall Successful", "OK")
        self.assertEqual(finish(running), 0)
        self.assertIsNone(shared_count("shared.txt"))
        self.assertTrue(exists(SHARED))

    def test_a_file_in_use_goes_at_the_next_restart(self):
        session = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager"
        reg_delete(session, "PendingFileRenameOperations")
        self.products.install("uninstall_basic", BASIC)
        held = self.products.hold(BASIC + "\\program\\app.txt")
        try:
            self.assertEqual(self.run_quietly("QP Basic"), 3010)
        finally:
            self.products.release(held)
        self.assertIsNone(registration("QP Basic"))
        pending = (reg_query(session) or {}).get("PendingFileRenameOperations", ("", ""))[1]
        for path in (BASIC + "\\program\\app.txt", BASIC + "\\program", BASIC):
            self.assertIn(path, pending)
        self.assertFalse(exists(BASIC + "\\program\\sub"))
        reg_delete(session, "PendingFileRenameOperations")

    def test_fonts_are_removed_with_their_value_unless_declined(self):
        fonts = "C:\\QP E2E\\Fonts"
        self.products.install("uninstall_fonts", fonts)
        self.assertEqual((reg_query(FONTS_KEY) or {}).get(FONT_NAME), ("REG_SZ", "DejaVuSans.ttf"))
        self.assertTrue(exists(FONT_FILE))

        boxes = Boxes(self.ui, "uninstall-fonts")
        running = self.products.start_registered("QP Fonts")
        boxes.answer("Uninstall", "Yes")
        self.assertEqual(boxes.answer("Delete Font?", "Yes", "question"),
                         "Do you want to delete the font '%s'?" % FONT_NAME)
        # Wine does not always let RemoveFontResourceA take away a font that
        # another process added; the uninstaller must then report it and
        # keep it listed, registered and on disk.
        if boxes.first_of("Uninstall Successful", "Uninstall") == "Uninstall":
            self.assertEqual(boxes.answer("Uninstall", "OK", "not-removed"),
                             partial_text("QP Fonts", "Failed to remove font DejaVuSans.ttf\n"))
            self.assertEqual(finish(running), 3)
            # (reg query's text drops the space that closes the list)
            self.assertEqual(registration("QP Fonts")["ProductFonts"], '"%s" "DejaVuSans.ttf"' % FONT_NAME)
            self.assertEqual((reg_query(FONTS_KEY) or {}).get(FONT_NAME), ("REG_SZ", "DejaVuSans.ttf"))
            self.assertTrue(exists(FONT_FILE))
        else:
            boxes.answer("Uninstall Successful", "OK")
            self.assertEqual(finish(running), 0)
            self.assertNotIn(FONT_NAME, reg_query(FONTS_KEY) or {})
            self.assertFalse(exists(FONT_FILE))
            # The self-removal must be over before the folder is used again.
            self.assertTrue(wait_until(lambda: not exists(fonts)), listing(fonts))
        self.products.install("uninstall_fonts", fonts)

        # Declined: the font stays, neither listed nor counted.
        running = self.products.start_registered("QP Fonts")
        boxes.answer("Uninstall", "Yes")
        boxes.answer("Delete Font?", "No")
        boxes.answer("Uninstall Successful", "OK")
        self.assertEqual(finish(running), 0)
        self.assertIsNone(registration("QP Fonts"))
        self.assertEqual((reg_query(FONTS_KEY) or {}).get(FONT_NAME), ("REG_SZ", "DejaVuSans.ttf"))
        self.assertTrue(exists(FONT_FILE))
        self.assertIsNone((reg_query(SHARED_COUNTS) or {}).get(FONT_FILE))

    def test_without_removal_list_the_whole_directory_goes_but_never_a_special_folder(self):
        whole = "C:\\QP E2E\\Whole"
        self.products.install("uninstall_whole", whole)
        key = uninstall_key("QP Whole")
        files = drive_c_files()
        boxes = Boxes(self.ui, "uninstall-whole")
        reg_set(key, "InstallLocation", "C:\\Program Files")
        running = self.products.start_registered("QP Whole")
        boxes.answer("Uninstall", "Yes")
        self.assertEqual(boxes.answer("Uninstall", "OK", "cannot-expunge"),
                         partial_text("QP Whole", "The directory C:\\Program Files cannot be expunged.\n"))
        self.assertEqual(finish(running), 3)
        self.assertEqual(drive_c_files(), files)
        for location in ("C:\\Program Files\\", "C:\\users\\" + self.user(), "C:\\"):
            with self.subTest(location=location):
                reg_set(key, "InstallLocation", location)
                self.assertEqual(registration("QP Whole")["InstallLocation"], location)
                self.assertEqual(self.run_quietly("QP Whole"), 3)
                self.assertEqual(drive_c_files(), files)
        self.assertIsNotNone(registration("QP Whole"))

        reg_set(key, "InstallLocation", whole)
        write_text(whole + "\\program\\mine.txt", "the user's own\r\n")
        running = self.products.start_registered("QP Whole")
        self.assertEqual(boxes.answer("Uninstall", "Yes", "confirm"),
                         "This will uninstall QP Whole.\n\nWARNING: you should first move any personal files located "
                         "in:\n%s\n\nThis directory will be completely removed.\n\nDo you wish to proceed?" % whole)
        boxes.answer("Uninstall Successful", "OK")
        self.assertEqual(finish(running), 0)
        self.assertTrue(wait_until(lambda: not exists(whole)), listing(whole))
        self.assertIsNone(registration("QP Whole"))


if __name__ == "__main__":
    run_tests(UninstallRoad)
