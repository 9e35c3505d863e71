"""A setup program packed from the sample, run under Wine: the archive is
found, its header decoded and its manifest read; damaged heads and header
checksums get the corrupt-archive box with their codes."""

import os
import shutil
import struct
import subprocess
import tempfile
import unittest

from wine_ui import run_tests, windows_path

CORRUPT = ("This self-extracting archive is corrupt.  This is usually caused by a virus on your computer.  "
           "The installation cannot proceed.\n\nCheck your system for viruses, then ask your vendor to send you "
           "a replacement.\n\nError code: %d")


class SampleSetup(unittest.TestCase):
    ui = None
    program = None
    folder = None
    setup = None

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(dir=cls.ui.build_dir, prefix="e2e-archive-")
        cls.setup = os.path.join(cls.folder, "setup.exe")
        sample = os.path.join(os.environ["QP_SOURCE_DIR"], "examples", "sample", "sample.toml")
        qpkbuild = os.path.join(cls.ui.build_dir, "qpkbuild.exe")
        # The Windows build of the builder, with the program beside it as its stub.
        subprocess.run(["wine", qpkbuild, "build", windows_path(sample), "-o", windows_path(cls.setup)],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def damaged_copy(self, change):
        """A copy of the setup program with `change(data, archive_offset)` applied."""
        with open(self.setup, "rb") as f:
            data = bytearray(f.read())
        change(data, struct.unpack_from("<i", data, len(data) - 4)[0])
        path = os.path.join(self.folder, "damaged.exe")
        with open(path, "wb") as f:
            f.write(data)
        return path

    def fatal_box(self, program, screenshot=None):
        text, code = self.ui.fatal_box(program, screenshot=screenshot)
        self.assertIsNotNone(text, "no fatal box")
        return text, code

    def test_intact_setup_reads_its_manifest(self):
        text, code = self.fatal_box(self.setup, screenshot="sample-setup")
        self.assertIn("Quillpack Sample", text)
        self.assertEqual(code, 1)

    def test_damaged_heads_and_checksum_give_their_codes(self):
        def poke(offset_from_archive, value):
            return lambda data, a: struct.pack_into("<i", data, a + offset_from_archive, value)

        def flip_key(data, a):
            data[a + 8] ^= 0x01

        cases = [
            (10, lambda data, a: struct.pack_into("<i", data, len(data) - 4, -5)),
            (10, lambda data, a: struct.pack_into("<i", data, len(data) - 4, len(data) + 100)),
            (20, poke(0, 12345679)),
            (22, poke(4, 0)),
            (25, flip_key),
        ]
        for code, change in cases:
            with self.subTest(code=code):
                text, exit_code = self.fatal_box(self.damaged_copy(change))
                self.assertEqual(text, CORRUPT % code)
                self.assertEqual(exit_code, 1)

    def test_program_without_archive_is_not_corrupt(self):
        text, code = self.fatal_box(self.damaged_copy(lambda data, a: struct.pack_into("<i", data, len(data) - 4, 0)))
        self.assertTrue(text.startswith("This program performs installations and uninstallations."), text)
        self.assertEqual(code, 1)


if __name__ == "__main__":
    run_tests(SampleSetup, "quillpack.exe")
