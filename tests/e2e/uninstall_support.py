"""Helpers of the uninstall and previous-installation tests: setup programs
packed from the projects in projects/, installations made quickly in
automatic mode, the registered uninstall commands started the way the
system's list of programs starts them, boxes answered as a user would, a
file held open by a Windows program, and a snapshot of what an installation
can touch (files of drive C, registry keys, the startup file)."""

import os
import shutil
import subprocess
import time

from wine_ui import Running, reg_query, unix_path, windows_path, wine

HERE = os.path.dirname(os.path.abspath(__file__))
PROJECTS = os.path.join(HERE, "projects")
UNINSTALL_LIST = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
SHARED_COUNTS = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
FONTS_KEY = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"
SHARED_DIR = "C:\\Program Files\\Common Files\\QP E2E"
HOLD_FLAG = "C:\\qp-e2e-hold.flag"


def uninstall_key(product):
    return UNINSTALL_LIST + "\\" + product


def registration(product):
    """{value: text or number} of the product's uninstall key, or None."""
    values = reg_query(uninstall_key(product))
    return None if values is None else {name: value for name, (_, value) in values.items()}


def reg_set(key, name, text):
    subprocess.run(wine("reg", "add", key, "/v", name, "/d", text, "/f"), check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def reg_delete(key, name=None):
    command = wine("reg", "delete", key) + (["/v", name] if name is not None else []) + ["/f"]
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def shared_count(name):
    values = reg_query(SHARED_COUNTS) or {}
    entry = values.get(SHARED_DIR + "\\" + name)
    return None if entry is None else entry[1]


def read_text(windows):
    with open(unix_path(windows), "rb") as f:
        return f.read().decode("latin-1")


def read_bytes(windows):
    """The file's bytes, or None when it does not exist."""
    path = unix_path(windows)
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        return f.read()


def listing(windows):
    path = unix_path(windows)
    return sorted(os.listdir(path)) if os.path.isdir(path) else None


def finish(running, timeout=120):
    """The exit code of a program started through uidriver."""
    try:
        return running.exit_code(timeout=timeout)
    finally:
        running.kill()


def write_text(windows, text):
    os.makedirs(os.path.dirname(unix_path(windows)), exist_ok=True)
    with open(unix_path(windows), "wb") as f:
        f.write(text.encode("latin-1"))


def remove(windows):
    path = unix_path(windows)
    if os.path.isdir(path) and not os.path.islink(path):
        shutil.rmtree(path, ignore_errors=True)
    elif os.path.lexists(path):
        os.remove(path)


def exists(windows):
    return os.path.lexists(unix_path(windows))


def wait_until(condition, seconds=60):
    end = time.time() + seconds
    while time.time() < end:
        if condition():
            return True
        time.sleep(0.2)
    return condition()


def drive_c_files():
    """Every file and folder of drive C except the temporary folders, whose
    contents come and go with every program Wine starts, and the .desktop
    files that Wine itself writes beside shortcuts on the desktop."""
    root = unix_path("C:\\")
    found = set()
    for base, dirs, files in os.walk(root):
        relative = os.path.relpath(base, root)
        dirs[:] = [d for d in dirs if d.lower() not in ("temp", "tmp")]
        for name in dirs + [f for f in files if not f.lower().endswith(".desktop")]:
            found.add(os.path.normpath(os.path.join(relative, name)).lower())
    return found


class Snapshot:
    """What an installation of the test products can touch, to compare after
    an uninstallation or a declined question."""

    def __init__(self):
        self.files = drive_c_files()
        self.uninstall_keys = self._subkeys(UNINSTALL_LIST)
        self.shared = reg_query(SHARED_COUNTS) or {}
        self.fonts = reg_query(FONTS_KEY) or {}
        self.product_keys = [reg_query(hive + "\\Software\\QP E2E") is not None for hive in ("HKLM", "HKCU")]
        self.autoexec = read_bytes("C:\\autoexec.bat")

    @staticmethod
    def _subkeys(key):
        out = subprocess.run(wine("reg", "query", key), capture_output=True, text=True,
                             encoding="latin-1").stdout
        return sorted(line.strip().lower() for line in out.splitlines() if line.lower().startswith(key.lower() + "\\"))

    def differences(self, other):
        """Readable lines for everything that differs from another snapshot."""
        lines = ["file added: " + f for f in sorted(other.files - self.files)]
        lines += ["file gone: " + f for f in sorted(self.files - other.files)]
        for what in ("uninstall_keys", "shared", "fonts", "product_keys", "autoexec"):
            if getattr(self, what) != getattr(other, what):
                lines.append("%s: %r -> %r" % (what, getattr(self, what), getattr(other, what)))
        return lines


class Products:
    """Builds the setup programs of the projects once per test script and
    installs and removes the products they hold."""

    def __init__(self, ui, folder):
        self.ui = ui
        self.folder = folder
        self.built = {}

    def setup(self, project):
        if project not in self.built:
            toml = os.path.join(PROJECTS, project + ".toml")
            out = os.path.join(self.folder, project + ".exe")
            native = self.ui.target.native_qpkbuild
            stub = self.ui.target.program
            if native:
                command = [native, "build", toml, "-o", out, "--stub", stub]
            else:
                command = wine(self.ui.target.qpkbuild_exe, "build", windows_path(toml),
                               "-o", windows_path(out), "--stub", windows_path(stub))
            subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
            self.built[project] = out
        return self.built[project]

    def run(self, project, *args, timeout=120):
        """Runs a setup program without answering anything; its exit code."""
        return finish(self.ui.start(self.setup(project), *args), timeout)

    def install(self, project, directory=None):
        args = ["/a"] + (['/d:"%s"' % directory] if directory else [])
        code = self.run(project, *args)
        if code != 0:
            raise AssertionError("installing %s gave exit code %d" % (project, code))

    def start_registered(self, product, quiet=False):
        """Starts the registered (quiet) uninstall command with exactly the
        command line the registration holds."""
        command = registration(product)["QuietUninstallString" if quiet else "UninstallString"]
        program, arguments = command[1:].split('" ', 1)
        switches, name = arguments.split("/u:", 1)
        line = ['"%s"' % program] + switches.split() + ["/u:" + name]
        assert " ".join(line) == command, (line, command)
        process = subprocess.Popen(wine(self.ui.uidriver, "run") + line, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, text=True)
        return Running(process)

    def uninstall_quietly(self, product):
        """Uninstalls through the quiet command when the product is still
        registered; waits until its folder is gone."""
        values = registration(product)
        if values is None:
            return None
        code = finish(self.start_registered(product, quiet=True))
        location = values.get("InstallLocation", "")
        if code == 0 and location:
            wait_until(lambda: not exists(location))
        return code

    def forget(self, product, location=None):
        """Leaves nothing of a product behind, whatever state a failed test
        left it in."""
        self.ui.kill("Uninstall.EXE")
        values = registration(product) or {}
        location = location or values.get("InstallLocation")
        reg_delete(uninstall_key(product))
        if location and len(location) > 3 and location.lower().startswith("c:\\qp e2e"):
            remove(location)

    def hold(self, windows_file):
        """Opens the file in a Windows program without sharing, until
        release() is called. Deleting it then fails as it does on Windows
        for a file in use."""
        write_text(HOLD_FLAG, "")
        process = subprocess.Popen(wine(self.ui.target.hold, windows_file, HOLD_FLAG), stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, text=True)
        line = process.stdout.readline()
        if line.strip() != "held":
            process.kill()
            raise AssertionError("could not hold %s: %r" % (windows_file, line))
        return process

    @staticmethod
    def release(process):
        remove(HOLD_FLAG)
        process.wait(timeout=30)
        process.stdout.close()


class Boxes:
    """Answers the boxes of one running program, keeping screenshots."""

    def __init__(self, ui, prefix):
        self.ui = ui
        self.prefix = prefix
        self.last = None

    def windows(self):
        return [c for c in self.ui.driver("list", check=False).stdout.replace("\r\n", "\n").split("\n") if c]

    def first_of(self, *captions, seconds=60):
        """The caption of whichever of these boxes shows first."""
        end = time.time() + seconds
        while True:
            shown = self.windows()
            for caption in captions:
                if caption in shown:
                    return caption
            if time.time() > end:
                raise AssertionError("none of %r came; windows: %s" % (captions, " | ".join(shown)))
            time.sleep(0.2)

    def answer(self, caption, button, screenshot=None, timeout_ms=60000):
        """Waits for the box, reads its text, presses the button; the text.
        The screen is kept when the box is named."""
        # A box of the same caption as the one just answered may still be
        # closing: it must be gone before the next one is looked for.
        if caption == self.last:
            self.ui.driver("gone", caption, 10000, check=False)
        result = self.ui.driver("text", caption, check=False)
        if result.returncode != 0:
            # uidriver's own wait is shorter than a slow step of the program.
            if not self.ui.wait(caption, timeout_ms):
                raise AssertionError("no %r box; windows: %s" % (caption, " | ".join(self.windows())))
            result = self.ui.driver("text", caption)
        text = result.stdout.replace("\r\n", "\n").rstrip("\n")
        if screenshot:
            self.ui.screenshot(self.prefix + "-" + screenshot)
        self.ui.click(caption, button)
        self.last = caption
        return text
