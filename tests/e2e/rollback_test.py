"""Installations that fail, are cancelled or are killed, under Wine: each
must leave the machine as it found it, or installed completely with an
uninstaller that then leaves nothing. One check covers every case: every
file of drive C hashed and the Software keys of both hives dumped before,
compared after the rollback or after the uninstallation."""

import hashlib
import os
import random
import signal
import subprocess
import tempfile
import time
import unittest

from install_support import Workspace, forget_product
from uninstall_support import (SHARED_DIR, Boxes, exists, finish, listing, reg_delete, registration, remove,
                               uninstall_key, unix_path, wait_until)
from wine_ui import run_tests, wine, windows_path

PRODUCT = "QP Fault"
FAULT_DIR = "C:\\QP E2E\\Fault"
SHARED_COUNTS = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
# Keys Wine itself rewrites while programs come and go.
VOLATILE_KEYS = ("\\wine\\", "\\explorer\\")
PROJECT = """
[product]
name = "QP Fault"
publisher = "QP E2E"
version = "1.0"
default_directory = "QP Fault"
registry_key = "QP E2E\\\\Fault"
flags = [%s]
[options]
compression = false
checksums = true
[[files]]
source = "shared.txt"
kind = "Shared"
[[files]]
source = "files/f0000.bin"
desktop = true
start_menu = true
shortcut_name = "QP Fault"
[[trees]]
source = "files"
dest = "data"
"""
# Enough data that a run can be stopped while it stores files.
SOURCES = {"files/f%04d.bin" % i: random.Random(i).randbytes(24 * 1024) for i in range(600)}
SOURCES["shared.txt"] = b"shared by QP Fault\r\n"


def file_hashes():
    """{path: digest} of every file of drive C but the temporary folders and
    Wine's .desktop companions of shortcuts."""
    root = unix_path("C:\\")
    found = {}
    for base, dirs, files in os.walk(root):
        dirs[:] = [d for d in dirs if d.lower() not in ("temp", "tmp")]
        for name in files:
            if name.lower().endswith(".desktop"):
                continue
            path = os.path.join(base, name)
            if os.path.islink(path):
                continue
            with open(path, "rb") as f:
                found[os.path.relpath(path, root).lower()] = hashlib.sha1(f.read()).hexdigest()
        for name in dirs:
            found[os.path.relpath(os.path.join(base, name), root).lower() + "/"] = "folder"
    return found


def registry_dump():
    """The Software keys of both hives as exported text, without the keys
    Wine itself rewrites while programs come and go."""
    lines = []
    for hive in ("HKLM\\Software", "HKCU\\Software"):
        with tempfile.NamedTemporaryFile(suffix=".reg", delete=False) as out:
            name = out.name
        subprocess.run(wine("reg", "export", hive, windows_path(name), "/y"), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        with open(name, "rb") as f:
            data = f.read()
        os.remove(name)
        text = data.decode("utf-16") if data.startswith(b"\xff\xfe") else data.decode("latin-1")
        skipping = False
        for line in text.replace("\r\n", "\n").split("\n"):
            if line.startswith("["):
                skipping = any(part in line.lower() for part in VOLATILE_KEYS)
                # The counts' key is the system's, made with the first count
                # and kept; its values are what belongs to a product.
                if line.lower().endswith("\\sharedDLLs]".lower()):
                    continue
            if not skipping and line:
                lines.append(line)
    return lines


class MachineState:
    def __init__(self):
        self.files = file_hashes()
        self.registry = registry_dump()

    def differences(self, other):
        lines = []
        for path in sorted(set(self.files) | set(other.files)):
            if self.files.get(path) != other.files.get(path):
                lines.append("%s: %s -> %s" % (path, self.files.get(path), other.files.get(path)))
        before, after = set(self.registry), set(other.registry)
        lines += ["registry lost: " + line for line in sorted(before - after)]
        lines += ["registry added: " + line for line in sorted(after - before)]
        return lines


class Rollback(unittest.TestCase):
    ui = None
    program = None

    @classmethod
    def setUpClass(cls):
        cls.work = Workspace(cls.ui, "e2e-rollback-")
        cls.setups = {}

    @classmethod
    def tearDownClass(cls):
        cls.work.remove()

    def setup(self, flags='"WithUninstaller"'):
        if flags not in self.setups:
            self.setups[flags] = self._build("fault-%d" % len(self.setups), flags)
        return self.setups[flags]

    def _build(self, name, flags):
        folder = os.path.join(self.work.folder, name)
        os.makedirs(folder, exist_ok=True)
        for relative, data in SOURCES.items():
            path = os.path.join(folder, relative)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        toml = os.path.join(folder, "project.toml")
        with open(toml, "w") as f:
            f.write(PROJECT % flags)
        setup = os.path.join(folder, "fault-setup.exe")
        self.work.qpkbuild("build", toml, "-o", setup, "--stub", self.ui.target.program)
        return setup

    def setUp(self):
        self.before = MachineState()

    def tearDown(self):
        self.ui.kill("fault-setup.exe")
        self.ui.kill("Uninstall.EXE")
        forget_product(PRODUCT, [FAULT_DIR])
        remove("C:\\QP E2E")
        remove("C:\\QP New")
        remove(SHARED_DIR)
        # Shortcuts of a run a test left installed.
        profile = unix_path("C:\\users")
        for user in os.listdir(profile):
            remove("C:\\users\\%s\\Desktop\\QP Fault.LNK" % user)
            remove("C:\\users\\%s\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\QP E2E" % user)
        reg_delete(SHARED_COUNTS, SHARED_DIR + "\\shared.txt")
        for hive in ("HKLM", "HKCU"):
            reg_delete(hive + "\\Software\\QP E2E")

    def assert_as_before(self):
        self.assertEqual(self.before.differences(MachineState()), [])

    def uninstall_and_compare(self):
        self.assertEqual(self.quiet_uninstall(), 0)
        self.assertTrue(wait_until(lambda: not exists("C:\\QP E2E")), listing("C:\\QP E2E"))
        self.assert_as_before()

    def quiet_uninstall(self):
        values = registration(PRODUCT)
        self.assertIsNotNone(values, "not registered")
        program, argument = values["QuietUninstallString"][1:].split('" ', 1)
        switches, name = argument.split("/u:", 1)
        return finish(self.ui.start(unix_path(program), *switches.split(), "/u:" + name))

    def journal_lines(self, prefix):
        record = unix_path(FAULT_DIR + "\\Uninstall.INI")
        try:
            with open(record, "rb") as f:
                return sum(1 for line in f.read().split(b"\r\n") if line.startswith(prefix))
        except OSError:
            return 0

    def kill_when(self, prefix, count):
        """Starts the setup in automatic mode and kills it with SIGKILL once
        its journal holds count lines of this kind."""
        running = self.ui.start(self.setup(), "/a", '/d:"%s"' % FAULT_DIR)
        try:
            self.assertTrue(wait_until(lambda: self.journal_lines(prefix) >= count, 120),
                            "the run never got that far")
            pids = subprocess.run(["pgrep", "-f", "fault-setup.exe"], capture_output=True, text=True).stdout.split()
            for pid in pids:
                if int(pid) != running.process.pid:
                    os.kill(int(pid), signal.SIGKILL)
        finally:
            running.kill()
        wait_until(lambda: not subprocess.run(["pgrep", "-f", "fault-setup.exe"], capture_output=True).stdout, 30)

    def test_a_run_killed_while_storing_is_undone_by_the_next_run(self):
        self.kill_when(b"File=", 50)
        self.assertIsNone((registration(PRODUCT) or {}).get("UninstallString"))
        self.assertEqual(finish(self.ui.start(self.setup(), "/a", '/d:"%s"' % FAULT_DIR)), 0)
        self.assertEqual(self.shared_count(), 1)
        self.uninstall_and_compare()

    def test_a_run_killed_while_storing_is_undone_by_its_uninstaller(self):
        self.kill_when(b"File=", 50)
        uninstaller = unix_path(FAULT_DIR + "\\Uninstall.EXE")
        self.assertTrue(os.path.exists(uninstaller))
        self.assertEqual(finish(self.ui.start(uninstaller, "/a", '/u:"%s"' % PRODUCT)), 0)
        # Its self-removal takes the folder and the one the run made above it.
        self.assertTrue(wait_until(lambda: not exists("C:\\QP E2E")), listing("C:\\QP E2E"))
        self.assert_as_before()

    def test_counts_raised_by_a_killed_run_are_not_raised_twice(self):
        self.kill_when(b"CountRaised=", 1)
        self.assertEqual(finish(self.ui.start(self.setup(), "/a", '/d:"%s"' % FAULT_DIR)), 0)
        self.assertEqual(self.shared_count(), 1)
        self.uninstall_and_compare()

    def shared_count(self):
        from wine_ui import reg_query
        entry = (reg_query(SHARED_COUNTS) or {}).get(SHARED_DIR + "\\shared.txt")
        return None if entry is None else entry[1]

    def test_abort_in_the_progress_window_undoes_the_run(self):
        running = self.ui.start(self.setup(), "/a", '/d:"%s"' % FAULT_DIR)
        try:
            self.assertTrue(wait_until(lambda: self.journal_lines(b"File=") >= 20, 120))
            self.ui.click("Installing...", "#1003")
            boxes = Boxes(self.ui, "rollback")
            self.assertEqual(boxes.answer("Abort", "Yes", "abort"),
                             "Installation is not complete.  Are you sure you want to abort?")
            self.assertEqual(running.exit_code(), 2)
        finally:
            running.kill()
        self.assert_as_before()

    def test_abort_at_the_missing_disk_undoes_the_run(self):
        setup = self.work.build("disks", {n: random.Random(n).randbytes(20000) for n in
                                          ("one.bin", "two.bin", "three.bin")}, name="fault-disks",
                                extra="[options]\ncompression = false\nfirst_part_max = 10000\ndisk_max = 15000\n")
        os.remove(os.path.join(os.path.dirname(setup), "Disk2.QPK"))
        before = MachineState()
        running = self.ui.start(setup, "/a", '/d:"%s"' % FAULT_DIR)
        try:
            boxes = Boxes(self.ui, "rollback-disk")
            boxes.answer("Insert Disk", "Cancel")
            boxes.answer("Abort", "Yes")
            self.assertEqual(running.exit_code(), 2)
        finally:
            running.kill()
            self.ui.kill("setup.exe")
        self.assertEqual(before.differences(MachineState()), [])

    def test_cancel_at_the_first_question_leaves_no_folder(self):
        running = self.ui.start(self.setup('"WithUninstaller", "AskDirectory"'))
        try:
            Boxes(self.ui, "rollback-cancel").answer("Quillpack Utility v4.0", "No")
            self.assertEqual(running.exit_code(), 2)
        finally:
            running.kill()
        self.assertFalse(exists(SHARED_DIR))
        self.assert_as_before()

    def test_folders_made_above_the_installation_go_with_it(self):
        deep = "C:\\QP New\\Deep\\App"
        self.assertEqual(finish(self.ui.start(self.setup(), "/a", '/d:"%s"' % deep)), 0)
        self.assertEqual(self.quiet_uninstall(), 0)
        self.assertTrue(wait_until(lambda: not exists("C:\\QP New")), listing("C:\\QP New"))
        self.assert_as_before()

    def test_an_uninstaller_without_its_list_says_so_and_keeps_the_registration(self):
        self.assertEqual(finish(self.ui.start(self.setup(), "/a", '/d:"%s"' % FAULT_DIR)), 0)
        remove(FAULT_DIR + "\\Uninstall.DAT")
        self.assertEqual(self.quiet_uninstall(), 3)
        self.assertIsNotNone(registration(PRODUCT))

    def small_drive(self, size, read_only_folder=None):
        mount = tempfile.mkdtemp(dir=self.work.folder, prefix="drive-")
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s" % size, "tmpfs", mount],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
            self.skipTest("cannot mount a small drive here (needs root)")
        letter = os.path.join(os.environ["WINEPREFIX"], "dosdevices", "r:")
        if os.path.lexists(letter):
            os.remove(letter)
        os.symlink(mount, letter)
        if read_only_folder:
            os.makedirs(os.path.join(mount, read_only_folder))
            subprocess.run(["mount", "-o", "remount,ro", mount], check=True)

        def release():
            os.remove(letter)
            subprocess.run(["umount", mount], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.rmdir(mount)
        self.addCleanup(release)
        return mount

    def test_a_read_only_folder_leaves_nothing_registered(self):
        mount = self.small_drive("4m", read_only_folder="Existing")
        text, code = self.ui.fatal_box(self.setup(), "/a", '/d:"R:\\Existing"')
        self.assertEqual(text, "The record of this installation could not be written in:\nR:\\Existing\n\n"
                               "The installation cannot proceed.")
        self.assertEqual(code, 1)
        self.assertEqual(os.listdir(os.path.join(mount, "Existing")), [])
        self.assert_as_before()

    def test_a_full_drive_is_undone_or_uninstalled_completely(self):
        mount = self.small_drive("2m")
        running = self.ui.start(self.setup(), "/a", '/d:"R:\\Full"')
        try:
            boxes = Boxes(self.ui, "rollback-full")
            wait_until(lambda: running.process.poll() is not None or "FATAL ERROR" in boxes.windows(), 120)
            if "FATAL ERROR" in boxes.windows():
                boxes.answer("FATAL ERROR", "OK", "full")
            code = running.exit_code()
        finally:
            running.kill()
        if code == 3:
            self.assertEqual(self.quiet_uninstall(), 0)
            self.assertTrue(wait_until(lambda: not os.listdir(mount)))
        else:
            self.assertEqual(code, 1)
        self.assertEqual(os.listdir(mount), [])
        self.assert_as_before()


if __name__ == "__main__":
    run_tests(Rollback)
