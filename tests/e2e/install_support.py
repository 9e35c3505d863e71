"""Shared by the install scripts: projects packed with qpkbuild from sources
generated at test time, setup programs started with exact command lines, and
readers for what an installation leaves (files, dates, registry, log)."""

import datetime
import os
import re
import shutil
import subprocess
import tempfile
import time

from wine_ui import Running, reg_query, unix_path, windows_path, wine

PROJECTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "projects")
UNINSTALL = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
SHARED_DLLS = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
FONTS_KEY = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"
COMMON_FILES = "C:\\Program Files\\Common Files"
STAMP = r"\d{1,2}/\d{1,2}/\d{4} \d{1,2}:\d{2}:\d{2}[ap]"
CORRUPT = ("This self-extracting archive is corrupt.  This is usually caused by a virus on your computer.  "
           "The installation cannot proceed.\n\nCheck your system for viruses, then ask your vendor to send you "
           "a replacement.\n\nError code: %d")


def set_date(path, year, month, day, hour=12, minute=0, second=0):
    stamp = time.mktime((year, month, day, hour, minute, second, 0, 0, -1))
    os.utime(path, (stamp, stamp))


def write_sources(folder, sources, date=(2021, 5, 4, 10, 20, 30)):
    """Writes {relative path: bytes} below folder, each with the given local date."""
    for relative, data in sources.items():
        path = os.path.join(folder, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        set_date(path, *date)


def small_bitmap(width=4, height=2, rgb=(0x20, 0x40, 0x80)):
    """A 24-bit .BMP file."""
    import struct
    stride = (width * 3 + 3) & ~3
    row = bytes([rgb[2], rgb[1], rgb[0]]) * width + b"\0" * (stride - width * 3)
    pixels = row * height
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return head + info + pixels


class Workspace:
    """A folder of the build tree holding one script's projects and setups."""

    def __init__(self, ui, prefix):
        self.ui = ui
        self.folder = tempfile.mkdtemp(dir=ui.build_dir, prefix=prefix)

    def remove(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def qpkbuild(self, *args):
        """The native builder when the native tree sits next to the Windows
        one (as test.sh builds them), otherwise the Windows build under Wine."""
        native = self.ui.target.native_qpkbuild
        if native:
            command = [native] + list(args)
        else:
            command = wine(self.ui.target.qpkbuild_exe) + [
                windows_path(a) if a.startswith("/") else a for a in args]
        result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=300)
        if result.returncode != 0:
            raise AssertionError("qpkbuild %s failed: %s" % (" ".join(args), result.stderr.strip()))
        return result.stdout

    def build(self, project, sources, name=None, extra=""):
        """Packs tests/e2e/projects/<project>.toml with the generated sources
        (and `extra` TOML appended) into <name>/setup.exe; returns its path."""
        folder = os.path.join(self.folder, name or project)
        os.makedirs(folder, exist_ok=True)
        write_sources(folder, sources)
        with open(os.path.join(PROJECTS, project + ".toml")) as f:
            text = f.read()
        toml = os.path.join(folder, "project.toml")
        with open(toml, "w") as f:
            f.write(text + "\n" + extra)
        setup = os.path.join(folder, "setup.exe")
        self.qpkbuild("build", toml, "-o", setup, "--stub", self.ui.target.program)
        return setup

    def listing(self, setup):
        """The builder's file table: [(kind, bits, size, date or None, name, shortcut name)]."""
        rows = []
        pattern = re.compile(r"^(Normal|Shared|Font|StartupProgram)\s+([D-][S-])\s+(\d+)  (\S+ \S+|-)  (.*?)"
                             r"(?:  \[(.*)\])?$")
        for line in self.qpkbuild("list", setup).splitlines():
            m = pattern.match(line)
            if m:
                date = None if m.group(4) == "-" else datetime.datetime.strptime(m.group(4), "%Y-%m-%d %H:%M:%S")
                rows.append((m.group(1), m.group(2), int(m.group(3)), date, m.group(5), m.group(6) or ""))
        return rows

    def run_line(self, command_line, timeout=180):
        """Runs an exact command line inside Wine (through a batch file, so no
        quoting of the Unix side reaches it) and returns the full exit code."""
        batch = os.path.join(self.folder, "run-%d.bat" % int(time.time() * 1000))
        with open(batch, "wb") as f:
            f.write(("@echo off\r\n%s\r\nexit %%ERRORLEVEL%%\r\n" % command_line).encode("latin-1"))
        process = subprocess.Popen(wine(self.ui.uidriver, "run", "cmd.exe", "/c", windows_path(batch)),
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        running = Running(process)
        try:
            return running.exit_code(timeout=timeout)
        finally:
            running.kill()


def mtime(path):
    return datetime.datetime.fromtimestamp(os.path.getmtime(path)).replace(microsecond=0)


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def log_entries(path):
    """The entries of an Install.LOG, each from the product name on."""
    head = "\r\nInstallation log for: "
    text = read_bytes(path).decode("latin-1")
    assert text.startswith(head), repr(text[:80])
    return text[len(head):].split(head)


def forget_product(product, directories=()):
    """Leaves no trace of an earlier run in the shared prefix: the product's
    registration and its folders."""
    subprocess.run(wine("reg", "delete", UNINSTALL + product, "/f"), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    for directory in directories:
        shutil.rmtree(unix_path(directory), ignore_errors=True)


def delete_value(key, name):
    subprocess.run(wine("reg", "delete", key, "/v", name, "/f"), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def exact_value(key, name):
    """A REG_SZ value exactly as stored (reg query loses trailing blanks),
    read from an export of the key; None when it is missing."""
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "key.reg")
        subprocess.run(wine("reg", "export", key, windows_path(out), "/y"), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        if not os.path.exists(out):
            return None
        text = read_bytes(out).decode("utf-16")
    prefix = '"%s"="' % name.replace("\\", "\\\\").replace('"', '\\"')
    for line in text.splitlines():
        if line.startswith(prefix) and line.endswith('"'):
            return re.sub(r"\\(.)", r"\1", line[len(prefix):-1])
    return None


def registration(product):
    return reg_query(UNINSTALL + product)


class HeldOpen:
    """Keeps a file open from another Wine process (a console waiting on its
    input with its output redirected into the file), so that the installer's
    exclusive create of that path fails as it would with a running program."""

    def __init__(self, workspace, windows_file):
        self.path = unix_path(windows_file)
        os.makedirs(os.path.dirname(self.path), exist_ok=True)
        batch = os.path.join(workspace.folder, "hold.bat")
        with open(batch, "wb") as f:
            f.write(('@echo off\r\nset /p answer= > "%s"\r\n' % windows_file).encode("latin-1"))
        self.process = subprocess.Popen(wine("cmd.exe", "/c", windows_path(batch)), stdin=subprocess.PIPE,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(200):
            if os.path.exists(self.path):
                break
            time.sleep(0.05)
        # The redirection exists before the console reads: give it a moment to open.
        time.sleep(0.5)

    def release(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            try:
                self.process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
