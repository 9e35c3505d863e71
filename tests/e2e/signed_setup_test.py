"""A setup program signed with Authenticode after it was built (a throwaway
self-signed certificate made for the run): the signature covers the whole
setup, the builder verifies it, it installs under Wine, and the installed
Uninstall.EXE, which carries no pointer to the certificate table left
behind, removes the product again. A signed setup whose table is cut short
or whose security entry points outside the file gets the corrupt box."""

import os
import re
import struct
import subprocess
import threading
import unittest

from install_support import CORRUPT, Workspace, read_bytes, write_sources
from uninstall_support import Products, exists, registration, wait_until
from wine_ui import run_tests, unix_path

PRODUCT = "QP Signed"
DIRECTORY = "C:\\QP E2E\\Signed"
SOURCES = {
    "readme.txt": b"Signed product\r\n",
    "program/app.txt": b"app\r\n" * 300,
}
PROJECT = """
[product]
name = "QP Signed"
publisher = "QP E2E"
version = "1.0"
default_directory = "QP Signed"
flags = ["WithUninstaller"]

[[files]]
source = "readme.txt"

[[files]]
source = "program/app.txt"
dest = "program/app.txt"
"""


def signature_fields(data):
    """(offset of CheckSum, offset of the security entry) of a PE image."""
    lfanew = struct.unpack_from("<I", data, 0x3C)[0]
    magic = struct.unpack_from("<H", data, lfanew + 24)[0]
    directories = lfanew + 24 + (112 if magic == 0x20B else 96)
    return lfanew + 24 + 64, directories + 4 * 8


def security_entry(data):
    return struct.unpack_from("<II", data, signature_fields(data)[1])


class SignedSetup(unittest.TestCase):
    ui = None
    program = None

    @classmethod
    def setUpClass(cls):
        cls.workspace = Workspace(cls.ui, "e2e-signed-")
        folder = cls.workspace.folder
        write_sources(folder, SOURCES)
        project = os.path.join(folder, "project.toml")
        with open(project, "w") as f:
            f.write(PROJECT)
        cls.unsigned = os.path.join(folder, "setup.exe")
        cls.workspace.qpkbuild("build", project, "-o", cls.unsigned, "--stub", cls.program)
        key, cert = os.path.join(folder, "key.pem"), os.path.join(folder, "cert.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "2", "-subj", "/CN=QP E2E Test Signer"], check=True, capture_output=True)
        cls.signed = os.path.join(folder, "signed.exe")
        subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", PRODUCT, "-in", cls.unsigned,
                        "-out", cls.signed], check=True, capture_output=True)
        cls.products = Products(cls.ui, folder)

    @classmethod
    def tearDownClass(cls):
        cls.workspace.remove()

    def tearDown(self):
        self.products.forget(PRODUCT, DIRECTORY)
        self.ui.kill("signed.exe")
        self.ui.kill("Uninstall.EXE")

    def damaged(self, name, change):
        data = bytearray(read_bytes(self.signed))
        data = change(data)
        path = os.path.join(self.workspace.folder, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_signature_covers_the_whole_setup(self):
        unsigned, signed = read_bytes(self.unsigned), read_bytes(self.signed)
        table, size = security_entry(signed)
        # Appended after the trailer, aligned, reaching the end of the file.
        self.assertEqual(table % 8, 0)
        self.assertEqual(table, (len(unsigned) + 7) // 8 * 8)
        self.assertEqual(table + size, len(signed))
        # The signature is there and its digest is that of the file as it
        # is, archive included; only the self-made certificate's chain fails.
        result = subprocess.run(["osslsigncode", "verify", "-in", self.signed], capture_output=True, text=True)
        output = result.stdout + result.stderr
        self.assertIn("Subject: /CN=QP E2E Test Signer", output)
        digests = re.findall(r"(Current|Calculated) message digest\s*:\s*([0-9A-F]+)", output)
        self.assertEqual(len(digests), 2, output)
        self.assertEqual(digests[0][1], digests[1][1])
        self.assertIn("self-signed certificate", output)

    def test_builder_verifies_and_lists_the_signed_setup(self):
        self.workspace.qpkbuild("verify", self.signed)
        self.assertEqual(sorted(row[4] for row in self.workspace.listing(self.signed)),
                         ["program\\app.txt", "readme.txt"])

    def test_installs_and_its_uninstaller_removes_the_product(self):
        self.assertEqual(self.run_program(self.signed, "/a", '/d:"%s"' % DIRECTORY), 0)
        for relative, data in SOURCES.items():
            self.assertEqual(read_bytes(unix_path(DIRECTORY + "\\" + relative.replace("/", "\\"))), data)

        # The program image in front of the archive, with no pointer to the
        # table it left behind and no CheckSum that covered the signed file.
        signed = read_bytes(self.signed)
        image = bytearray(signed[:struct.unpack_from("<i", read_bytes(self.unsigned), -4)[0]])
        checksum_at, entry_at = signature_fields(image)
        image[checksum_at:checksum_at + 4] = bytes(4)
        image[entry_at:entry_at + 8] = bytes(8)
        uninstaller = read_bytes(unix_path(DIRECTORY + "\\Uninstall.EXE"))
        self.assertEqual(uninstaller, bytes(image))
        self.assertEqual(security_entry(uninstaller), (0, 0))

        # The registered quiet command: Uninstall.EXE /a /u:"QP Signed".
        self.assertIsNotNone(registration(PRODUCT))
        self.assertEqual(self.products.uninstall_quietly(PRODUCT), 0)
        self.assertIsNone(registration(PRODUCT))
        self.assertTrue(wait_until(lambda: not exists(DIRECTORY)), "the installation directory stayed")

    def test_damaged_certificate_tables_get_the_corrupt_box(self):
        def outside(data):
            struct.pack_into("<I", data, signature_fields(data)[1], len(data) + 64)
            return data

        cases = [
            ("cut short", self.damaged("cut.exe", lambda data: data[:-1])),
            ("half the table gone", self.damaged("half.exe", lambda data: data[:-(security_entry(data)[1] // 2)])),
            ("pointing outside the file", self.damaged("outside.exe", outside)),
        ]
        for what, path in cases:
            with self.subTest(what):
                text, code = self.ui.fatal_box(path, "/a")
                self.assertEqual(text, CORRUPT % 10)
                self.assertEqual(code, 1)

    def run_program(self, path, *args, seconds=120):
        """The exit code; a program still running after `seconds` (waiting
        on a box) is ended, which closes the pipe its exit code comes on."""
        running = self.ui.start(path, *args)
        ender = threading.Timer(seconds, self.ui.kill, [os.path.basename(path)])
        ender.start()
        try:
            return running.exit_code(timeout=seconds + 60)
        finally:
            ender.cancel()
            running.kill()


if __name__ == "__main__":
    run_tests(SignedSetup)
