"""The system Path and the caller's log under Wine: an EditPath product adds
its folder to the machine's Path once, keeping the value's type and every
other byte, and its uninstaller takes out only what it added; /log:"FILE"
gets the entry of an installation and of an uninstallation, and a log that
cannot be written is one more problem (exit code 3)."""

import os
import re
import subprocess
import tempfile
import unittest

from install_support import STAMP, Workspace, forget_product, log_entries, read_bytes, registration
from uninstall_support import exists, remove, wait_until
from wine_ui import run_tests, unix_path, windows_path, wine

ENVIRONMENT = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Session Manager\\Environment"
REG_SZ, REG_EXPAND_SZ = 1, 2
ROOT = "C:\\QP PathLog E2E"
TOOL = ROOT + "\\Tool"
LOGS = ROOT + " logs"
LOG = LOGS + "\\qp.log"
UNWRITABLE = LOGS + "\\no such folder\\qp.log"
USAGE_TAIL = ("\n\nUsage:\nUninstall.EXE [/a] [/d:<dir>] [/n:<name>] [/u:<name>]\n\n"
              "/a\tAutomatic mode\n/d:\"dir\"\tOverride installation directory\n"
              "/n:\"name\"\tOverride product name\n/u:\"name\"\tUninstall product by name")


def read_path():
    """(type, bytes) of the machine's Path value exactly as stored, from an
    export of the key (reg query shows no bytes); (None, None) when missing."""
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "env.reg")
        subprocess.run(wine("reg", "export", ENVIRONMENT, windows_path(out), "/y"), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        text = read_bytes(out).decode("utf-16")
    text = re.sub(r"\\\r?\n\s*", "", text)  # continuation lines
    for line in text.splitlines():
        m = re.match(r'^"path"=(.*)$', line, re.IGNORECASE)
        if not m:
            continue
        data = m.group(1)
        h = re.match(r"^hex\((\d+)\):(.*)$", data)
        if h:
            return int(h.group(1)), bytes(int(b, 16) for b in h.group(2).split(",") if b)
        if data.startswith('"'):
            return REG_SZ, (re.sub(r"\\(.)", r"\1", data[1:-1]) + "\0").encode("utf-16-le")
        raise AssertionError("unexpected Path line: %r" % line)
    return None, None


def write_path(kind, data):
    """Sets the machine's Path to exactly these bytes through an imported .reg file."""
    with tempfile.TemporaryDirectory() as folder:
        name = os.path.join(folder, "env.reg")
        text = ("Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n\"Path\"=hex(%d):%s\r\n\r\n"
                % (ENVIRONMENT, kind, ",".join("%02x" % b for b in data)))
        with open(name, "wb") as f:
            f.write(b"\xff\xfe" + text.encode("utf-16-le"))
        subprocess.run(wine("reg", "import", windows_path(name)), check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


def stored(text):
    return (text + "\0").encode("utf-16-le")


def user_path(extra=""):
    """4,000 characters: the system's own folders first, as Wine needs them,
    then %SystemRoot% entries, an empty one, odd spacing, one that merely
    begins like the product's folder, and whatever `extra` adds."""
    text = ("%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\system32\\wbem;;  C:\\odd spacing ;"
            + TOOL + "box;" + extra)
    n = 0
    while len(text) < 4000:
        text += "C:\\Some Long Folder Name %d\\bin;" % n
        n += 1
    return text[:3999] + "x"


class PathAndLog(unittest.TestCase):
    ui = None
    program = None

    @classmethod
    def setUpClass(cls):
        cls.work = Workspace(cls.ui, "e2e-pathlog-")
        cls.saved_path = read_path()
        autoexec = unix_path("C:\\autoexec.bat")
        cls.saved_autoexec = read_bytes(autoexec) if os.path.exists(autoexec) else None
        sources = {"tool.txt": b"tool\r\n"}
        cls.path_setup = cls.build("QP PathLog", ["WithUninstaller", "EditPath"], sources)
        cls.quiet_setup = cls.build("QP PathLog Quiet", ["WithUninstaller"], sources)
        cls.always_setup = cls.build("QP PathLog Always", ["WithUninstaller", "AlwaysWriteLog"], sources)

    @classmethod
    def build(cls, name, flags, sources):
        extra = 'name = "%s"\nflags = [%s]\n\n[[files]]\nsource = "tool.txt"\n' % (
            name, ", ".join('"%s"' % f for f in flags))
        return cls.work.build("plain", sources, name=name.replace(" ", "-"), extra=extra)

    @classmethod
    def tearDownClass(cls):
        if cls.saved_path[0] is not None:
            write_path(*cls.saved_path)
        autoexec = unix_path("C:\\autoexec.bat")
        if cls.saved_autoexec is None:
            if os.path.exists(autoexec):
                os.remove(autoexec)
        else:
            with open(autoexec, "wb") as f:
                f.write(cls.saved_autoexec)
        cls.work.remove()

    def setUp(self):
        self.cleanup()
        os.makedirs(unix_path(LOGS), exist_ok=True)

    def tearDown(self):
        self.cleanup()

    def cleanup(self):
        self.ui.kill("Uninstall.EXE")
        for product in ("QP PathLog", "QP PathLog Quiet", "QP PathLog Always"):
            forget_product(product)
        remove(ROOT)
        remove(LOGS)

    def install(self, setup, *switches):
        return self.work.run_line('"%s" /a /d:"%s" %s' % (windows_path(setup), TOOL, " ".join(switches)))

    def uninstall(self, product, *switches):
        """The quiet uninstall command with more switches; waits for the
        self-removal when it succeeded."""
        code = self.work.run_line('"%s\\Uninstall.EXE" /a /u:"%s" %s' % (TOOL, product, " ".join(switches)))
        if code in (0, 3) and registration(product) is None:
            self.assertTrue(wait_until(lambda: not exists(TOOL)), "the uninstaller's folder stayed")
        return code

    def test_path_gets_the_folder_once_and_loses_it_byte_for_byte(self):
        write_path(REG_EXPAND_SZ, stored(user_path()))
        before = read_path()
        self.assertEqual(before, (REG_EXPAND_SZ, stored(user_path())))
        self.assertEqual(self.install(self.path_setup), 0)
        added = (REG_EXPAND_SZ, stored(user_path() + ";" + TOOL))
        self.assertEqual(read_path(), added)
        self.assertEqual(registration("QP PathLog").get("SystemPathEntry"), ("REG_SZ", TOOL))
        self.assertEqual(self.install(self.path_setup), 0)
        self.assertEqual(read_path(), added)
        self.assertEqual(self.uninstall("QP PathLog"), 0)
        self.assertEqual(read_path(), before)

    def test_an_equal_user_entry_is_neither_doubled_nor_taken(self):
        # The user's entry differs from the folder only by its trailing backslash.
        write_path(REG_EXPAND_SZ, stored(user_path(TOOL + "\\;")))
        before = read_path()
        for _ in range(2):
            self.assertEqual(self.install(self.path_setup), 0)
            self.assertEqual(read_path(), before)
        self.assertNotIn("SystemPathEntry", registration("QP PathLog"))
        self.assertEqual(self.uninstall("QP PathLog"), 0)
        self.assertEqual(read_path(), before)

    def test_a_plain_string_path_stays_one(self):
        write_path(REG_SZ, stored("%SystemRoot%\\system32;%SystemRoot%"))
        self.assertEqual(self.install(self.path_setup), 0)
        self.assertEqual(read_path(), (REG_SZ, stored("%SystemRoot%\\system32;%SystemRoot%;" + TOOL)))
        self.assertEqual(self.uninstall("QP PathLog"), 0)
        self.assertEqual(read_path(), (REG_SZ, stored("%SystemRoot%\\system32;%SystemRoot%")))

    def entry(self, text, product, kind, body, version="Product version: 1.0\r\n"):
        m = re.match(r"^%s\r\nInstall date: %s\r\n" % (re.escape(product), STAMP), text)
        self.assertTrue(m, repr(text))
        self.assertEqual(text[m.end():], "Install type: %s\r\nInstall location: %s\r\nInstaller version: 4.0\r\n%s"
                                         "\r\n%s" % (kind, TOOL, version, body))

    def test_log_switch_gets_both_entries_with_or_without_the_log_flag(self):
        log = '/log:"%s"' % LOG
        self.assertEqual(self.install(self.quiet_setup, log), 0)
        self.assertFalse(exists(TOOL + "\\Install.LOG"))
        self.assertEqual(self.uninstall("QP PathLog Quiet", log), 0)
        self.assertEqual(self.install(self.always_setup, log), 0)
        self.assertEqual(log_entries(unix_path(TOOL + "\\Install.LOG")), log_entries(unix_path(LOG))[2:])
        self.assertEqual(self.uninstall("QP PathLog Always", log), 0)

        entries = log_entries(unix_path(LOG))
        self.assertEqual(len(entries), 4, entries)
        self.entry(entries[0], "QP PathLog Quiet", "New", "Success\r\n\r\n")
        self.entry(entries[1], "QP PathLog Quiet", "Uninstall", "Success\r\n\r\n", version="")
        self.entry(entries[2], "QP PathLog Always", "New", "Success\r\n\r\n")
        self.entry(entries[3], "QP PathLog Always", "Uninstall", "Success\r\n\r\n", version="")

    def test_a_log_that_cannot_be_written_is_a_problem_on_both_roads(self):
        log = '/log:"%s"' % UNWRITABLE
        line = "Unable to append to the log file:\r\n%s\r\n" % UNWRITABLE
        self.assertEqual(self.install(self.quiet_setup, log), 3)
        entries = log_entries(unix_path(TOOL + "\\Install.LOG"))
        self.assertEqual(len(entries), 1)
        self.entry(entries[0], "QP PathLog Quiet", "New", line + "\r\n")
        # Everything goes all the same; the exit code tells of the log.
        self.assertEqual(self.uninstall("QP PathLog Quiet", log), 3)
        self.assertIsNone(registration("QP PathLog Quiet"))
        self.assertFalse(exists(TOOL))

    def test_bad_log_switch_shows_the_usage_box_and_a_good_one_is_accepted(self):
        for switch, shown in (("/log:", "log:"), ("/LOG", "LOG"), ("/log:a|b", "log:a|b")):
            text, code = self.ui.fatal_box(self.program, switch)
            self.assertEqual((text, code), ("Illegal command line atom:\n" + shown + USAGE_TAIL, 1), switch)
        text, code = self.ui.fatal_box(self.program, "/log:x.log")
        self.assertTrue(text.startswith("This program performs installations and uninstallations."), text)


if __name__ == "__main__":
    run_tests(PathAndLog)
