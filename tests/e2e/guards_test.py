"""What an uninstallation may remove, under Wine: only what the installation
put where it put it, whatever a damaged registration, a grown Uninstall.DAT
or an odd folder name says. Batch scripts run in folders whose names the
command interpreter would take for commands, and shared files and fonts are
counted once per product."""

import os
import shutil
import tempfile
import unittest

from uninstall_support import (FONTS_KEY, SHARED_DIR, Products, exists, finish, listing, read_text,
                               reg_delete, reg_set, registration, remove, shared_count, uninstall_key, unix_path,
                               wait_until, write_text)
from wine_ui import reg_query, run_tests

ROOT = "C:\\QP E2E"
SHARED_COUNTS = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
PROGRAM_FILES = "C:\\Program Files"
FONT_NAME = "QP E2E Sans (TrueType)"
FONT_FILE = "C:\\windows\\Fonts\\DejaVuSans.ttf"
PRODUCTS = ("QP Basic", "QP Partner", "QP Whole", "QP Guard", "QP Batch", "QP Fonts", "QP Fonts Two")
MARKERS = ("C:\\qp-e2e-after.txt", "C:\\qp-e2e-batch1.txt", "C:\\qp-e2e-batch2.txt")


def documents():
    users = [n for n in os.listdir(unix_path("C:\\users")) if n.lower() != "public"]
    return "C:\\users\\%s\\Documents" % users[0]


class Guards(unittest.TestCase):
    ui = None
    program = None

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(dir=cls.ui.build_dir, prefix="e2e-guards-")
        cls.products = Products(cls.ui, cls.folder)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def tearDown(self):
        for product in PRODUCTS:
            self.products.forget(product)
        remove(ROOT)
        remove(SHARED_DIR)
        reg_delete(SHARED_COUNTS, SHARED_DIR + "\\shared.txt")
        reg_delete(SHARED_COUNTS, FONT_FILE)
        reg_delete(FONTS_KEY, FONT_NAME)
        for hive in ("HKLM", "HKCU"):
            reg_delete(hive + "\\Software\\QP E2E")
            reg_delete(hive + "\\Software\\QP Other Vendor")
        for marker in MARKERS:
            remove(marker)

    def quietly(self, product):
        return self.products.uninstall_quietly(product)

    def test_program_files_in_no_spelling_is_removed_whole(self):
        vendor = PROGRAM_FILES + "\\Another Vendor\\tool.dll"
        write_text(vendor, "someone else's\r\n")
        try:
            self.products.install("uninstall_whole", PROGRAM_FILES + "\\.")
            # Recorded as the folder it is, so the guard sees Program Files.
            self.assertEqual(registration("QP Whole")["InstallLocation"], PROGRAM_FILES)
            self.assertEqual(self.quietly("QP Whole"), 3)
            self.assertTrue(exists(vendor))
            for spelling in ("C:/Program Files", "C:\\Program Files\\.", "\\Program Files", "C:\\PROGRAM FILES\\"):
                with self.subTest(spelling=spelling):
                    reg_set(uninstall_key("QP Whole"), "InstallLocation", spelling)
                    self.assertEqual(self.quietly("QP Whole"), 3)
                    self.assertTrue(exists(vendor))
            self.assertIsNotNone(registration("QP Whole"))
        finally:
            for name in ("Another Vendor", "readme.txt", "program", "Uninstall.EXE", "Uninstall.INI", "Install.LOG"):
                remove(PROGRAM_FILES + "\\" + name)

    def test_a_whole_folder_that_cannot_go_keeps_the_registration(self):
        whole = ROOT + "\\Whole"
        self.products.install("uninstall_whole", whole)
        held = self.products.hold(whole + "\\program\\app.txt")
        try:
            self.assertEqual(self.quietly("QP Whole"), 3)
        finally:
            self.products.release(held)
        self.assertIsNotNone(registration("QP Whole"))
        self.assertEqual(self.quietly("QP Whole"), 0)
        self.assertTrue(wait_until(lambda: not exists(whole)), listing(whole))

    def test_lines_added_to_the_record_touch_nothing_outside(self):
        basic = ROOT + "\\Basic"
        precious = "C:\\QP E2E Other\\precious.txt"
        write_text(precious, "keep me\r\n")
        try:
            self.products.install("uninstall_basic", basic)
            with open(unix_path(basic + "\\Uninstall.DAT"), "ab") as f:
                f.write((precious + "\r\n~C:\\QP E2E Other\r\n" + basic + "\\..\\..\\QP E2E Other\\precious.txt\r\n")
                        .encode("latin-1"))
            self.assertEqual(self.quietly("QP Basic"), 3)
            self.assertTrue(exists(precious))
            self.assertFalse(exists(basic + "\\program\\app.txt"))
            # Skipped lines are reported once; the next run completes.
            self.assertEqual(self.quietly("QP Basic"), 0)
            self.assertTrue(exists(precious))
        finally:
            remove("C:\\QP E2E Other")

    def test_a_copy_over_keeps_what_the_previous_version_listed(self):
        guard = ROOT + "\\Guard"
        self.products.install("guards_v1", guard)
        desktop = unix_path(documents().rsplit("\\", 1)[0] + "\\Desktop")
        self.assertTrue(os.path.exists(os.path.join(desktop, "QP Guard Old.LNK")))
        self.products.install("guards_v2", guard)  # automatic mode copies over
        self.assertEqual(registration("QP Guard")["DisplayVersion"], "2.0")
        self.assertEqual(shared_count("shared.txt"), 1)
        self.assertEqual(self.quietly("QP Guard"), 0)
        self.assertTrue(wait_until(lambda: not exists(guard)), listing(guard))
        self.assertFalse(os.path.exists(os.path.join(desktop, "QP Guard Old.LNK")))
        self.assertIsNone(shared_count("shared.txt"))

    def test_a_shared_file_is_counted_once_after_its_folder_was_deleted(self):
        guard = ROOT + "\\Guard"
        self.products.install("guards_v1", guard)
        remove(guard)
        self.products.install("guards_v1", guard)
        self.assertEqual(shared_count("shared.txt"), 1)
        self.assertEqual(self.quietly("QP Guard"), 0)
        self.assertIsNone(shared_count("shared.txt"))
        self.assertFalse(exists(SHARED_DIR + "\\shared.txt"))

    def test_a_font_two_products_installed_stays_for_the_second(self):
        self.products.install("uninstall_fonts", ROOT + "\\Fonts")
        self.products.install("guards_fonts_two", ROOT + "\\Fonts Two")
        self.assertEqual((reg_query(SHARED_COUNTS) or {}).get(FONT_FILE), ("REG_DWORD", 2))
        # The first to go leaves the font, its value and one count.
        self.assertEqual(self.quietly("QP Fonts"), 0)
        self.assertTrue(exists(FONT_FILE))
        self.assertEqual((reg_query(FONTS_KEY) or {}).get(FONT_NAME), ("REG_SZ", "DejaVuSans.ttf"))
        self.assertEqual((reg_query(SHARED_COUNTS) or {}).get(FONT_FILE), ("REG_DWORD", 1))

    def test_a_damaged_registration_deletes_nothing_of_others(self):
        basic, partner = ROOT + "\\Basic", ROOT + "\\Partner"
        precious = documents() + "\\precious.txt"
        cases = [
            ("SharedFiles", '"shared.txt";"%s"' % precious),
            ("ProductRegistry", "QP Other Vendor"),
            ("InstallLocation", partner),
            ("SharedPath", partner),
        ]
        for value, damaged in cases:
            with self.subTest(value=value):
                write_text(precious, "the user's own\r\n")
                self.products.install("uninstall_basic", basic)
                self.products.install("uninstall_partner", partner)
                write_text(partner + "\\Install.LOG", "the partner's log\r\n")
                write_text(partner + "\\shared.txt", "not basic's\r\n")
                for hive in ("HKLM", "HKCU"):
                    reg_set(hive + "\\Software\\QP Other Vendor", "kept", "1")
                reg_set(uninstall_key("QP Basic"), value, damaged)
                self.assertEqual(self.quietly("QP Basic"), 3)
                self.assertIsNotNone(registration("QP Basic"))
                self.assertTrue(exists(precious))
                self.assertTrue(exists(partner + "\\Install.LOG"))
                self.assertTrue(exists(partner + "\\shared.txt"))
                self.assertTrue(exists(partner + "\\partner.txt"))
                for hive in ("HKLM", "HKCU"):
                    self.assertIsNotNone(reg_query(hive + "\\Software\\QP Other Vendor"))
                for product in ("QP Basic", "QP Partner"):
                    self.products.forget(product)
                remove(ROOT)
        remove(precious)

    def test_whole_folder_removal_never_takes_the_documents(self):
        whole = ROOT + "\\Whole"
        self.products.install("uninstall_whole", whole)
        write_text(documents() + "\\precious.txt", "the user's own\r\n")
        try:
            reg_set(uninstall_key("QP Whole"), "InstallLocation", documents())
            self.assertEqual(self.quietly("QP Whole"), 3)
            self.assertTrue(exists(documents() + "\\precious.txt"))
        finally:
            remove(documents() + "\\precious.txt")

    def test_a_huge_record_is_worked_through(self):
        basic = ROOT + "\\Basic"
        self.products.install("uninstall_basic", basic)
        path = unix_path(basic + "\\Uninstall.DAT")
        # 1.2 GB, nearly all of it NUL bytes (empty lines), the real lines first.
        with open(path, "r+b") as f:
            f.truncate(1200 * 1024 * 1024)
        self.assertEqual(self.quietly("QP Basic"), 0)
        self.assertIsNone(registration("QP Basic"))
        self.assertTrue(wait_until(lambda: not exists(basic)), listing(basic))

    def test_batches_run_in_folders_with_command_characters(self):
        for folder in (ROOT + "\\Apps (x86)\\TJ", ROOT + "\\T&J @ ^1^"):
            with self.subTest(folder=folder):
                self.products.install("guards_batch", folder)
                self.assertEqual(read_text("C:\\qp-e2e-after.txt"), "InstallDir=%s\r\n" % folder)
                self.assertEqual(self.quietly("QP Batch"), 0)
                self.assertEqual(read_text("C:\\qp-e2e-batch1.txt"), "InstallDir=%s\r\n" % folder)
                self.assertTrue(wait_until(lambda: not exists(folder)), listing(folder))
                for marker in MARKERS:
                    remove(marker)

    def test_self_removal_takes_the_registered_uninstaller_only(self):
        odd = ROOT + "\\a%v%b"
        decoy = ROOT + "\\ab\\Uninstall.EXE"
        write_text(decoy, "another product's uninstaller\r\n")
        self.products.install("guards_batch", odd)
        self.assertEqual(self.quietly("QP Batch"), 0)
        self.assertTrue(wait_until(lambda: not exists(odd)), listing(odd))
        self.assertTrue(exists(decoy))

        # Started as the downloaded setup program: the setup stays, the
        # installed uninstaller goes.
        folder = ROOT + "\\Batch"
        self.products.install("guards_batch", folder)
        downloads = os.path.join(self.folder, "downloads")
        os.makedirs(downloads, exist_ok=True)
        setup = os.path.join(downloads, "setup.exe")
        shutil.copy(self.products.setup("guards_batch"), setup)
        self.assertEqual(finish(self.ui.start(setup, "/a", '/u:"QP Batch"')), 0)
        self.assertTrue(wait_until(lambda: not exists(folder)), listing(folder))
        self.assertTrue(os.path.exists(setup))


if __name__ == "__main__":
    run_tests(Guards)
