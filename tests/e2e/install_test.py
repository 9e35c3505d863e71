"""Automatic installations under Wine and what they leave: files with their
dates, the uninstaller, the removal record, the registration, shared-file
counts, product keys, shortcuts, batch texts, the startup PATH line, the
log, partial success, a font, a payload of the entropy-coded method, and
damaged setup programs."""

import os
import random
import re
import struct
import time
import unittest

from install_support import (COMMON_FILES, CORRUPT, FONTS_KEY, SHARED_DLLS, STAMP, UNINSTALL, HeldOpen, Workspace,
                             delete_value, exact_value, forget_product, log_entries, mtime, read_bytes, registration,
                             small_bitmap)
from wine_ui import reg_query, run_tests, unix_path, windows_path

AUTO_DIR = "C:\\QP Install E2E\\Auto Dir"
SHARED_DIR = COMMON_FILES + "\\QPI E2E Vendor"
SHARED_FILE = SHARED_DIR + "\\qpi-shared.dll"
PROFILE = "C:\\users\\%s" % os.environ.get("USER", "root")
PROGRAMS = PROFILE + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"
START_MENU = PROGRAMS + "\\QPI E2E Vendor\\QPI Auto"


def noise(seed, size):
    r = random.Random(seed)
    return bytes(r.getrandbits(8) for _ in range(size))


AUTO_SOURCES = {
    "bin/tool.exe": noise(1, 30000),
    "bin/agent.exe": noise(2, 5000),
    "readme.txt": b"QPI Auto readme\r\n",
    "qpi-shared.dll": noise(3, 3000),
    "tree/one.txt": b"one\r\n",
    "tree/B/two.txt": b"two\r\n",
    "background.bmp": small_bitmap(),
}


class InstallCase(unittest.TestCase):
    ui = None
    program = None


class AutomaticInstall(InstallCase):
    """One automatic installation with an exact /d: command line, and a
    second product sharing its shared file."""
    @classmethod
    def setUpClass(cls):
        cls.work = Workspace(cls.ui, "e2e-install-")
        # Its parent too, which the setup then makes (and records).
        forget_product("QPI Auto", [AUTO_DIR.rsplit("\\", 1)[0], START_MENU])
        forget_product("QPI Second", ["C:\\Program Files\\QPI Second"])
        delete_value(SHARED_DLLS, SHARED_FILE)
        cls.setup = cls.work.build("auto", AUTO_SOURCES)
        cls.files = cls.work.listing(cls.setup)
        cls.code = cls.work.run_line('"%s" /a /d:"%s"' % (windows_path(cls.setup), AUTO_DIR))
        cls.ui.screenshot("install-automatic")
        cls.dir = unix_path(AUTO_DIR)
        cls.values = registration("QPI Auto") or {}
        second = cls.work.build("second", {"second.txt": b"2\r\n", "qpi-shared.dll": AUTO_SOURCES["qpi-shared.dll"]})
        cls.second_code = cls.work.run_line('"%s" /a' % windows_path(second))

    @classmethod
    def tearDownClass(cls):
        cls.work.remove()

    def test_exit_codes_and_files_with_their_dates(self):
        self.assertEqual(self.code, 0)
        self.assertEqual(self.second_code, 0)
        self.assertEqual(len(self.files), 6)
        for kind, _, size, date, name, _ in self.files:
            with self.subTest(name=name):
                base = SHARED_DIR if kind == "Shared" else AUTO_DIR
                path = unix_path(base + "\\" + name)
                self.assertTrue(os.path.isfile(path), path)
                self.assertEqual(os.path.getsize(path), size)
                self.assertEqual(mtime(path), date)
        self.assertEqual(read_bytes(os.path.join(self.dir, "bin", "tool.exe")), AUTO_SOURCES["bin/tool.exe"])
        self.assertEqual(read_bytes(os.path.join(self.dir, "A", "B", "two.txt")), b"two\r\n")

    def test_uninstaller_is_the_program_image(self):
        data = read_bytes(self.setup)
        image_length = struct.unpack_from("<i", data, len(data) - 4)[0]
        self.assertEqual(read_bytes(os.path.join(self.dir, "Uninstall.EXE")), data[:image_length])

    def test_removal_record_lists_directories_before_their_files(self):
        d = AUTO_DIR
        names = [name for kind, _, _, _, name, _ in self.files if kind in ("Normal", "StartupProgram")]
        # The folder the setup made above its own comes first: it goes too
        # once empty.
        expected = ["~" + d.rsplit("\\", 1)[0]]
        recorded_dirs = set()
        for name in names:
            parts = name.split("\\")
            for i in range(1, len(parts)):
                sub = d + "\\" + "\\".join(parts[:i])
                if sub not in recorded_dirs:
                    recorded_dirs.add(sub)
                    expected.append("~" + sub)
            expected.append(d + "\\" + name)
        expected += [PROFILE + "\\Desktop\\QPI Tool.LNK",
                     START_MENU + "\\QPI Tool.LNK",
                     START_MENU + "\\QPI Readme.LNK",
                     START_MENU + "\\QPI Agent.LNK",
                     PROGRAMS + "\\StartUp\\QPI Agent.LNK",
                     START_MENU + "\\Uninstall QPI Auto.LNK",
                     d + "\\Uninstall QPI Auto.LNK",
                     d + "\\Installer Background.BMP"]
        text = read_bytes(os.path.join(self.dir, "Uninstall.DAT")).decode("latin-1")
        self.assertTrue(text.endswith("\r\n"))
        self.assertEqual(text.split("\r\n")[:-1], expected)
        self.assertEqual(read_bytes(os.path.join(self.dir, "Installer Background.BMP"))[:2], b"BM")

    def test_registration_values(self):
        v = {name: value for name, (kind, value) in self.values.items()}
        uninstaller = AUTO_DIR + "\\Uninstall.EXE"
        expected = {
            "UninstallString": '"%s" /u:"QPI Auto"' % uninstaller,
            "QuietUninstallString": '"%s" /a /u:"QPI Auto"' % uninstaller,
            "DisplayName": "QPI Auto",
            "InstallSource": windows_path(self.setup),
            "DisplayVersion": "2.15",
            "Publisher": "QPI E2E Vendor",
            "InstallLocation": AUTO_DIR,
            "VersionMajor": 2,
            "VersionMinor": 15,
            "ProductRegistry": "QPI E2E Vendor\\Auto",
            "ProductStartMenu": "QPI E2E Vendor\\QPI Auto",
            "SharedPath": SHARED_DIR,
            # WithUninstaller, CompressedPayload, AlwaysWriteLog, Checksums, CustomColors (the builder sets it
            # for given colours), BackgroundFile.
            "ProductFlags": 0x4 | 0x20 | 0x40 | 0x800 | 0x2000 | 0x8000,
            "SharedFiles": '"qpi-shared.dll"',
            "DisplayTitle": "QPI Auto 2.15",
            "TitleColor": 0x00FFFF,
            "TopColor": 0x800000,
            "BottomColor": 0,
            "MonoColor": 0,
            "NoModify": 1,
            "NoRepair": 1,
        }
        for name, value in expected.items():
            with self.subTest(value=name):
                self.assertEqual(v.get(name), value)
        for name in ("ProductFonts", "UninstallBatch1", "UninstallBatch2"):
            self.assertNotIn(name, v)
        self.assertRegex(v.get("InstallDate", ""), "^%s$" % STAMP)
        self.assertEqual(self.values["VersionMajor"][0], "REG_DWORD")
        # Kilobytes of what was stored, the uninstaller included.
        stored = sum(size for _, _, size, _, _, _ in self.files) + os.path.getsize(os.path.join(self.dir, "Uninstall.EXE"))
        self.assertEqual(v.get("EstimatedSize"), (stored + 1023) // 1024)
        icon = v.get("DisplayIcon", "")
        self.assertTrue(icon.startswith(AUTO_DIR + "\\") and os.path.isfile(unix_path(icon)), icon)

    def test_shared_counts_and_product_keys(self):
        counts = reg_query(SHARED_DLLS) or {}
        self.assertEqual(counts.get(SHARED_FILE), ("REG_DWORD", 2))
        self.assertEqual(registration("QPI Second")["SharedFiles"][1], '"qpi-shared.dll"')
        for hive in ("HKLM", "HKCU"):
            self.assertIsNotNone(reg_query(hive + "\\Software\\QPI E2E Vendor\\Auto"), hive)

    def test_shortcuts_point_at_the_installed_files(self):
        tool, agent = AUTO_DIR + "\\bin\\tool.exe", AUTO_DIR + "\\agent.exe"
        uninstall = (AUTO_DIR + "\\Uninstall.EXE", '/u:"QPI Auto"', "")
        cases = [
            (PROFILE + "\\Desktop\\QPI Tool.LNK", (tool, "", AUTO_DIR)),
            (START_MENU + "\\QPI Tool.LNK", (tool, "", AUTO_DIR)),
            (START_MENU + "\\QPI Readme.LNK", (AUTO_DIR + "\\readme.txt", "", AUTO_DIR)),
            (START_MENU + "\\QPI Agent.LNK", (agent, "", AUTO_DIR)),
            (PROGRAMS + "\\StartUp\\QPI Agent.LNK", (agent, "", AUTO_DIR)),
            (START_MENU + "\\Uninstall QPI Auto.LNK", uninstall),
            (AUTO_DIR + "\\Uninstall QPI Auto.LNK", uninstall),
        ]
        for link, expected in cases:
            with self.subTest(link=link):
                self.assertEqual(self.ui.shortcut(link), expected)
        self.assertIsNone(self.ui.shortcut(PROFILE + "\\Desktop\\QPI Readme.LNK"))

    def test_log_holds_one_success_entry(self):
        entries = log_entries(os.path.join(self.dir, "Install.LOG"))
        self.assertEqual(len(entries), 1)
        self.assertRegex(entries[0], "^" + re.escape("QPI Auto\r\nInstall date: ") + STAMP + re.escape(
            "\r\nInstall type: New\r\nInstall location: %s\r\nInstaller version: 4.0\r\nProduct version: 2.15\r\n"
            "\r\nSuccess\r\n\r\n" % AUTO_DIR) + "$")
        # Without AlwaysWriteLog and without problems nothing is logged.
        self.assertFalse(os.path.exists(unix_path("C:\\Program Files\\QPI Second\\Install.LOG")))

    def test_batch_texts_see_the_installation(self):
        setup = windows_path(self.setup)
        folder, name = setup.rsplit("\\", 1)
        before = read_bytes(os.path.join(self.dir, "before.txt")).decode("latin-1").split("\r\n")
        self.assertEqual(before, ["[%s]" % AUTO_DIR, "[C:]", "[%s]" % SHARED_DIR, "[%s]" % setup,
                                  "[%s]" % folder, "[%s]" % name, AUTO_DIR, ""])
        self.assertEqual(read_bytes(os.path.join(self.dir, "after.txt")), ("[%s]\r\n%s\r\n" % (AUTO_DIR, AUTO_DIR)).encode())
        self.assertEqual(read_bytes(os.path.join(self.dir, "final.txt")), ("[%s]\r\n" % AUTO_DIR).encode())
        for leftover in ("PLOVEK1.BAT", "PLOVEK2.BAT"):
            self.assertFalse(os.path.exists(os.path.join(self.dir, leftover)))


class LogPathAndProblems(InstallCase):
    """Products without an uninstaller: the appended log, the startup PATH
    line, a file held open by another program, and a font."""
    @classmethod
    def setUpClass(cls):
        cls.work = Workspace(cls.ui, "e2e-install-plain-")

    @classmethod
    def tearDownClass(cls):
        cls.work.remove()

    def plain(self, name, flags, files, sources):
        extra = 'name = "%s"\nflags = [%s]\n\n%s' % (name, ", ".join('"%s"' % f for f in flags), files)
        return self.work.build("plain", sources, name=name.replace(" ", "-"), extra=extra)

    def test_path_line_is_added_once_and_the_log_grows_by_one_entry_per_run(self):
        directory = "C:\\QP Install E2E\\Path Tool Folder"
        forget_product("QPI Path", [directory])
        autoexec = unix_path("C:\\autoexec.bat")
        saved = read_bytes(autoexec) if os.path.exists(autoexec) else None
        try:
            if saved is not None:
                os.remove(autoexec)
            setup = self.plain("QPI Path", ["EditPath", "AlwaysWriteLog"], '[[files]]\nsource = "tool.txt"\n',
                               {"tool.txt": b"tool\r\n"})
            line = '"%s" /a /d:"%s"' % (windows_path(setup), directory)
            self.assertEqual(self.work.run_line(line), 0)
            content = read_bytes(autoexec).decode("latin-1")
            m = re.match(r"^\r\nPATH=%PATH%;(C:\\[^ ;\r\n]+)\r\n$", content)
            self.assertTrue(m, repr(content))
            self.assertTrue(self.is_short_form_of(m.group(1)), m.group(1))
            expected = read_bytes(autoexec)
            self.assertEqual(self.work.run_line(line), 0)
            self.assertEqual(read_bytes(autoexec), expected)
        finally:
            if saved is not None:
                with open(autoexec, "wb") as f:
                    f.write(saved)
            elif os.path.exists(autoexec):
                os.remove(autoexec)
        entries = log_entries(os.path.join(unix_path(directory), "Install.LOG"))
        self.assertEqual(len(entries), 2)
        for entry in entries:
            self.assertTrue(entry.startswith("QPI Path\r\nInstall date: "), entry)
            self.assertTrue(entry.endswith("\r\nInstall type: New\r\nInstall location: %s\r\nInstaller version: 4.0"
                                           "\r\nProduct version: 1.0\r\n\r\nSuccess\r\n\r\n" % directory), entry)

    def is_short_form_of(self, short):
        """8.3 components that reach the installed file inside Wine."""
        if not all(re.match(r"^[^ .]{1,8}(\.[^ .]{1,3})?$", part) for part in short.split("\\")[1:]):
            return False
        out = os.path.join(self.work.folder, "short.txt")
        self.work.run_line('if exist "%s\\tool.txt" echo found>"%s"' % (short, windows_path(out)))
        return os.path.exists(out) and read_bytes(out).strip() == b"found"

    def test_a_file_held_open_is_replaced_at_the_restart(self):
        session = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager"
        directory = "C:\\QP Install E2E\\Held"
        forget_product("QPI Held", [directory])
        delete_value(session, "PendingFileRenameOperations")
        setup = self.plain("QPI Held", [], '[[files]]\nsource = "busy.txt"\n\n[[files]]\nsource = "free.txt"\n',
                           {"busy.txt": b"new\r\n", "free.txt": b"free\r\n"})
        held = HeldOpen(self.work, directory + "\\busy.txt")
        try:
            code = self.work.run_line('"%s" /a /d:"%s"' % (windows_path(setup), directory))
        finally:
            held.release()
        try:
            self.assertEqual(code, 3010)
            entries = log_entries(os.path.join(unix_path(directory), "Install.LOG"))
            self.assertEqual(len(entries), 1)
            self.assertTrue(entries[0].endswith("\r\nProduct version: 1.0\r\n\r\nReplaced at restart: %s\\busy.txt"
                                                "\r\nSuccess\r\n\r\n" % directory), entries[0])
            self.assertEqual(read_bytes(os.path.join(unix_path(directory), "busy.txt.qpk-new")), b"new\r\n")
            self.assertEqual(read_bytes(os.path.join(unix_path(directory), "free.txt")), b"free\r\n")
            # The swap waits in the system's list, new copy first.
            pending = (reg_query(session) or {}).get("PendingFileRenameOperations", ("", ""))[1]
            self.assertIn(directory + "\\busy.txt.qpk-new", pending)
            self.assertIn(directory + "\\busy.txt", pending.replace(directory + "\\busy.txt.qpk-new", ""))
        finally:
            delete_value(session, "PendingFileRenameOperations")

    def test_font_is_stored_registered_and_listed(self):
        source = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
        if not os.path.exists(source):
            self.skipTest("fonts-dejavu-core is not installed")
        title = "QPI Test Sans (TrueType)"
        fonts = unix_path("C:\\windows\\Fonts")
        target = os.path.join(fonts, "DejaVuSans.ttf")
        if os.path.exists(target):
            os.remove(target)
        delete_value(FONTS_KEY, title)
        forget_product("QPI Font", ["C:\\Program Files\\QPI Font"])
        files = ('[[files]]\nsource = "font.txt"\n\n[[files]]\nsource = "DejaVuSans.ttf"\nkind = "Font"\n'
                 'shortcut_name = "%s"\n' % title)
        setup = self.plain("QPI Font", ["WithUninstaller"], files,
                           {"font.txt": b"f\r\n", "DejaVuSans.ttf": read_bytes(source)})
        self.assertEqual(self.work.run_line('"%s" /a' % windows_path(setup)), 0)
        self.assertEqual(read_bytes(target), read_bytes(source))
        self.assertEqual((reg_query(FONTS_KEY) or {}).get(title), ("REG_SZ", "DejaVuSans.ttf"))
        self.assertEqual(exact_value(UNINSTALL + "QPI Font", "ProductFonts"), '"%s" "DejaVuSans.ttf" ' % title)
        # Counted like a shared file, by its path in the Fonts folder.
        self.assertEqual((reg_query(SHARED_DLLS) or {}).get("C:\\windows\\Fonts\\DejaVuSans.ttf"), ("REG_DWORD", 1))
        delete_value(SHARED_DLLS, "C:\\windows\\Fonts\\DejaVuSans.ttf")
        delete_value(FONTS_KEY, title)
        os.remove(target)


LZE_DIR = "C:\\QP Lze E2E\\Lze Dir"


class LzeInstall(InstallCase):
    """A payload of the "lze" method, holding a real program image, installs
    with its dates and uninstalls like any other."""
    @classmethod
    def setUpClass(cls):
        cls.work = Workspace(cls.ui, "e2e-install-lze-")
        forget_product("QPI Lze", [LZE_DIR.rsplit("\\", 1)[0]])
        cls.sources = {"bin/app.exe": read_bytes(cls.program), "data.bin": noise(11, 50000),
                       "readme.txt": b"QPI Lze readme\r\n" * 40}
        cls.setup = cls.work.build("lze", cls.sources)
        cls.method = [line for line in cls.work.qpkbuild("list", cls.setup).splitlines() if line.startswith("method:")]
        cls.files = cls.work.listing(cls.setup)
        cls.code = cls.work.run_line('"%s" /a /d:"%s"' % (windows_path(cls.setup), LZE_DIR))
        cls.dir = unix_path(LZE_DIR)
        cls.installed = {name: (read_bytes(os.path.join(cls.dir, *name.split("\\"))), mtime(os.path.join(cls.dir, *name.split("\\"))))
                         for _, _, _, _, name, _ in cls.files if os.path.isfile(os.path.join(cls.dir, *name.split("\\")))}
        cls.uninstall_code = None
        values = registration("QPI Lze") or {}
        if "QuietUninstallString" in values:
            cls.uninstall_code = cls.work.run_line(values["QuietUninstallString"][1])
            # The uninstaller's last step removes the folder after it ends.
            for _ in range(100):
                if not os.path.exists(cls.dir):
                    break
                time.sleep(0.2)

    @classmethod
    def tearDownClass(cls):
        forget_product("QPI Lze", [LZE_DIR.rsplit("\\", 1)[0]])
        cls.work.remove()

    def test_installs_every_file_with_its_date_and_uninstalls(self):
        self.assertEqual(self.method, ["method:            lze"])
        self.assertEqual(self.code, 0)
        self.assertEqual(sorted(name for _, _, _, _, name, _ in self.files), ["bin\\app.exe", "data.bin", "readme.txt"])
        for _, _, size, date, name, _ in self.files:
            with self.subTest(name=name):
                self.assertIn(name, self.installed)
                data, stamp = self.installed[name]
                self.assertEqual(data, self.sources[name.replace("\\", "/")])
                self.assertEqual(len(data), size)
                self.assertEqual(stamp, date)
        self.assertEqual(self.uninstall_code, 0)
        self.assertFalse(os.path.exists(self.dir))
        self.assertIsNone(registration("QPI Lze"))


class DamagedSetups(InstallCase):
    """Damage that only the installation finds: the payload and a header
    length beyond the file."""
    @classmethod
    def setUpClass(cls):
        cls.work = Workspace(cls.ui, "e2e-install-damaged-")
        forget_product("QPI Damaged", ["C:\\Program Files\\QPI Damaged"])
        extra = 'name = "QPI Damaged"\nflags = ["WithUninstaller"]\n\n[options]\nchecksums = true\n\n' \
                '[[files]]\nsource = "data.bin"\n'
        cls.setup = cls.work.build("plain", {"data.bin": noise(9, 4000)}, name="damaged", extra=extra)
        cls.lze = cls.work.build("plain", {"data.bin": noise(9, 4000)}, name="damaged-lze",
                                 extra=extra.replace("[options]\n", '[options]\nmethod = "lze"\n'))

    @classmethod
    def tearDownClass(cls):
        cls.work.remove()

    def damaged_copy(self, change, setup=None):
        data = bytearray(read_bytes(setup or self.setup))
        change(data, struct.unpack_from("<i", data, len(data) - 4)[0])
        path = os.path.join(self.work.folder, "damaged.exe")
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_damage_gives_its_code_and_registers_nothing(self):
        def flip_last_payload_byte(data, a):
            data[len(data) - 5] ^= 0x40

        def header_past_end(data, a):
            struct.pack_into("<i", data, a + 4, len(data))

        for code, change in [(55, flip_last_payload_byte), (25, header_past_end)]:
            with self.subTest(code=code):
                text, exit_code = self.ui.fatal_box(self.damaged_copy(change), "/a",
                                                    screenshot="install-corrupt-%d" % code)
                self.assertEqual(text, CORRUPT % code)
                self.assertEqual(exit_code, 1)
                self.assertIsNone(registration("QPI Damaged"))
                self.assertFalse(os.path.exists(unix_path("C:\\Program Files\\QPI Damaged\\Install.LOG")))

    def test_payload_that_does_not_decode_gives_60_by_either_method(self):
        def undecodable(offset, delta):
            """Adds delta to the payload's 32-bit word at offset and takes it
            from the next word: the payload's checksum stays, its stream breaks."""
            def change(data, a):
                start = a + 12 + struct.unpack_from("<i", data, a + 4)[0]
                for at, d in ((start + offset, delta), (start + offset + 4, -delta)):
                    struct.pack_into("<I", data, at, (struct.unpack_from("<I", data, at)[0] + d) & 0xFFFFFFFF)
            return change

        # The plain block's magic; the lze stream's first block flags.
        for method, setup, change in [("lz", self.setup, undecodable(0, 1)),
                                      ("lze", self.lze, undecodable(16, 0x80))]:
            with self.subTest(method=method):
                self.assertIn("method:            %s\n" % method, self.work.qpkbuild("list", setup))
                text, exit_code = self.ui.fatal_box(self.damaged_copy(change, setup), "/a",
                                                    screenshot="install-corrupt-60-%s" % method)
                self.assertEqual(text, CORRUPT % 60)
                self.assertEqual(exit_code, 1)
                self.assertIsNone(registration("QPI Damaged"))


if __name__ == "__main__":
    run_tests(InstallCase)
