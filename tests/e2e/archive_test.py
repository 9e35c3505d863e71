"""A setup program packed from the sample, run under Wine: the archive is
found, its header decoded and its manifest read; damaged heads and header
checksums get the corrupt-archive box with their codes, and a header length
past the end of the file is left to the checks that follow it."""

import os
import shutil
import struct
import subprocess
import tempfile
import unittest

from wine_ui import run_tests, windows_path, wine

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
        qpkbuild = cls.ui.target.qpkbuild_exe
        stub = windows_path(cls.program)
        # The Windows build of the builder.
        subprocess.run(wine(qpkbuild, "build", windows_path(sample), "-o", windows_path(cls.setup), "--stub", stub),
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)

        # A one-file product without checksums, its header stored as it is,
        # so a damaged header length reaches the steps after the head.
        with open(os.path.join(cls.folder, "a.txt"), "w") as f:
            f.write("hello")
        project = os.path.join(cls.folder, "plain.toml")
        with open(project, "w") as f:
            f.write('[product]\nname = "Plain"\n[options]\ncompression = false\nchecksums = false\n'
                    '[[files]]\nsource = "a.txt"\n')
        cls.plain = os.path.join(cls.folder, "plain.exe")
        subprocess.run(wine(qpkbuild, "build", windows_path(project), "-o", windows_path(cls.plain), "--stub", stub),
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def damaged_copy(self, change, setup=None):
        """A copy of the setup program with `change(data, archive_offset)` applied."""
        with open(setup or self.setup, "rb") as f:
            data = bytearray(f.read())
        change(data, struct.unpack_from("<i", data, len(data) - 4)[0])
        path = os.path.join(self.folder, "damaged.exe")
        with open(path, "wb") as f:
            f.write(data)
        return path

    def fatal_box(self, program, *args, screenshot=None):
        text, code = self.ui.fatal_box(program, *args, screenshot=screenshot)
        self.assertIsNotNone(text, "no fatal box")
        return text, code

    def test_intact_setup_reads_its_manifest(self):
        # The welcome box names the product from the manifest; No ends it.
        caption = "Quillpack Utility v4.0"
        running = self.ui.start(self.setup)
        try:
            self.assertTrue(self.ui.wait(caption), "no welcome box")
            self.assertIn("Quillpack Sample", self.ui.text(caption))
            self.ui.screenshot("sample-setup")
            self.ui.click(caption, "No")
            self.assertEqual(running.exit_code(), 2)
        finally:
            running.kill()
            self.ui.kill("setup.exe")

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

    def test_header_length_past_the_end_is_left_to_what_follows(self):
        def header_length(past_end):
            # past_end 0: the header block ends where the trailer begins.
            return lambda data, a: struct.pack_into("<i", data, a + 4, len(data) - 4 - (a + 12) + past_end)

        def uncounted(past_end):
            def change(data, a):
                # The stored header is the manifest scrambled with the key;
                # its file count (bytes 32 to 35) becomes 0.
                key = data[a + 8:a + 12]
                for i in range(32, 36):
                    data[a + 12 + i] = key[i % 4]
                header_length(past_end)(data, a)
            return change

        cases = [
            ("checksummed", self.setup, header_length(1), 25),
            ("into the trailer", self.plain, header_length(1), 45),
            ("past the end", self.plain, header_length(1000), 45),
            ("manifest checks first", self.plain, uncounted(1000), 27),
        ]
        for what, setup, change, code in cases:
            with self.subTest(what):
                text, exit_code = self.fatal_box(self.damaged_copy(change, setup), "/a")
                self.assertEqual(text, CORRUPT % code)
                self.assertEqual(exit_code, 1)

    def test_program_without_archive_is_not_corrupt(self):
        text, code = self.fatal_box(self.damaged_copy(lambda data, a: struct.pack_into("<i", data, len(data) - 4, 0)))
        self.assertTrue(text.startswith("This program performs installations and uninstallations."), text)
        self.assertEqual(code, 1)


if __name__ == "__main__":
    run_tests(SampleSetup)
