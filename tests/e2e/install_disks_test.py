"""Setup programs whose payload continues in Disk2.QPK, Disk3.QPK and so on,
installed under Wine: spread payloads, an empty first part, a missing disk
answered through the insert-disk and abort boxes, and an empty disk file."""

import os
import random
import unittest

from install_support import Workspace, forget_product, read_bytes
from wine_ui import run_tests, unix_path, windows_path

DISKS_DIR = "C:\\QP Install E2E\\Disks"
SOURCES = {name: bytes(random.Random(seed).getrandbits(8) for _ in range(20000))
           for seed, name in enumerate(["one.bin", "two.bin", "three.bin"])}
OPTIONS = "[options]\ncompression = false\nchecksums = true\nfirst_part_max = %d\ndisk_max = %d\n"
INSERT = "Please insert disk #2 into drive Z:."


class DiskSpanning(unittest.TestCase):
    ui = None
    program = None

    @classmethod
    def setUpClass(cls):
        cls.work = Workspace(cls.ui, "e2e-disks-")

    @classmethod
    def tearDownClass(cls):
        cls.work.remove()

    def setUp(self):
        forget_product("QPI Disks", [DISKS_DIR])
        self.running = None

    def tearDown(self):
        if self.running:
            self.running.kill()
            self.ui.kill("setup.exe")

    def build(self, name, first_part_max, disk_max):
        return self.work.build("disks", SOURCES, name=name, extra=OPTIONS % (first_part_max, disk_max))

    def disks(self, setup):
        folder = os.path.dirname(setup)
        return sorted(n for n in os.listdir(folder) if n.startswith("Disk") and n.endswith(".QPK"))

    def assert_installed(self):
        for name, data in SOURCES.items():
            self.assertEqual(read_bytes(os.path.join(unix_path(DISKS_DIR), name)), data, name)

    def answer(self, caption, button, expected_text=None):
        self.assertTrue(self.ui.wait(caption), "no %r box" % caption)
        if expected_text is not None:
            self.assertEqual(self.ui.text(caption), expected_text)
        self.ui.click(caption, button)
        self.ui.driver("gone", caption, 10000, check=False)

    def test_spread_payloads_install(self):
        for name, first, disk in [("spread", 10000, 15000), ("empty-first", 0, 25000)]:
            with self.subTest(layout=name):
                forget_product("QPI Disks", [DISKS_DIR])
                setup = self.build(name, first, disk)
                self.assertGreaterEqual(len(self.disks(setup)), 2)
                code = self.work.run_line('"%s" /a /d:"%s"' % (windows_path(setup), DISKS_DIR))
                self.assertEqual(code, 0)
                self.assert_installed()

    def test_missing_disk_asks_until_it_is_there(self):
        setup = self.build("missing", 10000, 15000)
        disk2 = os.path.join(os.path.dirname(setup), "Disk2.QPK")
        hidden = disk2 + ".away"
        os.rename(disk2, hidden)
        self.running = self.ui.start(setup, "/a", "/d:" + DISKS_DIR)
        self.assertTrue(self.ui.wait("Insert Disk"))
        self.ui.screenshot("disks-insert")
        self.answer("Insert Disk", "OK", INSERT)
        self.answer("Insert Disk", "Cancel", INSERT)
        self.ui.screenshot("disks-abort")
        self.answer("Abort", "No", "Do you want to abort the installation?")
        os.rename(hidden, disk2)
        self.answer("Insert Disk", "OK", INSERT)
        self.assertEqual(self.running.exit_code(), 0)
        self.assert_installed()

    def test_missing_disk_abort_cancels(self):
        setup = self.build("abort", 10000, 15000)
        os.remove(os.path.join(os.path.dirname(setup), "Disk2.QPK"))
        self.running = self.ui.start(setup, "/a", "/d:" + DISKS_DIR)
        self.answer("Insert Disk", "Cancel", INSERT)
        self.answer("Abort", "Yes")
        self.assertEqual(self.running.exit_code(), 2)
        self.assertFalse(os.path.exists(os.path.join(unix_path(DISKS_DIR), "one.bin")))

    def test_empty_disk_is_fatal(self):
        setup = self.build("empty-disk", 10000, 15000)
        disk2 = os.path.join(os.path.dirname(setup), "Disk2.QPK")
        open(disk2, "wb").close()
        text, code = self.ui.fatal_box(setup, "/a", "/d:" + DISKS_DIR, screenshot="disks-empty")
        self.assertEqual(text, "The file %s is empty." % windows_path(disk2))
        self.assertEqual(code, 1)


if __name__ == "__main__":
    run_tests(DiskSpanning)
